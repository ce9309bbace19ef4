// Fuzzes the nine methods on fuzzed input bytes with fuzzed options.
//
// Input: a method byte (1 + byte % 9 is the method code), a flag byte, the
// option values the flags ask for, then the bytes of the input file.
//   flags bit 0: -fix          bit 1: -nobumper
//   bit 2: -r, two bytes follow   bit 3: -w, two bytes follow
//   bit 4: -track, one byte follows (signed)
//   bit 5: the options stand after the method option (else before it; the
//          methods with raw or DAT output switch -fix off when parsed)
//   bits 6-7: which fixed CUE sheet names the input as its BIN (CUE methods)
// A size value (little-endian) with the top bit set picks one of the sizes
// that matter (kSizes); otherwise it is taken as it is, modulo 32800, so that
// the refusal of sizes above 32705 is reached as well.
//
// Besides crashes and sanitizer reports, a run is a finding when it exits with
// a status other than 0 or 1, reports a read error (the input is a whole
// readable file, so that is a read past its end), leaves an output longer than
// the input could fill, when a transfer ends with its source position past the
// end of its range (see fuzz_support.h), or when a one-file method fails
// (status 1) and leaves any output: a failed transfer must remove the file it
// was writing.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"

namespace {

const char* const kMethodOptions[] = {"-cue2raw", "-cue2mpg", "-cue2dat", "-raw2mpg", "-raw2dat",
                                      "-dat2mpg", "-cif2mpg", "-mpg2mpg", "-mpg2dat"};

const char* const kSheets[] = {
    // a data track and an MPEG track with a pregap, CRLF line ends
    "FILE \"in.bin\" BINARY\r\n  TRACK 01 MODE2/2352\r\n    INDEX 01 00:00:00\r\n"
    "  TRACK 02 MODE2/2352\r\n    INDEX 00 00:00:02\r\n    INDEX 01 00:00:04\r\n",
    // two records, one extracted by default; the first longer than a step of many sectors
    "FILE in.bin BINARY\n  TRACK 01 MODE2/2352\n    INDEX 01 00:00:00\n"
    "  TRACK 02 MODE2/2352\n    INDEX 01 00:00:17\n",
    // a single Mode 1 track
    "FILE in.bin BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n",
    // one file per track, the second of 2336-byte sectors
    "FILE in.bin BINARY\n  TRACK 01 MODE2/2352\n    INDEX 01 00:00:00\n"
    "FILE in.bin BINARY\n  TRACK 02 MODE2/2336\n    INDEX 00 00:00:00\n    INDEX 01 00:00:01\n",
};

const int32_t kSizes[] = {2352, 2336, 2332, 2324, 2048, 1,    2,     4,     5,  16,
                          24,   2351, 4096, 5000, 9296, 16352, 32705, 32706, -1, 0};

int32_t SizeValue(uint16_t v)
{
    if ((v & 0x8000) != 0)
        return kSizes[(v & 0x7FFF) % (sizeof kSizes / sizeof kSizes[0])];
    return v % 32800;
}

void NothingToLayDown() {}

// The most a method can write from `input` bytes: every 2324 bytes wrapped into
// a 2352-byte sector plus a padded last one, the .dat header and its 30 leading
// sectors, and the 9296-byte initial sequence of -fix.
uint64_t LargestOutput(uint64_t input)
{
    return input / 2324 * 2352 + 2352 + 44 + 30 * 2352 + 9296;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    size_t at = 0;
    auto take = [&](uint8_t& byte) {
        if (at >= size)
            return false;
        byte = data[at++];
        return true;
    };
    uint8_t methodByte = 0, flags = 0;
    if (!take(methodByte) || !take(flags))
        return 0;
    const int code = 1 + methodByte % 9;
    std::vector<std::string> options;
    if ((flags & 0x01) != 0)
        options.push_back("-fix");
    if ((flags & 0x02) != 0)
        options.push_back("-nobumper");
    for (const char* prefix : {"-r", "-w"}) {
        if ((flags & (prefix[1] == 'r' ? 0x04 : 0x08)) == 0)
            continue;
        uint8_t low = 0, high = 0;
        if (!take(low) || !take(high))
            return 0;
        options.push_back(prefix + std::to_string(SizeValue(static_cast<uint16_t>(low | high << 8))));
    }
    if ((flags & 0x10) != 0) {
        uint8_t number = 0;
        if (!take(number))
            return 0;
        options.push_back("-track" + std::to_string(static_cast<int8_t>(number)));
    }

    fuzz::Workspace(NothingToLayDown);
    fuzz::WriteWholeFile("in.bin", data + at, size - at);
    std::string source = "in.bin";
    if (code <= 3) {
        fuzz::WriteWholeFile("in.cue", kSheets[flags >> 6]);
        source = "in.cue";
    }

    std::vector<std::string> args{"korvane"};
    if ((flags & 0x20) != 0)
        args.push_back(kMethodOptions[code - 1]);
    args.insert(args.end(), options.begin(), options.end());
    if ((flags & 0x20) == 0)
        args.push_back(kMethodOptions[code - 1]);
    args.push_back(source);
    args.push_back("out/o");
    const fuzz::RunResult run = fuzz::RunProgram(args);
    fuzz::Expect(run.status == 0 || run.status == 1, "exit status other than 0 or 1", run);
    // The input files are whole regular files: a read error means reading past their end.
    fuzz::Expect(run.console.find("\nRead error: ") == std::string::npos,
                 "a read error on a whole, readable input (read past its end)", run);
    for (const auto& output : run.outputs)
        fuzz::Expect(output.second <= LargestOutput(size - at), "an output longer than the input allows", run);
    // A transfer never reads beyond the end it was given (the track's end, or the input's).
    fuzz::Expect(!run.overrun.happened, "a transfer read past the end of its range", run);
    if (code > 3) {
        fuzz::Expect(run.outputs.size() <= 1, "more than one output of a one-file method", run);
        fuzz::Expect(run.status == 0 || run.outputs.empty(), "a failed run left its output behind", run);
    }
    return 0;
}

// Fuzzes the nine methods on fuzzed input bytes with fuzzed options. Input: a
// method byte (method code 1 + byte % 9), a flag byte, the option values the
// flags ask for, then the bytes of the input file.
//   flags bit 0: -fix   bit 1: -nobumper   bit 2: -r (two bytes follow)
//   bit 3: -w (two bytes follow)   bit 4: -track (one signed byte follows)
//   bit 5: the options after the method option   bits 6-7: which CUE sheet
// A size with its top bit set picks one of the sizes that matter; otherwise it
// is taken modulo 32800, so that the refusal above 32705 is reached too.
#include "fuzz_support.h"

namespace {

const char* const kMethodOptions[] = {"-cue2raw", "-cue2mpg", "-cue2dat", "-raw2mpg", "-raw2dat",
                                      "-dat2mpg", "-cif2mpg", "-mpg2mpg", "-mpg2dat"};

const char* const kSheets[] = {
    "FILE \"in.bin\" BINARY\r\n  TRACK 01 MODE2/2352\r\n    INDEX 01 00:00:00\r\n"
    "  TRACK 02 MODE2/2352\r\n    INDEX 00 00:00:02\r\n    INDEX 01 00:00:04\r\n",
    "FILE in.bin BINARY\n  TRACK 01 MODE2/2352\n    INDEX 01 00:00:00\n  TRACK 02 MODE2/2352\n    INDEX 01 00:00:17\n",
    "FILE in.bin BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n",
    "FILE in.bin BINARY\n  TRACK 01 MODE2/2352\n    INDEX 01 00:00:00\n"
    "FILE in.bin BINARY\n  TRACK 02 MODE2/2336\n    INDEX 00 00:00:00\n    INDEX 01 00:00:01\n",
};

const int32_t kSizes[] = {2352, 2336, 2332, 2324, 2048, 1, 2, 4, 5, 16, 24, 2351, 4096, 5000, 9296, 16352, 32705, 32706, -1, 0};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    size_t at = 0;
    auto take = [&](size_t bytes) { return (at += bytes) <= size; };
    if (!take(2))
        return 0;
    const int code = 1 + data[0] % 9;
    const uint8_t flags = data[1];
    std::vector<std::string> options;
    if ((flags & 0x01) != 0)
        options.push_back("-fix");
    if ((flags & 0x02) != 0)
        options.push_back("-nobumper");
    for (const char* prefix : {"-r", "-w"}) {
        if ((flags & (prefix[1] == 'r' ? 0x04 : 0x08)) == 0)
            continue;
        if (!take(2))
            return 0;
        const unsigned v = data[at - 2] | data[at - 1] << 8;
        options.push_back(prefix + std::to_string((v & 0x8000) != 0 ? kSizes[(v & 0x7FFF) % 20] : int(v % 32800)));
    }
    if ((flags & 0x10) != 0) {
        if (!take(1))
            return 0;
        options.push_back("-track" + std::to_string(static_cast<int8_t>(data[at - 1])));
    }
    const std::string& folder = fuzz::Folder();
    fuzz::WriteWholeFile(folder + "/in.bin", std::string(reinterpret_cast<const char*>(data) + at, size - at));
    const std::string source = folder + (code <= 3 ? "/in.cue" : "/in.bin");
    if (code <= 3)
        fuzz::WriteWholeFile(source, kSheets[flags >> 6]);
    std::vector<std::string> args{"korvane"};
    args.insert(args.end(), options.begin(), options.end());
    args.insert((flags & 0x20) != 0 ? args.begin() + 1 : args.end(), kMethodOptions[code - 1]);
    args.insert(args.end(), {source, folder + "/out/o"});
    const fuzz::RunResult run = fuzz::RunProgram(args);
    // Every 2324 bytes wrapped into a sector, a padded last one, the .dat header
    // with its 30 leading sectors, and the initial sequence of -fix.
    fuzz::Check(run, (size - at) / 2324 * 2352 + 2352 + 44 + 30 * 2352 + 9296);
    if (code > 3 && (run.outputs.size() > 1 || (run.status != 0 && !run.outputs.empty())))
        fuzz::Fail("a one-file method left more than one output, or a failed one left its output", run);
    return 0;
}

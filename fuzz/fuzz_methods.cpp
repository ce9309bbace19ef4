// Fuzzes the nine methods on fuzzed input bytes with fuzzed options. Input: a
// method byte (method code 1 + byte % 9), a flag byte, the option values the
// flags ask for, then the bytes of the input file.
//   flags bit 0: -fix   bit 1: -nobumper   bit 2: -r (two bytes follow)
//   bit 3: -w (two bytes follow)   bit 4: -track (one signed byte follows)
//   bit 5: the options after the method option   bits 6-7: which CUE sheet
// A size with its top bit set picks one of the sizes that matter; otherwise it
// is taken modulo 32800, so that the refusal above 32705 is reached too.
#include "fuzz_support.h"

static const char* const kMethodOptions[] = {"-cue2raw", "-cue2mpg", "-cue2dat", "-raw2mpg", "-raw2dat",
                                             "-dat2mpg", "-cif2mpg", "-mpg2mpg", "-mpg2dat"};
static const char* const kSheets[] = {
    "FILE \"in.bin\" BINARY\r\n  TRACK 01 MODE2/2352\r\n    INDEX 01 00:00:00\r\n"
    "  TRACK 02 MODE2/2352\r\n    INDEX 00 00:00:02\r\n    INDEX 01 00:00:04\r\n",
    "FILE in.bin BINARY\n  TRACK 01 MODE2/2352\n    INDEX 01 00:00:00\n  TRACK 02 MODE2/2352\n    INDEX 01 "
    "00:00:17\n",
    "FILE in.bin BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n",
    "FILE in.bin BINARY\n  TRACK 01 MODE2/2352\n    INDEX 01 00:00:00\n"
    "FILE in.bin BINARY\n  TRACK 02 MODE2/2336\n    INDEX 00 00:00:00\n    INDEX 01 00:00:01\n",
};
static const int32_t kSizes[] = {2352, 2336, 2332, 2324, 2048, 1,     2,     4,     5,  16,
                                 24,   2351, 4096, 5000, 9296, 16352, 32705, 32706, -1, 0};

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2) return 0;
    const int code = 1 + data[0] % 9, flags = data[1];
    size_t at = 2;
    std::vector<std::string> args{"korvane"}; // the options, then the method option before or after them
    for (const auto& [bit, option, bytes] :
         {std::tuple{0x01, "-fix", 0}, {0x02, "-nobumper", 0}, {0x04, "-r", 2}, {0x08, "-w", 2}, {0x10, "-track", 1}}) {
        if ((flags & bit) == 0) continue;
        if ((at += bytes) > size) return 0;
        const unsigned v = bytes == 2 ? data[at - 2] | data[at - 1] << 8 : 0;
        args.push_back(bytes == 0 ? option
                                  : option + std::to_string(bytes == 1          ? static_cast<int8_t>(data[at - 1])
                                                            : (v & 0x8000) != 0 ? kSizes[(v & 0x7FFF) % 20]
                                                                                : int(v % 32800)));
    }
    const std::string& folder = fuzz::Folder();
    WriteFile(folder + "/in.bin", std::string(reinterpret_cast<const char*>(data) + at, size - at));
    const std::string source = folder + (code <= 3 ? "/in.cue" : "/in.bin");
    if (code <= 3) WriteFile(source, kSheets[flags >> 6]);
    args.insert((flags & 0x20) != 0 ? args.begin() + 1 : args.end(), kMethodOptions[code - 1]);
    args.insert(args.end(), {source, folder + "/out/o"});
    // Every 2324 bytes wrapped into a sector, a padded last one, the .dat header with its
    // 30 leading sectors, and the initial sequence of -fix (four sectors in a .dat).
    fuzz::RunAndCheck(args, (size - at) / 2324 * 2352 + 2352 + 44 + 30 * 2352 + 4 * 2352, code > 3);
    return 0;
}

// One fuzz target for the whole program: each input is one run, in a work folder of this process,
// and its first byte picks the shape of the rest. Odd: a control byte, then the bytes of an image
// source: the text of a CUE, TOC or CCD sheet, or a whole Nero image (the reader is picked by
// content), run against small synthetic BINs beside it (a.bin, also under the names the sample
// sheets and fixtures use and as in.img for a CloneCD sheet, and s/b.bin, found only through the
// sheet's folder); control bits 0-1 pick
// -cue2raw, -cue2dat, -cue2mpg or -cue2mpg -fix -nobumper, bit 2 puts the sheet in "s", bit 3 adds
// -track N with N = bits 4-7. Even: a method byte (method code 1 + byte % 9), a flag byte (the bits
// of kFlagOptions; bit 5 puts the options after the method option, bits 6-7 pick one of kSheets),
// the option values the flags ask for, then the bytes of the input file. A size with its top bit
// set picks one of the sizes that matter (kSizes); otherwise it is taken modulo 32800, so that the
// refusal above 32705 is reached too. An input of odd length runs with -verify as well (the checks
// of the sectors, which may end the run with status 2).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "cli/cli.h"
#include "image/cue.h"
#include "settings/settings.h"
#include "synth.h" // and whole files

namespace fs = std::filesystem;

static std::string folder,
    console; // the work folder under TMPDIR, with "out" for the outputs; what a run printed
static bool overran = false; // a transfer ended past its end
static uint32_t afterPreScan =
    0; // where the bumper pre-scan of the current transfer left the source

static const char* const kMethodOptions[] = {"-cue2raw", "-cue2mpg", "-cue2dat",
                                             "-raw2mpg", "-raw2dat", "-dat2mpg",
                                             "-cif2mpg", "-mpg2mpg", "-mpg2dat"};
static const char* const kSheets[] = {
    "FILE \"in.bin\" BINARY\r\n  TRACK 01 MODE2/2352\r\n    INDEX 01 00:00:00\r\n"
    "  TRACK 02 MODE2/2352\r\n    INDEX 00 00:00:02\r\n    INDEX 01 00:00:04\r\n",
    "FILE in.bin BINARY\n  TRACK 01 MODE2/2352\n    INDEX 01 00:00:00\n  TRACK 02 MODE2/2352\n    "
    "INDEX 01 "
    "00:00:17\n",
    "FILE in.bin BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n",
    "FILE in.bin BINARY\n  TRACK 01 MODE2/2352\n    INDEX 01 00:00:00\n"
    "FILE in.bin BINARY\n  TRACK 02 MODE2/2336\n    INDEX 00 00:00:00\n    INDEX 01 00:00:01\n",
};
static const std::tuple<int, const char*, int> kFlagOptions[] = {{0x01, "-fix", 0},
                                                                 {0x02, "-nobumper", 0},
                                                                 {0x04, "-r", 2},
                                                                 {0x08, "-w", 2},
                                                                 {0x10, "-track", 1}};
static const int32_t kSizes[] = {2352, 2336, 2332, 2324, 2048, 1,     2,     4,     5,  16,
                                 24,   2351, 4096, 5000, 9296, 16352, 32705, 32706, -1, 0};

static ssize_t Keep(void*, const char* data,
                    size_t size) // the program's text is kept for the checks
{
    console.append(data, size);
    return static_cast<ssize_t>(size);
}

// Makes the work folder, removed at exit, with the BINs of the odd shape.
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    folder = (fs::temp_directory_path() / "korvane-fuzz-XXXXXX").string();
    if (mkdtemp(folder.data()) == nullptr)
        std::abort();
    std::atexit([] { fs::remove_all(folder); });
    stdout = fopencookie(nullptr, "w", {nullptr, Keep, nullptr, nullptr});
    endRun = [](int status) { throw status; };
    for (const char* sub : {"/out", "/s"})
        fs::create_directory(folder + sub);
    std::string stream = MpegBlocks(10);
    stream.replace(3 * kPack + 1000, 4, std::string("\x00\x00\x01\xB9", 4))
        .replace(4 * kPack + 2, 3, "UUU"); // a bumper's end, a broken block
    WriteFile(folder + "/a.bin", std::string(2 * kRaw, '\0') + RawSectors(stream));
    for (const char* other : {"sample.bin", "two.bin", "svcd.bin", "fixture.bin", "in.img"})
        fs::create_hard_link(folder + "/a.bin", folder + "/" + other);
    WriteFile(folder + "/s/b.bin", RawSectors(MpegBlocks(4)) + std::string(100, 'x'));
    return 0;
}

// What earlier runs left under the names a run may write: a failed run must leave them as they
// were.
static const char* const kEarlierOutputs[] = {"o.mpg", "o.dat", "o.raw"};
static const std::string kEarlier = "an earlier output";

// Runs the program with `args` (args[0] is its name) from the settings' defaults, clears the work
// folder for the next input and checks the run: status 0 or 1, no read error (every input is whole
// and readable, so one means a read past its end), no transfer past its end, no output above
// `largest`, no temporary file left, earlier outputs untouched by a failed run; with `oneFile`, at
// most one output, and none after a failure.
static void RunAndCheck(std::vector<std::string> args, uint64_t largest, bool oneFile)
{
    ResetSettings();
    ResetTrackTable();
    std::vector<char*> argv;
    for (std::string& word : args)
        argv.push_back(&word[0]);
    argv.push_back(nullptr);
    console.clear();
    overran = false;
    for (const char* name : kEarlierOutputs)
        WriteFile(folder + "/out/" + name, kEarlier);
    int status = 0;
    try {
        status = RunKorvane(static_cast<int>(args.size()), argv.data());
    } catch (int exitStatus) { // from endRun
        status = exitStatus;
    }
    for (std::FILE** stream : {&cueFile, &sourceFile, &destFile})
        if (*stream != nullptr)
            std::fclose(std::exchange(*stream, nullptr));
    std::fflush(stdout);
    for (const char* input : {"/in.bin", "/in.cue", "/s/in.cue"})
        fs::remove(folder + input);
    size_t outputs = 0;
    bool tooLong = false, temporary = false, earlierChanged = false;
    for (const auto& entry : fs::directory_iterator(folder + "/out")) {
        const std::string name = entry.path().filename().string();
        const bool earlier = std::find(std::begin(kEarlierOutputs), std::end(kEarlierOutputs),
                                       name) != std::end(kEarlierOutputs),
                   kept = earlier && ReadFile(entry.path().string()) == kEarlier;
        earlierChanged = earlierChanged || (earlier && !kept && status == 1);
        temporary = temporary || std::count(name.begin(), name.end(), '.') != 1;
        tooLong = tooLong || entry.file_size() > largest;
        fs::remove(entry.path());
        outputs += kept ? 0 : 1;
    }
    if (const char* fault = status != 0 && status != 1 && status != 2
                                ? "an exit status other than 0, 1 or 2"
                            : console.find("\nRead error: ") != std::string::npos
                                ? "a read past the end of an input"
                            : overran        ? "a transfer read past its end"
                            : tooLong        ? "an output longer than its input allows"
                            : temporary      ? "a temporary file left behind"
                            : earlierChanged ? "a failed run changed an earlier output"
                            : oneFile && (outputs > 1 || (status == 1 && outputs != 0))
                                ? "more than one output, or one after a failure"
                                : nullptr) {
        std::fprintf(
            stderr, "\n==korvane-fuzz== FINDING: %s (status %d); it printed:\n%s\n", fault, status,
            console.substr(console.size() - std::min<size_t>(console.size(), 800)).c_str());
        fs::remove_all(folder);
        std::abort();
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2 || ((data[0] & 1) == 0 && size < 3))
        return 0;
    std::vector<std::string> args{
        "korvane"}; // the method option and the others, then source and destination
    std::string source = folder + "/in.cue";
    // A sheet: the largest BIN (or the source itself, a Nero image holds its sectors), and -fix
    // may put the 9296-byte initial sequence in front, a .dat its 44-byte header.
    uint64_t largest = std::max<uint64_t>(12 * kRaw, size) + 9296 + 44;
    if ((data[0] & 1) != 0) {
        static const char* const kCueMethods[] = {"-cue2raw", "-cue2dat", "-cue2mpg", "-cue2mpg"};
        if ((data[1] & 0x04) != 0)
            source = folder + "/s/in.cue";
        args.push_back(kCueMethods[data[1] & 0x03]);
        if ((data[1] & 0x03) == 3)
            args.insert(args.end(), {"-fix", "-nobumper"});
        if ((data[1] & 0x08) != 0)
            args.push_back("-track" + std::to_string(data[1] >> 4));
        WriteFile(source, std::string(reinterpret_cast<const char*>(data) + 2, size - 2));
    } else {
        const int code = 1 + data[1] % 9, flags = data[2];
        size_t at = 3;
        for (const auto& [bit, option, bytes] : kFlagOptions) {
            if ((flags & bit) == 0)
                continue;
            if ((at += bytes) > size)
                return 0;
            const unsigned v = data[at - 2] | data[at - 1] << 8; // a size, when bytes == 2
            const int value = bytes == 1          ? static_cast<int8_t>(data[at - 1])
                              : (v & 0x8000) != 0 ? kSizes[(v & 0x7FFF) % 20]
                                                  : int(v % 32800);
            args.push_back(bytes == 0 ? option : option + std::to_string(value));
        }
        WriteFile(folder + "/in.bin",
                  std::string(reinterpret_cast<const char*>(data) + at, size - at));
        if (code <= 3)
            WriteFile(source, kSheets[flags >> 6]);
        else
            source = folder + "/in.bin";
        args.insert((flags & 0x20) != 0 ? args.begin() + 1 : args.end(), kMethodOptions[code - 1]);
        // Every 2324 bytes wrapped into a sector, a padded last one, the .dat header with its
        // 30 leading sectors, and the initial sequence of -fix (four sectors in a .dat).
        largest = (size - at) / 2324 * 2352 + 2352 + 44 + 30 * 2352 + 4 * 2352;
    }
    if (size % 2 != 0)
        args.insert(args.begin() + 1, "-verify");
    args.insert(args.end(), {source, folder + "/out/o"});
    RunAndCheck(args, largest, source == folder + "/in.bin"); // a method on one file writes one
    return 0;
}

// Every transfer is checked when it returns: WriteBuffer and the bumper pre-scan are wrapped at
// link time.
struct Transfer;
extern "C" void __real__Z11WriteBufferj(uint32_t end);
extern "C" void __real__Z13BumperPreScanRK8Transfer(const Transfer& t);

extern "C" void __wrap__Z11WriteBufferj(uint32_t end)
{
    const uint32_t start = counter;
    afterPreScan = 0;
    __real__Z11WriteBufferj(end);
    // A record can start beyond its end (an INDEX before the one before it), and the
    // bumper pre-scan may accept an end code past the end: then nothing is read.
    overran = overran || counter > std::max({start, end, afterPreScan});
}

extern "C" void __wrap__Z13BumperPreScanRK8Transfer(const Transfer& t)
{
    __real__Z13BumperPreScanRK8Transfer(t);
    afterPreScan = counter;
}

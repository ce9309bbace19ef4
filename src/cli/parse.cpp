#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "cli/cli.h"
#include "settings/settings.h"

namespace {

struct MethodOption {
    const char* name;
    int16_t code;
    int16_t output;
    bool clearsFix; // the methods with raw or DAT output switch -fix off when parsed
    // The methods that copy whole sectors never run the repairs, whatever the order of
    // the options: a cut at a byte would leave every copied sector off its 2352-byte
    // place, and the -fix loop, stepping over many sectors at once, would find no
    // block at a step's start and wreck the image.
    bool copiesSectors;
};

constexpr MethodOption kMethodOptions[] = {
    {"-cue2raw", kCue2raw, kRawOutput, true, true},
    {"-cue2mpg", kCue2mpg, kMpegOutput, false, false},
    {"-cue2dat", kCue2dat, kDatOutput, true, true},
    {"-raw2mpg", kRaw2mpg, kMpegOutput, false, false},
    {"-raw2dat", kRaw2dat, kDatOutput, true, true},
    {"-dat2mpg", kDat2mpg, kMpegOutput, false, false},
    {"-cif2mpg", kCif2mpg, kMpegOutput, false, false},
    {"-mpg2mpg", kMpg2mpg, kMpegOutput, false, false},
    {"-mpg2dat", kMpg2dat, kDatOutput, true, false},
};

// Default source extension by the method code in force when the name is read.
const char* SourceExtension(int16_t code)
{
    switch (code) {
    case kRaw2mpg:
    case kRaw2dat:
        return ".raw";
    case kDat2mpg:
        return ".dat";
    case kCif2mpg:
        return ".cif";
    case kMpg2mpg:
    case kMpg2dat:
        return ".mpg";
    default:
        return ".cue";
    }
}

const char* DestExtension(int16_t kind)
{
    if (kind == kDatOutput)
        return ".dat";
    if (kind == kMpegOutput)
        return ".mpg";
    return ".raw";
}

bool HasPrefix(const char* arg, const char* prefix)
{
    return strncasecmp(arg, prefix, std::strlen(prefix)) == 0;
}

// A number option: its prefix and the range of the setting it fills. Numbers are read as atoi
// reads them (no digits: 0), but wide, so that one too large for its setting is refused instead
// of wrapping into another number.
struct NumberOption {
    const char* prefix;
    const char* refusal; // what the number must be, after "Option -x## refused: the "
    long long lowest;
    long long highest;
};

// clang-format off
constexpr NumberOption kTrackOption{"-track", "track number must be 0..32767.\n\n",
                                    INT16_MIN, INT16_MAX};
constexpr NumberOption kReadOption{"-r", "read sector size must be 1..32705 bytes (0 keeps the "
                                   "default).\n\n", 0, BUF_SIZE};
constexpr NumberOption kWriteOption{"-w", "write sector size must be 1..32705 bytes (0 keeps the "
                                    "default).\n\n", 0, BUF_SIZE};
// clang-format on

// A number given to an option, kept wide until every argument has been read.
struct GivenNumber {
    const NumberOption& option;
    long long value;
    std::string text; // as written, for the refusal of a number no wider type holds
    bool given;
};

// Reads the number after the option's prefix; the bare prefix is skipped.
bool TakeNumber(const char* arg, GivenNumber& number)
{
    const size_t n = std::strlen(number.option.prefix);
    if (std::strlen(arg) <= n)
        return false;
    const char* digits = arg + n + std::strspn(arg + n, " \t\n\v\f\r");
    char* end = nullptr;
    errno = 0;
    number.value = std::strtoll(digits, &end, 10);
    number.text =
        errno == ERANGE ? std::string(digits, static_cast<size_t>(end - digits)) : std::string();
    number.given = true;
    return true;
}

// Refuses, before any file is opened, a number outside the setting it fills.
void CheckNumber(const GivenNumber& number)
{
    if (!number.given ||
        (number.value >= number.option.lowest && number.value <= number.option.highest))
        return;
    if (number.text.empty())
        Fatal("Option %s%lld refused: the %s", number.option.prefix, number.value,
              number.option.refusal);
    Fatal("Option %s%s refused: the %s", number.option.prefix, number.text.c_str(),
          number.option.refusal);
}

const MethodOption* FindMethodOption(int16_t code)
{
    for (const MethodOption& option : kMethodOptions)
        if (option.code == code)
            return &option;
    return nullptr;
}

bool ApplyMethodOption(const char* arg)
{
    for (const MethodOption& option : kMethodOptions) {
        if (strcasecmp(arg, option.name) != 0)
            continue;
        method = option.code;
        datormpg = option.output;
        if (option.clearsFix)
            fixOption = 0;
        if (option.copiesSectors)
            bumperCheck = 0;
        return true;
    }
    return false;
}

// Whatever the order of the options: a method that copies whole sectors never runs the repairs.
void SettleRepairs()
{
    const MethodOption* option = FindMethodOption(method);
    if (option != nullptr && option->copiesSectors)
        fixOption = bumperCheck = 0;
}

bool EndsInSlash(const std::string& path) { return !path.empty() && path.back() == '/'; }

void TakeName(const char* arg, std::string& into, const char* extension)
{
    into = arg;
    // A name that ends in a slash is a folder; it is refused as it stands, not made a hidden file.
    if (!existExtension(arg) && !EndsInSlash(into))
        into += extension;
}

[[noreturn]] void NoMethod()
{
    std::printf("No conversion method was given: add one of the method options below.\n\n");
    PrintUsage();
    std::fflush(stdout);
    endRun(1);
    std::abort(); // endRun never returns
}

} // namespace

int existExtension(const char* path)
{
    long i = static_cast<long>(std::strlen(path)) - 1;
    if (i >= 0 && path[i] == '\\')
        --i;
    for (; i >= 0; --i) {
        if (path[i] == '\\' || path[i] == '/')
            return 0;
        if (path[i] == '.')
            return 1;
    }
    return 0;
}

void ParseCmdLine(int argc, char** argv)
{
    if (argc <= 1)
        Help();
    bool haveSource = false;
    GivenNumber track{kTrackOption, 0, "", false}, readSize{kReadOption, 0, "", false},
        writeSize{kWriteOption, 0, "", false};
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (HasPrefix(arg, "-track")) {
            if (TakeNumber(arg, track)) {
                startTrack = endTrack = static_cast<int16_t>(track.value);
                ++justOneTrack;
            }
        } else if (strcasecmp(arg, "-fix") == 0) {
            fixOption = 1;
        } else if (strcasecmp(arg, "-verify") == 0) {
            verifyOption = 1;
        } else if (ApplyMethodOption(arg)) {
        } else if (strcasecmp(arg, "-nobumper") == 0) {
            bumperCheck = 1;
            fixOption = 1;
        } else if (HasPrefix(arg, "-r")) {
            if (TakeNumber(arg, readSize))
                forcedReadSector = static_cast<int32_t>(readSize.value);
        } else if (HasPrefix(arg, "-w")) {
            if (TakeNumber(arg, writeSize))
                forcedWriteSector = static_cast<int32_t>(writeSize.value);
        } else if (!haveSource) {
            TakeName(arg, sourceDir, SourceExtension(method));
            source = &sourceDir;
            haveSource = true;
        } else {
            TakeName(arg, destDir, DestExtension(datormpg));
            dest = &destDir;
            for (const GivenNumber* number : {&track, &readSize, &writeSize})
                CheckNumber(*number);
            if (method == kNoMethod)
                NoMethod();
            SettleRepairs();
            return;
        }
    }
    Help();
}

void PrintUsage()
{
    std::fputs("Usage  :  Korvane [options] [-track##] inputfile outputfile\n\n"
               "Options:  -cue2raw       .cue --> .raw  (.cue to .raw/.bin track image)\n"
               "          -cue2dat       .cue --> .dat\n"
               "          -cue2mpg       .cue --> .mpg\n"
               "          -raw2dat       .raw --> .dat  (.raw/.bin track image to .dat)\n"
               "          -raw2mpg       .raw --> .mpg\n"
               "          -cif2mpg       .cif --> .mpg\n"
               "          -mpg2mpg       .mpg --> .mpg\n"
               "          -mpg2dat       .mpg --> .dat\n"
               "          -dat2mpg       .dat --> .mpg\n\n"
               "          -track##       extract only track ## from a .cue/bin\n"
               "          -r####         force read of ####-byte sectors\n"
               "          -w####         force write of ####-byte sectors\n"
               "          -nobumper      removes CD-i MPEG sequence bumper\n"
               "          -fix           fix broken MPEG blocks during .mpg output\n\n",
               stdout);
}

void Help()
{
    PrintUsage();
    std::fflush(stdout);
    endRun(0);
    std::abort(); // endRun never returns
}

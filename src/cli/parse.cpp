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
    // The methods that copy whole sectors switch the bumper removal off as well: a
    // cut at a byte would leave every copied sector off its 2352-byte place (and in
    // a track under 15 MiB the cut after the stream's own end code leaves next to
    // nothing of it).
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

// The C library's atoi, made safe: (int)strtol is exactly what glibc's atoi does,
// without atoi's undefined behaviour on numbers out of range.
int32_t AtoiNumber(const char* text)
{
    return static_cast<int32_t>(std::strtol(text, nullptr, 10));
}

bool HasPrefix(const char* arg, const char* prefix)
{
    return strncasecmp(arg, prefix, std::strlen(prefix)) == 0;
}

// Stores the number after a prefix ("-track", "-r", "-w"); the bare prefix is skipped.
bool NumberAfter(const char* arg, const char* prefix, int32_t& number)
{
    const size_t n = std::strlen(prefix);
    if (std::strlen(arg) <= n)
        return false;
    number = AtoiNumber(arg + n);
    return true;
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

// The transfer needs sizes that fit the buffer; refuse the rest before any file is opened.
void CheckForcedSize(const char* option, const char* what, int32_t size)
{
    if (size < 0 || static_cast<uint32_t>(size) > BUF_SIZE)
        Fatal("Option %s%d refused: the %s size must be 1..%u bytes (0 keeps the default).\n\n",
              option, size, what, static_cast<unsigned>(BUF_SIZE));
}

void TakeName(const char* arg, std::string& into, const char* extension)
{
    into = arg;
    if (!existExtension(arg))
        into += extension;
}

} // namespace

int existExtension(const char* path)
{
    long i = static_cast<long>(std::strlen(path)) - 1;
    if (i >= 0 && path[i] == '\\')
        --i;
    for (; i >= 0; --i) {
        if (path[i] == '\\')
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
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        int32_t number = 0;
        if (HasPrefix(arg, "-track")) {
            if (NumberAfter(arg, "-track", number)) {
                startTrack = endTrack = static_cast<int16_t>(number);
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
            if (NumberAfter(arg, "-r", number))
                forcedReadSector = number;
        } else if (HasPrefix(arg, "-w")) {
            if (NumberAfter(arg, "-w", number))
                forcedWriteSector = number;
        } else if (!haveSource) {
            TakeName(arg, sourceDir, SourceExtension(method));
            source = &sourceDir;
            haveSource = true;
        } else {
            TakeName(arg, destDir, DestExtension(datormpg));
            dest = &destDir;
            CheckForcedSize("-r", "read sector", forcedReadSector);
            CheckForcedSize("-w", "write sector", forcedWriteSector);
            return;
        }
    }
    Help();
}

void Help()
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
    std::fflush(stdout);
    endRun(0);
    std::abort(); // endRun never returns
}

#include <cstdio>

#include "cli/cli.h"
#include "io/io.h"
#include "methods/methods.h"
#include "settings/settings.h"

const char* const kBanner = "Korvane v1.5 by the Korvane developers";

namespace {

// The conversion completed, but -verify found damaged sectors in the source.
constexpr int kStatusDamaged = 2;

// Indexed by method code; code 0 (no method option) runs nothing.
void (*const kMethods[])() = {
    nullptr, cue2raw, cue2mpg, cue2dat, raw2mpg, raw2dat, dat2mpg, cif2mpg, mpg2mpg, mpg2dat,
};

void RunMethod()
{
    constexpr int count = static_cast<int>(sizeof kMethods / sizeof kMethods[0]);
    if (method > 0 && method < count)
        kMethods[method]();
}

void PrintReport()
{
    if (initialHeaderCorrectionFlag != 0)
        std::printf("\xFE initital sequence correction applied.\n");
    if (fixOption != 0)
        std::printf("\xFE %ld MPEG block correction(s) applied.\n\n", static_cast<long>(badBlocks));
}

} // namespace

int RunKorvane(int argc, char** argv)
{
    KeepStandardStreamsOpen();
    SetUpConsole();
    std::printf("\n%s\n", kBanner);
    ParseCmdLine(argc, argv);
    std::printf("\n");
    RunMethod();
    PrintReport();
    std::fflush(stdout);
    // A missing output outweighs damage found in the outputs that were written.
    if (outputsNotWritten != 0)
        return 1;
    return damagedSectors != 0 ? kStatusDamaged : 0;
}

// The command line: the whole console and the status of each run; none makes a file.
#include "harness.h"

// raw2mpg's (or raw2dat's) heading, the option list and the missing-source report.
static std::string Missing(bool dat, const std::string& src, const std::string& dst,
                           const std::string& options)
{
    return BannerText() + "\nRAW track image source --> " + src + (dat ? "\nVCD DAT" : "\nMPEG") +
           " destination --> " + dst + "\nExtraction method --> raw2" + (dat ? "dat\n" : "mpg\n") +
           options + "\n" + src + " could not be opened.\nFile could be missing.\n\n";
}

static std::string Sizes(int r, int w)
{
    return (r ? "- User defined read sector size: " + std::to_string(r) + " bytes\n" : "") +
           (w ? "- User defined write sector size: " + std::to_string(w) + " bytes\n" : "");
}

TEST(CommandLine, UsageNamesOptionsAndRefusals)
{
    const std::string n(300, 'n'),
        fix = "- Fix broken MPEG blocks enabled.\n", track = "- Selected track #",
        usage = BannerText() + UsageText(),
        noMethod = BannerText() +
                   "No conversion method was given: add one of the method options below.\n\n" +
                   UsageText(),
        count = "\xFE 0 MPEG block correction(s) applied.\n\n",
        cue = BannerText() + "\nCUE source --> movie.cue\nMPEG destination --> "
                             "out.mpg\nExtraction method --> cue2mpg\nmovie.cue could "
                             "not be opened or accessed.\nFile may not exist.\n\n";
    // Numbers beyond their setting are refused, not wrapped into another one.
    const auto sizeRefused = [](const std::string& option, const std::string& which) {
        return BannerText() + "Option " + option + " refused: the " + which +
               " sector size must be 1..32705 bytes (0 keeps the default).\n\n";
    };
    const auto trackRefused = [](const std::string& option) {
        return BannerText() + "Option " + option +
               " refused: the track number must be 0..32767.\n\n";
    };
    ExpectAll({
        {"no arguments: the usage", Korvane("").Exits(0, usage)},
        {"one name, the others options: the usage",
         Korvane("-cue2mpg -fix -track2 -r2352 in").Exits(0, usage)},
        {"the method after a name; a missing sheet ends with 1; .cue and .mpg added",
         Korvane("movie -cue2mpg out").Exits(1, cue)},
        {"long names; nothing after the destination is read; mpg2mpg's own sizes",
         Korvane("-mpg2mpg " + n + " " + n + ".mpg -fix")
             .Exits(1, Missing(false, n + ".mpg", n + ".mpg", Sizes(2324, 2324)))},
        {"cif2mpg's sizes win over -r and -w",
         Korvane("-r100 -w200 -cif2mpg c d")
             .Exits(1, Missing(false, "c.cif", "d.mpg", Sizes(2332, 2324)))},
        {"options in any case; -nobumper brings -fix; the option list in its order",
         Korvane("-nobumper -r2352 -W2324 -track2 -Raw2Mpg s t")
             .Exits(1, Missing(false, "s.raw", "t.mpg",
                               fix + "- Remove CD-i bumper from file.\n" + Sizes(2352, 2324) +
                                   track + "2\n") +
                           count)},
        {"-track, -r and -w without a number change nothing; the last -track wins; a number's "
         "leading digits; the largest -r",
         Korvane("-track -track3 -TRACK07 -R32705 -r -w1.mpg -w -raw2mpg x y")
             .Exits(1, Missing(false, "x.raw", "y.mpg", Sizes(32705, 1) + track + "7\n"))},
        {"-r0 and -w0 keep the defaults; -trackxy is track 0; unknown options are names",
         Korvane("-r0 -w0 -trackxy -raw2mpg -x -y.mpg")
             .Exits(1, Missing(false, "-x.raw", "-y.mpg", track + "0\n"))},
        {"a slash or a backslash ends a folder name in front of an extension",
         Korvane("-raw2mpg C:\\video.d\\clip dir.d/clip")
             .Exits(1, Missing(false, "C:\\video.d\\clip.raw", "dir.d/clip.mpg", ""))},
        {"a name ending in a backslash or a dot",
         Korvane("-raw2dat clip.mpg\\ name.").Exits(1, Missing(true, "clip.mpg\\", "name.", ""))},
        {"a negative read size",
         Korvane("-raw2mpg -r-1 s t").Exits(1, sizeRefused("-r-1", "read"))},
        {"a write size beyond the buffer",
         Korvane("-w32706 -raw2mpg s t").Exits(1, sizeRefused("-w32706", "write"))},
        {"a write size wrapped to 1 in 32 bits",
         Korvane("-w4294967297 -mpg2mpg a o").Exits(1, sizeRefused("-w4294967297", "write"))},
        {"a read size beyond 64 bits",
         Korvane("-raw2mpg -r99999999999999999999 a o")
             .Exits(1, sizeRefused("-r99999999999999999999", "read"))},
        {"a track number wrapped to 0 in 16 bits",
         Korvane("-cue2raw -track65536 a o").Exits(1, trackRefused("-track65536"))},
        {"a track number wrapped to 32767 in 16 bits",
         Korvane("-cue2raw -track-32769 a o").Exits(1, trackRefused("-track-32769"))},
        {"no method: refused with the usage, no report", Korvane("-fix a b c").Exits(1, noMethod)},
    });
}

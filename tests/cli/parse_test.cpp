#include "harness.h"

// raw2mpg's (or raw2dat's) heading, the option list and the missing-source report.
static std::string Missing(bool dat, const std::string& src, const std::string& dst,
                           const std::string& options)
{
    return BannerText() + "\nRAW track image source --> " + src + (dat ? "\nVCD DAT" : "\nMPEG") +
           " destination --> " + dst + "\nExtraction method --> raw2" + (dat ? "dat\n" : "mpg\n") +
           options + "\n" + src + " could not be opened.\nFile could be missing.\n\n";
}

// The whole console and the status of each run; none makes a file.
TEST(CommandLine, UsageNamesOptionsAndRefusals)
{
    const auto sizes = [](int r, int w) {
        return (r ? "- User defined read sector size: " + std::to_string(r) + " bytes\n" : "") +
               (w ? "- User defined write sector size: " + std::to_string(w) + " bytes\n" : "");
    };
    const std::string n(300, 'n'),
        fix = "- Fix broken MPEG blocks enabled.\n", track = "- Selected track #",
        usage = BannerText() + UsageText(),
        noMethod = BannerText() +
                   "No conversion method was given: add one of the method options "
                   "below.\n\n" +
                   UsageText(),
        count = "\xFE 0 MPEG block correction(s) applied.\n\n",
        refused = " sector size must be 1..32705 bytes (0 keeps the default).\n\n",
        cue = BannerText() + "\nCUE source --> movie.cue\nMPEG destination --> out.mpg\nExtraction "
                             "method --> cue2mpg\n"
                             "movie.cue could not be opened or accessed.\nFile may not exist.\n\n";
    for (const Golden& g :
         {Korvane("").Exits(0, usage), Korvane("-cue2mpg -fix in").Exits(0, usage),
          Korvane("-track2 -r2352").Exits(0, usage), // no destination name
          Korvane("-cue2mpg movie out").Exits(1, cue), Korvane("movie -cue2mpg out").Exits(1, cue),
          Korvane("-fix -raw2dat in.bin out").Exits(1, Missing(true, "in.bin", "out.dat", "")),
          Korvane("-raw2dat -fix a b")
              .Exits(1, Missing(true, "a.raw", "b.dat", "")), // in any order
          Korvane("-nobumper -raw2dat a b")
              .Exits(1, Missing(true, "a.raw", "b.dat", "")), // both repairs off
          Korvane("-mpg2mpg " + n + " " + n + ".mpg -fix")
              .Exits(1, Missing(false, n + ".mpg", n + ".mpg", sizes(2324, 2324))),
          Korvane("-r100 -w200 -cif2mpg c d")
              .Exits(1, Missing(false, "c.cif", "d.mpg", sizes(2332, 2324))),
          Korvane("-nobumper -r2352 -W2324 -track2 -Raw2Mpg s t")
              .Exits(1, Missing(false, "s.raw", "t.mpg",
                                fix + "- Remove CD-i bumper from file.\n" + sizes(2352, 2324) +
                                    track + "2\n") +
                            count),
          Korvane("-track -TRACK05 -R2352 -r -w -raw2mpg x y")
              .Exits(1, Missing(false, "x.raw", "y.mpg", sizes(2352, 0) + track + "5\n")),
          Korvane("-track3 -track7 -r32705 -w1.mpg -raw2mpg s t")
              .Exits(1, Missing(false, "s.raw", "t.mpg", sizes(32705, 1) + track + "7\n")),
          Korvane("-r0 -w0 -trackxy -raw2mpg -x -y.mpg")
              .Exits(1, Missing(false, "-x.raw", "-y.mpg", track + "0\n")),
          // A slash or a backslash ends a folder name in front of an extension.
          Korvane("-raw2mpg C:\\video.d\\clip dir.d/clip")
              .Exits(1, Missing(false, "C:\\video.d\\clip.raw", "dir.d/clip.mpg", "")),
          Korvane("-raw2dat clip.mpg\\ name.").Exits(1, Missing(true, "clip.mpg\\", "name.", "")),
          Korvane("-raw2mpg -r-1 s t")
              .Exits(1, BannerText() + "Option -r-1 refused: the read" + refused),
          Korvane("-w32706 -raw2mpg s t")
              .Exits(1, BannerText() + "Option -w32706 refused: the write" + refused),
          Korvane("a b").Exits(1, noMethod), Korvane("-fix a b c").Exits(1, noMethod)})
        Expect(g);
}

// The command line: the whole console and the status of each run; none makes a file.
#include "harness.h"

// raw2mpg's heading, the option list and the missing-source report.
static std::string Missing(const std::string& src, const std::string& dst,
                           const std::string& options)
{
    return BannerText() + "\nRAW track image source --> " + src + "\nMPEG destination --> " + dst +
           "\nExtraction method --> raw2mpg\n" + options + "\n" + src +
           " could not be opened.\nFile could be missing.\n\n";
}

static std::string Sizes(int r, int w)
{
    return (r ? "- User defined read sector size: " + std::to_string(r) + " bytes\n" : "") +
           (w ? "- User defined write sector size: " + std::to_string(w) + " bytes\n" : "");
}

TEST(CommandLine, UsageNamesOptionsAndRefusals)
{
    const std::string n(300, 'n'), track = "- Selected track #", usage = BannerText() + UsageText();
    // Numbers beyond their setting are refused, not wrapped into another one.
    const auto refused = [](const std::string& option, const std::string& why) {
        return BannerText() + "Option " + option + " refused: the " + why + ".\n\n";
    };
    const std::string size = " sector size must be 1..32705 bytes (0 keeps the default)";
    ExpectAll({
        {"no arguments: the usage", Korvane("").Exits(0, usage)},
        {"one name, the others options: the usage",
         Korvane("-cue2mpg -fix -track2 -r2352 in").Exits(0, usage)},
        {"the method after a name; a missing sheet ends with 1; .cue and .mpg added",
         Korvane("movie -cue2mpg out")
             .Exits(1, BannerText() +
                           "\nCUE source --> movie.cue\nMPEG destination --> out.mpg\n"
                           "Extraction method --> cue2mpg\nmovie.cue could not be opened "
                           "or accessed.\nFile may not exist.\n\n")},
        {"long names; nothing after the destination is read; mpg2mpg's sizes win over -r and -w",
         Korvane("-r100 -w200 -mpg2mpg " + n + " " + n + ".mpg -fix")
             .Exits(1, Missing(n + ".mpg", n + ".mpg", Sizes(2324, 2324)))},
        {"options in any case; -nobumper brings -fix; the option list in its order",
         Korvane("-nobumper -r2352 -W2324 -track2 -Raw2Mpg s t")
             .Exits(1,
                    Missing("s.raw", "t.mpg",
                            "- Fix broken MPEG blocks enabled.\n- Remove CD-i bumper from file.\n" +
                                Sizes(2352, 2324) + track + "2\n") +
                        "\xFE 0 MPEG block correction(s) applied.\n\n")},
        {"-track, -r, -w without a number ignored; the last -track wins; leading digits; -r32705",
         Korvane("-track -track3 -TRACK07 -R32705 -r -w1.mpg -w -raw2mpg x y")
             .Exits(1, Missing("x.raw", "y.mpg", Sizes(32705, 1) + track + "7\n"))},
        {"-r0 -w0 keep the defaults; -trackxy is 0; unknown options are names; / \\ end folders",
         Korvane("-r0 -w0 -trackxy -raw2mpg -x.d\\clip dir.d/clip")
             .Exits(1, Missing("-x.d\\clip.raw", "dir.d/clip.mpg", track + "0\n"))},
        {"a write size beyond the buffer",
         Korvane("-w32706 -raw2mpg s t").Exits(1, refused("-w32706", "write" + size))},
        {"a write size wrapped to 1 in 32 bits",
         Korvane("-w4294967297 -mpg2mpg a o").Exits(1, refused("-w4294967297", "write" + size))},
        {"a read size beyond 64 bits",
         Korvane("-raw2mpg -r99999999999999999999 a o")
             .Exits(1, refused("-r99999999999999999999", "read" + size))},
        {"a track number wrapped to 0 in 16 bits",
         Korvane("-cue2raw -track65536 a o")
             .Exits(1, refused("-track65536", "track number must be 0..32767"))},
        {"no method: refused with the usage, no report",
         Korvane("-fix a b c")
             .Exits(1,
                    BannerText() +
                        "No conversion method was given: add one of the method options below.\n\n" +
                        UsageText())},
    });
}

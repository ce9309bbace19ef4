#include <gtest/gtest.h>

#include "cli/cli.h"
#include "harness.h"

static const std::string kFix = "- Fix broken MPEG blocks enabled.\n", kTrack = "- Selected track #";
static std::string Sizes(int r, int w)
{
    const std::string read = "- User defined read sector size: " + std::to_string(r) + " bytes\n";
    return (r ? read : "") + (w ? "- User defined write sector size: " + std::to_string(w) + " bytes\n" : "");
}
// raw2mpg's (or raw2dat's) heading, the option list and the missing-source report.
static std::string Missing(bool dat, const std::string& src, const std::string& dst, const std::string& options)
{
    return "\nRAW track image source --> " + src + (dat ? "\nVCD DAT" : "\nMPEG") + " destination --> " + dst +
           "\nExtraction method --> raw2" + (dat ? "dat\n" : "mpg\n") + options + "\n" + src +
           " could not be opened.\nFile could be missing.\n\n";
}

// Each run's output after the banner, its status, and that no file was made.
TEST(CommandLine, NamesOptionsAndRefusals)
{
    const std::string n(300, 'n'), count = "\xFE 0 MPEG block correction(s) applied.\n\n",
                      refused = " sector size must be 1..32705 bytes (0 keeps the default).\n\n",
                      cue = "\nCUE source --> movie.cue\nMPEG destination --> out.mpg\nExtraction method --> cue2mpg\n"
                            "movie.cue could not be opened or accessed.\nFile may not exist.\n\n";
    const struct { std::vector<std::string> args; std::string out; int status; } cases[] = {
        {{"-cue2mpg", "movie", "out"}, cue, 1}, {{"movie", "-cue2mpg", "out"}, cue, 1},
        {{"-fix", "-raw2dat", "in.bin", "out"}, Missing(true, "in.bin", "out.dat", ""), 0},
        {{"-raw2dat", "-fix", "a", "b"}, Missing(true, "a.raw", "b.dat", kFix) + count, 0},
        {{"-mpg2mpg", n, n + ".mpg", "-fix"}, Missing(false, n + ".mpg", n + ".mpg", Sizes(2324, 2324)), 0},
        {{"-r100", "-w200", "-cif2mpg", "c", "d"}, Missing(false, "c.cif", "d.mpg", Sizes(2332, 2324)), 0},
        {{"-nobumper", "-r2352", "-W2324", "-track2", "-Raw2Mpg", "s", "t"},
         Missing(false, "s.raw", "t.mpg", kFix + "- Remove CD-i bumper from file.\n" + Sizes(2352, 2324) +
                                              kTrack + "2\n") + count, 0},
        {{"-track", "-TRACK05", "-R2352", "-r", "-w", "-raw2mpg", "x", "y"},
         Missing(false, "x.raw", "y.mpg", Sizes(2352, 0) + kTrack + "5\n"), 0},
        {{"-track3", "-track7", "-r32705", "-w1.mpg", "-raw2mpg", "s", "t"},
         Missing(false, "s.raw", "t.mpg", Sizes(32705, 1) + kTrack + "7\n"), 0},
        {{"-r0", "-w0", "-trackxy", "-raw2mpg", "-x", "-y.mpg"}, Missing(false, "-x.raw", "-y.mpg", kTrack + "0\n"), 0},
        {{"-raw2mpg", "-r-1", "s", "t"}, "Option -r-1 refused: the read" + refused, 1},
        {{"-w32706", "-raw2mpg", "s", "t"}, "Option -w32706 refused: the write" + refused, 1},
        {{"a", "b"}, "\n", 0}, {{"-fix", "a", "b", "c"}, "\n" + count, 0},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const RunResult r = RunKorvane(c.args, dir.path());
        EXPECT_EQ(r.out, BannerText() + c.out) << c.args[0] << " " << c.args[1];
        EXPECT_EQ(r.status, c.status) << c.args[0] << " " << c.args[1];
        EXPECT_TRUE(ListDir(dir.path()).empty());
    }
}

TEST(CommandLine, ExistExtensionStopsAtBackslashOnly)
{
    const struct { const char* path; int has; } cases[] = {{"C:\\video\\clip", 0}, {"C:\\video.d\\clip", 0},
        {"clip.mpg\\", 1}, {"dir.d/clip", 1}, {"", 0}, {"name.", 1}, {"\\", 0}};
    for (const auto& c : cases)
        EXPECT_EQ(existExtension(c.path), c.has) << c.path;
}

#include <gtest/gtest.h>

#include <cstdlib>

#include "harness.h"

// raw2mpg's (or raw2dat's) heading, the option list and the missing-source report.
static std::string Missing(bool dat, const std::string& src, const std::string& dst, const std::string& options)
{
    return BannerText() + "\nRAW track image source --> " + src + (dat ? "\nVCD DAT" : "\nMPEG") + " destination --> " +
           dst + "\nExtraction method --> raw2" + (dat ? "dat\n" : "mpg\n") + options + "\n" + src +
           " could not be opened.\nFile could be missing.\n\n";
}

// The whole console and the status of each run; none makes a file.
TEST(CommandLine, UsageNamesOptionsAndRefusals)
{
    const auto sizes = [](int r, int w) {
        return (r ? "- User defined read sector size: " + std::to_string(r) + " bytes\n" : "") +
               (w ? "- User defined write sector size: " + std::to_string(w) + " bytes\n" : "");
    };
    const std::string n(300, 'n'),
        fix = "- Fix broken MPEG blocks enabled.\n", track = "- Selected track #", usage = BannerText() + UsageText(),
        count = "\xFE 0 MPEG block correction(s) applied.\n\n",
        refused = " sector size must be 1..32705 bytes (0 keeps the default).\n\n",
        cue = BannerText() + "\nCUE source --> movie.cue\nMPEG destination --> out.mpg\nExtraction method --> cue2mpg\n"
                             "movie.cue could not be opened or accessed.\nFile may not exist.\n\n";
    const struct {
        std::vector<std::string> args;
        std::string out;
        int status;
    } cases[] = {
        {{}, usage, 0},
        {{"-cue2mpg", "-fix", "in"}, usage, 0},
        {{"-track2", "-r2352"}, usage, 0}, // no destination name
        {{"-cue2mpg", "movie", "out"}, cue, 1},
        {{"movie", "-cue2mpg", "out"}, cue, 1},
        {{"-fix", "-raw2dat", "in.bin", "out"}, Missing(true, "in.bin", "out.dat", ""), 0},
        {{"-raw2dat", "-fix", "a", "b"}, Missing(true, "a.raw", "b.dat", fix) + count, 0},
        {{"-mpg2mpg", n, n + ".mpg", "-fix"}, Missing(false, n + ".mpg", n + ".mpg", sizes(2324, 2324)), 0},
        {{"-r100", "-w200", "-cif2mpg", "c", "d"}, Missing(false, "c.cif", "d.mpg", sizes(2332, 2324)), 0},
        {{"-nobumper", "-r2352", "-W2324", "-track2", "-Raw2Mpg", "s", "t"},
         Missing(false, "s.raw", "t.mpg",
                 fix + "- Remove CD-i bumper from file.\n" + sizes(2352, 2324) + track + "2\n") +
             count,
         0},
        {{"-track", "-TRACK05", "-R2352", "-r", "-w", "-raw2mpg", "x", "y"},
         Missing(false, "x.raw", "y.mpg", sizes(2352, 0) + track + "5\n"),
         0},
        {{"-track3", "-track7", "-r32705", "-w1.mpg", "-raw2mpg", "s", "t"},
         Missing(false, "s.raw", "t.mpg", sizes(32705, 1) + track + "7\n"),
         0},
        {{"-r0", "-w0", "-trackxy", "-raw2mpg", "-x", "-y.mpg"}, Missing(false, "-x.raw", "-y.mpg", track + "0\n"), 0},
        // Only a backslash ends a folder name in front of an extension.
        {{"-raw2mpg", "C:\\video.d\\clip", "dir.d/clip"}, Missing(false, "C:\\video.d\\clip.raw", "dir.d/clip", ""), 0},
        {{"-raw2dat", "clip.mpg\\", "name."}, Missing(true, "clip.mpg\\", "name.", ""), 0},
        {{"-raw2mpg", "-r-1", "s", "t"}, BannerText() + "Option -r-1 refused: the read" + refused, 1},
        {{"-w32706", "-raw2mpg", "s", "t"}, BannerText() + "Option -w32706 refused: the write" + refused, 1},
        {{"a", "b"}, BannerText() + "\n", 0},
        {{"-fix", "a", "b", "c"}, BannerText() + "\n" + count, 0}};
    for (const auto& c : cases) Expect({c.args, {}, c.status, c.out});
}

// Installs the build folder into a temporary DESTDIR, as `make install` does, and runs the installed program.
TEST(Install, DestdirGetsProgramAndManualPageThatWork)
{
    TempDir root;
    const std::string bin = KORVANE_BIN,
                      build = bin.substr(0, bin.rfind('/')); // korvane sits at the build folder's root
    ASSERT_EQ(
        std::system(("DESTDIR='" + root.path() + "' cmake --install '" + build + "' --prefix /usr >/dev/null").c_str()),
        0);
    EXPECT_NE(ReadFile(root / "usr/share/man/man1/korvane.1").find("\n.TH KORVANE 1 "), std::string::npos);
    const RunResult r = RunKorvane({}, root.path(), (root / "usr/bin/korvane").c_str());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, BannerText() + UsageText());
}

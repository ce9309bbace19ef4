// Damaged, truncated and hand-edited inputs: every one ends with a clear
// message and the right status, and a failed run leaves no output behind.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "harness.h"
#include "synth.h"

namespace {

std::string Tail(const std::string& out, size_t length)
{
    return out.substr(out.size() - std::min(out.size(), length));
}

}  // namespace

TEST(Faults, BadInputsEndCleanly)
{
    const std::string stream = MpegBlocks(6), raw = RawSectors(stream);
    const std::string sheet = "FILE in.bin BINARY\nTRACK 01 MODE2/2352\nINDEX 01 00:00:00\nTRACK 02 MODE2/2352\nINDEX 01 00:00:01\n";
    struct Case {
        std::vector<std::string> args;  // the source is always named "in.x"
        std::string input;
        int status;
        std::string said;  // how the console ends
    };
    std::vector<Case> cases{
        {{"-raw2mpg"}, "", 1, "Could not find MPEG stream in raw image file.\n"},
        {{"-mpg2dat"}, std::string(1, '\0'), 1, "Could not find MPEG stream in MPEG file.\n"},
        {{"-dat2mpg"}, "R", 1, "does not have the correct DAT signature.\n"},
        {{"-cue2mpg"}, "", 1, "Missing FILE information.\n\n"},
        {{"-cue2raw"}, Filler(3000, 3), 1, "Missing FILE information.\n\n"},
        {{"-cue2dat"}, "FILE \"" + std::string(5000, 'W'), 1, "missing the necessary track information.\n\n"},
        {{"-cue2raw"}, "FILE " + std::string(5000, 'W') + " BINARY\n", 1, "inside the CUE file could be wrong\n\n"},
        {{"-cue2raw"}, sheet + "TRACK 03 MODE2/2352\nINDEX 01 99999:00:00\n", 0, "\xFE completed. Track(s) written.\n\n"},
        {{"-dat2mpg"}, DatFile(raw).substr(0, 44 + 2 * kRaw + 2330), 0, "\xFE completed. out.mpg written.\n"},  // truncated
    };
    for (const std::string method : {"-raw2mpg", "-raw2dat", "-cif2mpg", "-mpg2mpg", "-mpg2dat", "-dat2mpg", "-cue2raw",
                                     "-cue2dat", "-cue2mpg"}) {
        const std::string input = method[1] == 'm' ? stream : method == "-cif2mpg" ? CifSectors(stream) : raw;
        cases.push_back({{method, "-track01", "in.x", "/dev/./full"}, method[1] == 'c' && method[2] == 'u' ? sheet
                         : method[1] == 'd' ? DatFile(raw) : input, 1,
                         "Write error: /dev/./full could not be written (is the disk full?).\n\n"});
    }
    for (Case& c : cases) {
        TempDir dir;
        WriteFile(dir / "in.x", c.input);
        WriteFile(dir / "in.bin", raw);
        if (c.args.size() == 1)
            c.args.insert(c.args.end(), {"in.x", "out"});
        const RunResult r = RunKorvane(c.args, dir.path());
        EXPECT_EQ(r.status, c.status) << c.args[0] << c.input.substr(0, 20);
        EXPECT_EQ(Tail(r.out, c.said.size()), c.said) << c.args[0];
        if (c.status != 0) {
            EXPECT_EQ(ListDir(dir.path()), (std::vector<std::string>{"in.bin", "in.x"})) << c.args[0];
        }
    }
    TempDir dir;  // neither a folder nor a pipe can be a source; a pipe without a writer would wait for ever
    ASSERT_EQ(mkdir((dir / "folder.raw").c_str(), 0755) | mkfifo((dir / "pipe.raw").c_str(), 0644), 0);
    for (const std::string name : {"folder.raw", "pipe.raw"}) {
        const std::string said = name + " could not be opened.\nFile could be missing.\n\n";
        EXPECT_EQ(Tail(RunKorvane({"-raw2mpg", name, "out"}, dir.path()).out, said.size()), said);
    }
    EXPECT_EQ(RunKorvane({"-cue2mpg", "folder.raw", "out"}, dir.path()).status, 1);
}

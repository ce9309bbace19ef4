// The batched engine and a build reading one step per call leave the same files and console: 1.4 MB
// spanning several batches, with broken blocks, a bumper's end code, junk before the first pack
// and a partial last step. On a full disk each ends with 1.
#include <unistd.h>

#include "harness.h"

TEST(Batching, SameOutputsAsOneStepAtATime)
{
    std::string stream = MpegBlocks(600);
    for (size_t block : {3u, 40u, 41u, 200u})
        stream.replace(block * kPack + 2, 3, "UUU");
    stream.replace(7 * kPack + 500, 4, std::string("\0\0\1\xB9", 4));
    const Files inputs{{"in.raw", Filler(3001) + RawSectors(stream) + Filler(999)},
                       {"in.mpg", Filler(777) + stream + Filler(1234)},
                       {"in.cif", CifSectors(stream)},
                       {"in.dat", DatFile(RawSectors(stream))},
                       {"in.cue", Sheet("in.bin", {"00:00:00", "00:02:00"})},
                       {"in.bin", std::string(150 * kRaw, '\0') + RawSectors(stream)}};
    TempDir batched, stepwise;
    for (const auto& [name, bytes] : inputs) {
        WriteFile(batched / name, bytes);
        WriteFile(stepwise / name, bytes);
    }
    // Through a link, so that no name is made in /dev.
    ASSERT_EQ(symlink("/dev/full", (batched / "full.out").c_str()), 0);
    for (const std::string option : {"-r0", "-fix", "-nobumper", "-w1000"})
        for (const std::string method : {"raw2mpg", "raw2dat", "mpg2mpg", "mpg2dat", "cif2mpg",
                                         "dat2mpg", "cue2raw", "cue2dat", "cue2mpg"}) {
            std::vector<std::string> args{"-" + method, option, "in." + method.substr(0, 3),
                                          method + option};
            const RunResult a = RunKorvane(args, batched.path()),
                            b = RunKorvane(args, stepwise.path(), KORVANE_STEPWISE_BIN);
            EXPECT_EQ(std::tie(a.status, a.out), std::tie(b.status, b.out)) << method << option;
            args.back() = "full.out";
            const RunResult full = RunKorvane(args, batched.path());
            EXPECT_EQ(full.status, 1);
            ExpectConsole(full.out, "full.out could not be written (is the disk full?).\n\n",
                          method + option);
        }
    unlink((batched / "full.out").c_str());
    const std::vector<std::string> files = ListDir(batched.path());
    ASSERT_EQ(files, ListDir(stepwise.path()));
    for (const std::string& file : files)
        EXPECT_TRUE(ReadFile(batched / file) == ReadFile(stepwise / file)) << file;
}

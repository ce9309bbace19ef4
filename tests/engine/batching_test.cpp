// The engine reads many steps per system call and gathers its writes; a test
// build reads one step per call. Both must leave exactly the same files and
// print exactly the same console, whatever the source holds.
#include "harness.h"

namespace {

std::string WithFaults(std::string stream)
{
    for (size_t block : {3u, 40u, 41u, 200u})
        stream.replace(block * kPack + 2, 3, "UUU");                        // broken blocks
    stream.replace(7 * kPack + 500, 4, std::string("\x00\x00\x01\xB9", 4)); // a bumper's end code
    return stream;
}

void ExpectSameRun(const std::vector<std::string>& args, const Files& inputs)
{
    TempDir batched, stepwise;
    for (const auto& [name, bytes] : inputs) {
        WriteFile(batched / name, bytes);
        WriteFile(stepwise / name, bytes);
    }
    const RunResult a = RunKorvane(args, batched.path()),
                    b = RunKorvane(args, stepwise.path(), KORVANE_STEPWISE_BIN);
    EXPECT_EQ(a.status, b.status);
    EXPECT_EQ(a.out, b.out);
    const std::vector<std::string> files = ListDir(batched.path());
    ASSERT_EQ(files, ListDir(stepwise.path()));
    for (const std::string& file : files)
        EXPECT_EQ(ReadFile(batched / file), ReadFile(stepwise / file)) << file;
}

} // namespace

TEST(Batching, SameOutputsAsOneStepAtATime)
{
    // 1.4 MB of stream spans several batches; junk before the first pack and a
    // partial last step.
    const std::string stream = WithFaults(MpegBlocks(600));
    const Files raw{{"in.raw", Filler(3001) + RawSectors(stream) + Filler(999)}};
    const Files mpg{{"in.mpg", Filler(777) + stream + Filler(1234)}};
    const Files cif{{"in.cif", CifSectors(stream)}};
    const Files dat{{"in.dat", DatFile(RawSectors(stream))}};
    const Files cue{{"in.cue", "FILE \"in.bin\" BINARY\n TRACK 01 MODE2/2352\n INDEX 01 00:00:00\n"
                               " TRACK 02 MODE2/2352\n INDEX 01 00:02:00\n"},
                    {"in.bin", std::string(150 * kRaw, '\0') + RawSectors(stream)}};
    for (const char* option : {"-r0", "-fix", "-nobumper", "-w1000"}) {
        SCOPED_TRACE(option);
        for (const char* method : {"-raw2mpg", "-raw2dat"})
            ExpectSameRun({method, option, "in.raw", "out"}, raw);
        for (const char* method : {"-mpg2mpg", "-mpg2dat"})
            ExpectSameRun({method, option, "in.mpg", "out"}, mpg);
        ExpectSameRun({"-cif2mpg", option, "in.cif", "out"}, cif);
        ExpectSameRun({"-dat2mpg", option, "in.dat", "out"}, dat);
        for (const char* method : {"-cue2raw", "-cue2dat", "-cue2mpg"})
            ExpectSameRun({method, option, "in.cue", "out"}, cue);
    }
}

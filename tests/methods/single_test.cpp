#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "harness.h"
#include "synth.h"

static std::string Sized(std::string dat)  // each size field of a finished .dat counts the bytes after it
{
    for (const size_t at : {4, 40})
        for (size_t i = 0; i < 4; ++i) dat[at + i] = static_cast<char>((dat.size() - at - 4) >> (8 * i));
    return dat;
}

// The k-th sector after the header of a .dat made from a stream, at 00:08:(12 + k).
static std::string Sector(int k, const std::string& sub, const std::string& data, const std::string& edc)
{
    return std::string(1, '\0') + std::string(10, '\xFF') + std::string("\0\0\x08", 3) +
           static_cast<char>((12 + k) / 10 << 4 | (12 + k) % 10) + "\x02" + sub + sub + data + edc;
}

TEST(SingleFileMethods, ExactOutputBytesAndOneWholeConsole)
{
    const std::string blocks = MpegBlocks(5), tail = Filler(700, 3), stream = Filler(1000, 5) + blocks + tail;
    const std::string raw = Filler(2 * kRaw, 9) + RawSectors(blocks), padded = blocks + tail + std::string(kPack - 700, '\0');
    std::string dat = DatHeaderTemplate();
    for (int k = 0; k < 36; ++k)  // 30 leading sectors, then 6 data sectors, the last one padded
        dat += k < 30 ? Sector(k, std::string("\x01\0\x60\0", 4), std::string(kPack, '\0'), "\xAF\x2B\x17\xD8")
                      : Sector(k, "\x01\x01\x62\x0F", padded.substr((k - 30) * kPack, kPack), std::string(4, '\0'));
    const struct { std::vector<std::string> args; std::string in, want; } rows[] = {
        {{"-raw2mpg", "in.raw", "out.mpg"}, raw, blocks},
        {{"-raw2dat", "in.raw", "out.dat"}, raw + Filler(100), Sized(DatHeaderTemplate() + raw)},
        {{"-dat2mpg", "in.dat", "out.mpg"}, DatFile(Filler(kRaw) + RawSectors(blocks)), blocks},
        {{"-cif2mpg", "in.cif", "out.mpg"}, Filler(kCif) + CifSectors(blocks), blocks},
        {{"-mpg2mpg", "in.mpg", "out.mpg"}, stream, blocks + tail},
        {{"-mpg2dat", "-r2000", "in.mpg", "out.dat"}, stream, Sized(dat)}};  // -r changes nothing here
    for (const auto& r : rows) {
        TempDir dir;
        WriteFile(dir / r.args[r.args.size() - 2], r.in);
        const RunResult run = RunKorvane(r.args, dir.path());
        EXPECT_EQ(run.status, 0) << r.args[0];
        EXPECT_TRUE(ReadFile(dir / r.args.back()) == r.want) << r.args[0];
        if (r.args[0] == "-mpg2dat") {
            EXPECT_EQ(run.out, BannerText() + "\nMPEG file source --> in.mpg\nVCD DAT destination --> out.dat\n"
                      "Conversion method --> mpg2dat\n- User defined read sector size: 2000 bytes\n\n\xFE    "
                      "             -> searching \r\xFE 0%\r\xFE                 -> writing...\r\xFE 0% [00:00:00] "
                      "\r\n\xFE completed. out.dat written.\n");
        }
    }
}

TEST(SingleFileMethods, ProgressAndTheSampleThroughDatAndBack)
{
    TempDir dir;
    WriteFile(dir / "big.mpg", MpegBlocks(1400));  // 3253600 bytes: 3 whole MiB, so steps of 33
    const RunResult run = RunKorvane({"-mpg2mpg", "big.mpg", "out.mpg"}, dir.path());
    std::vector<int> seen;
    for (size_t at = run.out.find("% ["); at != std::string::npos; at = run.out.find("% [", at + 1))
        seen.push_back(std::stoi(run.out.substr(run.out.rfind(' ', at) + 1)));
    EXPECT_EQ(seen, (std::vector<int>{0, 33, 66, 100}));
    const std::string mpg = ReadFile(SamplePath("sample.mpg"));
    EXPECT_EQ(RunKorvane({"-mpg2dat", SamplePath("sample.mpg"), "s.dat"}, dir.path()).status, 0);
    EXPECT_EQ(RunKorvane({"-dat2mpg", "s.dat", "back.mpg"}, dir.path()).status, 0);
    EXPECT_TRUE(mpg.size() == 187 * kPack && ReadFile(dir / "back.mpg") == mpg);
    if (!FileExists("/usr/bin/cdxa2mpeg"))
        GTEST_SKIP() << "cdxa2mpeg (vcdimager) is not installed";
    EXPECT_EQ(std::system(("/usr/bin/cdxa2mpeg -q " + dir / "s.dat" + " " + dir / "c.mpg").c_str()), 0);
    EXPECT_TRUE(ReadFile(dir / "c.mpg") == mpg);
}

TEST(SingleFileMethods, FailuresAndWhatTheyLeave)
{
    TempDir dir;
    const std::string blocks = MpegBlocks(5), same = " writing it would destroy the input.\n\n";
    for (const auto& [name, bytes] : std::vector<std::pair<std::string, std::string>>{{"in.mpg", blocks},
             {"junk.mpg", Filler(20000)}, {"bad.dat", "RIFX" + RawSectors(blocks)}, {"keep.mpg", "keep"},
             {"nopack.dat", DatHeaderTemplate() + Filler(20000)}, {"big.mpg", ""}})
        WriteFile(dir / name, bytes);
    ASSERT_EQ(truncate((dir / "big.mpg").c_str(), 4294967296LL), 0);  // sparse
    ASSERT_EQ(link((dir / "in.mpg").c_str(), (dir / "hard.mpg").c_str()), 0);
    // A tail that begins with the option list shows that the run stopped before the search.
    const struct { std::vector<std::string> args; int status; std::string tail; const char* absent; } rows[] = {
        {{"-mpg2mpg", "nope.mpg", "o1.mpg"}, 0, "size: 2324 bytes\n\nnope.mpg could not be opened.\nFile could be missing.\n\n", "o1.mpg"},
        {{"-mpg2dat", "junk.mpg", "o2.dat"}, 1, "\xFE 0%\r\n\nCould not find MPEG stream in MPEG file.\n", "o2.dat"},
        {{"-raw2dat", "junk.mpg", "o3.dat"}, 1, "\xFE 0%\r\n\nCould not find MPEG stream in raw image file.\n", "o3.dat"},
        {{"-dat2mpg", "nopack.dat", "o4.mpg"}, 1, "\xFE 0%\r\n\nCould not find MPEG stream in DAT file.\n", "o4.mpg"},
        {{"-dat2mpg", "bad.dat", "keep.mpg"}, 1, "dat2mpg\n\n\nThis file is not a DAT file or does not have the correct DAT signature.\n", nullptr},
        {{"-mpg2mpg", "in.mpg", "nodir/o5.mpg"}, 0, "\xFE 0%\rnodir/o5.mpg could not be written.\n", nullptr},
        {{"-mpg2mpg", "in.mpg", "/dev/./full"}, 1, "\r\n\nWrite error: /dev/./full could not be written (is the disk full?).\n\n", nullptr},
        {{"-mpg2mpg", "in.mpg", "in.mpg"}, 1, "\xFE 0%\rin.mpg is the same file as in.mpg;" + same, nullptr},
        {{"-mpg2mpg", "in.mpg", "hard.mpg"}, 1, "\xFE 0%\rhard.mpg is the same file as in.mpg;" + same, nullptr},
        {{"-mpg2mpg", "big.mpg", "o6.mpg"}, 1, "size: 2324 bytes\n\nbig.mpg is 4 GiB or larger; Korvane reads sources smaller than 4 GiB only.\n\n", "o6.mpg"},
        {{"-raw2mpg", "-w2400", "in.mpg", "o7.mpg"}, 1, "2400 bytes\n\nThe write size of 2400 bytes is larger than the 2352 bytes read per step; use a smaller -w.\n\n", "o7.mpg"}};
    for (const auto& r : rows) {
        const RunResult run = RunKorvane(r.args, dir.path());
        EXPECT_EQ(run.status, r.status) << r.args[1];
        EXPECT_EQ(run.out.substr(run.out.size() - std::min(run.out.size(), r.tail.size())), r.tail);
        EXPECT_EQ(run.out.find("completed"), std::string::npos) << r.args[1];
        EXPECT_TRUE(r.absent == nullptr || !FileExists(dir / r.absent)) << r.absent;
    }
    EXPECT_TRUE(ReadFile(dir / "in.mpg") == blocks && ReadFile(dir / "keep.mpg") == "keep");
}

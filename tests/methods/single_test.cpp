// The six single-file methods: exact output bytes and console, progress, and damaged, truncated or
// refused inputs, each ending with a clear message and the right status, leaving no output behind.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "harness.h"

TEST(SingleFileMethods, OutputsConsolesAndFailures)
{
    const std::string blocks = MpegBlocks(5), tail = Filler(700, 3),
                      stream = Filler(1000, 5) + blocks + tail, junk = Filler(20000),
                      raw = Filler(2 * kRaw, 9) + RawSectors(blocks),
                      padded = blocks + tail + std::string(kPack - 700, '\0');
    std::string sectors; // of a .dat made from `stream`: 30 leading ones, then 6 with data, the
                         // last one padded, from 00:08:12
    for (int k = 0; k < 36; ++k)
        sectors += std::string("\0\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\0\0\x08", 14) +
                   static_cast<char>((12 + k) / 10 << 4 | (12 + k) % 10) +
                   (k < 30 ? std::string("\x02\x01\0\x60\0\x01\0\x60\0", 9) +
                                 std::string(kPack, '\0') + "\xAF\x2B\x17\xD8"
                           : "\x02\x01\x01\x62\x0F\x01\x01\x62\x0F" +
                                 padded.substr((k - 30) * kPack, kPack) + std::string(4, '\0'));
    const std::string done = "\xFE completed. out.mpg written.\n",
                      same = " writing it would destroy the input.\n\n",
                      none = "\n\nCould not find MPEG stream in ", six = MpegBlocks(6),
                      dat = DatFile(RawSectors(six)),
                      signature = "dat2mpg\n\n\nThis file is not a DAT file or does not have the "
                                  "correct DAT signature.\n";
    const Files mpg{{"in.mpg", blocks}};
    std::vector<Golden> runs{
        Korvane("-raw2mpg in.raw out.mpg", {{"in.raw", raw}}).Exits(0, done, {{"out.mpg", blocks}}),
        Korvane("-raw2dat in.raw out.dat", {{"in.raw", raw + Filler(100)}})
            .Exits(0, "\xFE completed. out.dat written.\n", {{"out.dat", DatFile(raw)}}),
        Korvane("-dat2mpg in.dat out.mpg", {{"in.dat", DatFile(Filler(kRaw) + RawSectors(blocks))}})
            .Exits(0, done, {{"out.mpg", blocks}}),
        Korvane("-cif2mpg in.cif out.mpg", {{"in.cif", Filler(kCif) + CifSectors(blocks)}})
            .Exits(0, done, {{"out.mpg", blocks}}),
        Korvane("-mpg2mpg in.mpg out.mpg", {{"in.mpg", stream}})
            .Exits(0, done, {{"out.mpg", blocks + tail}}),
        Korvane("-mpg2dat -r2000 in.mpg out.dat", {{"in.mpg", stream}}) // -r changes nothing here
            .Exits(0,
                   BannerText() + "\nMPEG file source --> in.mpg\nVCD DAT destination --> "
                                  "out.dat\nConversion method --> mpg2dat\n"
                                  "- User defined read sector size: 2000 bytes\n\n\xFE             "
                                  "    -> searching \r\xFE 0%\r"
                                  "\xFE                 -> writing...\r\xFE 0% [00:00:00] \r\n\xFE "
                                  "completed. out.dat written.\n",
                   {{"out.dat", DatFile(sectors)}}),
        Korvane("-dat2mpg in.dat out", {{"in.dat", dat.substr(0, 44 + 2 * kRaw + 2330)}})
            .Exits(0, done, {{"out.mpg", six.substr(0, 2 * kPack)}}),
        // A console that ends with the option list shows that the run stopped before the search.
        Korvane("-mpg2mpg nope.mpg o.mpg")
            .Exits(1,
                   "size: 2324 bytes\n\nnope.mpg could not be opened.\nFile could be missing.\n\n"),
        Korvane("-raw2mpg in.raw out", {{"in.raw", ""}}).Exits(1, none + "raw image file.\n"),
        Korvane("-raw2dat in.raw out", {{"in.raw", junk}})
            .Exits(1, "\xFE 0%\r" + none + "raw image file.\n"),
        Korvane("-mpg2dat in.mpg out", {{"in.mpg", std::string(1, '\0')}})
            .Exits(1, none + "MPEG file.\n"),
        Korvane("-dat2mpg in.dat out", {{"in.dat", DatFile(junk)}})
            .Exits(1, "\xFE 0%\r" + none + "DAT file.\n"),
        Korvane("-dat2mpg in.dat o.mpg", {{"in.dat", "R"}, {"o.mpg", "keep"}}).Exits(1, signature),
        Korvane("-dat2mpg in.dat out", {{"in.dat", "RIFX" + dat.substr(4)}}).Exits(1, signature),
        Korvane("-mpg2mpg in.mpg nodir/o.mpg", mpg)
            .Exits(1, "\xFE 0%\rnodir/o.mpg could not be written.\n"),
        Korvane("-mpg2mpg in.mpg in.mpg", mpg)
            .Exits(1, "\xFE 0%\rin.mpg is the same file as in.mpg;" + same),
        Korvane("-raw2mpg -w2400 in.mpg o.mpg", mpg)
            .Exits(1, "2400 bytes\n\nThe write size of 2400 bytes is larger than the 2352 bytes "
                      "read per step; use a "
                      "smaller -w.\n\n")};
    const Files in{{"in.mpg", six},
                   {"in.cif", CifSectors(six)},
                   {"in.dat", dat},
                   {"in.raw", RawSectors(six)},
                   {"in.bin", RawSectors(six)},
                   {"in.cue", "FILE in.bin BINARY\nTRACK 01 MODE2/2352\nINDEX 01 00:00:00\nTRACK "
                              "02 MODE2/2352\nINDEX 01 00:00:01\n"}};
    for (const Golden& g : runs)
        Expect(g);
    TempDir full; // a destination that takes no byte: every method fails and says so
    for (const auto& [name, bytes] : in)
        WriteFile(full / name, bytes);
    ASSERT_EQ(symlink("/dev/full", (full / "full.out").c_str()), 0);
    for (const std::string m : {"raw2mpg", "raw2dat", "cif2mpg", "mpg2mpg", "mpg2dat", "dat2mpg",
                                "cue2raw", "cue2dat", "cue2mpg"}) {
        const RunResult run =
            RunKorvane({"-" + m, "-track01", "in." + m.substr(0, 3), "full.out"}, full.path());
        EXPECT_EQ(run.status, 1) << m;
        ExpectConsole(run.out,
                      "Write error: full.out could not be written (is the disk full?).\n\n", m);
    }
    TempDir dir; // no folder, pipe or file of 4 GiB is read; a pipe without a writer would wait for
                 // ever
    WriteFile(dir / "in.mpg", blocks);
    WriteFile(dir / "big.mpg", "");
    ASSERT_EQ(mkdir((dir / "folder.raw").c_str(), 0755) | mkfifo((dir / "pipe.raw").c_str(), 0644) |
                  truncate((dir / "big.mpg").c_str(), 4294967296LL) |
                  link((dir / "in.mpg").c_str(), (dir / "hard.mpg").c_str()),
              0);
    const std::string opened = " could not be opened.\nFile could be missing.\n\n";
    for (const Golden& g :
         {Korvane("-raw2mpg folder.raw o").Exits(1, "folder.raw" + opened),
          Korvane("-raw2mpg pipe.raw o").Exits(1, "pipe.raw" + opened),
          Korvane("-cue2mpg folder.raw o").Exits(1, ""),
          Korvane("-mpg2mpg in.mpg hard.mpg")
              .Exits(1, "\xFE 0%\rhard.mpg is the same file as in.mpg;" + same),
          Korvane("-mpg2mpg big.mpg o")
              .Exits(1, "size: 2324 bytes\n\nbig.mpg is 4 GiB or larger; Korvane reads sources "
                        "smaller than 4 GiB only.\n\n"),
          // A write refused half-way (by a file size limit, as a quota would) takes the unfinished
          // output away.
          Golden{{"-c", "ulimit -f 8 && trap '' XFSZ && exec \"$0\" -mpg2mpg in.mpg out.mpg",
                  KORVANE_BIN},
                 {}}
              .Exits(1, "Write error: out.mpg could not be written (is the disk full?).\n\n")}) {
        const RunResult run =
            RunKorvane(g.args, dir.path(), g.args[0] == "-c" ? "/bin/sh" : KORVANE_BIN);
        EXPECT_EQ(run.status, g.status) << g.args[1];
        ExpectConsole(run.out, g.console, g.args[1]);
    }
    EXPECT_EQ(ListDir(dir.path()), (std::vector<std::string>{"big.mpg", "folder.raw", "hard.mpg",
                                                             "in.mpg", "pipe.raw"}));
    EXPECT_TRUE(ReadFile(dir / "in.mpg") == blocks);
}

TEST(SingleFileMethods, ProgressAndTheSampleThroughDatAndBack)
{
    TempDir dir;
    WriteFile(dir / "big.mpg", MpegBlocks(1400)); // 3253600 bytes: 3 whole MiB, so steps of 33
    const RunResult run = RunKorvane({"-mpg2mpg", "big.mpg", "out.mpg"}, dir.path());
    std::vector<int> seen;
    for (size_t at = run.out.find("% ["); at != std::string::npos; at = run.out.find("% [", at + 1))
        seen.push_back(std::stoi(run.out.substr(run.out.rfind(' ', at) + 1)));
    EXPECT_EQ(seen, (std::vector<int>{0, 33, 66, 100}));
    const std::string mpg = ReadFile(SamplePath("sample.mpg"));
    EXPECT_EQ(RunKorvane({"-mpg2dat", SamplePath("sample.mpg"), "s.dat"}, dir.path()).status, 0);
    EXPECT_EQ(RunKorvane({"-dat2mpg", "s.dat", "back.mpg"}, dir.path()).status, 0);
    EXPECT_TRUE(mpg.size() == 187 * kPack && ReadFile(dir / "back.mpg") == mpg);
    if (!std::filesystem::exists("/usr/bin/cdxa2mpeg"))
        GTEST_SKIP() << "cdxa2mpeg (vcdimager) is not installed";
    EXPECT_EQ(std::system(("/usr/bin/cdxa2mpeg -q " + dir / "s.dat" + " " + dir / "c.mpg").c_str()),
              0);
    EXPECT_TRUE(ReadFile(dir / "c.mpg") == mpg);
}

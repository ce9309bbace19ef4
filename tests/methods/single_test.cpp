// The six single-file methods: exact output bytes and console, progress, and damaged, truncated or
// refused inputs, each ending with a clear message and the right status, leaving no output behind.
#include "harness.h"

// korvane `options` (the method first) in.<source kind> out, beside `bytes` as in.<source kind>.
static Golden On(const std::string& options, const std::string& bytes)
{
    const std::string in = "in." + options.substr(1, 3);
    return Korvane(options + " " + in + " out", {{in, bytes}});
}

TEST(SingleFileMethods, OutputsConsolesAndRefusals)
{
    const std::string blocks = MpegBlocks(5), tail = Filler(700, 3),
                      raw = Filler(2 * kRaw, 9) + RawSectors(blocks), six = MpegBlocks(6),
                      done = "\xFE completed. out.mpg written.\n";
    const Files mpg{{"in.mpg", blocks}};
    const std::string longest(250, 'n'); // with a temporary name's 6 more, past a name's 255
    ExpectAll(
        {{"raw2mpg: payloads from the sector holding the first pack on",
          On("-raw2mpg", raw).Exits(0, done, {{"out.mpg", blocks}})},
         {"raw2dat: the whole image from its start, a partial last sector left out",
          On("-raw2dat", raw + Filler(100)).Exits(0, "written.\n", {{"out.dat", DatFile(raw)}})},
         {"dat2mpg: the header skipped, a sector without a pack dropped",
          On("-dat2mpg", DatFile(Filler(kRaw) + RawSectors(blocks)))
              .Exits(0, done, {{"out.mpg", blocks}})},
         {"cif2mpg: 2332-byte sectors",
          On("-cif2mpg", Filler(kCif) + CifSectors(blocks)).Exits(0, done, {{"out.mpg", blocks}})},
         {"mpg2mpg: bytes before the first pack dropped, a tail that is no whole block kept",
          On("-mpg2mpg", Filler(1000, 5) + blocks + tail)
              .Exits(0, done, {{"out.mpg", blocks + tail}})},
         {"mpg2dat: leading sectors, addresses and a padded last sector; -r changes nothing here",
          On("-mpg2dat -r2000", Filler(1000, 5) + blocks + tail)
              .Exits(0, "written.\n", {{"out.dat", DatFile(DatSectors(blocks + tail))}})},
         {"dat2mpg: a last sector cut short in its payload is not written",
          On("-dat2mpg", DatFile(RawSectors(six)).substr(0, 44 + 2 * kRaw + 2330))
              .Exits(0, done, {{"out.mpg", six.substr(0, 2 * kPack)}})},
         {"a pipe is no source (one without a writer would wait for ever)",
          Korvane("-raw2mpg p.raw o")
              .Given("mkfifo p.raw")
              .Exits(1, "p.raw could not be opened.\nFile could be missing.\n\n")},
         {"a source of 4 GiB would wrap the offsets",
          Korvane("-mpg2mpg big.mpg o")
              .Given("truncate -s 4G big.mpg")
              .Exits(
                  1,
                  "big.mpg is 4 GiB or larger; Korvane reads sources smaller than 4 GiB only.\n\n",
                  {{"big.mpg", kAnyBytes}})},
         {"mpg2dat: no stream in a source shorter than a window",
          On("-mpg2dat", std::string(1, '\0'))
              .Exits(1, "\n\nCould not find MPEG stream in MPEG file.\n")},
         {"a DAT shorter than its signature, and the destination is left alone",
          Korvane("-dat2mpg in.dat o.mpg", {{"in.dat", "R"}, {"o.mpg", "keep"}})
              .Exits(
                  1,
                  "\n\nThis file is not a DAT file or does not have the correct DAT signature.\n")},
         {"a destination that cannot be created is reported and ends the run with 1",
          Korvane("-mpg2mpg in.mpg no/o.mpg", mpg)
              .Exits(1, "\xFE 0%\rno/o.mpg could not be written.\n")},
         {"a destination name too long for the temporary name beside it",
          Korvane("-mpg2mpg in.mpg " + longest + ".mpg",
                  {{"in.mpg", blocks}, {longest + ".mpg", "old"}})
              .Exits(0, longest + ".mpg written.\n", {{longest + ".mpg", blocks}})},
         {"a link to the console's pipe through /proc/self/fd: resolving it gave \"pipe:[n]\"",
          Korvane("-mpg2mpg in.mpg pipe.mpg", mpg)
              .Given("ln -s /proc/self/fd/9 pipe.mpg && exec 9>&1")
              .Exits(0, blocks + "\n\xFE completed. pipe.mpg written.\n")},
         {"a write size above the read size would write bytes never read",
          On("-raw2mpg -w2400", blocks)
              .Exits(1, "2400 bytes\n\nThe write size of 2400 bytes is larger than the 2352 bytes "
                        "read per step; use a smaller -w.\n\n")},
         {"mpg2dat wrote 4.35 GB with clamped sizes and status 0: 1826062 sectors after the 30",
          On("-mpg2dat", blocks)
              .Given("truncate -s 4243765765 in.mpg")
              .Exits(1,
                     "out.dat would be 4294968428 bytes, more than the sizes in a .dat header can "
                     "count; nothing was written.\n\n",
                     {{"in.mpg", kAnyBytes}})}});
}

TEST(SingleFileMethods, ProgressInWholeSteps)
{
    TempDir dir;
    WriteFile(dir / "big.mpg", MpegBlocks(1400)); // 3253600 bytes: 3 whole MiB, so steps of 33
    const RunResult run = RunKorvane({"-mpg2mpg", "big.mpg", "out.mpg"}, dir.path());
    std::vector<int> seen;
    for (size_t at = run.out.find("% ["); at != std::string::npos; at = run.out.find("% [", at + 1))
        seen.push_back(std::stoi(run.out.substr(run.out.rfind(' ', at) + 1)));
    EXPECT_EQ(seen, (std::vector<int>{0, 33, 66, 100}));
}

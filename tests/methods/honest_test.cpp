// What scripts rely on: a run that did not write what was asked ends with status 1, names are
// read with '/' as the folder separator, and a source or option that can't give a true output is
// refused before any output exists.
#include <unistd.h>

#include "harness.h"

// A sheet of one BIN with a record at each INDEX time (in frames, under 75), in `mode`.
static std::string Sheet(std::initializer_list<int> frames, const std::string& mode = "MODE2/2352")
{
    std::string sheet = "FILE in.bin BINARY\n";
    for (const int frame : frames)
        sheet += "TRACK 01 " + mode + "\nINDEX 01 00:00:" + (frame < 10 ? "0" : "") +
                 std::to_string(frame) + "\n";
    return sheet;
}

// A raw track whose first sector has lost its sync, as a scratched or badly ripped one has.
static std::string WithoutFirstSync(std::string raw) { return raw.replace(0, 12, 12, '\0'); }

// A .dat header in front of a plain stream: a .dat copied off a mounted disc after the header.
static std::string DatOfPlainStream(const std::string& stream)
{
    return DatFile("").append(stream);
}

TEST(HonestRuns, StatusNamesAndRefusals)
{
    // bin: records 1 (frames 2-4) and 2 (frames 5 on) of a 9-frame image behind a data track.
    const std::string blocks = MpegBlocks(6), raw = RawSectors(blocks),
                      bin = RawSectors(Filler(2 * kPack)) + RawSectors(MpegBlocks(7, 2), 2),
                      one = bin.substr(2 * kRaw, 3 * kRaw), two = bin.substr(5 * kRaw),
                      stream = "is not a BIN or raw track of 2352-byte sectors: it looks like a "
                               "plain MPEG stream; use ",
                      mounted = ".\nA .dat copied off a mounted disc looks like that too "
                                "(2048-byte sectors, no headers): copy the disc as a CUE/BIN "
                                "image and use -cue2mpg.\n",
                      bytes = " sector size must be 1..32705 bytes (0 keeps the default).\n\n",
                      tracks = "\n\xFE completed. Track(s) written.\n\n";
    const Files image{{"in.cue", Sheet({0, 2, 5})}, {"in.bin", bin}}, mpg{{"a.mpg", blocks}},
        rawIn{{"in.raw", raw}}, binIn{{"disc.bin", raw}};
    for (const Golden& g : {
             // Copying methods never run the repairs, whatever the order (the -fix loop wrecked
             // whole-sector copies): no option line, no report, the sectors unchanged.
             Korvane("-raw2dat -fix -nobumper in.raw out", rawIn)
                 .Exits(0,
                        BannerText() +
                            "\nRAW track image source --> in.raw\nVCD DAT destination --> "
                            "out.dat\nExtraction method --> raw2dat\n\n\xFE                 -> "
                            "searching \r\xFE                 -> writing...\r\n\xFE completed. "
                            "out.dat written.\n",
                        {{"out.dat", DatFile(raw)}}),
             Korvane("-cue2raw -fix in.cue o", image)
                 .Exits(0, tracks, {{"o01.raw", one}, {"o02.raw", two}}),
             Korvane("-cue2dat -nobumper -track2 in.cue o", image)
                 .Exits(0, "\xFE completed. Track(s) written.\n\n", {{"o.dat", DatFile(two)}}),
             // No method: a script learns it converted nothing.
             Korvane("-fix disc.cue out.mpg")
                 .Exits(1, "No conversion method was given: add one of the method options "
                           "below.\n\n" +
                               UsageText()),
             // A slash ends a folder name: the extension and the track number go into the last
             // name, not into a folder's.
             Korvane("-raw2mpg in.raw dir.d/clip", {{"in.raw", raw}, {"dir.d/keep", ""}})
                 .Exits(0, "\xFE completed. dir.d/clip.mpg written.\n",
                        {{"dir.d/clip.mpg", blocks}}),
             Korvane("-cue2raw in.cue out.d/clip",
                     {{"in.cue", Sheet({0, 2, 5})}, {"in.bin", bin}, {"out.d/keep", ""}})
                 .Exits(0, tracks, {{"out.d/clip01.raw", one}, {"out.d/clip02.raw", two}}),
             Korvane("-cue2raw sub/in.cue ./movie",
                     {{"sub/in.cue", Sheet({0, 2, 5})}, {"sub/in.bin", bin}})
                 .Exits(0, tracks, {{"movie01.raw", one}, {"movie02.raw", two}}),
             // A folder is no destination: refused before anything is written.
             Korvane("-raw2mpg in.raw outdir/", rawIn)
                 .Exits(1, "outdir/ is a folder; name a file for the output.\n\n"),
             Korvane("-mpg2dat a.mpg taken.dat", {{"a.mpg", blocks}, {"taken.dat/keep", ""}})
                 .Exits(1, "taken.dat is a folder; name a file for the output.\n\n"),
             Korvane("-cue2raw in.cue o/", image)
                 .Exits(1, "o/ is a folder; name a file for the output.\n\n"),
             Korvane("-cue2raw in.cue o",
                     {{"in.cue", Sheet({0, 2, 5})}, {"in.bin", bin}, {"o02.raw/keep", ""}})
                 .Exits(1, "o02.raw is a folder; name a file for the output.\n\n"),
             // A source of another layout than the method's: one case per method.
             Korvane("-raw2mpg a.mpg o", mpg).Exits(1, "a.mpg " + stream + "-mpg2mpg" + mounted),
             Korvane("-raw2dat a.mpg o", mpg).Exits(1, "a.mpg " + stream + "-mpg2dat" + mounted),
             Korvane("-dat2mpg in.dat o", {{"in.dat", DatOfPlainStream(blocks)}})
                 .Exits(1, "in.dat is not a .dat of 2352-byte sectors: it looks like a plain MPEG "
                           "stream; use -mpg2mpg" +
                               mounted),
             Korvane("-cif2mpg disc.bin o", binIn)
                 .Exits(1, "disc.bin is not a .cif image of 2332-byte sectors: it looks like a "
                           "BIN or raw track of 2352-byte sectors; use -raw2mpg.\n"),
             Korvane("-cif2mpg -r2352 a.mpg o", mpg) // -r changes nothing for cif2mpg
                 .Exits(1, "a.mpg is not a .cif image of 2332-byte sectors: it looks like a "
                           "plain MPEG stream; use -mpg2mpg" +
                               mounted),
             Korvane("-mpg2mpg disc.bin o", binIn)
                 .Exits(1, "disc.bin is not a plain MPEG stream: it looks like a BIN or raw "
                           "track of 2352-byte sectors; use -raw2mpg.\n"),
             Korvane("-mpg2dat in.dat o", {{"in.dat", DatFile(raw)}})
                 .Exits(1, "in.dat is not a plain MPEG stream: it looks like a .dat of 2352-byte "
                           "sectors; use -dat2mpg, then -mpg2dat.\n"),
             // What is let through: a damaged first sector, and a layout forced with -r or -w.
             Korvane("-raw2mpg in.raw o", {{"in.raw", WithoutFirstSync(raw)}})
                 .Exits(0, "\xFE completed. o.mpg written.\n", {{"o.mpg", blocks}}),
             Korvane("-raw2mpg -r2324 a.mpg o", mpg)
                 .Exits(0, "\xFE completed. o.mpg written.\n", {{"o.mpg", blocks}}),
             // Numbers beyond their setting are refused, not wrapped into another one.
             Korvane("-cue2raw -track65536 in.cue o", image)
                 .Exits(1,
                        BannerText() +
                            "Option -track65536 refused: the track number must be 0..32767.\n\n"),
             Korvane("-cue2raw -track-32769 in.cue o", image)
                 .Exits(1, "Option -track-32769 refused: the track number must be 0..32767.\n\n"),
             Korvane("-w4294967297 -mpg2mpg a.mpg o", mpg)
                 .Exits(1, BannerText() + "Option -w4294967297 refused: the write" + bytes),
             Korvane("-raw2mpg -r-2147483649 in.raw o", rawIn)
                 .Exits(1, "Option -r-2147483649 refused: the read" + bytes),
             Korvane("-raw2mpg -r99999999999999999999 in.raw o", rawIn)
                 .Exits(1, "Option -r99999999999999999999 refused: the read" + bytes),
             // A sheet of 2048-byte sectors has no MPEG payload to unwrap.
             Korvane("-cue2mpg in.cue o",
                     {{"in.cue", Sheet({0, 2}, "MODE1/2048")}, {"in.bin", Filler(4 * 2048)}})
                 .Exits(1, "Track 1 holds 2048-byte sectors, which carry no MPEG payload to "
                           "unwrap; use -cue2raw.\n\n"),
         })
        Expect(g);

    // A run stopped by a failure half-way keeps the records written before it, complete.
    TempDir dir;
    WriteFile(dir / "in.cue", Sheet({0, 2, 5}));
    WriteFile(dir / "in.bin", bin);
    ASSERT_EQ(symlink("/dev/full", (dir / "o02.raw").c_str()), 0);
    const RunResult run = RunKorvane({"-cue2raw", "in.cue", "o"}, dir.path());
    EXPECT_EQ(run.status, 1);
    ExpectConsole(run.out, "Write error: o02.raw could not be written (is the disk full?).\n\n",
                  "a full disk at the second record");
    EXPECT_EQ(ListDir(dir.path()),
              (std::vector<std::string>{"in.bin", "in.cue", "o01.raw", "o02.raw"}));
    EXPECT_TRUE(ReadFile(dir / "o01.raw") == one);
}

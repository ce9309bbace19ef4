// What scripts rely on: a run that did not write what was asked ends with status 1, names are
// read with '/' as the folder separator, and a source that can't give a true output is refused
// before any output exists.
#include "harness.h"

TEST(HonestRuns, StatusNamesAndRefusals)
{
    // bin: records 1 (frames 2-4) and 2 (frames 5 on) of a 9-frame image behind a data track.
    const std::string blocks = MpegBlocks(6), raw = RawSectors(blocks),
                      bin = RawSectors(Filler(2 * kPack)) + RawSectors(MpegBlocks(7, 2), 2),
                      one = bin.substr(2 * kRaw, 3 * kRaw), two = bin.substr(5 * kRaw),
                      sheet = Sheet("in.bin", {"00:00:00", "00:00:02", "00:00:05"});
    const Files mpg{{"a.mpg", blocks}}, rawIn{{"in.raw", raw}};
    const std::string folder = " is a folder; name a file for the output.\n\n",
                      stream = "it looks like a plain MPEG stream; use -mpg2mpg.\nA .dat copied "
                               "off a mounted disc looks like that too (2048-byte sectors, no "
                               "headers): copy the disc as a CUE/BIN image and use -cue2mpg.\n";
    ExpectAll({
        {"the -fix loop wrecked whole-sector copies: a copying method turns the repairs before "
         "and after it off, no option line, no report",
         Korvane("-fix -raw2dat -nobumper in.raw out", rawIn)
             .Exits(0,
                    "Extraction method --> raw2dat\n\n\xFE                 -> searching \r\xFE"
                    "                 -> writing...\r\n\xFE completed. out.dat written.\n",
                    {{"out.dat", DatFile(raw)}})},
        {"the repairs wrecked the records of a sheet's copy; the extension and the track number "
         "went into a folder's name, not the last name",
         Korvane("-cue2raw -fix -nobumper in.cue out.d/clip",
                 {{"in.cue", sheet}, {"in.bin", bin}, {"out.d/k", ""}})
             .Exits(0, "written.\n\n", {{"out.d/clip01.raw", one}, {"out.d/clip02.raw", two}})},
        {"a name ending in '/' is no destination",
         Korvane("-raw2mpg in.raw outdir/", rawIn).Exits(1, "outdir/" + folder)},
        {"a later record's destination is a folder: refused before the first is written",
         Korvane("-cue2raw in.cue o", {{"in.cue", sheet}, {"in.bin", bin}, {"o02.raw/keep", ""}})
             .Exits(1, "o02.raw" + folder)},
        {"dat2mpg on a header in front of a plain stream (a .dat copied off a mounted disc)",
         Korvane("-dat2mpg in.dat o", {{"in.dat", DatFile("") + blocks}})
             .Exits(1, "in.dat is not a .dat of 2352-byte sectors: " + stream)},
        {"cif2mpg on a raw track",
         Korvane("-cif2mpg in.raw o", rawIn)
             .Exits(1, "in.raw is not a .cif image of 2332-byte sectors: it looks like a BIN or "
                       "raw track of 2352-byte sectors; use -raw2mpg.\n")},
        {"mpg2dat on a .dat",
         Korvane("-mpg2dat in.dat o", {{"in.dat", DatFile(raw)}})
             .Exits(1, "in.dat is not a plain MPEG stream: it looks like a .dat of 2352-byte "
                       "sectors; use -dat2mpg, then -mpg2dat.\n")},
        {"a raw track whose first sector lost its sync (scratched, badly ripped) is let through",
         Korvane("-raw2mpg in.raw o", {{"in.raw", Placed(raw, {{0, std::string(12, '\0')}})}})
             .Exits(0, "\xFE completed. o.mpg written.\n", {{"o.mpg", blocks}})},
        {"a layout forced with -r is let through",
         Korvane("-raw2mpg -r2324 a.mpg o", mpg)
             .Exits(0, "\xFE completed. o.mpg written.\n", {{"o.mpg", blocks}})},
        {"a sheet of 2048-byte sectors has no MPEG payload to unwrap",
         Korvane("-cue2mpg in.cue o",
                 {{"in.cue", Sheet("in.bin", {"00:00:00", "00:00:02"}, "MODE1/2048")},
                  {"in.bin", Filler(4 * 2048)}})
             .Exits(1, "Track 1 holds 2048-byte sectors, which carry no MPEG payload to "
                       "unwrap; use -cue2raw.\n\n")},
    });
}

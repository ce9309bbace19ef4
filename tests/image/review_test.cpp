// Faults found by reading real and hostile images of the other formats: a long sheet read in
// quadratic time, sector modes taken from a sheet that is wrong about them.

#include "harness.h"

namespace {

// Track 1 (2 sectors, no stream), then track 2: a pregap of 2 sectors and 3 MPEG sectors with a
// sound (zero) EDC, so that -verify finds nothing wrong with them (a .dat opens with 30 empty
// sectors).
std::string Bin()
{
    return RawSectors(Filler(2 * kPack, 3)) + RawSectors(std::string(2 * kPack, '\0'), 2) +
           DatSectors(MpegBlocks(3)).substr(30 * kRaw);
}

} // namespace

TEST(ReviewedImages, HostileSheetsAndWrongModes)
{
    const std::vector<DiscTrack> tracks = SplitDisc(Bin(), {{0, 0}, {2, 4}});
    const std::string bin = Bin(), ccd = CcdSheet(tracks),
                      verified = "\xFE Verify Track 2: 3 sectors checked, 0 damaged.\n";
    std::string strings, nrg = NrgDao(tracks, true);
    for (int i = 0; i < 300000; ++i)
        strings += "\"\" ";
    for (size_t t = 0; t < tracks.size(); ++t) // every track's mode code 0 (Mode 1), size 2352
        nrg[nrg.rfind("DAOX") + 8 + 22 + t * 42 + 14] = '\0';
    const Files stream{{"o.mpg", MpegBlocks(3)}};
    ExpectAll({
        {"each string counted its line from the sheet's start: 900 kB of strings took minutes",
         Korvane("-cue2mpg -track2 f.toc o",
                 {{"f.toc", "CD_ROM_XA\nCD_TEXT { " + strings +
                                "}\nTRACK MODE2_RAW\nDATAFILE \"d.bin\" #0 00:00:02\nTRACK "
                                "MODE2_RAW\nDATAFILE \"d.bin\" #4704 00:00:05\nSTART 00:00:02\n"},
                  {"d.bin", bin}})
             .Exits(0, "\xFE completed. Track(s) written.\n\n", stream)},
        {"-verify held Mode 2 sectors to a CloneCD MODE=1 and found every one damaged",
         Korvane("-verify -cue2mpg -track2 f.ccd o",
                 {{"f.ccd", ReplaceAll(ccd, "MODE=2", "MODE=1")}, {"f.img", bin}})
             .Exits(0, verified, stream)},
        {"-verify held Mode 2 sectors to a Nero Mode 1 code beside a 2352-byte size",
         Korvane("-verify -cue2mpg -track2 f.nrg o", {{"f.nrg", nrg}}).Exits(0, verified, stream)},
    });
}

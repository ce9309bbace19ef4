// Faults found by reading real and hostile images of the other formats.

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

// A TOC of the disc with `track2` as the second track's statements.
std::string Toc(const std::string& header, const std::string& track2)
{
    return "CD_ROM_XA\n" + header + "TRACK MODE2_RAW\nDATAFILE \"d.bin\" #0 00:00:02\n" +
           "TRACK MODE2_RAW\n" + track2;
}

} // namespace

TEST(ReviewedImages, HostileSheetsAndWrongModes)
{
    const std::vector<DiscTrack> tracks = SplitDisc(Bin(), {{0, 0}, {2, 4}});
    const std::string bin = Bin(), ccd = CcdSheet(tracks),
                      toc = "f.toc is not a valid cdrdao TOC "
                            "image: ",
                      track2 = "DATAFILE \"d.bin\" #4704 00:00:05\nSTART 00:00:02\n",
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
                 {{"f.toc", Toc("CD_TEXT { " + strings + "}\n", track2)}, {"d.bin", bin}})
             .Exits(0, "\xFE completed. Track(s) written.\n\n", stream)},
        {"a PREGAP after the track's data made that data part of the gap",
         Korvane("-cue2mpg f.toc o",
                 {{"f.toc", Toc("", "DATAFILE \"d.bin\" #4704 00:00:02\nPREGAP 00:00:02\n"
                                    "DATAFILE \"d.bin\" #9408 00:00:03\n")},
                  {"d.bin", bin}})
             .Exits(1, toc + "a PREGAP after the data of track 2.\n\n")},
        {"a NUL in a file name cut the name short and another file was read",
         Korvane(
             "-cue2mpg f.toc o",
             {{"f.toc", Toc("", ReplaceAll(track2, "d.bin", "d.bin\\000.old"))}, {"d.bin", bin}})
             .Exits(1, toc + "a file name holding a NUL byte (\\000), which no file name can "
                             "hold.\n\n")},
        {"an entry whose point is no track was passed over: its track went to the one before",
         Korvane("-cue2mpg f.ccd o", {{"f.ccd", ReplaceAll(ccd.substr(0, ccd.find("[TRACK 1]")),
                                                           "Point=0x02", "Point=0x00")},
                                      {"f.img", bin}})
             .Exits(1, "f.ccd is not a valid CloneCD image: [Entry 4] Point 0, neither a track "
                       "(1 to 99) nor a pointer (0xa0 to 0xff).\n\n")},
        {"-verify held Mode 2 sectors to a CloneCD MODE=1 and found every one damaged",
         Korvane("-verify -cue2mpg -track2 f.ccd o",
                 {{"f.ccd", ReplaceAll(ccd, "MODE=2", "MODE=1")}, {"f.img", bin}})
             .Exits(0, verified, stream)},
        {"-verify held Mode 2 sectors to a Nero Mode 1 code beside a 2352-byte size",
         Korvane("-verify -cue2mpg -track2 f.nrg o", {{"f.nrg", nrg}}).Exits(0, verified, stream)},
    });
}

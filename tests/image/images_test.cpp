// The other disc image formats (cdrdao TOC, Nero NRG, CloneCD CCD), built by the test generator
// from one small disc: the table each reader prints, the same extraction as from the CUE image,
// the data files found the way sheets written on Windows name them, and what is refused.

#include <filesystem>
#include <tuple>

#include "harness.h"

namespace {

// Track 1 (2 sectors, no stream), track 2 (pregap 2, then 3 MPEG sectors), track 3 (pregap 2,
// then 3 MPEG sectors): records 0..4 at sectors 0, 2, 4, 7, 9 of a 12-sector BIN.
std::string Bin()
{
    return RawSectors(Filler(2 * kPack, 3)) + RawSectors(std::string(2 * kPack, '\0'), 2) +
           RawSectors(MpegBlocks(3), 4) + RawSectors(std::string(2 * kPack, '\0'), 7) +
           RawSectors(MpegBlocks(3, 5), 9);
}
std::vector<DiscTrack> Tracks() { return SplitDisc(Bin(), {{0, 0}, {2, 4}, {7, 9}}); }

// Good sheets too: a CUE sheet naming its BIN by a Windows path; a TOC sheet with a file per track
// and per pregap, as vcdxbuild writes, but track 3's pregap in no file; a TOC sheet on one BIN.
const std::string kFixtures = std::string(KORVANE_FIXTURES) + "/../image/fixtures/",
                  kCue = ReadFile(kFixtures + "windows-path.cue");

// The table each reader prints of records of `size` bytes (the disc position in sectors, start and
// end offset of each in turn), by default those of the CUE image, their bytes from `base` on.
std::string Table(long size, long base = 0, std::vector<long> rows = {})
{
    const long cuts[] = {0, 2, 4, 7, 9, 12};
    for (int i = 0; i < 5 && rows.size() < 15; ++i)
        rows.insert(rows.end(), {cuts[i], base + cuts[i] * size, base + cuts[i + 1] * size});
    std::string t =
        "\n Track #     mm:ss.ff     Sector Size          LBA Start        LBA End    \n";
    char line[200];
    for (size_t i = 0; i < rows.size(); i += 3) {
        std::snprintf(line, sizeof line,
                      "    %zu        %.2ld:%.2ld.%.2ld     %.4ld bytes/sector    %9ld      %9ld\n",
                      i / 3, rows[i] / 4500, rows[i] / 75 % 60, rows[i] % 75, size, rows[i + 1],
                      rows[i + 2]);
        t += line;
    }
    return t + "\n";
}

} // namespace

TEST(Images, EveryFormatGivesTheCueImagesRecordsAndOutputs)
{
    const std::vector<DiscTrack> t = Tracks();
    const std::string bin = Bin(), raw = Table(kRaw), track = "\xFE                 Track ",
                      tao = Table(
                          kRaw, 0,
                          {0, 0, 4704, 2, 0, 0, 152, 4704, 11760, 155, 0, 0, 305, 11760, 18816});
    std::string progress;
    for (const char* step : {"1 -> searching ", "2 -> searching ", "2 -> writing...",
                             "3 -> searching ", "4 -> searching ", "4 -> writing..."})
        progress += track + step + "\r";
    const auto cueImage = [&](const char* fault, const std::string& source, const Files& inputs,
                              const std::string& table) {
        return Case{fault, Korvane("-cue2mpg " + source + " o", inputs)
                               .Exits(0, table + progress + "\xFE completed. Track(s) written.\n\n",
                                      {{"o01.mpg", ""},
                                       {"o02.mpg", MpegBlocks(3)},
                                       {"o03.mpg", ""},
                                       {"o04.mpg", MpegBlocks(3, 5)}})};
    };
    ExpectAll({
        cueImage("cue: the BIN by the last name of its Windows path, in another case", "s/f.cue",
                 {{"s/f.cue", kCue}, {"s/DISC.BIN", bin}}, raw),
        cueImage("toc: a data file per track and pregap, a PREGAP in no file (a record of length "
                 "0)",
                 "f.toc",
                 {{"f.toc", ReadFile(kFixtures + "file-per-track.toc")},
                  {"t_01.img", t[0].data},
                  {"t_02_pregap.img", t[1].pregap},
                  {"t_02.img", t[1].data},
                  {"t_03.img", t[2].data}},
                 Table(kRaw, 0, {0, 0, 4704, 2, 0, 4704, 4, 0, 7056, 7, 0, 0, 9, 0, 7056})),
        cueImage("toc in a .cue: one BIN, lengths as MSF and bytes, START with and without a time",
                 "f.cue", {{"f.cue", ReadFile(kFixtures + "one-bin.toc")}, {"d.bin", bin}}, raw),
        cueImage("nrg v1 dao: BCD cue positions, lead-in stored first, 2336-byte sectors", "f.nrg",
                 {{"f.nrg", NrgDao(t, false, 2336)}}, Table(2336, 150 * 2336)),
        cueImage("nrg v2 dao: 64-bit offsets, LBA cue positions", "f.nrg",
                 {{"f.nrg", NrgDao(t, true)}}, Table(kRaw, 150 * kRaw)),
        cueImage("nrg v1 tao: pregaps in no file", "f.nrg", {{"f.nrg", NrgTao(t, false)}}, tao),
        cueImage("nrg v2 tao, named .img", "f.img", {{"f.img", NrgTao(t, true)}}, tao),
        cueImage("ccd: sectors of the .img from LBA 0, the .img in another case", "F.CCD",
                 {{"F.CCD", CcdSheet(t)}, {"f.IMG", bin}}, raw),
    });
}

TEST(Images, MalformedImagesAreRefusedBeforeAnyOutput)
{
    const std::string bin = Bin();
    // The fault each fixture carries, as the refusal names it; a whole end of the console where
    // the refusal is not the reader's.
    const std::map<std::string, std::string> faults{
        {"bad-no-clonecd-section", "no [CloneCD] or no [Disc] section"},
        {"bad-two-sessions", "more than one session; a Video CD has one"},
        {"bad-toc-entries-count", "TocEntries says 5 but there are 6 [Entry] sections"},
        {"bad-no-lead-out", "no lead-out entry (Point 0xa2)"},
        {"bad-track-listed-twice", "track 2 listed twice"},
        {"bad-track-point-100", "[track 3] has no matching track entry"},
        {"bad-plba-not-msf", "[Entry 4] PLBA 5 disagrees with its PMin, PSec and PFrame"},
        {"bad-tracks-not-increasing", "track 3 does not start after the track before it"},
        {"bad-lead-out-before-last-track", "the lead-out is not after the last track"},
        {"bad-index-backwards", "the indexes of [TRACK 3] go backwards"},
        {"bad-index1-not-plba", "[TRACK 3] INDEX 1 differs from the track's PLBA"},
        {"bad-mode-3", "[TRACK 1] MODE 3"},
        {"bad-value-not-a-number", "[TRACK 2] index 0 is not a number: two"},
        {"bad-unknown-keyword", "an unknown keyword BEGIN on line 8"},
        {"bad-unclosed-string", "a string not closed on line 9"},
        {"bad-seconds-60", "a time with seconds past 59 or frames past 74 on line 9"},
        {"bad-signed-number", "a number with a sign on line 7"},
        {"bad-number-with-letters", "a number with letters on line 7"},
        {"bad-unknown-mode", "an unknown track mode MODE2_FORM3 on line 6"},
        {"bad-no-track", "no TRACK"},
        {"bad-100-tracks", "more than 99 tracks"},
        {"bad-offset-past-end", "the offset 28224 is at or past the end of s/d.bin (28224 bytes)"},
        {"bad-length-past-end", "the length requested of s/d.bin at 16464 runs past its end (28224 "
                                "bytes)"},
        {"bad-partial-sector", "a data span of 4700 bytes in track 2, not a whole number of its "
                               "2352-byte sectors"},
        {"bad-second-start", "a second START or PREGAP in track 3"},
        {"bad-start-past-end", "the START of track 3 is at or past its end"},
        {"bad-zero-length-pregap", "a zero-length PREGAP, ZERO or SILENCE in track 3"},
        {"bad-index-at-index-1", "an INDEX of track 3 at or before index 1 or the INDEX before it"},
        {"bad-index-past-end", "an INDEX of track 3 at or past the track's end"},
        {"bad-file-in-data-track", "an audio FILE in data track 2"},
        {"bad-pregap-after-data", "a PREGAP after the data of track 2"},
        {"bad-nul-in-name", "a file name holding a NUL byte (\\000), which no file name can hold"},
        {"bad-point-zero", "[Entry 4] Point 0, neither a track (1 to 99) nor a pointer (0xa0 to "
                           "0xff)"},
        {"bad-fifo", "data from a FIFO, which can't be read twice"},
        {"bad-standard-input", "data from standard input (\"-\")"},
        {"bad-data-file-missing",
         "\"s/C:\\VCD\\gone.bin\", \"s/c:/vcd/gone.bin\", \"s/gone.bin\"\n"},
        {"bad-99-records", "f.toc describes more than 98 track records (indexes); Korvane's table "
                           "holds 98.\n\n"},
    };
    std::vector<Case> runs;
    for (const auto& [name, fault] : faults) {
        const std::string ext =
                              std::filesystem::exists(kFixtures + name + ".ccd") ? ".ccd" : ".toc",
                          kind = ext == ".ccd" ? "CloneCD" : "cdrdao TOC";
        runs.push_back(
            {name,
             Korvane("-cue2raw s/f" + ext + " o", {{"s/f" + ext, ReadFile(kFixtures + name + ext)},
                                                   {ext == ".ccd" ? "s/f.img" : "s/d.bin", bin}})
                 .Exits(1, fault.back() == '\n' ? fault
                                                : "f" + ext + " is not a valid " + kind +
                                                      " image: " + fault + ".\n\n")});
    }
    // Every fixture but the three good ones is in the table.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(kFixtures), {}), runs.size() + 3);
    // Two names that differ only in case are not taken, and every try is listed.
    runs.push_back(
        {"bad-bin-name-case",
         Korvane("-cue2mpg s/f.cue o",
                 {{"s/f.cue", kCue}, {"s/DISC.BIN", bin}, {"s/disc.bin", bin}})
             .Exits(1, "c:/vcd/rips/disc.bin could not be opened or accessed.\nThe "
                       "filename specified inside the CUE file could be wrong\n\nSeveral "
                       "files in s/ differ from Disc.Bin only in letter case; none was "
                       "taken: DISC.BIN disc.bin\nTried, in order: "
                       "\"C:\\VCD\\Rips\\Disc.Bin\", \"c:/vcd/rips/disc.bin\", "
                       "\"s/C:\\VCD\\Rips\\Disc.Bin\", \"s/c:/vcd/rips/disc.bin\", "
                       "\"s/Disc.Bin\"\n")});
    // Nero images carry their faults in binary chunks: each is a good image with `bytes` written
    // `at` bytes into the payload of its last chunk `id`.
    const std::string v1 = NrgDao(Tracks(), false), v2 = NrgDao(Tracks(), true),
                      tao = NrgTao(Tracks(), false), zeros(8, '\0');
    const auto patch = [](std::string image, const char* id, long at, const std::string& bytes) {
        return image.replace(static_cast<size_t>(static_cast<long>(image.rfind(id)) + 8 + at),
                             bytes.size(), bytes);
    };
    const std::string sinf = v2.substr(v2.rfind("SINF")),
                      longer = v2.substr(0, v2.size() - sinf.size()) + "xx" + sinf;
    const std::tuple<const char*, std::string, const char*, long, std::string, std::string> nrg[] =
        {
            {"bad-shorter-than-footer", "NERO" + zeros.substr(4), "NERO", -8, "",
             "shorter than its 12-byte footer"},
            {"bad-footer-outside-file", v2, "NER5", -4, std::string("\0\0\0\1\0\0\0\0", 8),
             "its footer points at 4294967296, at or past the footer itself"},
            {"bad-chunk-past-footer", v2, "CUEX", -4, std::string("\0\1\0\0", 4),
             "a chunk CUEX that runs past the footer"},
            {"bad-no-end-chunk", v2, "END!", -8, "ENDX", "a chunk list without END!"},
            {"bad-no-track-chunk", v2, "DAOX", -8, "DAOZ",
             "no DAO and no track-at-once chunk: no track is described"},
            {"bad-dao-length", longer, "DAOX", -4, std::string("\0\0\0\x96", 4),
             "a DAO chunk of 150 bytes, not a 22-byte head and whole track entries"},
            {"bad-dao-track-count", v2, "DAOX", 21, "\x04",
             "a DAO chunk with 3 entries for tracks 1 to 4"},
            {"bad-sector-size", v2, "DAOX", 22 + 12, "\x09\x31",
             "track 1 has sectors of 2353 bytes"},
            {"bad-mode-code", v2, "DAOX", 22 + 14, "\x09", "track 1 has the unknown mode code 9"},
            {"bad-tracks-overlap", v2, "DAOX", 22 + 42 + 18, zeros,
             "track 2 overlaps the track before it or goes backwards"},
            {"bad-offset-past-data", v2, "DAOX", 22 + 2 * 42 + 18 + 16, std::string("\0\0\0\1", 4),
             "track 3 has offsets out of order or past the sector data"},
            {"bad-partial-sector", v2, "DAOX", 22 + 42 + 18 + 15, "\xE1",
             "track 2 is not a whole number of its 2352-byte sectors"},
            {"bad-cue-disagrees", v2, "CUEX", 3 * 8 + 7, "\x01",
             "the cue chunk and the DAO chunk disagree on the pregap of track 2"},
            {"bad-cue-backwards", v2, "CUEX", 4 * 8 + 7, std::string(1, '\0'),
             "cue entries whose positions go backwards"},
            {"bad-cue-not-bcd", v1, "CUES", 2 * 8 + 6, "\x0A",
             "a cue entry whose second is not a decimal (BCD) number"},
            {"bad-tao-past-data", tao, "ETNF", 2 * 20 + 4, std::string("\0\1\0\0", 4),
             "track 3 runs past the sector data into the chunk list"},
            {"bad-tao-overlap", tao, "ETNF", 20, zeros.substr(4),
             "track 2 overlaps the track before it or goes backwards"},
        };
    for (const auto& [fault, image, id, at, bytes, said] : nrg)
        runs.push_back(
            {fault, Korvane("-cue2mpg f.nrg o", {{"f.nrg", patch(image, id, at, bytes)}})
                        .Exits(1, "f.nrg is not a valid Nero NRG image: " + said + ".\n\n")});
    runs.push_back(
        {"binary junk is none of the formats",
         Korvane("-cue2raw f.cue o", {{"f.cue", Filler(3000, 3)}})
             .Exits(1, "f.cue is none of the images Korvane reads (a CUE sheet, a cdrdao "
                       "TOC sheet, a Nero NRG image or a CloneCD CCD sheet).\n\n")});
    ExpectAll(runs);
}

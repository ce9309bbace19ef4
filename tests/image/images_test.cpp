// The disc image formats (CUE, cdrdao TOC, Nero NRG, CloneCD CCD) as users and authoring tools
// write them: the table each reader prints, the console of the three methods, what is refused.

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
// end offset of each in turn), by default those of Bin(), their bytes from `base` on.
std::string Table(long size, long base = 0, std::vector<long> rows = {})
{
    const long cuts[] = {0, 2, 4, 7, 9, 12};
    const bool fill = rows.empty();
    for (int i = 0; i < 5 && fill; ++i)
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

const std::string kTrack = "\xFE                 Track ",
                  kClosed = "\xFE completed. Track(s) written.\n\n",
                  kIncomplete =
                      "CUE file is incomplete and is missing the necessary track information.\n\n";

const std::string kThree = Table(kRaw, 0, {0, 0, 7056, 3, 7056, 14112, 6, 14112, 23520});

Files Beside(const std::string& sheet, const std::string& bin)
{
    return {{"f.cue", sheet}, {"fixture.bin", bin}};
}

// Track 1 (2 sectors, no stream), then track 2: a pregap of 2 sectors and 3 MPEG sectors with a
// sound (zero) EDC, so that -verify finds nothing wrong with them (a .dat opens with 30 empty
// sectors).
std::string VerifiableBin()
{
    return RawSectors(Filler(2 * kPack, 3)) + RawSectors(std::string(2 * kPack, '\0'), 2) +
           DatSectors(MpegBlocks(3)).substr(30 * kRaw);
}

} // namespace

// A data track, a pregap without a pack and four packs, through each method's console; the sheet
// in a folder, a tab and blanks in a row in its quoted BIN name read as one blank, its lines
// ending in CR, CR LF and LF, blank lines at its end.
TEST(CueSheet, OneSheetThroughEachMethod)
{
    const std::string sheet = "FILE \"MY\t  VIDEO.BIN\" BINARY\r  TRACK 01 MODE2/2352\r\n    INDEX "
                              "01 00:00:00\n  TRACK 02 MODE2/2352\r    INDEX 00 00:00:03\r\n    "
                              "INDEX 01 00:00:06\n \t\r\n\r\n",
                      w1 = kTrack + "1 -> writing...\r", w2 = kTrack + "2 -> writing...\r",
                      image = std::string(6 * kRaw, '\0') + RawSectors(MpegBlocks(4), 6),
                      one = image.substr(7056, 7056), two = image.substr(14112);
    const std::tuple<std::string, std::string, Files> methods[] = {
        {"raw", kThree + w1 + w2 + "\n" + kClosed, {{"o01.raw", one}, {"o02.raw", two}}},
        {"dat",
         kThree + "\xFE                 -> searching \r" + w1 + w2 + kClosed,
         {{"o01.dat", DatFile(one)}, {"o02.dat", DatFile(two)}}},
        {"mpg",
         kThree + kTrack + "1 -> searching \r" + kTrack + "2 -> searching \r" + w2 + kClosed,
         {{"o01.mpg", ""}, {"o02.mpg", MpegBlocks(4)}}}};
    for (const auto& [m, said, outputs] : methods)
        Expect(Korvane("-cue2" + m + " s/f.cue o." + m,
                       {{"s/f.cue", sheet}, {"s/MY VIDEO.BIN", image}})
                   .Exits(0, said, outputs));
}

TEST(CueSheet, TablesAndRefusals)
{
    const std::string x = Sheet("fixture.bin", {"00:00:00", "00:00:03", "00:00:06"}),
                      image = RawSectors(MpegBlocks(10)),
                      warning = "\n** BIN size does not match size expected in CUE file. **\n\n",
                      z = Filler(800 * kRaw + 100),
                      usual = Sheet("fixture.bin", {"00:00:00", "00:10:38"}),
                      closed = kTrack + "1 -> writing...\r\n" + kClosed,
                      data = MpegBlocks(5).substr(0, 5 * 2048),
                      mode1 =
                          "FILE fixture.bin BINARY\n  TRACK 01 MODE1/2352\n  INDEX 01 00:00:01\n",
                      limit = ReadFile(std::string(KORVANE_FIXTURES) + "/bad-99-records.cue");
    const auto padded = [&](size_t size) { return x + std::string(size - x.size(), ' '); };
    std::vector<Case> table{
        {"the BIN given as the destination under another name",
         Korvane("-track02 -cue2raw f.cue ./fixture.bin", Beside(x, image))
             .Exits(1, "./fixture.bin is the same file as fixture.bin; writing it would destroy "
                       "the input.\n\n")},
        {"a track file that cannot be created is reported, the others still tried; status 1",
         Korvane("-cue2raw f.cue none/o.raw", Beside(x, image))
             .Exits(1, kThree +
                           "\xFE ERROR: could not write Track 1       \n\xFE ERROR: could "
                           "not write Track 2       \n\n" +
                           kClosed)},
        {"cue2dat refuses a BIN without a stream before it writes",
         Korvane("-cue2dat f.cue o.dat", Beside(x, std::string(10 * kRaw, '\0')))
             .Exits(1, kThree + "\xFE                 -> searching \r\n\nCould not find MPEG "
                                "stream in BIN file.\n")},
        {"a negative track number",
         Korvane("-track-1 -cue2mpg f.cue o.mpg", Beside(x, image))
             .Exits(1, "- Selected track #-1\n" + kThree + "\xFE Track -1 does not exist.\n\n")},
        {"a BIN that ends in a partial sector: a warning, the partial sector left out",
         Korvane("-cue2raw f.cue o.raw", Beside(usual, z))
             .Exits(0, warning + Table(kRaw, 0, {0, 0, 1853376, 788, 1853376, 1881600}) + closed,
                    {{"o.raw", z.substr(1853376, 28224)}})},
        {"cue2mpg on Mode 1: 2048 bytes from byte 16 of each sector, -fix off",
         Korvane("-cue2mpg f.cue o.mpg",
                 Beside(mode1, std::string(kRaw, '\0') + RawSectors(data, 0, 1)))
             .Exits(0,
                    "- Mode 1 detected: -fix option automatically disabled.\n- User defined read "
                    "sector size: 2352 bytes\n- User defined write sector size: 2048 bytes\n" +
                        Table(kRaw, 0, {1, 2352, 0, 75, 2352, 14112}) + kTrack +
                        "1 -> searching \r" + kTrack + "1 -> writing...\r" + kClosed,
                    {{"o.mpg", data}})},
        {"the other methods refuse Mode 1",
         Korvane("-cue2raw f.cue o.raw", Beside(mode1, RawSectors(data, 0, 1)))
             .Exits(1, "\nThere are no plans to support Mode 1 images. *True* VCDs are burned as "
                       "Mode 2.\nIf you still wish to extract the MPEG stream from the Mode 1 "
                       "image,\ntry the -cue2mpg option instead.\nNOTE: Mode 1 support in "
                       "-cue2mpg not fully tested.\n")},
        {"98 records fit, the last one reaches the BIN's end",
         Korvane("-track97 -cue2mpg f.cue o.mpg",
                 Beside(limit.substr(0, limit.rfind("INDEX")), RawSectors(MpegBlocks(100))))
             .Exits(0, kClosed, {{"o.mpg", MpegBlocks(100).substr(97 * kPack)}})},
        {"an empty sheet is none of the images",
         Korvane("-cue2mpg f.cue o", Beside("", image))
             .Exits(1, "f.cue is none of the images Korvane reads (a CUE sheet, a cdrdao TOC "
                       "sheet, a Nero NRG image or a CloneCD CCD sheet).\n\n")},
        {"a BIN name too long to exist",
         Korvane("-cue2raw f.cue o", Beside("FILE " + std::string(5000, 'W') + " BINARY\n", image))
             .Exits(1, std::string(5000, 'w') + "\"\n")},
        {"a sheet of 1 MiB is still a sheet",
         Korvane("-track02 -cue2mpg f.cue o.mpg", Beside(padded(1 << 20), image))
             .Exits(0, kClosed, {{"o.mpg", MpegBlocks(10).substr(6 * kPack)}})},
        {"a sheet of 1 MiB + 1 read whole, however large",
         Korvane("-cue2mpg f.cue o", Beside(padded((1 << 20) + 1), image))
             .Exits(1,
                    "f.cue is larger than 1 MiB; Korvane reads sheets of up to 1 MiB only.\n\n")},
        {"a /dev/zero sheet grew by 50 MB a second until std::bad_alloc",
         Korvane("-cue2mpg f.cue o")
             .Given("ln -s /dev/zero f.cue")
             .Exits(1, "f.cue is not a regular file; Korvane reads sheets from regular files "
                       "only.\n\n")},
        {"an INDEX far beyond the BIN's end leaves its track empty",
         Korvane("-cue2raw f.cue o",
                 Beside(Sheet("fixture.bin", {"00:00:00", "00:00:01", "99999:00:00"}), image))
             .Exits(0, kClosed, {{"o01.raw", image.substr(kRaw)}, {"o02.raw", ""}})}};
    const Files refusals{
        {"bad-no-file", "Error in CUE file!  Missing FILE information.\n\n"},
        {"bad-99-records", "Total tracks over 98.  Possible error in CUE file.\n\n"},
        {"bad-second-bin", "missing (track 2).bin could not be opened or accessed.\nThe filename "
                           "specified inside the CUE file could be wrong\n\nTried, in order: "
                           "\"Missing (Track 2).bin\", \"missing (track 2).bin\"\n"}};
    for (const auto& fixture : std::filesystem::directory_iterator(KORVANE_FIXTURES)) {
        const std::string name = fixture.path().stem().string(); // the fault it carries
        table.push_back(
            {name, Korvane("-cue2mpg f.cue o.mpg", Beside(ReadFile(fixture.path().string()), image))
                       .Exits(1, refusals.count(name) ? refusals.at(name) : kIncomplete)});
    }
    ExpectAll(table);
}

TEST(Images, EveryFormatGivesTheCueImagesRecordsAndOutputs)
{
    const std::vector<DiscTrack> t = Tracks();
    const std::string bin = Bin(), raw = Table(kRaw),
                      tao = Table(
                          kRaw, 0,
                          {0, 0, 4704, 2, 0, 0, 152, 4704, 11760, 155, 0, 0, 305, 11760, 18816});
    std::string progress, strings;
    for (int i = 0; i < 300000; ++i)
        strings += "\"\" ";
    for (const char* step : {"1 -> searching ", "2 -> searching ", "2 -> writing...",
                             "3 -> searching ", "4 -> searching ", "4 -> writing..."})
        progress += kTrack + step + "\r";
    const auto cueImage = [&](const char* fault, const std::string& source, const Files& inputs,
                              const std::string& table) {
        return Case{fault, Korvane("-cue2mpg " + source + " o", inputs)
                               .Exits(0, table + progress + kClosed,
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
        cueImage("toc in a .cue: one BIN, lengths as MSF and bytes, START with and without a "
                 "time; 900 kB of strings took minutes when each counted its line from the start",
                 "f.cue",
                 {{"f.cue", ReplaceAll(ReadFile(kFixtures + "one-bin.toc"), "CD_ROM_XA\n",
                                       "CD_ROM_XA\nCD_TEXT { " + strings + "}\n")},
                  {"d.bin", bin}},
                 raw),
        cueImage("nrg v1 dao: BCD cue positions, lead-in stored first, 2336-byte sectors", "f.nrg",
                 {{"f.nrg", NrgDao(t, false, 2336)}}, Table(2336, 150 * 2336)),
        cueImage("nrg v2 dao: 64-bit offsets, LBA cue positions", "f.nrg",
                 {{"f.nrg", NrgDao(t, true)}}, Table(kRaw, 150 * kRaw)),
        cueImage("nrg v1 tao: pregaps in no file", "f.nrg", {{"f.nrg", NrgTao(t, false)}}, tao),
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
        {"bad-plba-not-msf", "[Entry 4] PLBA 5 disagrees with its PMin, PSec and PFrame"},
        {"bad-tracks-not-increasing", "track 3 does not start after the track before it"},
        {"bad-index-backwards", "the indexes of [TRACK 3] go backwards"},
        {"bad-mode-3", "[TRACK 1] MODE 3"},
        {"bad-value-not-a-number", "[TRACK 2] index 0 is not a number: two"},
        {"bad-unknown-keyword", "an unknown keyword BEGIN on line 8"},
        {"bad-unclosed-string", "a string not closed on line 9"},
        {"bad-seconds-60", "a time with seconds past 59 or frames past 74 on line 9"},
        {"bad-signed-number", "a number with a sign on line 7"},
        {"bad-unknown-mode", "an unknown track mode MODE2_FORM3 on line 6"},
        {"bad-no-track", "no TRACK"},
        {"bad-100-tracks", "more than 99 tracks"},
        {"bad-offset-past-end", "the offset 28224 is at or past the end of s/d.bin (28224 bytes)"},
        {"bad-partial-sector", "a data span of 4700 bytes in track 2, not a whole number of its "
                               "2352-byte sectors"},
        {"bad-second-start", "a second START or PREGAP in track 3"},
        {"bad-zero-length-pregap", "a zero-length PREGAP, ZERO or SILENCE in track 3"},
        {"bad-index-at-index-1", "an INDEX of track 3 at or before index 1 or the INDEX before it"},
        {"bad-file-in-data-track", "an audio FILE in data track 2"},
        {"bad-pregap-after-data", "a PREGAP after the data of track 2"},
        {"bad-nul-in-name", "a file name holding a NUL byte (\\000), which no file name can hold"},
        {"bad-fifo", "data from a FIFO, which can't be read twice"},
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
             .Exits(1, "Several files in s/ differ from Disc.Bin only in letter case; none was "
                       "taken: DISC.BIN disc.bin\nTried, in order: \"C:\\VCD\\Rips\\Disc.Bin\", "
                       "\"c:/vcd/rips/disc.bin\", \"s/C:\\VCD\\Rips\\Disc.Bin\", "
                       "\"s/c:/vcd/rips/disc.bin\", \"s/Disc.Bin\"\n")});
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
            {"bad-sector-size", v2, "DAOX", 22 + 12, "\x09\x31",
             "track 1 has sectors of 2353 bytes"},
            {"bad-tracks-overlap", v2, "DAOX", 22 + 42 + 18, zeros,
             "track 2 overlaps the track before it or goes backwards"},
            {"bad-partial-sector", v2, "DAOX", 22 + 42 + 18 + 15, "\xE1",
             "track 2 is not a whole number of its 2352-byte sectors"},
            {"bad-cue-disagrees", v2, "CUEX", 3 * 8 + 7, "\x01",
             "the cue chunk and the DAO chunk disagree on the pregap of track 2"},
            {"bad-cue-not-bcd", v1, "CUES", 2 * 8 + 6, "\x0A",
             "a cue entry whose second is not a decimal (BCD) number"},
            {"bad-tao-past-data", tao, "ETNF", 2 * 20 + 4, std::string("\0\1\0\0", 4),
             "track 3 runs past the sector data into the chunk list"},
        };
    for (const auto& [fault, image, id, at, bytes, said] : nrg)
        runs.push_back(
            {fault, Korvane("-cue2mpg f.nrg o", {{"f.nrg", patch(image, id, at, bytes)}})
                        .Exits(1, "f.nrg is not a valid Nero NRG image: " + said + ".\n\n")});
    ExpectAll(runs);
}

// Sector modes taken from a sheet that is wrong about them.
TEST(ReviewedImages, HostileSheetsAndWrongModes)
{
    const std::vector<DiscTrack> tracks = SplitDisc(VerifiableBin(), {{0, 0}, {2, 4}});
    const std::string bin = VerifiableBin(), ccd = CcdSheet(tracks),
                      verified = "\xFE Verify Track 2: 3 sectors checked, 0 damaged.\n";
    std::string nrg = NrgDao(tracks, true);
    for (size_t t = 0; t < tracks.size(); ++t) // every track's mode code 0 (Mode 1), size 2352
        nrg[nrg.rfind("DAOX") + 8 + 22 + t * 42 + 14] = '\0';
    const Files stream{{"o.mpg", MpegBlocks(3)}};
    ExpectAll({
        {"-verify held Mode 2 sectors to a CloneCD MODE=1 and found every one damaged",
         Korvane("-verify -cue2mpg -track2 f.ccd o",
                 {{"f.ccd", ReplaceAll(ccd, "MODE=2", "MODE=1")}, {"f.img", bin}})
             .Exits(0, verified, stream)},
        {"-verify held Mode 2 sectors to a Nero Mode 1 code beside a 2352-byte size",
         Korvane("-verify -cue2mpg -track2 f.nrg o", {{"f.nrg", nrg}}).Exits(0, verified, stream)},
    });
}

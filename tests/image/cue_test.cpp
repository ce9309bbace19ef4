// CUE sheets as users and authoring tools write them: the table the reader prints, the console
// lines of the three methods, and what is refused.
#include <filesystem>

#include "harness.h"

namespace {

const std::string kTrack = "\xFE                 Track ",
                  kClosed = "\xFE completed. Track(s) written.\n\n",
                  kIncomplete =
                      "CUE file is incomplete and is missing the necessary track information.\n\n";

// The table of 2352-byte records given as frame number, start and end of each in turn.
std::string Table(const std::vector<long>& records)
{
    std::string t =
        "\n Track #     mm:ss.ff     Sector Size          LBA Start        LBA End    \n";
    char line[200];
    for (size_t i = 0; i < records.size(); i += 3) {
        const long frame = records[i];
        std::snprintf(line, sizeof line,
                      "    %zu        %.2ld:%.2ld.%.2ld     2352 bytes/sector    %9ld      %9ld\n",
                      i / 3, frame / 4500, frame / 75 % 60, frame % 75, records[i + 1],
                      records[i + 2]);
        t += line;
    }
    return t + "\n";
}

Files Beside(const std::string& sheet, const std::string& bin)
{
    return {{"f.cue", sheet}, {"fixture.bin", bin}};
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
                      three = Table({0, 0, 7056, 3, 7056, 14112, 6, 14112, 23520}),
                      w1 = kTrack + "1 -> writing...\r", w2 = kTrack + "2 -> writing...\r",
                      image = std::string(6 * kRaw, '\0') + RawSectors(MpegBlocks(4), 6),
                      one = image.substr(7056, 7056), two = image.substr(14112);
    const struct {
        std::string method, kind, said;
        Files outputs;
    } methods[] = {
        {"raw",
         "RAW image",
         three + w1 + w2 + "\n" + kClosed,
         {{"o01.raw", one}, {"o02.raw", two}}},
        {"dat",
         "VCD DAT",
         three + "\xFE                 -> searching \r" + w1 + w2 + kClosed,
         {{"o01.dat", DatFile(one)}, {"o02.dat", DatFile(two)}}},
        {"mpg",
         "MPEG",
         three + kTrack + "1 -> searching \r" + kTrack + "2 -> searching \r" + w2 + kClosed,
         {{"o01.mpg", ""}, {"o02.mpg", MpegBlocks(4)}}}};
    for (const auto& [m, kind, said, outputs] : methods)
        Expect(Korvane("-cue2" + m + " s/f.cue o." + m,
                       {{"s/f.cue", sheet}, {"s/MY VIDEO.BIN", image}})
                   .Exits(0,
                          BannerText() + "\nCUE source --> s/f.cue\n" + kind +
                              " destination --> o." + m + "\nExtraction method --> cue2" + m +
                              "\n" + said,
                          outputs));
}

TEST(CueSheet, TablesAndRefusals)
{
    const std::string x = Sheet("fixture.bin", {"00:00:00", "00:00:03", "00:00:06"}),
                      image = RawSectors(MpegBlocks(10)),
                      three = Table({0, 0, 7056, 3, 7056, 14112, 6, 14112, 23520}),
                      warning = "\n** BIN size does not match size expected in CUE file. **\n\n",
                      z = Filler(800 * kRaw + 100),
                      usual = Sheet("fixture.bin", {"00:00:00", "00:10:38"}),
                      closed = kTrack + "1 -> writing...\r\n" + kClosed,
                      data = MpegBlocks(5).substr(0, 5 * 2048),
                      mode1 =
                          "FILE fixture.bin BINARY\n  TRACK 01 MODE1/2352\n  INDEX 01 00:00:01\n",
                      limit = ReadFile(std::string(KORVANE_FIXTURES) + "/bad-99-records.cue");
    const auto padded = [&](size_t size) { return x + std::string(size - x.size(), ' '); };
    std::vector<long> records; // 98 fit
    for (long i = 0; i < 98; ++i)
        records.insert(records.end(), {i, i * 2352, i == 97 ? 100 * 2352 : (i + 1) * 2352});
    std::vector<Case> table{
        {"the BIN given as the destination under another name",
         Korvane("-track02 -cue2raw f.cue ./fixture.bin", Beside(x, image))
             .Exits(1, "./fixture.bin is the same file as fixture.bin; writing it would destroy "
                       "the input.\n\n")},
        {"a track file that cannot be created is reported, the others still tried; status 1",
         Korvane("-cue2raw f.cue none/o.raw", Beside(x, image))
             .Exits(1, three +
                           "\xFE ERROR: could not write Track 1       \n\xFE ERROR: could "
                           "not write Track 2       \n\n" +
                           kClosed)},
        {"cue2dat refuses a BIN without a stream before it writes",
         Korvane("-cue2dat f.cue o.dat", Beside(x, std::string(10 * kRaw, '\0')))
             .Exits(1, three + "\xFE                 -> searching \r\n\nCould not find MPEG "
                               "stream in BIN file.\n")},
        {"a negative track number",
         Korvane("-track-1 -cue2mpg f.cue o.mpg", Beside(x, image))
             .Exits(1, "- Selected track #-1\n" + three + "\xFE Track -1 does not exist.\n\n")},
        {"a BIN that ends in a partial sector: a warning, the partial sector left out",
         Korvane("-cue2raw f.cue o.raw", Beside(usual, z))
             .Exits(0, warning + Table({0, 0, 1853376, 788, 1853376, 1881600}) + closed,
                    {{"o.raw", z.substr(1853376, 28224)}})},
        {"a BIN shorter than the sheet: a warning, the track clipped to the BIN's end",
         Korvane("-cue2raw f.cue o.raw", Beside(usual, z.substr(0, 700 * kRaw)))
             .Exits(0, warning + Table({0, 0, 1646400, 788, 1646400, 1646400}) + closed,
                    {{"o.raw", ""}})},
        {"cue2mpg on Mode 1: 2048 bytes from byte 16 of each sector, -fix off",
         Korvane("-cue2mpg f.cue o.mpg",
                 Beside(mode1, std::string(kRaw, '\0') + RawSectors(data, 0, 1)))
             .Exits(0,
                    "- Mode 1 detected: -fix option automatically disabled.\n- User defined read "
                    "sector size: 2352 bytes\n- User defined write sector size: 2048 bytes\n" +
                        Table({1, 2352, 0, 75, 2352, 14112}) + kTrack + "1 -> searching \r" +
                        kTrack + "1 -> writing...\r" + kClosed,
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
             .Exits(0,
                    "- Selected track #97\n" + Table(records) + kTrack + "97 -> searching \r" +
                        kTrack + "97 -> writing...\r" + kClosed,
                    {{"o.mpg", MpegBlocks(100).substr(97 * kPack)}})},
        {"an empty sheet is none of the images",
         Korvane("-cue2mpg f.cue o", Beside("", image))
             .Exits(1, "f.cue is none of the images Korvane reads (a CUE sheet, a cdrdao TOC "
                       "sheet, a Nero NRG image or a CloneCD CCD sheet).\n\n")},
        {"a sheet cut off in a quoted name",
         Korvane("-cue2dat f.cue o", Beside("FILE \"" + std::string(5000, 'W'), image))
             .Exits(1, kIncomplete)},
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
        {"a folder is no sheet", Korvane("-cue2mpg f.cue o").Given("mkdir f.cue").Exits(1, "")},
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

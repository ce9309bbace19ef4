// CUE sheets as users and authoring tools write them: the table the reader
// prints, the console lines of the three methods, and what is refused.

#include <filesystem>

#include "harness.h"

namespace {

const std::string kIncomplete =
    "CUE file is incomplete and is missing the necessary track information.\n\n";
const std::string kTrack = "\xFE                 Track ",
                  kClosed = "\xFE completed. Track(s) written.\n\n";

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

// [-track<track>] -cue2<m> on the sheet f.cue beside its BIN, both in the folder `in` ("" or "s/")
// below the one the run is in.
struct Case {
    std::string sheet, m = "mpg", bin = RawSectors(MpegBlocks(100)), stored = "fixture.bin",
                       track = "", dest = "", in = "";

    // `said` is all it prints after the method line; `files` are the outputs, of a .dat what
    // follows its header.
    Golden Exits(int status, const std::string& said, const Files& files = {}) const
    {
        const std::string to = dest.empty() ? "o." + m : dest;
        std::vector<std::string> args{"-cue2" + m, in + "f.cue", to};
        if (!track.empty())
            args.insert(args.begin(), "-track" + track);
        Files outputs;
        for (const auto& [name, bytes] : files)
            outputs[name] = m == "dat" ? DatFile(bytes) : bytes;
        const char* kind = m == "raw" ? "RAW image" : m == "dat" ? "VCD DAT" : "MPEG";
        return {args,
                {{in + "f.cue", sheet}, {in + stored, bin}},
                status,
                BannerText() + "\nCUE source --> " + in + "f.cue\n" + kind + " destination --> " +
                    to + "\nExtraction method --> cue2" + m + "\n" + said,
                outputs};
    }
};

} // namespace

TEST(CueSheet, TablesLinesOutputsAndRefusals)
{
    const std::string body =
        " BINARY\n  TRACK 01 MODE2/2352\n    INDEX 01 00:00:00\n  TRACK 02 MODE2/2352\n "
        "   INDEX 00 00:00:03\n    INDEX 01 00:00:06\n";
    const std::string three = Table({0, 0, 7056, 3, 7056, 14112, 6, 14112, 23520}),
                      w1 = kTrack + "1 -> writing...\r", w2 = kTrack + "2 -> writing...\r",
                      image = std::string(6 * kRaw, '\0') + RawSectors(MpegBlocks(4), 6);
    const Files said{{"raw", three + w1 + w2 + "\n" + kClosed},
                     {"dat", three + "\xFE                 -> searching \r" + w1 + w2 + kClosed},
                     {"mpg", three + kTrack + "1 -> searching \r" + kTrack + "2 -> searching \r" +
                                 w2 + kClosed}};
    // One sheet in many spellings: data track, pregap without a pack, four packs.
    for (const auto& [name, stored, in, eol] :
         {std::tuple{"\"x.bin\"", "x.bin", "", "\n"},
          {"\"x.bin\"", "x.bin", "", "\r\n"},
          {"x.bin", "x.bin", "s/", "\r"},
          {"\"MY VIDEO.BIN\"", "MY VIDEO.BIN", "", "\n"},
          {"\"MY\tVIDEO.BIN\"", "MY VIDEO.BIN", "", "\r\n"},
          {"\"MY   VIDEO.BIN\"", "MY VIDEO.BIN", "s/", "\n"},
          {"DISC\\MUSIC.BIN", "disc/music.bin", "", "\n"},
          {"DISC\\MUSIC.BIN", "disc/music.bin", "s/", "\r\n"}})
        for (const std::string m : {"raw", "dat", "mpg"}) {
            const std::string sheet = "FILE " + std::string(name) + body;
            const bool mpg = m == "mpg";
            Expect(Case{ReplaceAll(sheet, "\n", eol) + (eol[0] == '\r' ? " \t\r\n\r\n" : ""), m,
                        image, stored, "", "", in}
                       .Exits(0, said.at(m),
                              {{"o01." + m, mpg ? "" : image.substr(7056, 7056)},
                               {"o02." + m, mpg ? MpegBlocks(4) : image.substr(14112)}}));
        }
    const std::string x = "FILE x.bin" + body, lost = "; writing it would destroy the input.\n\n";
    Expect(Case{x, "raw", image, "x.bin", "02", "./x.bin"}.Exits(
        1, "- Selected track #2\n" + three + "./x.bin is the same file as x.bin" + lost));
    Expect(Case{x, "raw", image, "x.bin", "02", "f.cue"}.Exits(
        1, "- Selected track #2\n" + three + "f.cue is the same file as f.cue" + lost));
    Expect(Case{x, "raw", image, "x.bin", "", "none/o.raw"}.Exits(
        0, three +
               "\xFE ERROR: could not write Track 1       \n\xFE ERROR: could not write Track 2    "
               "   \n\n" +
               kClosed));
    Expect(Case{x, "dat", std::string(10 * kRaw, '\0'), "x.bin"}.Exits(
        1,
        three +
            "\xFE                 -> searching \r\n\nCould not find MPEG stream in BIN file.\n"));
    // A shipped image's table.
    const Case two{ReadFile(SamplePath("vcd2/two.cue")), "mpg",
                   ReadFile(SamplePath("vcd2/two.bin")), "two.bin", "-1"};
    Expect(two.Exits(1, "- Selected track #-1\n" +
                            Table({0, 0, 705600, 300, 705600, 1058400, 450, 1058400, 1441776, 613,
                                   1441776, 1794576, 763, 1794576, 2530752}) +
                            "\xFE Track -1 does not exist.\n\n"));
    // The usual two-track sheet on BINs that fit, end in a partial sector or are shorter than the
    // sheet says.
    const std::string
        warning = "\n** BIN size does not match size expected in CUE file. **\n\n",
        z = Filler(800 * kRaw + 100), closed = w1 + "\n" + kClosed,
        usual =
            "FILE fixture.bin BINARY\nTRACK 01 MODE2/2352\nINDEX 01 00:00:00\nTRACK 02 MODE2/2352\n"
            "INDEX 01 00:10:38\n",
        fits = Table({0, 0, 1853376, 788, 1853376, 1881600}) + closed;
    Expect(Case{usual, "raw", z.substr(0, 800 * kRaw)}.Exits(
        0, fits, {{"o.raw", z.substr(1853376, 28224)}}));
    Expect(Case{usual, "raw", z}.Exits(0, warning + fits, {{"o.raw", z.substr(1853376, 28224)}}));
    Expect(Case{usual, "raw", z.substr(0, 700 * kRaw)}.Exits(
        0, warning + Table({0, 0, 1646400, 788, 1646400, 1646400}) + closed, {{"o.raw", ""}}));
    const std::string data = MpegBlocks(5).substr(0, 5 * 2048),
                      mode1 =
                          "FILE fixture.bin BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:01\n";
    Expect(Case{mode1, "mpg", std::string(kRaw, '\0') + RawSectors(data, 0, 1)}.Exits(
        0,
        "- Mode 1 detected: -fix option automatically disabled.\n- User defined read sector size: "
        "2352 bytes\n"
        "- User defined write sector size: 2048 bytes\n" +
            Table({1, 2352, 0, 75, 2352, 14112}) + kTrack + "1 -> searching \r" + w1 + kClosed,
        {{"o.mpg", data}}));
    Expect(Case{mode1, "raw", RawSectors(data, 0, 1)}.Exits(
        1, "\nThere are no plans to support Mode 1 images. *True* VCDs are burned as Mode 2.\nIf "
           "you still wish to "
           "extract the MPEG stream from the Mode 1 image,\ntry the -cue2mpg option instead.\n"
           "NOTE: Mode 1 support in -cue2mpg not fully tested.\n"));
    std::vector<long> records; // 98 fit
    for (long i = 0; i < 98; ++i)
        records.insert(records.end(), {i, i * 2352, i == 97 ? 100 * 2352 : (i + 1) * 2352});
    const std::string limit = ReadFile(std::string(KORVANE_FIXTURES) + "/bad-99-records.cue");
    Expect(Case{limit.substr(0, limit.rfind("INDEX")), "mpg", RawSectors(MpegBlocks(100)),
                "fixture.bin", "97"}
               .Exits(0,
                      "- Selected track #97\n" + Table(records) + kTrack + "97 -> searching \r" +
                          kTrack + "97 -> writing...\r" + kClosed,
                      {{"o.mpg", MpegBlocks(100).substr(97 * kPack)}}));
    const std::string wrong = " could not be opened or accessed.\nThe filename specified inside "
                              "the CUE file could be wrong\nTried, in order: ";
    const Files refusals{
        {"bad-no-file", "Error in CUE file!  Missing FILE information.\n\n"},
        {"bad-99-records", "Total tracks over 98.  Possible error in CUE file.\n\n"},
        {"bad-bin-name",
         "disc/music.bin" + wrong + "\"DISC\\MUSIC.BIN\", \"disc/music.bin\", \"MUSIC.BIN\"\n\n"},
        {"bad-second-bin", "missing (track 2).bin" + wrong +
                               "\"Missing (Track 2).bin\", \"missing (track 2).bin\"\n\n"}};
    // the others: kIncomplete
    for (const auto& fixture : std::filesystem::directory_iterator(KORVANE_FIXTURES)) {
        const std::string name = fixture.path().stem().string();
        Expect(Case{ReadFile(fixture.path().string())}.Exits(
            1, refusals.count(name) ? refusals.at(name) : kIncomplete));
    }
    // Sheets that are empty, binary junk, cut off in a name or name a BIN too long to exist;
    // an INDEX far beyond the BIN's end leaves its track empty.
    const std::string bin = RawSectors(MpegBlocks(6)), missing = "Missing FILE information.\n\n",
                      none = "in.x is none of the images Korvane reads (a CUE sheet, a cdrdao TOC "
                             "sheet, a Nero NRG image or a CloneCD CCD sheet).\n\n";
    const auto beside = [&](const std::string& sheet) {
        return Files{{"in.x", sheet}, {"in.bin", bin}};
    };
    for (const Golden& g :
         {Korvane("-cue2mpg in.x out", beside("")).Exits(1, none),
          Korvane("-cue2raw in.x out", beside(Filler(3000, 3))).Exits(1, none),
          Korvane("-cue2raw in.x out", beside("REM FILE\n")).Exits(1, kIncomplete),
          Korvane("-cue2dat in.x out", beside("FILE \"" + std::string(5000, 'W')))
              .Exits(1, kIncomplete),
          Korvane("-cue2raw in.x out", beside("FILE " + std::string(5000, 'W') + " BINARY\n"))
              .Exits(1, std::string(5000, 'w') + "\"\n\n"),
          Korvane(
              "-cue2raw in.x out",
              beside("FILE in.bin BINARY\nTRACK 01 MODE2/2352\nINDEX 01 00:00:00\nTRACK 02 "
                     "MODE2/2352\nINDEX 01 00:00:01\nTRACK 03 MODE2/2352\nINDEX 01 99999:00:00\n"))
              .Exits(0, kClosed, {{"out01.raw", bin.substr(kRaw)}, {"out02.raw", ""}})})
        Expect(g);
}

// CUE sheets as users and authoring tools write them: the table the reader
// prints, the console lines of the three methods, and what is refused.
#include <gtest/gtest.h>

#include <filesystem>

#include "harness.h"
#include "synth.h"

namespace {

const std::string kIncomplete = "CUE file is incomplete and is missing the necessary track information.\n\n";
const std::string kTrack = "\xFE                 Track ", kClosed = "\xFE completed. Track(s) written.\n\n";

// The table of 2352-byte records given as {frame number, start, end}.
std::string Table(const std::vector<std::vector<long>>& rows)
{
    std::string t = "\n Track #     mm:ss.ff     Sector Size          LBA Start        LBA End    \n";
    char line[200];
    for (size_t i = 0; i < rows.size(); ++i)
        t.append(line,
                 static_cast<size_t>(std::snprintf(
                     line, sizeof line, "    %zu        %.2ld:%.2ld.%.2ld     2352 bytes/sector    %9ld      %9ld\n", i,
                     rows[i][0] / 4500, rows[i][0] / 75 % 60, rows[i][0] % 75, rows[i][1], rows[i][2])));
    return t + "\n";
}

// -cue2<m> on the sheet f.cue beside its BIN; `said` is all it prints after the method line.
struct Case {
    std::string sheet, said, m = "mpg", bin = RawSectors(MpegBlocks(100));
    Files files = {}; // the outputs; of a .dat, what follows its header
    int status = 1;
    std::vector<std::string> options = {};
    std::string dest = "", stored = "fixture.bin";
    bool elsewhere = false; // the sheet and its BIN in a folder "s" below the one the run is in

    Golden Run() const
    {
        const std::string in = elsewhere ? "s/" : "", to = dest.empty() ? "o." + m : dest;
        std::vector<std::string> args = options;
        args.insert(args.end(), {"-cue2" + m, in + "f.cue", to});
        Files outputs;
        for (const auto& [name, bytes] : files) outputs[name] = m == "dat" ? DatFile(bytes) : bytes;
        return {args,
                {{in + "f.cue", sheet}, {in + stored, bin}},
                status,
                BannerText() + "\nCUE source --> " + in + "f.cue\n" +
                    (m == "raw"   ? "RAW image"
                     : m == "dat" ? "VCD DAT"
                                  : "MPEG") +
                    " destination --> " + to + "\nExtraction method --> cue2" + m + "\n" + said,
                outputs};
    }
};

} // namespace

TEST(CueSheet, TablesLinesOutputsAndRefusals)
{
    const std::string body = " BINARY\n  TRACK 01 MODE2/2352\n    INDEX 01 00:00:00\n  TRACK 02 MODE2/2352\n "
                             "   INDEX 00 00:00:03\n    INDEX 01 00:00:06\n";
    const std::string three = Table({{0, 0, 7056}, {3, 7056, 14112}, {6, 14112, 23520}}),
                      w1 = kTrack + "1 -> writing...\r";
    const std::string image = std::string(6 * kRaw, '\0') + RawSectors(MpegBlocks(4), 6),
                      one = image.substr(7056, 7056);
    const Files said{
        {"raw", three + w1 + kTrack + "2 -> writing...\r\n" + kClosed},
        {"dat", three + "\xFE                 -> searching \r" + w1 + kTrack + "2 -> writing...\r" + kClosed},
        {"mpg",
         three + kTrack + "1 -> searching \r" + kTrack + "2 -> searching \r" + kTrack + "2 -> writing...\r" + kClosed}};
    std::vector<Case> cases; // one sheet in many spellings: data track, pregap without a pack, four packs
    for (const auto& [name, stored, elsewhere, crlf] : {std::tuple{"\"x.bin\"", "x.bin", false, false},
                                                        {"\"x.bin\"", "x.bin", false, true},
                                                        {"x.bin", "x.bin", true, true},
                                                        {"\"MY VIDEO.BIN\"", "MY VIDEO.BIN", false, false},
                                                        {"\"MY\tVIDEO.BIN\"", "MY VIDEO.BIN", false, true},
                                                        {"\"MY   VIDEO.BIN\"", "MY VIDEO.BIN", true, false},
                                                        {"DISC\\MUSIC.BIN", "disc/music.bin", false, false},
                                                        {"DISC\\MUSIC.BIN", "disc/music.bin", true, true}})
        for (const std::string m : {"raw", "dat", "mpg"}) {
            const std::string sheet = "FILE " + std::string(name) + body;
            cases.push_back(
                {crlf ? ReplaceAll(sheet, "\n", "\r\n") + " \t\r\n\r\n" : sheet,
                 said.at(m),
                 m,
                 image,
                 {{"o01." + m, m == "mpg" ? "" : one}, {"o02." + m, m == "mpg" ? MpegBlocks(4) : image.substr(14112)}},
                 0,
                 {},
                 "",
                 stored,
                 elsewhere});
        }
    const std::string same = " is the same file as ", lost = "; writing it would destroy the input.\n\n",
                      x = "FILE x.bin" + body;
    cases.insert(
        cases.end(),
        {{x,
          "- Selected track #2\n" + three + "./x.bin" + same + "x.bin" + lost,
          "raw",
          image,
          {},
          1,
          {"-track02"},
          "./x.bin",
          "x.bin"},
         {x,
          "- Selected track #2\n" + three + "f.cue" + same + "f.cue" + lost,
          "raw",
          image,
          {},
          1,
          {"-track02"},
          "f.cue",
          "x.bin"},
         {x,
          three + "\xFE ERROR: could not write Track 1       \n\xFE ERROR: could not write Track 2       \n\n" +
              kClosed,
          "raw",
          image,
          {},
          0,
          {},
          "none/o.raw",
          "x.bin"},
         {x,
          three + "\xFE                 -> searching \r\n\nCould not find MPEG stream in BIN file.\n",
          "dat",
          std::string(10 * kRaw, '\0'),
          {},
          1,
          {},
          "",
          "x.bin"}});
    const std::string vcd = ReadFile(SamplePath("vcd/sample.bin")),
                      two = ReadFile(SamplePath("vcd2/two.bin")); // shipped images' tables
    cases.insert(cases.end(),
                 {{ReadFile(SamplePath("vcd/sample.cue")),
                   "- Selected track #9\n" + Table({{0, 0, 705600}, {300, 705600, 1058400}, {450, 1058400, 2027424}}) +
                       "\xFE Track 9 does not exist.\n\n",
                   "mpg",
                   vcd,
                   {},
                   1,
                   {"-track9"},
                   "",
                   "sample.bin"},
                  {ReadFile(SamplePath("vcd2/two.cue")),
                   "- Selected track #-1\n" +
                       Table({{0, 0, 705600},
                              {300, 705600, 1058400},
                              {450, 1058400, 1441776},
                              {613, 1441776, 1794576},
                              {763, 1794576, 2530752}}) +
                       "\xFE Track -1 does not exist.\n\n",
                   "mpg",
                   two,
                   {},
                   1,
                   {"-track-1"},
                   "",
                   "two.bin"}});
    const std::string warning = "\n** BIN size does not match size expected in CUE file. **\n\n",
                      z = Filler(800 * kRaw + 100);
    // The usual two-track sheet on BINs that fit, end in a partial sector or are shorter than the sheet says.
    const std::string usual = "FILE fixture.bin BINARY\nTRACK 01 MODE2/2352\nINDEX 01 00:00:00\nTRACK 02 "
                              "MODE2/2352\nINDEX 01 00:10:38\n",
                      raw1 = w1 + "\n" + kClosed;
    cases.insert(cases.end(), {{usual,
                                Table({{0, 0, 1853376}, {788, 1853376, 1881600}}) + raw1,
                                "raw",
                                z.substr(0, 800 * kRaw),
                                {{"o.raw", z.substr(1853376, 28224)}},
                                0},
                               {usual,
                                warning + Table({{0, 0, 1853376}, {788, 1853376, 1881600}}) + raw1,
                                "raw",
                                z,
                                {{"o.raw", z.substr(1853376, 28224)}},
                                0},
                               {usual,
                                warning + Table({{0, 0, 1646400}, {788, 1646400, 1646400}}) + raw1,
                                "raw",
                                z.substr(0, 700 * kRaw),
                                {{"o.raw", ""}},
                                0}});
    const std::string data = MpegBlocks(5).substr(0, 5 * 2048),
                      mode1 = "FILE fixture.bin BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:01\n";
    cases.insert(cases.end(),
                 {{mode1,
                   "- Mode 1 detected: -fix option automatically disabled.\n- User defined read sector size: "
                   "2352 bytes\n"
                   "- User defined write sector size: 2048 bytes\n" +
                       Table({{1, 2352, 0}, {75, 2352, 14112}}) + kTrack + "1 -> searching \r" + w1 + kClosed,
                   "mpg",
                   std::string(kRaw, '\0') + RawSectors(data, 0, 1),
                   {{"o.mpg", data}},
                   0},
                  {mode1,
                   "\nThere are no plans to support Mode 1 images. *True* VCDs are burned as Mode 2.\nIf you "
                   "still wish to extract the MPEG stream from the "
                   "Mode 1 image,\ntry the -cue2mpg option instead.\nNOTE: Mode 1 support in -cue2mpg not "
                   "fully tested.\n",
                   "raw", RawSectors(data, 0, 1)}});
    std::vector<std::vector<long>> rows; // 98 records fit
    for (long i = 0; i < 98; ++i) rows.push_back({i, i * 2352, i == 97 ? 100 * 2352 : (i + 1) * 2352});
    const std::string limit = ReadFile(std::string(KORVANE_FIXTURES) + "/bad-99-records.cue");
    cases.push_back({limit.substr(0, limit.rfind("INDEX")),
                     "- Selected track #97\n" + Table(rows) + kTrack + "97 -> searching \r" + kTrack +
                         "97 -> writing...\r" + kClosed,
                     "mpg",
                     RawSectors(MpegBlocks(100)),
                     {{"o.mpg", MpegBlocks(100).substr(97 * kPack)}},
                     0,
                     {"-track97"}});
    const std::string wrong =
        " could not be opened or accessed.\nThe filename specified inside the CUE file could be wrong\n\n";
    const Files refusals{{"bad-no-file", "Error in CUE file!  Missing FILE information.\n\n"},
                         {"bad-99-records", "Total tracks over 98.  Possible error in CUE file.\n\n"},
                         {"bad-bin-name", "disc/music.bin" + wrong},
                         {"bad-second-bin", "missing (track 2).bin" + wrong}}; // the others: kIncomplete
    for (const auto& fixture : std::filesystem::directory_iterator(KORVANE_FIXTURES)) {
        const std::string name = fixture.path().stem().string();
        cases.push_back(
            {ReadFile(fixture.path().string()), refusals.count(name) != 0 ? refusals.at(name) : kIncomplete});
    }
    for (const Case& c : cases) Expect(c.Run());
    // Sheets that are empty, binary junk, cut off in a name or name a BIN too long to exist;
    // an INDEX far beyond the BIN's end leaves its track empty.
    const std::string bin = RawSectors(MpegBlocks(6)),
                      sheet = "FILE in.bin BINARY\nTRACK 01 MODE2/2352\nINDEX 01 00:00:00\n"
                              "TRACK 02 MODE2/2352\nINDEX 01 00:00:01\nTRACK 03 MODE2/2352\nINDEX 01 99999:00:00\n";
    for (const auto& [method, text, status, end] :
         {std::tuple<const char*, std::string, int, std::string>{"-cue2mpg", "", 1, "Missing FILE information.\n\n"},
          {"-cue2raw", Filler(3000, 3), 1, "Missing FILE information.\n\n"},
          {"-cue2dat", "FILE \"" + std::string(5000, 'W'), 1, kIncomplete},
          {"-cue2raw", "FILE " + std::string(5000, 'W') + " BINARY\n", 1, "inside the CUE file could be wrong\n\n"},
          {"-cue2raw", sheet, 0, kClosed}})
        Expect({{method, "in.x", "out"},
                {{"in.x", text}, {"in.bin", bin}},
                status,
                end,
                status == 1 ? Files{} : Files{{"out01.raw", bin.substr(kRaw)}, {"out02.raw", ""}}});
}

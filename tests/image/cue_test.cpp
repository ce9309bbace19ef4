// CUE sheets as users and authoring tools write them: the table the reader
// prints, the console lines of the three methods, and what is refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "harness.h"
#include "synth.h"

namespace {

const std::string kIncomplete = "CUE file is incomplete and is missing the necessary track information.\n\n";
const std::string kTrack = "\xFE                 Track ", kClosed = "\xFE completed. Track(s) written.\n\n";

std::string Crlf(std::string text)
{
    for (size_t i = 0; (i = text.find('\n', i)) != std::string::npos; i += 2)
        text.insert(i, 1, '\r');
    return text;
}

// The console without the progress lines, whose percentages and estimates vary.
std::string WithoutProgress(const std::string& out)
{
    std::string kept;
    for (size_t i = 0; i < out.size();) {
        size_t j = i + 2;
        while (out.compare(i, 2, "\xFE ") == 0 && j < out.size() && std::isdigit(static_cast<unsigned char>(out[j])))
            ++j;
        if (j > i + 2 && out[j] == '%') {
            j = out.compare(j + 1, 2, " [") == 0 ? out.find("] ", j) + 2 : j + 1;
            if (out[j] == '\r') {
                i = j + 1;
                continue;
            }
        }
        kept += out[i++];
    }
    return kept;
}

// The table of 2352-byte records given as {frame number, start, end}.
std::string Table(const std::vector<std::vector<long>>& rows)
{
    std::string t = "\n Track #     mm:ss.ff     Sector Size          LBA Start        LBA End    \n";
    char line[200];
    for (size_t i = 0; i < rows.size(); ++i)
        t.append(line, static_cast<size_t>(std::snprintf(line, sizeof line, "    %zu        %.2ld:%.2ld.%.2ld     2352 bytes/sector    %9ld      %9ld\n",
                                                         i, rows[i][0] / 4500, rows[i][0] / 75 % 60, rows[i][0] % 75, rows[i][1], rows[i][2])));
    return t + "\n";
}

struct Case {
    std::string sheet, said, m = "mpg", bin = RawSectors(MpegBlocks(100));  // said: all printed after the method line
    std::map<std::string, std::string> files = {};  // what the outputs hold (a .dat after its header)
    int status = 1;
    std::vector<std::string> options = {};
    std::string dest = "", stored = "fixture.bin";
    bool elsewhere = false;  // run from another folder than the sheet's
};

std::string Fixture(const std::string& name) { return ReadFile(std::string(KORVANE_FIXTURES) + "/" + name + ".cue"); }

}  // namespace

TEST(CueSheet, TablesLinesOutputsAndRefusals)
{
    const std::string body = " BINARY\n  TRACK 01 MODE2/2352\n    INDEX 01 00:00:00\n  TRACK 02 MODE2/2352\n    INDEX 00 00:00:03\n    INDEX 01 00:00:06\n";
    const std::string three = Table({{0, 0, 7056}, {3, 7056, 14112}, {6, 14112, 23520}}), w1 = kTrack + "1 -> writing...\r";
    const std::string image = std::string(6 * kRaw, '\0') + RawSectors(MpegBlocks(4), 6), one = image.substr(7056, 7056);
    const std::map<std::string, std::string> said{{"raw", three + w1 + kTrack + "2 -> writing...\r\n" + kClosed},
        {"dat", three + "\xFE                 -> searching \r" + w1 + kTrack + "2 -> writing...\r" + kClosed},
        {"mpg", three + kTrack + "1 -> searching \r" + kTrack + "2 -> searching \r" + kTrack + "2 -> writing...\r" + kClosed}};
    std::vector<Case> cases;  // one sheet in many spellings: data track, pregap without a pack, four packs
    for (const auto& [name, stored, elsewhere, crlf] : {std::tuple{"\"x.bin\"", "x.bin", false, false}, {"\"x.bin\"", "x.bin", false, true},
             {"x.bin", "x.bin", true, true}, {"\"MY VIDEO.BIN\"", "MY VIDEO.BIN", false, false}, {"\"MY\tVIDEO.BIN\"", "MY VIDEO.BIN", false, true},
             {"\"MY   VIDEO.BIN\"", "MY VIDEO.BIN", true, false}, {"DISC\\MUSIC.BIN", "disc/music.bin", false, false}, {"DISC\\MUSIC.BIN", "disc/music.bin", true, true}})
        for (const std::string m : {"raw", "dat", "mpg"}) {
            const std::string sheet = "FILE " + std::string(name) + body;
            cases.push_back({crlf ? Crlf(sheet) + " \t\r\n\r\n" : sheet, said.at(m), m, image,
                             {{"o01." + m, m == "mpg" ? "" : one}, {"o02." + m, m == "mpg" ? MpegBlocks(4) : image.substr(14112)}}, 0, {}, "", stored, elsewhere});
        }
    const std::string same = " is the same file as ", lost = "; writing it would destroy the input.\n\n", x = "FILE x.bin" + body;
    cases.insert(cases.end(), {{x, "- Selected track #2\n" + three + "./x.bin" + same + "x.bin" + lost, "raw", image, {}, 1, {"-track02"}, "./x.bin", "x.bin"},
        {x, "- Selected track #2\n" + three + "f.cue" + same + "f.cue" + lost, "raw", image, {}, 1, {"-track02"}, "f.cue", "x.bin"},
        {x, three + "\xFE ERROR: could not write Track 1       \n\xFE ERROR: could not write Track 2       \n\n" + kClosed, "raw", image, {}, 0, {}, "none/o.raw", "x.bin"},
        {x, three + "\xFE                 -> searching \r\n\nCould not find MPEG stream in BIN file.\n", "dat", std::string(10 * kRaw, '\0'), {}, 1, {}, "", "x.bin"}});
    const std::string vcd = ReadFile(SamplePath("vcd/sample.bin")), two = ReadFile(SamplePath("vcd2/two.bin"));  // shipped images' tables
    cases.insert(cases.end(), {{ReadFile(SamplePath("vcd/sample.cue")), "- Selected track #9\n" + Table({{0, 0, 705600}, {300, 705600, 1058400}, {450, 1058400, 2027424}}) +
        "\xFE Track 9 does not exist.\n\n", "mpg", vcd, {}, 1, {"-track9"}, "", "sample.bin"}, {ReadFile(SamplePath("vcd2/two.cue")), "- Selected track #-1\n" +
        Table({{0, 0, 705600}, {300, 705600, 1058400}, {450, 1058400, 1441776}, {613, 1441776, 1794576}, {763, 1794576, 2530752}}) +
        "\xFE Track -1 does not exist.\n\n", "mpg", two, {}, 1, {"-track-1"}, "", "two.bin"}});
    const std::string warning = "\n** BIN size does not match size expected in CUE file. **\n\n", z = Filler(800 * kRaw + 100);
    // The usual two-track sheet on BINs that fit, end in a partial sector or are shorter than the sheet says.
    const std::string usual = "FILE fixture.bin BINARY\nTRACK 01 MODE2/2352\nINDEX 01 00:00:00\nTRACK 02 MODE2/2352\nINDEX 01 00:10:38\n", raw1 = w1 + "\n" + kClosed;
    cases.insert(cases.end(), {{usual, Table({{0, 0, 1853376}, {788, 1853376, 1881600}}) + raw1, "raw", z.substr(0, 800 * kRaw), {{"o.raw", z.substr(1853376, 28224)}}, 0},
        {usual, warning + Table({{0, 0, 1853376}, {788, 1853376, 1881600}}) + raw1, "raw", z, {{"o.raw", z.substr(1853376, 28224)}}, 0},
        {usual, warning + Table({{0, 0, 1646400}, {788, 1646400, 1646400}}) + raw1, "raw", z.substr(0, 700 * kRaw), {{"o.raw", ""}}, 0}});
    const std::string data = MpegBlocks(5).substr(0, 5 * 2048), mode1 = "FILE fixture.bin BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:01\n";
    cases.insert(cases.end(), {{mode1, "- Mode 1 detected: -fix option automatically disabled.\n- User defined read sector size: 2352 bytes\n"
        "- User defined write sector size: 2048 bytes\n" + Table({{1, 2352, 0}, {75, 2352, 14112}}) + kTrack + "1 -> searching \r" + w1 + kClosed,
        "mpg", std::string(kRaw, '\0') + Mode1Sectors(data), {{"o.mpg", data}}, 0},
        {mode1, "\nThere are no plans to support Mode 1 images. *True* VCDs are burned as Mode 2.\nIf you still wish to extract the MPEG stream from the "
        "Mode 1 image,\ntry the -cue2mpg option instead.\nNOTE: Mode 1 support in -cue2mpg not fully tested.\n", "raw", Mode1Sectors(data)}});
    std::vector<std::vector<long>> rows;  // 98 records fit
    for (long i = 0; i < 98; ++i)
        rows.push_back({i, i * 2352, i == 97 ? 100 * 2352 : (i + 1) * 2352});
    const std::string wrong = " could not be opened or accessed.\nThe filename specified inside the CUE file could be wrong\n\n", limit = Fixture("bad-99-records");
    cases.push_back({limit.substr(0, limit.rfind("INDEX")), "- Selected track #97\n" + Table(rows) + kTrack + "97 -> searching \r" + kTrack + "97 -> writing...\r" + kClosed, "mpg",
                     RawSectors(MpegBlocks(100)), {{"o.mpg", MpegBlocks(100).substr(97 * kPack)}}, 0, {"-track97"}});
    for (const auto& [name, message] : std::vector<std::pair<std::string, std::string>>{{"bad-index-first", kIncomplete},
             {"bad-unclosed-quote", kIncomplete}, {"bad-lone-quote", kIncomplete}, {"bad-track-number", kIncomplete}, {"bad-index-time", kIncomplete},
             {"bad-negative-time", kIncomplete}, {"bad-short-mode", kIncomplete}, {"bad-size-zero", kIncomplete}, {"bad-mode1-no-index", kIncomplete},
             {"bad-single-mode2-track", kIncomplete}, {"bad-file-without-name", kIncomplete}, {"bad-no-file", "Error in CUE file!  Missing FILE information.\n\n"},
             {"bad-99-records", "Total tracks over 98.  Possible error in CUE file.\n\n"}, {"bad-bin-name", "disc/music.bin" + wrong}, {"bad-second-bin", "missing (track 2).bin" + wrong}})
        cases.push_back({Fixture(name), message});
    for (const Case& c : cases) {
        TempDir d, e;
        std::filesystem::create_directories(std::filesystem::path(d / c.stored).parent_path());
        WriteFile(d / c.stored, c.bin);
        WriteFile(d / "f.cue", c.sheet);
        const std::string cue = c.elsewhere ? d / "f.cue" : "f.cue", out = c.elsewhere ? e.path() : d.path(), dest = c.dest.empty() ? "o." + c.m : c.dest;
        std::vector<std::string> args = c.options;
        args.insert(args.end(), {"-cue2" + c.m, cue, dest});
        const RunResult r = RunKorvane(args, out);
        const std::string kind = c.m == "raw" ? "RAW image" : c.m == "dat" ? "VCD DAT" : "MPEG";
        EXPECT_EQ(WithoutProgress(r.out),  // without the percentages
                  BannerText() + "\nCUE source --> " + cue + "\n" + kind + " destination --> " + dest + "\nExtraction method --> cue2" + c.m + "\n" + c.said) << c.sheet;
        EXPECT_EQ(r.status, c.status) << c.sheet;
        EXPECT_EQ(ReadFile(d / c.stored), c.bin);
        std::vector<std::string> names = c.elsewhere ? std::vector<std::string>{} : std::vector<std::string>{"f.cue", c.stored.substr(0, c.stored.find('/'))};
        for (const auto& [name, bytes] : c.files) {
            names.push_back(name);
            EXPECT_EQ(ReadFile(out + "/" + name).substr(c.m == "dat" ? 44 : 0), bytes) << c.sheet << name;
        }
        std::sort(names.begin(), names.end());
        EXPECT_EQ(ListDir(out), names) << c.sheet;
    }
}

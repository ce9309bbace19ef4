// What the CUE methods write from the shipped Video CD images, kept as one BIN
// or as one BIN per track (the sheet dumping tools write).
#include <gtest/gtest.h>

#include <map>

#include "harness.h"
#include "synth.h"

TEST(CueMethods, RealImagesAsOneBinAndAsOneBinPerTrack)
{
    const std::string vcd = ReadFile(SamplePath("vcd/sample.bin")), two = ReadFile(SamplePath("vcd2/two.bin")), svcd = ReadFile(SamplePath("svcd/svcd.bin"));
    const auto payloads = [](const std::string& bin, size_t at, size_t end) {  // from a pack start, while one fits before `end`
        return Unwrap((bin + std::string(kRaw, 0)).substr(0, end + kRaw - kPack), at, kRaw, kPack);
    };
    TempDir d;  // the SVCD gets one more INDEX right after its last pack (sector 651); two.bin is split per track
    WriteFile(d / "svcd.cue", "FILE \"" + SamplePath("svcd/svcd.bin") + "\" BINARY\r\n TRACK 01 MODE2/2352\r\n  INDEX 01 00:00:00\r\n TRACK 02 MODE2/2352\r\n"
              "  INDEX 00 00:04:00\r\n  INDEX 01 00:06:00\r\n TRACK 03 MODE2/2352\r\n  INDEX 01 00:08:52\r\n");
    const size_t cut[] = {0, 300, 613, 1076};
    std::string split;
    for (int t = 1; t <= 3; ++t) {
        const std::string name = "two (Track " + std::to_string(t) + ").bin";
        WriteFile(d / name, two.substr(cut[t - 1] * kRaw, (cut[t] - cut[t - 1]) * kRaw));
        split += "FILE \"" + name + "\" BINARY\r\n  REM FILE \"none.bin\" BINARY\r\n  TRACK 0" + std::to_string(t) + " MODE2/2352\r\n" +
                 (t == 1 ? "    INDEX 01 00:00:00\r\n" : "    INDEX 00 00:00:00\r\n    INDEX 01 00:02:00\r\n");
    }
    WriteFile(d / "split.cue", split);
    const auto dat = [](const std::string& raw) {  // a .dat with its true sizes
        std::string h = DatHeaderTemplate() + raw;
        for (int i = 0; i < 4; ++i)
            h[4 + i] = static_cast<char>((raw.size() + 36) >> 8 * i), h[40 + i] = static_cast<char>(raw.size() >> 8 * i);
        return h;
    };
    const std::vector<std::string> sample{SamplePath("vcd/sample.cue")}, both{SamplePath("vcd2/two.cue"), d / "split.cue"};
    const struct { std::vector<std::string> cues, args; std::map<std::string, std::string> files; size_t packs; } cases[] = {
        {sample, {"-cue2raw", "-track02"}, {{"o.raw", vcd.substr(1058400)}}, 0},
        {sample, {"-cue2dat", "-track02"}, {{"o.dat", dat(vcd.substr(1058400))}}, 0},
        {sample, {"-cue2mpg", "-track02"}, {{"o.mpg", payloads(vcd, 1128984, 2027424)}}, 187},
        {both, {"-cue2raw"}, {{"o01.raw", two.substr(705600, 352800)}, {"o02.raw", two.substr(1058400, 383376)},
                              {"o03.raw", two.substr(1441776, 352800)}, {"o04.raw", two.substr(1794576)}}, 0},
        {both, {"-cue2raw", "-track00"}, {{"o.raw", two.substr(0, 705600)}}, 0},
        {both, {"-cue2dat", "-track02"}, {{"o.dat", dat(two.substr(1058400, 383376))}}, 0},
        {both, {"-cue2mpg"}, {{"o01.mpg", ""}, {"o02.mpg", payloads(two, 1128984, 1441776)}, {"o03.mpg", ""}, {"o04.mpg", payloads(two, 1865160, 2530752)}}, 88},
        {both, {"-cue2mpg", "-track4"}, {{"o.mpg", payloads(two, 1865160, 2530752)}}, 88},
        {{d / "svcd.cue"}, {"-cue2mpg", "-track02"}, {{"o.mpg", payloads(svcd, 1058424, 652 * kRaw)}}, 202}};
    for (const auto& c : cases)
        for (const std::string& cue : c.cues) {
            TempDir out;
            std::vector<std::string> args = c.args, names;
            args.insert(args.end(), {cue, "o." + c.args[0].substr(5)});
            EXPECT_EQ(RunKorvane(args, out.path()).status, 0);
            for (const auto& [name, bytes] : c.files) {
                names.push_back(name);
                const std::string got = ReadFile(out / name);
                EXPECT_TRUE(got == bytes) << cue << " " << name << ": " << got.size() << " bytes, not " << bytes.size();
                for (size_t at = 0; !bytes.empty() && at < c.packs * kPack; at += kPack)  // a pack start every 2324 bytes
                    ASSERT_EQ(got.substr(at, 4), std::string("\0\0\1\xBA", 4)) << cue << " " << name << " at " << at;
            }
            EXPECT_EQ(ListDir(out.path()), names) << cue;
        }
    EXPECT_TRUE(payloads(vcd, 1128984, 2027424).substr(0, 434588) == ReadFile(SamplePath("sample.mpg")));
}

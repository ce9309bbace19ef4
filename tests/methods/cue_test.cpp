// What the CUE methods write from the shipped Video CD images, kept as one BIN
// or as one BIN per track (the sheet dumping tools write).
#include <gtest/gtest.h>

#include "harness.h"
#include "synth.h"

TEST(CueMethods, RealImagesAsOneBinAndAsOneBinPerTrack)
{
    const std::string vcd = ReadFile(SamplePath("vcd/sample.bin")), two = ReadFile(SamplePath("vcd2/two.bin")),
                      svcd = ReadFile(SamplePath("svcd/svcd.bin"));
    const auto payloads = [](const std::string& bin, size_t at,
                             size_t end) { // from a pack start, while one fits before `end`
        std::string out;
        for (; at + kPack <= end; at += kRaw) out += bin.substr(at, kPack);
        return out;
    };
    Files split{{"split.cue", ""}}; // two.bin as one BIN per track
    const size_t cut[] = {0, 300, 613, 1076};
    for (int t = 1; t <= 3; ++t) {
        const std::string name = "two (Track " + std::to_string(t) + ").bin";
        split[name] = two.substr(cut[t - 1] * kRaw, (cut[t] - cut[t - 1]) * kRaw);
        split["split.cue"] +=
            "FILE \"" + name + "\" BINARY\r\n  REM FILE \"none.bin\" BINARY\r\n  TRACK 0" + std::to_string(t) +
            " MODE2/2352\r\n" +
            (t == 1 ? "    INDEX 01 00:00:00\r\n" : "    INDEX 00 00:00:00\r\n    INDEX 01 00:02:00\r\n");
    }
    // The SVCD gets one more INDEX right after its last pack (sector 651).
    const Files svcdCue{{"svcd.cue", "FILE \"" + SamplePath("svcd/svcd.bin") +
                                         "\" BINARY\r\n TRACK 01 MODE2/2352\r\n  INDEX 01 "
                                         "00:00:00\r\n TRACK 02 MODE2/2352\r\n  INDEX 00 00:04:00\r\n  INDEX "
                                         "01 00:06:00\r\n TRACK 03 MODE2/2352\r\n  INDEX 01 00:08:52\r\n"}};
    const std::vector<std::pair<std::string, Files>> sample{{SamplePath("vcd/sample.cue"), {}}},
        both{{SamplePath("vcd2/two.cue"), {}}, {"split.cue", split}};
    const struct {
        std::vector<std::pair<std::string, Files>> cues;
        std::vector<std::string> args;
        Files files;
    } cases[] = {{sample, {"-cue2raw", "-track02"}, {{"o.raw", vcd.substr(1058400)}}},
                 {sample, {"-cue2dat", "-track02"}, {{"o.dat", DatFile(vcd.substr(1058400))}}},
                 {sample, {"-cue2mpg", "-track02"}, {{"o.mpg", payloads(vcd, 1128984, 2027424)}}},
                 {both,
                  {"-cue2raw"},
                  {{"o01.raw", two.substr(705600, 352800)},
                   {"o02.raw", two.substr(1058400, 383376)},
                   {"o03.raw", two.substr(1441776, 352800)},
                   {"o04.raw", two.substr(1794576)}}},
                 {both, {"-cue2raw", "-track00"}, {{"o.raw", two.substr(0, 705600)}}},
                 {both, {"-cue2dat", "-track02"}, {{"o.dat", DatFile(two.substr(1058400, 383376))}}},
                 {both,
                  {"-cue2mpg"},
                  {{"o01.mpg", ""},
                   {"o02.mpg", payloads(two, 1128984, 1441776)},
                   {"o03.mpg", ""},
                   {"o04.mpg", payloads(two, 1865160, 2530752)}}},
                 {both, {"-cue2mpg", "-track4"}, {{"o.mpg", payloads(two, 1865160, 2530752)}}},
                 {{{"svcd.cue", svcdCue}}, {"-cue2mpg", "-track02"}, {{"o.mpg", payloads(svcd, 1058424, 652 * kRaw)}}}};
    for (const auto& c : cases)
        for (const auto& [cue, inputs] : c.cues) {
            std::vector<std::string> args = c.args;
            args.insert(args.end(), {cue, "o." + c.args[0].substr(5)});
            Expect({args, inputs, 0, "\xFE completed. Track(s) written.\n\n", c.files});
        }
    EXPECT_TRUE(payloads(vcd, 1128984, 2027424).substr(0, 434588) == ReadFile(SamplePath("sample.mpg")));
}

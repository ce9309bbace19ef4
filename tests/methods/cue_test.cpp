// What the CUE methods write from the shipped Video CD images, kept as one BIN
// or as one BIN per track (the sheet dumping tools write).

#include "harness.h"

// The payloads of the sectors of `bin` from a pack start at `at`, while one fits before `end`.
static std::string Payloads(const std::string& bin, size_t at, size_t end)
{
    std::string out;
    for (; at + kPack <= end; at += kRaw)
        out += bin.substr(at, kPack);
    return out;
}

TEST(CueMethods, RealImagesAsOneBinAndAsOneBinPerTrack)
{
    const std::string vcd = ReadFile(SamplePath("vcd/sample.bin")),
                      two = ReadFile(SamplePath("vcd2/two.bin")),
                      svcd = ReadFile(SamplePath("svcd/svcd.bin"));
    Files split{{"split.cue", ""}}; // two.bin as one BIN per track
    const size_t cut[] = {0, 300, 613, 1076};
    for (int t = 1; t <= 3; ++t) {
        const std::string name = "two (Track " + std::to_string(t) + ").bin";
        split[name] = two.substr(cut[t - 1] * kRaw, (cut[t] - cut[t - 1]) * kRaw);
        split["split.cue"] += "FILE \"" + name +
                              "\" BINARY\r\n  REM FILE \"none.bin\" BINARY\r\n  TRACK 0" +
                              std::to_string(t) + " MODE2/2352\r\n" +
                              (t == 1 ? "    INDEX 01 00:00:00\r\n"
                                      : "    INDEX 00 00:00:00\r\n    INDEX 01 00:02:00\r\n");
    }
    // The SVCD gets one more INDEX right after its last pack (sector 651).
    const Files svcdCue{
        {"svcd.cue", "FILE \"" + SamplePath("svcd/svcd.bin") +
                         "\" BINARY\r\n TRACK 01 MODE2/2352\r\n  INDEX 01 00:00:00\r\n TRACK 02 "
                         "MODE2/2352\r\n  INDEX 00 00:04:00\r\n  INDEX 01 00:06:00\r\n TRACK 03 "
                         "MODE2/2352\r\n  INDEX 01 00:08:52\r\n"}};
    // -cue2<m> and `options` on `sheet` beside `inputs`: every track written, and all it leaves.
    const auto cue = [](const std::string& options, const std::string& sheet, const Files& inputs,
                        const Files& files) {
        Golden g =
            Korvane(options, inputs).Exits(0, "\xFE completed. Track(s) written.\n\n", files);
        g.args.insert(g.args.end(), {sheet, "o." + g.args[0].substr(5)});
        return g;
    };
    const std::string sample = SamplePath("vcd/sample.cue");
    std::vector<Golden> runs{
        cue("-cue2raw -track02", sample, {}, {{"o.raw", vcd.substr(1058400)}}),
        cue("-cue2dat -track02", sample, {}, {{"o.dat", DatFile(vcd.substr(1058400))}}),
        cue("-cue2mpg -track02", sample, {}, {{"o.mpg", Payloads(vcd, 1128984, 2027424)}}),
        cue("-cue2mpg -track02", "svcd.cue", svcdCue,
            {{"o.mpg", Payloads(svcd, 1058424, 652 * kRaw)}})};
    const std::string track2 = two.substr(1058400, 383376), mpg4 = Payloads(two, 1865160, 2530752);
    for (const auto& [sheet, inputs] :
         {std::pair{SamplePath("vcd2/two.cue"), Files{}}, {"split.cue", split}})
        for (const auto& [options, files] : std::vector<std::pair<std::string, Files>>{
                 {"-cue2raw",
                  {{"o01.raw", two.substr(705600, 352800)},
                   {"o02.raw", track2},
                   {"o03.raw", two.substr(1441776, 352800)},
                   {"o04.raw", two.substr(1794576)}}},
                 {"-cue2raw -track00", {{"o.raw", two.substr(0, 705600)}}},
                 {"-cue2dat -track02", {{"o.dat", DatFile(track2)}}},
                 {"-cue2mpg",
                  {{"o01.mpg", ""},
                   {"o02.mpg", Payloads(two, 1128984, 1441776)},
                   {"o03.mpg", ""},
                   {"o04.mpg", mpg4}}},
                 {"-cue2mpg -track4", {{"o.mpg", mpg4}}}})
            runs.push_back(cue(options, sheet, inputs, files));
    for (const Golden& g : runs)
        Expect(g);
    EXPECT_TRUE(Payloads(vcd, 1128984, 2027424).substr(0, 434588) ==
                ReadFile(SamplePath("sample.mpg")));
    // With standard output closed, a track file must not be given its descriptor and take in the
    // console.
    TempDir dir;
    RunKorvane({"-c", "exec \"$0\" -cue2raw -track02 \"$1\" o.raw >&-", KORVANE_BIN, sample},
               dir.path(), "/bin/sh");
    EXPECT_TRUE(ReadFile(dir / "o.raw") == vcd.substr(1058400));
}

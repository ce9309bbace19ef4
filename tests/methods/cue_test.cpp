// What the CUE methods write from the shipped Video CD images, kept as one BIN or as one BIN per
// track (the sheet dumping tools write).
#include "harness.h"

// The payloads of the sectors of `bin` from a pack start at `at`, while one fits before `end`.
static std::string Payloads(const std::string& bin, size_t at, size_t end)
{
    std::string out;
    for (; at + kPack <= end; at += kRaw)
        out += bin.substr(at, kPack);
    return out;
}

// The shipped sheet `folder`/`name`.cue, naming its BIN where it was unpacked.
static Files Shipped(const std::string& folder, const std::string& name,
                     const std::string& more = "")
{
    const std::string bin = "\"" + name + ".bin\"";
    return {{name + ".cue", ReplaceAll(ReadFile(SamplePath(folder + "/" + name + ".cue")), bin,
                                       "\"" + SamplePath(folder + "/" + name + ".bin") + "\"") +
                                more}};
}

TEST(CueMethods, RealImagesAsOneBinAndAsOneBinPerTrack)
{
    const std::string vcd = ReadFile(SamplePath("vcd/sample.bin")),
                      two = ReadFile(SamplePath("vcd2/two.bin")),
                      svcd = ReadFile(SamplePath("svcd/svcd.bin")), done = "written.\n\n";
    Files split{{"split.cue", ""}}; // two.bin as one BIN per track, with CR LF line ends
    const size_t cut[] = {0, 300, 613, 1076};
    for (int t = 1; t <= 3; ++t) {
        const std::string name = "two (Track " + std::to_string(t) + ").bin";
        split[name] = two.substr(cut[t - 1] * kRaw, (cut[t] - cut[t - 1]) * kRaw);
        split["split.cue"] += "FILE \"" + name + "\" BINARY\r\n  REM FILE \"none.bin\" BINARY\r\n" +
                              "  TRACK 0" + std::to_string(t) + " MODE2/2352\r\n" +
                              (t == 1 ? "    INDEX 01 00:00:00\r\n"
                                      : "    INDEX 00 00:00:00\r\n    INDEX 01 00:02:00\r\n");
    }
    std::vector<Case> table{
        {"a record ends where the next one starts (here right after the last pack), not at the "
         "BIN's end",
         Korvane("-cue2mpg -track02 svcd.cue o.mpg",
                 Shipped("svcd", "svcd", "  TRACK 03 MODE2/2352\n    INDEX 01 00:08:52\n"))
             .Exits(0, done, {{"o.mpg", Payloads(svcd, 1058424, 652 * kRaw)}})},
        {"with standard output closed, no track file takes descriptor 1 and the console",
         Korvane("-cue2raw -track02 sample.cue o.raw", Shipped("vcd", "sample"))
             .Given("exec >&-")
             .Exits(0, "", {{"o.raw", vcd.substr(1058400)}})}};
    const std::string track2 = two.substr(1058400, 383376);
    for (const auto& [options, files] : std::vector<std::pair<std::string, Files>>{
             {"-cue2raw",
              {{"o01.raw", two.substr(705600, 352800)},
               {"o02.raw", track2},
               {"o03.raw", two.substr(1441776, 352800)},
               {"o04.raw", two.substr(1794576)}}},
             {"-cue2dat -track02", {{"o.dat", DatFile(track2)}}},
             {"-cue2mpg",
              {{"o01.mpg", ""},
               {"o02.mpg", Payloads(two, 1128984, 1441776)},
               {"o03.mpg", ""},
               {"o04.mpg", Payloads(two, 1865160, 2530752)}}}})
        table.push_back({options + ": every record of a BIN per track, pregaps as records",
                         Korvane(options + " split.cue o." + options.substr(5, 3), split)
                             .Exits(0, "\xFE completed. Track(s) written.\n\n", files)});
    ExpectAll(table);
}

// The examples of README's method table, run as written: each command must succeed and leave
// exactly the files the table says it gives, so the documentation cannot drift from the program.
#include <algorithm>
#include <fstream>
#include <map>

#include "harness.h"

namespace {

struct Example {
    std::string command;              // after "korvane "
    std::vector<std::string> outputs; // the names after the arrow, sorted
};

// "`korvane -cue2dat movie.cue clip` → `clip01.dat`, `clip02.dat`" in a row of the table.
std::vector<Example> ReadmeExamples()
{
    std::ifstream readme(KORVANE_README);
    std::vector<Example> examples;
    const std::string start = "`korvane ", arrow = "→";
    for (std::string line; std::getline(readme, line);) {
        const size_t at = line.find(start);
        if (line.rfind("| `-", 0) != 0 || at == std::string::npos)
            continue;
        Example example;
        const size_t end = line.find('`', at + 1);
        example.command = line.substr(at + start.size(), end - at - start.size());
        const size_t to = line.find(arrow, end);
        for (size_t open = line.find('`', to); to != std::string::npos && open != std::string::npos;
             open = line.find('`', line.find('`', open + 1) + 1))
            example.outputs.push_back(line.substr(open + 1, line.find('`', open + 1) - open - 1));
        std::sort(example.outputs.begin(), example.outputs.end());
        examples.push_back(example);
    }
    return examples;
}

// What each input name of the examples stands for, with the files it needs beside it: real
// images where the table speaks of a disc.
std::map<std::string, Files> ExampleInputs()
{
    const std::string bin = ReadFile(SamplePath("vcd/sample.bin")), track = bin.substr(1058400),
                      blocks = MpegBlocks(3), mpg = ReadFile(SamplePath("sample.mpg"));
    return {
        // a Video CD of one MPEG track, the sheet naming its BIN
        {"movie.cue", {{"movie.cue", ReadFile(SamplePath("vcd/sample.cue"))}, {"sample.bin", bin}}},
        {"track.bin", {{"track.bin", track}}},
        {"track.raw", {{"track.raw", track}}},
        {"disc.cif", {{"disc.cif", CifSectors(blocks)}}},
        {"in.mpg", {{"in.mpg", mpg}}},
        {"movie.mpg", {{"movie.mpg", mpg}}},
        {"AVSEQ01.DAT", {{"AVSEQ01.DAT", DatFile(RawSectors(blocks))}}},
    };
}

} // namespace

TEST(Readme, EveryMethodExampleGivesTheFilesItNames)
{
    const std::vector<Example> examples = ReadmeExamples();
    EXPECT_GE(examples.size(), 9u) << "one example a method in " << KORVANE_README;
    const std::map<std::string, Files> inputs = ExampleInputs();
    for (const Example& example : examples) {
        const std::string what = "korvane " + example.command;
        EXPECT_FALSE(example.outputs.empty()) << what << ": the table names no output";
        const Golden g = Korvane(example.command);
        TempDir dir;
        Files written;
        for (const std::string& arg : g.args) {
            if (arg[0] == '-' || arg == g.args.back())
                continue;
            const auto input = inputs.find(arg);
            ASSERT_NE(input, inputs.end()) << what << ": give " << arg << " an input here";
            written.insert(input->second.begin(), input->second.end());
        }
        for (const auto& [name, bytes] : written)
            WriteFile(dir / name, bytes);
        const RunResult r = RunKorvane(g.args, dir.path());
        EXPECT_EQ(r.status, 0) << what;
        EXPECT_NE(r.out.find("\xFE completed."), std::string::npos) << what << "\n" << r.out;
        std::vector<std::string> made;
        for (const std::string& name : ListDir(dir.path())) {
            if (written.count(name) && ReadFile(dir / name) == written[name])
                continue;
            made.push_back(name);
            EXPECT_FALSE(ReadFile(dir / name).empty()) << what << ": " << name;
        }
        EXPECT_EQ(made, example.outputs) << what;
    }
}

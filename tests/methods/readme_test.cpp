// The examples of README's method table, run as written: each command must succeed and leave
// exactly the files the table says it gives, so the documentation cannot drift from the program.
#include <fstream>

#include "harness.h"

TEST(Readme, EveryMethodExampleGivesTheFilesItNames)
{
    // What each input name of the examples stands for, with the files it needs beside it: real
    // images where the table speaks of a disc.
    const std::string bin = ReadFile(SamplePath("vcd/sample.bin")), track = bin.substr(450 * kRaw),
                      blocks = MpegBlocks(3), mpg = ReadFile(SamplePath("sample.mpg"));
    const std::map<std::string, Files> inputs{
        {"movie.cue", {{"movie.cue", ReadFile(SamplePath("vcd/sample.cue"))}, {"sample.bin", bin}}},
        {"track.bin", {{"track.bin", track}}},
        {"track.raw", {{"track.raw", track}}},
        {"disc.cif", {{"disc.cif", CifSectors(blocks)}}},
        {"in.mpg", {{"in.mpg", mpg}}},
        {"movie.mpg", {{"movie.mpg", mpg}}},
        {"AVSEQ01.DAT", {{"AVSEQ01.DAT", DatFile(RawSectors(blocks))}}},
    };
    // "| `-cue2dat` | ... | `korvane -cue2dat movie.cue clip` → `clip01.dat`, `clip02.dat` |"
    const std::string start = "`korvane ", arrow = "` → ";
    std::ifstream readme(KORVANE_README);
    size_t examples = 0;
    for (std::string line; std::getline(readme, line);) {
        const size_t at = line.find(start), to = line.find(arrow, at);
        if (line.rfind("| `-", 0) != 0 || at == std::string::npos || to == std::string::npos)
            continue;
        ++examples;
        Golden g = Korvane(line.substr(at + start.size(), to - at - start.size()));
        for (size_t open = line.find('`', to + 1), close; open != std::string::npos;
             open = line.find('`', close + 1)) {
            if ((close = line.find('`', open + 1)) == std::string::npos)
                break;
            g.outputs[line.substr(open + 1, close - open - 1)] = kAnyBytes;
        }
        for (const std::string& arg : g.args)
            if (inputs.count(arg))
                g.inputs.insert(inputs.at(arg).begin(), inputs.at(arg).end());
        SCOPED_TRACE(line);
        EXPECT_FALSE(g.outputs.empty()) << "the table names no output";
        Expect(g);
    }
    EXPECT_GE(examples, 9u) << "one example a method in " << KORVANE_README;
}

// The console on a terminal: the status bullet in the terminal's character set, and no leftovers
// of lines rewritten in place, while the method's words stay in sight behind the progress. Pipes
// and files keep the program's bytes.
#include <algorithm>

#include "harness.h"

namespace {

const std::string kSquare = "\xE2\x96\xA0", kClearRest = "\x1B[K";

// The lines a terminal shows after `bytes`, which it draws with carriage returns, line ends and
// ESC [ K; the square takes one column.
std::vector<std::string> Screen(const std::string& bytes)
{
    std::vector<std::vector<std::string>> cells(1);
    size_t column = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::vector<std::string>& line = cells.back();
        const size_t width = bytes.compare(i, 3, kSquare) == 0 ? 3 : 1;
        if (bytes.compare(i, 3, kClearRest) == 0) {
            line.resize(std::min(line.size(), column));
            i += 2;
        } else if (bytes[i] == '\r' || bytes[i] == '\n') {
            column = 0;
            if (bytes[i] == '\n')
                cells.emplace_back();
        } else {
            line.resize(std::max(line.size(), column + 1), " ");
            line[column++] = bytes.substr(i, width);
            i += width - 1;
        }
    }
    std::vector<std::string> screen;
    for (const auto& line : cells) {
        screen.emplace_back();
        for (const std::string& cell : line)
            screen.back() += cell;
    }
    return screen;
}

} // namespace

TEST(Console, DrawnForTheTerminalUnchangedElsewhere)
{
    const Files cue{{"in.cue", Sheet("in.bin", {"00:00:00", "00:00:01"})},
                    {"in.bin", std::string(kRaw, '\0') + RawSectors(MpegBlocks(3))}},
        mpg{{"in.mpg", MpegBlocks(3)}};
    const struct {
        const char* fault;
        Golden run;
        std::vector<std::string> shown; // lines that must be on the screen; "#" is the bullet
    } table[] = {
        {"the closing line printed over the last track's writing line keeps no 'riting...'",
         Korvane("-cue2mpg in.cue out", cue),
         {"# completed. Track(s) written."}},
        {"the progress keeps the method's words in sight behind it",
         Korvane("-mpg2mpg in.mpg out", mpg),
         {"# 0% [00:00:00]   -> writing...", "# completed. out.mpg written."}},
    };
    for (const auto& c : table)
        for (const std::string locale : {"C.UTF-8", "C"}) {
            SCOPED_TRACE(c.fault + (" under " + locale));
            TempDir dir;
            for (const auto& [name, bytes] : c.run.inputs)
                WriteFile(dir / name, bytes);
            const RunResult terminal = RunOnTerminal(c.run.args, dir.path(), locale),
                            pipe = RunKorvane(c.run.args, dir.path());
            const std::string bullet = locale == "C" ? "\xFE" : kSquare;
            const std::vector<std::string> screen = Screen(terminal.out);
            for (const std::string& line : c.shown) {
                const std::string want = ReplaceAll(line, "#", bullet);
                EXPECT_TRUE(std::count(screen.begin(), screen.end(), want)) << want << " not in\n"
                                                                            << terminal.out;
            }
            // Only the drawing differs: the square stands for the bullet, and ESC [ K is added.
            EXPECT_EQ(terminal.status, 0);
            EXPECT_EQ(pipe.out.find('\x1B'), std::string::npos);
            EXPECT_EQ(WithoutProgress(
                          ReplaceAll(ReplaceAll(terminal.out, kClearRest, ""), kSquare, "\xFE")),
                      WithoutProgress(pipe.out));
        }
}

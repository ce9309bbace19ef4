// The console on a terminal: the status bullet in the terminal's character set, and no leftovers
// of lines rewritten in place, while the method's words stay in sight behind the progress. Pipes
// and files keep the program's bytes.
#include <algorithm>

#include "harness.h"

namespace {

const std::string kSquare = "\xE2\x96\xA0", kClearRest = "\x1B[K";

// The lines a terminal shows after `bytes`, which it draws with carriage returns, line ends and
// ESC [ K; the bullet, in either form, shown as '#'.
std::vector<std::string> Screen(std::string bytes)
{
    bytes = ReplaceAll(ReplaceAll(bytes, kSquare, "#"), "\xFE", "#");
    std::vector<std::string> screen(1);
    for (size_t i = 0, column = 0; i < bytes.size(); ++i) {
        std::string& line = screen.back();
        if (bytes.compare(i, 3, kClearRest) == 0) {
            line.resize(std::min(line.size(), column));
            i += 2;
        } else if (bytes[i] == '\r' || bytes[i] == '\n') {
            column = 0;
            if (bytes[i] == '\n')
                screen.emplace_back();
        } else {
            line.resize(std::max(line.size(), column + 1), ' ');
            line[column++] = bytes[i];
        }
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
        std::vector<std::string> shown; // lines that must be on the screen
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
            const std::vector<std::string> screen = Screen(terminal.out);
            for (const std::string& line : c.shown)
                EXPECT_TRUE(std::count(screen.begin(), screen.end(), line)) << line << " not in\n"
                                                                            << terminal.out;
            // Only the drawing differs: the square stands for the bullet, and ESC [ K is added.
            EXPECT_EQ(terminal.out.find(kSquare) == std::string::npos, locale == "C");
            EXPECT_EQ(terminal.status, 0);
            EXPECT_EQ(pipe.out.find('\x1B'), std::string::npos);
            EXPECT_EQ(WithoutProgress(
                          ReplaceAll(ReplaceAll(terminal.out, kClearRest, ""), kSquare, "\xFE")),
                      WithoutProgress(pipe.out));
        }
}

// On a terminal the bullet is drawn in its character set and lines rewritten in place keep no
// leftovers; pipes get the bytes as they are.
#include <algorithm>

#include "harness.h"

namespace {

const std::string kSquare = "\xE2\x96\xA0", kClearRest = "\x1B[K";

// The lines a terminal shows after `bytes` (carriage returns, line ends, ESC [ K); bullet as '#'.
std::vector<std::string> Screen(std::string bytes)
{
    bytes = ReplaceAll(ReplaceAll(bytes, kSquare, "#"), "\xFE", "#");
    std::vector<std::string> screen(1);
    for (size_t i = 0, column = 0; i < bytes.size(); ++i) {
        std::string& line = screen.back();
        if (bytes.compare(i, 3, kClearRest) == 0)
            line.resize(std::min(line.size(), column)), i += 2;
        else if (bytes[i] == '\n')
            screen.emplace_back(), column = 0;
        else if (bytes[i] == '\r')
            column = 0;
        else
            line.resize(std::max(line.size(), column + 1), ' '), line[column++] = bytes[i];
    }
    return screen;
}

} // namespace

TEST(Console, DrawnForTheTerminalUnchangedElsewhere)
{
    const std::tuple<const char*, Golden, std::vector<std::string>> table[] = {
        {"the closing line printed over the last track's writing line kept 'riting...'",
         Korvane("-cue2mpg in.cue out",
                 {{"in.cue", Sheet("in.bin", {"00:00:00", "00:00:01"})},
                  {"in.bin", std::string(kRaw, '\0') + RawSectors(MpegBlocks(3))}}),
         {"# completed. Track(s) written."}},
        {"the progress hid the method's words",
         Korvane("-mpg2mpg in.mpg out", {{"in.mpg", MpegBlocks(3)}}),
         {"# 0% [00:00:00]   -> writing...", "# completed. out.mpg written."}}};
    for (const auto& [fault, run, shown] : table)
        for (const std::string locale : {"C.UTF-8", "C"}) {
            SCOPED_TRACE(fault + (" under " + locale));
            TempDir dir;
            for (const auto& [name, bytes] : run.inputs)
                WriteFile(dir / name, bytes);
            const RunResult terminal = RunOnTerminal(run.args, dir.path(), locale),
                            pipe = RunKorvane(run.args, dir.path());
            const std::vector<std::string> screen = Screen(terminal.out);
            for (const std::string& line : shown)
                EXPECT_TRUE(std::count(screen.begin(), screen.end(), line)) << line << terminal.out;
            // Only the drawing differs: the square stands for the bullet, and ESC [ K is added.
            EXPECT_EQ(terminal.out.find(kSquare) == std::string::npos, locale == "C");
            EXPECT_EQ(terminal.status, 0);
            EXPECT_EQ(pipe.out.find('\x1B'), std::string::npos);
            EXPECT_EQ(WithoutProgress(
                          ReplaceAll(ReplaceAll(terminal.out, kClearRest, ""), kSquare, "\xFE")),
                      WithoutProgress(pipe.out));
        }
}

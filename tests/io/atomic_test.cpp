// Destinations are replaced whole or not at all: through links, after failures, file-size limits,
// signals and a closed console the folder holds the finished output or what it held before, and
// never a temporary file.
#include "harness.h"

namespace {
const std::string kOld = "what the destination held before";
} // namespace

TEST(AtomicOutputs, LinksSpecialFilesAndSizeLimits)
{
    const std::string blocks = MpegBlocks(4), done = "\xFE completed. ";
    ExpectAll({
        {"a symlink replaced by a file, or its target losing its permissions",
         Korvane("-mpg2mpg in.mpg link.mpg", {{"in.mpg", blocks}, {"target.mpg", kOld}})
             .Given("chmod 640 target.mpg && ln -s target.mpg link.mpg")
             .Exits(0, done + "link.mpg written.\n", {{"link.mpg", blocks}, {"target.mpg", blocks}})
             .Then("test -L link.mpg && stat -c %a target.mpg | grep -qx 640")},
        {"the other name of a hard link sharing the output",
         Korvane("-mpg2mpg in.mpg hard.mpg", {{"in.mpg", blocks}, {"hard.mpg", kOld}})
             .Given("ln hard.mpg other.mpg")
             .Exits(0, done + "hard.mpg written.\n", {{"hard.mpg", blocks}, {"other.mpg", kOld}})},
        {"the same-file refusal fooled by a link to the source",
         Korvane("-mpg2mpg in.mpg same.mpg", {{"in.mpg", blocks}})
             .Given("ln -s in.mpg same.mpg")
             .Exits(1,
                    "same.mpg is the same file as in.mpg; writing it would destroy the input.\n\n",
                    {{"same.mpg", blocks}})},
        {"SIGXFSZ at a file size limit killed the run (153) and left 1 MiB of output",
         Korvane("-mpg2mpg in.mpg out.mpg", {{"in.mpg", MpegBlocks(1000)}, {"out.mpg", kOld}})
             .Given("ulimit -f 2048")
             .Exits(1, "\n\nWrite error: out.mpg could not be written (is the disk full?).\n\n")},
    });
}

TEST(AtomicOutputs, RunsStoppedHalfWayKeepEarlierTracksOnly)
{
    // A data track, a small MPEG track and one of 3.2 GB (holes after its first pack). `stop` runs
    // once the long track's temporary file is there (or after a minute); `before` runs first.
    const auto stopped = [](const std::string& before, const std::string& stop, int status,
                            const std::string& console) {
        return Korvane("-cue2mpg in.cue o",
                       {{"in.cue", Sheet("in.bin", {"00:00:00", "00:00:01", "00:00:04"})},
                        {"in.bin", std::string(kRaw, '\0') + RawSectors(MpegBlocks(3)) +
                                       RawSectors(MpegBlocks(1))},
                        {"o02.mpg", kOld}})
            .Given(before +
                   "truncate -s 3219888000 in.bin; { i=0; until ls o02.mpg.?????? >/dev/null "
                   "2>&1 || [ $((i += 1)) -gt 6000 ]; do sleep 0.01; done; " +
                   stop + "; } & true")
            .Exits(status, console, {{"o01.mpg", MpegBlocks(3)}, {"in.bin", kAnyBytes}});
    };
    const std::string interrupted = "\n\nInterrupted: o02.mpg was not written.\n";
    ExpectAll({
        {"SIGINT: status 130, no temporary file", stopped("", "kill -INT $$", 130, interrupted)},
        {"SIGHUP: status 129, no temporary file", stopped("", "kill -HUP $$", 129, interrupted)},
        {"under nohup a hang-up was taken for an interrupt; SIGTERM still stops it (143)",
         stopped("trap '' HUP; ", "kill -HUP $$; sleep 0.3; kill -TERM $$", 143, interrupted)},
        {"the source shrinks under a running transfer: the short read taken for the end",
         stopped(
             "", "truncate -s 1M in.bin", 1,
             "\n\nRead error: in.bin could not be read (it ended early or is unreadable).\n\n")},
        {"a closed console pipe: SIGPIPE left the partial output (status 141)",
         stopped("mkfifo p; cat p >/dev/null & c=$!; exec >p; ", "kill $c", 141, "")},
    });
}

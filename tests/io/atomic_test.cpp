// Destinations are replaced whole or not at all: through links, after failures, file-size limits,
// interrupts and a closed console, the folder holds either the finished output or what it held
// before, and never a temporary file.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <utility>

#include "harness.h"

namespace {

const std::string kOld = "what the destination held before";

// korvane started in `cwd` with its console on a pipe that the test reads as it comes.
struct Running {
    pid_t pid;
    int console;
    std::string out;
};

Running Start(std::vector<std::string> args, const std::string& cwd)
{
    int fds[2];
    EXPECT_EQ(pipe(fds), 0);
    const pid_t pid = fork();
    if (pid == 0) {
        std::vector<char*> argv{const_cast<char*>(KORVANE_BIN)};
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        if (chdir(cwd.c_str()) == 0 && dup2(fds[1], 1) == 1 && dup2(fds[1], 2) == 2) {
            close(fds[0]);
            close(fds[1]);
            execv(KORVANE_BIN, argv.data());
        }
        _exit(99);
    }
    close(fds[1]);
    return {pid, fds[0], ""};
}

// Reads the console until `text` has appeared after `from` (true), or it ends (false). The
// timeout is generous: the machine may be loaded.
bool WaitFor(Running& r, const std::string& text, size_t from = 0)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (r.out.find(text, from) == std::string::npos) {
        char chunk[4096];
        const ssize_t n = read(r.console, chunk, sizeof chunk);
        if (n <= 0 || std::chrono::steady_clock::now() > deadline)
            return false;
        r.out.append(chunk, static_cast<size_t>(n));
    }
    return true;
}

// Reads the rest of the console and returns the exit status (-1 when killed by a signal).
int Finish(Running& r)
{
    WaitFor(r, std::string(1, '\0')); // never printed: reads to the end
    close(r.console);
    int status = 0;
    waitpid(r.pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

TEST(AtomicOutputs, LinksSpecialFilesAndSizeLimits)
{
    const std::string blocks = MpegBlocks(4), done = "\xFE completed. ";
    const Files in{{"in.mpg", blocks}};
    const auto with = [&](const std::string& name, const std::string& bytes) {
        return Files{{"in.mpg", blocks}, {name, bytes}};
    };
    ExpectAll({
        {"a symlink replaced by a file, or its target losing its permissions",
         Korvane("-mpg2mpg in.mpg link.mpg", with("target.mpg", kOld))
             .Given("chmod 640 target.mpg && ln -s target.mpg link.mpg")
             .Exits(0, done + "link.mpg written.\n", {{"link.mpg", blocks}, {"target.mpg", blocks}})
             .Then("test -L link.mpg && stat -c %a target.mpg | grep -qx 640")},
        {"a dangling link: its target not created",
         Korvane("-mpg2mpg in.mpg dangling.mpg", in)
             .Given("mkdir sub && ln -s sub/new.mpg dangling.mpg")
             .Exits(0, done + "dangling.mpg written.\n",
                    {{"dangling.mpg", blocks}, {"sub/new.mpg", blocks}})},
        {"the other name of a hard link sharing the output",
         Korvane("-mpg2mpg in.mpg hard.mpg", with("hard.mpg", kOld))
             .Given("ln hard.mpg other.mpg")
             .Exits(0, done + "hard.mpg written.\n", {{"hard.mpg", blocks}, {"other.mpg", kOld}})},
        {"a link to /dev/null replaced by a regular file, or /dev/null itself replaced",
         Korvane("-mpg2mpg in.mpg null.mpg", in)
             .Given("ln -s /dev/null null.mpg")
             .Exits(0, done + "null.mpg written.\n")
             .Then("test -L null.mpg && test -c /dev/null")},
        {"the same-file refusal fooled by a link to the source",
         Korvane("-mpg2mpg in.mpg same.mpg", in)
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
    const auto signal = [](int number) {
        return [=](Running& r, const std::string&) { kill(r.pid, number); };
    };
    const std::string interrupted = "\n\nInterrupted: o02.mpg was not written.\n";
    const struct {
        const char* fault;
        std::function<void(Running&, const std::string& bin)> stop; // once the long track is on
        int status;
        std::string consoleEnd;
        bool nohup = false; // started with SIGHUP ignored
    } cases[] = {
        {"SIGINT: status 130, no temporary file", signal(SIGINT), 130, interrupted},
        {"SIGTERM: status 143, no temporary file", signal(SIGTERM), 143, interrupted},
        {"SIGHUP: status 129, no temporary file", signal(SIGHUP), 129, interrupted},
        {"under nohup a hang-up was taken for an interrupt; SIGTERM still stops the run",
         [](Running& r, const std::string&) {
             kill(r.pid, SIGHUP);
             usleep(300000);
             kill(r.pid, SIGTERM);
         },
         143, interrupted, true},
        {"the source shrinks under a running transfer: the short read taken for the end",
         [](Running&, const std::string& bin) { ASSERT_EQ(truncate(bin.c_str(), 1 << 20), 0); }, 1,
         "\n\nRead error: in.bin could not be read (it ended early or is unreadable).\n\n"},
        {"a closed console pipe: SIGPIPE left the partial output (status 141)",
         [](Running& r, const std::string&) { close(std::exchange(r.console, -1)); }, 141, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        // A data track, a small MPEG track and one of 3.2 GB (holes after its first pack), long
        // enough to stop.
        TempDir dir;
        WriteFile(dir / "in.cue", Sheet("in.bin", {"00:00:00", "00:00:01", "00:00:04"}));
        WriteFile(dir / "in.bin",
                  std::string(kRaw, '\0') + RawSectors(MpegBlocks(3)) + RawSectors(MpegBlocks(1)));
        ASSERT_EQ(truncate((dir / "in.bin").c_str(), off_t{1369000} * kRaw), 0);
        WriteFile(dir / "o02.mpg", kOld);
        ::signal(SIGHUP, c.nohup ? SIG_IGN : SIG_DFL); // inherited by the run, as nohup does
        Running r = Start({"-cue2mpg", "in.cue", "o"}, dir.path());
        ::signal(SIGHUP, SIG_DFL);
        const std::string second = "Track 2 -> writing...\r";
        ASSERT_TRUE(WaitFor(r, second)) << r.out;
        ASSERT_TRUE(WaitFor(r, "% [", r.out.find(second))) << r.out;
        c.stop(r, dir / "in.bin");
        EXPECT_EQ(Finish(r), c.status);
        ExpectConsole(r.out, c.consoleEnd, c.fault);
        EXPECT_TRUE(ReadFile(dir / "o01.mpg") == MpegBlocks(3));
        EXPECT_TRUE(ReadFile(dir / "o02.mpg") == kOld);
        EXPECT_EQ(ListDir(dir.path()),
                  (std::vector<std::string>{"in.bin", "in.cue", "o01.mpg", "o02.mpg"}));
    }
}

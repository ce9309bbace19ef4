// Destinations are replaced whole or not at all: through links, after failures, file-size limits,
// interrupts and a closed console, the folder holds either the finished output or what it held
// before, and never a temporary file.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <utility>

#include "harness.h"

namespace {

constexpr off_t kSparseSize = off_t{1369000} * kRaw; // 3.2 GB of whole sectors, holes after the
                                                     // first bytes: a run long enough to interrupt
const std::string kProgress = "% [";                 // a transfer's progress line
const std::string kOld = "what the destination held before";

// `bytes` at `path`, then holes up to kSparseSize.
void WriteSparse(const std::string& path, const std::string& bytes)
{
    WriteFile(path, bytes);
    ASSERT_EQ(truncate(path.c_str(), kSparseSize), 0);
}

// korvane started in `cwd` with its console on a pipe that the test reads as it comes.
struct Running {
    pid_t pid = -1;
    int console = -1;
    std::string out;
};

Running Start(const std::vector<std::string>& args, const std::string& cwd,
              rlim_t fileSizeLimit = RLIM_INFINITY)
{
    int fds[2];
    EXPECT_EQ(pipe(fds), 0);
    Running r;
    r.pid = fork();
    if (r.pid == 0) {
        const rlimit limit{fileSizeLimit, fileSizeLimit};
        std::vector<char*> argv{const_cast<char*>(KORVANE_BIN)};
        for (const std::string& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        if (chdir(cwd.c_str()) != 0 || dup2(fds[1], 1) != 1 || dup2(fds[1], 2) != 2 ||
            setrlimit(RLIMIT_FSIZE, &limit) != 0)
            _exit(99);
        close(fds[0]);
        close(fds[1]);
        execv(KORVANE_BIN, argv.data());
        _exit(99);
    }
    close(fds[1]);
    r.console = fds[0];
    return r;
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

std::string Tail(const std::string& text, size_t length)
{
    return text.substr(text.size() - std::min(text.size(), length));
}

// An image of a data track, a small MPEG track and a long one with one pack at its start.
void WriteLongImage(const TempDir& dir)
{
    WriteFile(dir / "in.cue", "FILE in.bin BINARY\nTRACK 01 MODE2/2352\nINDEX 01 00:00:00\n"
                              "TRACK 02 MODE2/2352\nINDEX 01 00:00:01\n"
                              "TRACK 03 MODE2/2352\nINDEX 01 00:00:04\n");
    WriteSparse(dir / "in.bin",
                std::string(kRaw, '\0') + RawSectors(MpegBlocks(3)) + RawSectors(MpegBlocks(1)));
}

} // namespace

TEST(AtomicOutputs, LinksAndSpecialFiles)
{
    const std::string blocks = MpegBlocks(4), done = "\xFE completed. ";
    TempDir dir;
    WriteFile(dir / "in.mpg", blocks);
    for (const char* name : {"target.mpg", "hard.mpg"})
        WriteFile(dir / name, kOld);
    ASSERT_EQ(symlink("target.mpg", (dir / "link.mpg").c_str()), 0);
    ASSERT_EQ(symlink("sub/new.mpg", (dir / "dangling.mpg").c_str()), 0);
    ASSERT_EQ(symlink("/dev/null", (dir / "null.mpg").c_str()), 0);
    ASSERT_EQ(symlink("in.mpg", (dir / "same.mpg").c_str()), 0);
    ASSERT_EQ(link((dir / "hard.mpg").c_str(), (dir / "other.mpg").c_str()), 0);
    ASSERT_EQ(mkdir((dir / "sub").c_str(), 0755), 0);
    ASSERT_EQ(chmod((dir / "target.mpg").c_str(), 0640), 0);
    struct Case {
        const char* name;
        const char* dest;
        int status;
        std::string consoleEnd;
    } cases[] = {
        // a link replaced by a file (its target left half-written on failure)
        {"symlink kept, its target replaced", "link.mpg", 0, done + "link.mpg written.\n"},
        {"dangling link: its target created", "dangling.mpg", 0, done + "dangling.mpg written.\n"},
        // the other name of a hard link sharing the partial output
        {"hard link: a new file under this name", "hard.mpg", 0, done + "hard.mpg written.\n"},
        // /dev/null replaced by a regular file, or a temporary file made in /dev
        {"link to /dev/null written directly", "null.mpg", 0, done + "null.mpg written.\n"},
        // the same-file refusal fooled by the link
        {"link to the source refused", "same.mpg", 1,
         "same.mpg is the same file as in.mpg; writing it would destroy the input.\n\n"},
    };
    for (const Case& c : cases) {
        const RunResult r = RunKorvane({"-mpg2mpg", "in.mpg", c.dest}, dir.path());
        EXPECT_EQ(r.status, c.status) << c.name;
        EXPECT_EQ(Tail(r.out, c.consoleEnd.size()), c.consoleEnd) << c.name;
    }
    struct stat info {};
    EXPECT_EQ(lstat((dir / "link.mpg").c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    EXPECT_EQ(stat((dir / "target.mpg").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u) << "the replaced file keeps its permissions";
    EXPECT_EQ(stat("/dev/null", &info), 0);
    EXPECT_TRUE(S_ISCHR(info.st_mode));
    EXPECT_TRUE(ReadFile(dir / "target.mpg") == blocks);
    EXPECT_TRUE(ReadFile(dir / "sub/new.mpg") == blocks);
    EXPECT_TRUE(ReadFile(dir / "hard.mpg") == blocks);
    EXPECT_TRUE(ReadFile(dir / "other.mpg") == kOld);
    EXPECT_TRUE(ReadFile(dir / "in.mpg") == blocks);
    EXPECT_EQ(ListDir(dir.path()),
              (std::vector<std::string>{"dangling.mpg", "hard.mpg", "in.mpg", "link.mpg",
                                        "null.mpg", "other.mpg", "same.mpg", "sub", "target.mpg"}));
    EXPECT_EQ(ListDir(dir / "sub"), std::vector<std::string>{"new.mpg"});
}

TEST(AtomicOutputs, FailedRunsLeaveTheDestinationAsItWas)
{
    const std::string head = std::string("\0\0\1\xBA\x21", 5);
    TempDir dir;
    WriteFile(dir / "out.mpg", kOld);
    WriteSparse(dir / "big.mpg", head);
    WriteFile(dir / "small.mpg", MpegBlocks(1000)); // 2.3 MB
    const std::string writeError =
        "\n\nWrite error: out.mpg could not be written (is the disk full?).\n\n";
    struct Case {
        const char* name;
        const char* source;
        rlim_t fileSizeLimit;
        std::function<void(Running&)> meanwhile; // once the first progress line is out
        int status;
        std::string consoleEnd;
    } cases[] = {
        // the source shrinks under a running transfer: the read comes up short
        {"source ends early", "big.mpg", RLIM_INFINITY,
         [&](Running&) { ASSERT_EQ(truncate((dir / "big.mpg").c_str(), 1 << 20), 0); }, 1,
         "\n\nRead error: big.mpg could not be read (it ended early or is unreadable).\n\n"},
        // SIGXFSZ killed the run (status 153) and left 1 MiB of output
        {"ulimit -f", "small.mpg", 1 << 20, nullptr, 1, writeError},
        // SIGPIPE left the partial output (status 141)
        {"console pipe closed", "big.mpg", RLIM_INFINITY,
         [](Running& r) { close(std::exchange(r.console, -1)); }, 141, ""},
    };
    for (const Case& c : cases) {
        WriteSparse(dir / "big.mpg", head);
        Running r = Start({"-mpg2mpg", c.source, "out.mpg"}, dir.path(), c.fileSizeLimit);
        if (c.meanwhile) {
            ASSERT_TRUE(WaitFor(r, kProgress)) << c.name << ": " << r.out;
            c.meanwhile(r);
        }
        EXPECT_EQ(Finish(r), c.status) << c.name;
        EXPECT_EQ(Tail(r.out, c.consoleEnd.size()), c.consoleEnd) << c.name;
        EXPECT_TRUE(ReadFile(dir / "out.mpg") == kOld) << c.name;
        EXPECT_EQ(ListDir(dir.path()),
                  (std::vector<std::string>{"big.mpg", "out.mpg", "small.mpg"}))
            << c.name;
    }
}

TEST(AtomicOutputs, InterruptsKeepEarlierTracksOnly)
{
    const int signals[] = {SIGINT, SIGTERM, SIGHUP};
    for (const int signal : signals) {
        TempDir dir;
        WriteLongImage(dir);
        WriteFile(dir / "o02.mpg", kOld);
        Running r = Start({"-cue2mpg", "in.cue", "o"}, dir.path());
        const std::string second = "Track 2 -> writing...\r";
        ASSERT_TRUE(WaitFor(r, second)) << r.out;
        ASSERT_TRUE(WaitFor(r, kProgress, r.out.find(second))) << r.out;
        kill(r.pid, signal);
        EXPECT_EQ(Finish(r), 128 + signal) << signal;
        const std::string line = "\n\nInterrupted: o02.mpg was not written.\n";
        EXPECT_EQ(Tail(r.out, line.size()), line) << signal;
        EXPECT_TRUE(ReadFile(dir / "o01.mpg") == MpegBlocks(3)) << signal;
        EXPECT_TRUE(ReadFile(dir / "o02.mpg") == kOld) << signal;
        EXPECT_EQ(ListDir(dir.path()),
                  (std::vector<std::string>{"in.bin", "in.cue", "o01.mpg", "o02.mpg"}))
            << signal;
    }
}

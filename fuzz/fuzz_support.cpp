#include "fuzz_support.h"

#include <dirent.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cli/cli.h"
#include "image/cue.h"
#include "settings/settings.h"

namespace fuzz {

namespace {

std::string workFolder;

// The program's standard output goes into `console` (and, with
// KORVANE_FUZZ_STDOUT set, on to the real standard output as well).
constexpr size_t kConsoleKept = size_t{64} << 10;
std::string console;
bool forwardConsole = false;

Overrun overrun;

ssize_t CaptureConsole(void*, const char* data, size_t size)
{
    if (console.size() < kConsoleKept)
        console.append(data, std::min(size, kConsoleKept - console.size()));
    if (forwardConsole && write(STDOUT_FILENO, data, size) < 0)
        return -1;
    return static_cast<ssize_t>(size);
}

[[noreturn]] void ThrowEnd(int status)
{
    throw RunEnded{status};
}

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*)
{
    std::remove(path);
    return 0;
}

void RemoveWorkFolder()
{
    if (workFolder.empty())
        return;
    // Leave the folder first: removing the current directory works, but the
    // process should not sit in a deleted one while libFuzzer finishes.
    if (chdir("/") == 0)
        nftw(workFolder.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

void CloseStream(std::FILE*& stream)
{
    if (stream != nullptr)
        std::fclose(stream);
    stream = nullptr;
}

// Notes and removes what the run left in "out".
void EmptyOutFolder(RunResult& run)
{
    DIR* folder = opendir("out");
    if (folder == nullptr)
        return;
    std::vector<std::string> names;
    while (const dirent* entry = readdir(folder)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names.push_back(std::string("out/") + entry->d_name);
    }
    closedir(folder);
    for (const std::string& name : names) {
        struct stat info {};
        run.outputs.emplace_back(name, stat(name.c_str(), &info) == 0 ? info.st_size : 0);
        std::remove(name.c_str());
    }
}

[[noreturn]] void Die(const char* what)
{
    std::perror(what);
    std::abort();
}

}  // namespace

const std::string& Workspace(void (*prepare)())
{
    if (!workFolder.empty())
        return workFolder;
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/korvane-fuzz-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (mkdtemp(name.data()) == nullptr)
        Die("mkdtemp");
    char* absolute = realpath(name.data(), nullptr);
    if (absolute == nullptr)
        Die("realpath");
    workFolder = absolute;
    std::free(absolute);
    std::atexit(RemoveWorkFolder);
    if (chdir(workFolder.c_str()) != 0)
        Die("chdir");
    if (mkdir("out", 0755) != 0)
        Die("mkdir out");
    prepare();
    return workFolder;
}

RunResult RunProgram(const std::vector<std::string>& args)
{
    ResetSettings();
    ResetTrackTable();
    endRun = ThrowEnd;
    std::vector<std::string> words(args);
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(&word[0]);
    argv.push_back(nullptr);
    RunResult run;
    console.clear();
    overrun = Overrun{};
    try {
        run.status = RunKorvane(static_cast<int>(words.size()), argv.data());
    } catch (const RunEnded& end) {
        run.status = end.status;
    }
    CloseStream(cueFile);
    CloseStream(sourceFile);
    CloseStream(destFile);
    std::fflush(stdout);
    run.console.swap(console);
    run.overrun = overrun;
    EmptyOutFolder(run);
    return run;
}

void Expect(bool holds, const char* what, const RunResult& run)
{
    if (holds)
        return;
    std::fprintf(stderr, "\n==korvane-fuzz== FINDING: %s\n  exit status %d; outputs:", what, run.status);
    for (const auto& output : run.outputs)
        std::fprintf(stderr, " %s (%llu bytes)", output.first.c_str(),
                     static_cast<unsigned long long>(output.second));
    if (run.overrun.happened)
        std::fprintf(stderr, "\n  a transfer from %lu to %lu ended at %lu",
                     static_cast<unsigned long>(run.overrun.start), static_cast<unsigned long>(run.overrun.end),
                     static_cast<unsigned long>(run.overrun.reached));
    std::fprintf(stderr, "\n  the end of what it printed:\n");
    const size_t from = run.console.size() > 800 ? run.console.size() - 800 : 0;
    for (size_t i = from; i < run.console.size(); ++i) {
        const char c = run.console[i];
        std::fputc(c == '\r' ? '\n' : c == '\xFE' ? '#' : c, stderr);
    }
    std::fprintf(stderr, "\n");
    RemoveWorkFolder();  // abort() skips the exit handlers
    std::abort();
}

void WriteWholeFile(const std::string& path, const uint8_t* data, size_t size)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        Die(path.c_str());
    if (size != 0 && std::fwrite(data, 1, size, file) != size)
        Die(path.c_str());
    if (std::fclose(file) != 0)
        Die(path.c_str());
}

void WriteWholeFile(const std::string& path, const std::string& bytes)
{
    WriteWholeFile(path, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

std::string SyntheticRawSectors(int count, int first, const std::vector<int>& packs, int endCodeIn)
{
    static const uint8_t kSubheader[8] = {0x01, 0x01, 0x62, 0x0F, 0x01, 0x01, 0x62, 0x0F};
    static const uint8_t kPackStart[5] = {0x00, 0x00, 0x01, 0xBA, 0x21};
    static const uint8_t kEndCode[4] = {0x00, 0x00, 0x01, 0xB9};
    std::string image;
    uint32_t state = 12345;
    for (int n = 0; n < count; ++n) {
        std::string sector(2352, '\0');
        for (int i = 1; i <= 10; ++i)
            sector[i] = static_cast<char>(0xFF);
        const int frame = first + n + 150;
        auto bcd = [](int v) { return static_cast<char>((v / 10) << 4 | (v % 10)); };
        sector[12] = bcd(frame / 4500 % 75);
        sector[13] = bcd(frame / 75 % 60);
        sector[14] = bcd(frame % 75);
        sector[15] = 0x02;
        std::memcpy(&sector[16], kSubheader, sizeof kSubheader);
        for (size_t i = 24; i < sector.size(); ++i) {
            state = state * 1103515245u + 12345u;
            sector[i] = static_cast<char>(0x02 + (state >> 16) % 0xF0);  // never 00 or 01
        }
        bool pack = false;
        for (int p : packs)
            pack = pack || p == n;
        if (pack) {
            std::memcpy(&sector[24], kPackStart, sizeof kPackStart);
            for (size_t i = 24 + 48; i < 24 + 64; ++i)
                sector[i] = static_cast<char>(0xFF);
        }
        if (n == endCodeIn)
            std::memcpy(&sector[24 + 1000], kEndCode, sizeof kEndCode);
        image += sector;
    }
    return image;
}

// Where the bumper pre-scan of the current transfer left the source position.
// The pre-scan may accept an end code beyond the transfer's end (its limit is
// the file's length, capped at 15 MiB, not the end); the loops then copy
// nothing, and that is no overrun.
uint32_t afterPreScan = 0;

void NoteTransfer(uint32_t start, uint32_t end)
{
    if (overrun.happened || counter <= std::max({start, end, afterPreScan}))
        return;
    overrun = Overrun{true, start, end, counter};
}

}  // namespace fuzz

// The engine's transfer, void WriteBuffer(uint32_t end), and its bumper
// pre-scan, void BumperPreScan(const Transfer&), are wrapped at link time
// (-Wl,--wrap=...) so that every transfer of a run is checked.
struct Transfer;
extern "C" void __real__Z11WriteBufferj(uint32_t end);
extern "C" void __real__Z13BumperPreScanRK8Transfer(const Transfer& t);

extern "C" void __wrap__Z11WriteBufferj(uint32_t end)
{
    const uint32_t start = counter;
    fuzz::afterPreScan = 0;
    __real__Z11WriteBufferj(end);
    fuzz::NoteTransfer(start, end);
}

extern "C" void __wrap__Z13BumperPreScanRK8Transfer(const Transfer& t)
{
    __real__Z13BumperPreScanRK8Transfer(t);
    fuzz::afterPreScan = counter;
}

namespace {

// libFuzzer names its corpus folders, artifacts and dictionaries relative to
// the directory it was started in, but the targets move into their work
// folder: make those names absolute before libFuzzer reads them, and put
// crash files where the fuzzer was started unless told otherwise.
const char* const kPathFlags[] = {
    "artifact_prefix", "exact_artifact_path", "dict", "merge_control_file", "features_dir",
    "data_flow_trace", "mutation_graph_file", "seed_inputs", "stop_file",
};

std::string Absolute(const std::string& cwd, const std::string& path)
{
    if (path.empty() || path[0] == '/')
        return path;
    return cwd + "/" + path;
}

std::string AbsoluteList(const std::string& cwd, const std::string& list)
{
    // -seed_inputs: a comma-separated list, or @file naming a file of them.
    if (!list.empty() && list[0] == '@')
        return "@" + Absolute(cwd, list.substr(1));
    std::string result;
    size_t from = 0;
    for (;;) {
        const size_t comma = list.find(',', from);
        result += Absolute(cwd, list.substr(from, comma - from));
        if (comma == std::string::npos)
            return result;
        result += ',';
        from = comma + 1;
    }
}

std::vector<std::string> rewritten;
std::vector<char*> rewrittenArgv;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    // The program prints a lot to standard output; libFuzzer reports on standard
    // error. File descriptor 1 goes to /dev/null, and the stdio stream the program
    // prints with is replaced by one that keeps the text for the checks of each
    // run (glibc lets `stdout` be assigned). KORVANE_FUZZ_STDOUT=1 passes the
    // program's output on, to see what an input does.
    const char* keep = std::getenv("KORVANE_FUZZ_STDOUT");
    fuzz::forwardConsole = keep != nullptr && *keep != '\0';
    std::fflush(stdout);
    if (!fuzz::forwardConsole && std::freopen("/dev/null", "w", stdout) == nullptr)
        std::abort();
    const cookie_io_functions_t keepText{nullptr, fuzz::CaptureConsole, nullptr, nullptr};
    std::FILE* capture = fopencookie(nullptr, "w", keepText);
    if (capture == nullptr)
        std::abort();
    std::setvbuf(capture, nullptr, _IOFBF, 1 << 16);
    stdout = capture;
    endRun = fuzz::ThrowEnd;

    char* here = getcwd(nullptr, 0);
    if (here == nullptr)
        return 0;
    const std::string cwd = here;
    std::free(here);
    bool haveArtifactPrefix = false;
    rewritten.assign(*argv, *argv + *argc);
    for (size_t i = 1; i < rewritten.size(); ++i) {
        std::string& arg = rewritten[i];
        if (arg.empty())
            continue;
        if (arg[0] != '-') {
            arg = Absolute(cwd, arg);
            continue;
        }
        const size_t eq = arg.find('=');
        if (eq == std::string::npos)
            continue;
        const size_t from = arg.find_first_not_of('-');
        const std::string flag = arg.substr(from, eq - from);
        for (const char* name : kPathFlags) {
            if (flag != name)
                continue;
            const std::string value = arg.substr(eq + 1);
            haveArtifactPrefix = haveArtifactPrefix || flag == "artifact_prefix";
            arg = arg.substr(0, eq + 1) +
                  (flag == "seed_inputs" ? AbsoluteList(cwd, value) : Absolute(cwd, value));
        }
    }
    if (!haveArtifactPrefix)
        rewritten.push_back("-artifact_prefix=" + cwd + "/");
    for (std::string& arg : rewritten)
        rewrittenArgv.push_back(&arg[0]);
    rewrittenArgv.push_back(nullptr);
    *argc = static_cast<int>(rewritten.size());
    *argv = rewrittenArgv.data();
    return 0;
}

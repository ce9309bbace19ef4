#include "fuzz_support.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "cli/cli.h"
#include "image/cue.h"
#include "settings/settings.h"

namespace fuzz {

namespace {

struct RunEnded {
    int status;
};

std::string console;
bool overran = false;
uint32_t afterPreScan = 0;

ssize_t KeepConsole(void*, const char* data, size_t size)
{
    console.append(data, std::min(size, (size_t{64} << 10) - std::min(console.size(), size_t{64} << 10)));
    return static_cast<ssize_t>(size);
}

[[noreturn]] void ThrowEnd(int status)
{
    throw RunEnded{status};
}

void Close(std::FILE*& stream)
{
    if (stream != nullptr)
        std::fclose(stream);
    stream = nullptr;
}

void RemoveFolder()
{
    std::system(("rm -rf '" + Folder() + "'").c_str());
}

}  // namespace

const std::string& Folder()
{
    static std::string folder;
    if (folder.empty()) {
        char name[] = "/tmp/korvane-fuzz-XXXXXX";
        if (mkdtemp(name) == nullptr || mkdir((std::string(name) + "/out").c_str(), 0755) != 0)
            std::abort();
        folder = name;
        std::atexit(RemoveFolder);
        // The program prints to stdout; keep its text for the checks instead.
        static const cookie_io_functions_t keep{nullptr, KeepConsole, nullptr, nullptr};
        stdout = fopencookie(nullptr, "w", keep);
        endRun = ThrowEnd;
    }
    return folder;
}

RunResult RunProgram(const std::vector<std::string>& args)
{
    ResetSettings();
    ResetTrackTable();
    std::vector<std::string> words(args);
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(&word[0]);
    argv.push_back(nullptr);
    RunResult run;
    console.clear();
    overran = false;
    try {
        run.status = RunKorvane(static_cast<int>(words.size()), argv.data());
    } catch (const RunEnded& end) {
        run.status = end.status;
    }
    Close(cueFile);
    Close(sourceFile);
    Close(destFile);
    std::fflush(stdout);
    run.console.swap(console);
    run.overran = overran;
    const std::string out = Folder() + "/out/";
    if (DIR* folder = opendir(out.c_str())) {
        while (const dirent* entry = readdir(folder)) {
            struct stat info {};
            if (entry->d_name[0] != '.' && stat((out + entry->d_name).c_str(), &info) == 0) {
                run.outputs.push_back(static_cast<uint64_t>(info.st_size));
                std::remove((out + entry->d_name).c_str());
            }
        }
        closedir(folder);
    }
    return run;
}

void Check(const RunResult& run, uint64_t largest)
{
    const char* fault = run.status != 0 && run.status != 1                 ? "an exit status other than 0 or 1"
                        : run.console.find("\nRead error: ") != std::string::npos ? "a read past the end of an input"
                        : run.overran                                        ? "a transfer read past its end"
                                                                             : nullptr;
    for (uint64_t size : run.outputs)
        fault = size > largest ? "an output longer than its input allows" : fault;
    if (fault != nullptr)
        Fail(fault, run);
}

void Fail(const char* fault, const RunResult& run)
{
    std::fprintf(stderr, "\n==korvane-fuzz== FINDING: %s (status %d); it printed:\n%s\n", fault, run.status,
                 run.console.substr(run.console.size() - std::min<size_t>(run.console.size(), 800)).c_str());
    RemoveFolder();
    std::abort();
}

void WriteWholeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void NoteTransfer(uint32_t start, uint32_t end)
{
    // A record can start beyond its end (an INDEX before the one before it),
    // and the bumper pre-scan may accept an end code past the end: then
    // nothing is read, which is no overrun.
    overran = overran || counter > std::max({start, end, afterPreScan});
}

void NotePreScan()
{
    afterPreScan = counter;
}

void ResetPreScan()
{
    afterPreScan = 0;
}

}  // namespace fuzz

// Every transfer is checked when it returns: WriteBuffer and the bumper
// pre-scan are wrapped at link time (-Wl,--wrap=...).
struct Transfer;
extern "C" void __real__Z11WriteBufferj(uint32_t end);
extern "C" void __real__Z13BumperPreScanRK8Transfer(const Transfer& t);

extern "C" void __wrap__Z11WriteBufferj(uint32_t end)
{
    const uint32_t start = counter;
    fuzz::ResetPreScan();
    __real__Z11WriteBufferj(end);
    fuzz::NoteTransfer(start, end);
}

extern "C" void __wrap__Z13BumperPreScanRK8Transfer(const Transfer& t)
{
    __real__Z13BumperPreScanRK8Transfer(t);
    fuzz::NotePreScan();
}

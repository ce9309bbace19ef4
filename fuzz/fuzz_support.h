// What the two fuzz targets share (each includes it from its one source file): a private work
// folder, one run of the whole program that survives its fatal exits, and the checks it must pass.
#pragma once

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "cli/cli.h"
#include "image/cue.h"
#include "settings/settings.h"
#include "synth.h" // and whole files

namespace fuzz {

namespace fs = std::filesystem;

inline std::string console;       // what the run printed
inline bool overran = false;      // a transfer ended past its end
inline uint32_t afterPreScan = 0; // where the bumper pre-scan of the current transfer left the source

inline ssize_t Keep(void*, const char* data, size_t size) // the program's text is kept for the checks
{
    console.append(data, size);
    return static_cast<ssize_t>(size);
}

// The work folder of this process under TMPDIR, with its "out" folder; removed at exit.
inline const std::string& Folder()
{
    static const std::string folder = [] {
        std::string name = (fs::temp_directory_path() / "korvane-fuzz-XXXXXX").string();
        if (mkdtemp(name.data()) == nullptr || !fs::create_directory(name + "/out")) std::abort();
        stdout = fopencookie(nullptr, "w", {nullptr, Keep, nullptr, nullptr});
        endRun = [](int status) { throw status; };
        return name;
    }();
    [[maybe_unused]] static const int removal = std::atexit([] { fs::remove_all(Folder()); });
    return folder;
}

// Runs the program with `args` (args[0] is its name) from the settings' defaults, removes
// its outputs and checks the run: status 0 or 1, no read error (every input is whole and
// readable, so one means a read past its end), no transfer past its end, no output above
// `largest`; with `oneFile`, at most one output, and none after a failure.
inline void RunAndCheck(std::vector<std::string> args, uint64_t largest, bool oneFile)
{
    ResetSettings();
    ResetTrackTable();
    std::vector<char*> argv;
    for (std::string& word : args) argv.push_back(&word[0]);
    argv.push_back(nullptr);
    console.clear();
    overran = false;
    int status = 0;
    try {
        status = RunKorvane(static_cast<int>(args.size()), argv.data());
    } catch (int exitStatus) { // from endRun
        status = exitStatus;
    }
    for (std::FILE** stream : {&cueFile, &sourceFile, &destFile})
        if (*stream != nullptr) std::fclose(std::exchange(*stream, nullptr));
    std::fflush(stdout);
    size_t outputs = 0;
    bool tooLong = false;
    for (const auto& entry : fs::directory_iterator(Folder() + "/out")) {
        tooLong = tooLong || entry.file_size() > largest;
        outputs += fs::remove(entry.path());
    }
    if (const char* fault = status != 0 && status != 1                            ? "an exit status other than 0 or 1"
                            : console.find("\nRead error: ") != std::string::npos ? "a read past the end of an input"
                            : overran                                             ? "a transfer read past its end"
                            : tooLong ? "an output longer than its input allows"
                            : oneFile && (outputs > 1 || (status != 0 && outputs != 0))
                                ? "more than one output, or one after a failure"
                                : nullptr) {
        std::fprintf(stderr, "\n==korvane-fuzz== FINDING: %s (status %d); it printed:\n%s\n", fault, status,
                     console.substr(console.size() - std::min<size_t>(console.size(), 800)).c_str());
        fs::remove_all(Folder());
        std::abort();
    }
}

} // namespace fuzz

// Every transfer is checked when it returns: WriteBuffer and the bumper pre-scan are
// wrapped at link time (-Wl,--wrap=...).
struct Transfer;
extern "C" void __real__Z11WriteBufferj(uint32_t end);
extern "C" void __real__Z13BumperPreScanRK8Transfer(const Transfer& t);

extern "C" void __wrap__Z11WriteBufferj(uint32_t end)
{
    const uint32_t start = counter;
    fuzz::afterPreScan = 0;
    __real__Z11WriteBufferj(end);
    // A record can start beyond its end (an INDEX before the one before it), and the
    // bumper pre-scan may accept an end code past the end: then nothing is read.
    fuzz::overran = fuzz::overran || counter > std::max({start, end, fuzz::afterPreScan});
}

extern "C" void __wrap__Z13BumperPreScanRK8Transfer(const Transfer& t)
{
    __real__Z13BumperPreScanRK8Transfer(t);
    fuzz::afterPreScan = counter;
}

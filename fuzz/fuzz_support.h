// What the fuzz targets share: a private work folder, one run of the whole
// program that survives its fatal exits, and the checks every run must pass.
// The run state is process-wide, so each run starts from ResetSettings() and
// ResetTrackTable() and leaves no stream open behind it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fuzz {

// The work folder of this process (made on first use, removed at exit).
const std::string& Folder();

struct RunResult {
    int status = 0;                  // of a run that ended, or the one it exited with
    std::vector<uint64_t> outputs;   // sizes of the files it left in Folder()/out
    std::string console;             // the first 64 KiB it printed
    bool overran = false;            // a transfer ended past its end
};

// Runs the program with `args` (args[0] is the program name), then removes its outputs.
RunResult RunProgram(const std::vector<std::string>& args);

// The checks of every run: status 0 or 1, no read error (every input is whole
// and readable, so one means a read past its end), no output above `largest`,
// no transfer past its end. A failure is reported and aborts (a finding).
void Check(const RunResult& run, uint64_t largest);

// Reports `fault` with what the run printed, and aborts.
[[noreturn]] void Fail(const char* fault, const RunResult& run);

void WriteWholeFile(const std::string& path, const std::string& bytes);

}  // namespace fuzz

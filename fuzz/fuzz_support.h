// Shared plumbing of the fuzz targets: one private work folder per process,
// a run of the whole program that survives its fatal exits, and small file
// helpers. The program's run state is process-wide, so every run starts from
// ResetSettings() and ResetTrackTable() and leaves no stream open behind it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace fuzz {

// Thrown by the run's end hook in place of exiting the process.
struct RunEnded {
    int status;
};

// Creates the private work folder (once per process), with an empty "out"
// folder in it, and makes it the current directory; answers its absolute path.
// `prepare` is called once, inside the fresh folder, to lay down fixed files.
const std::string& Workspace(void (*prepare)());

// Every transfer of the run (each call of the engine's WriteBuffer(end), seen
// through the linker's --wrap) is checked when it returns: its source position
// must not have passed `end`, unless it started beyond it (a record whose
// INDEX lies before the one before it starts after its end and is read
// nowhere) or the bumper pre-scan put it there (the pre-scan may accept an end
// code beyond the transfer's end; nothing is copied then). The first transfer
// that did gets noted here.
struct Overrun {
    bool happened = false;
    uint32_t start = 0;
    uint32_t end = 0;
    uint32_t reached = 0;
};

// What one run of the program left: its exit status (that of a run reaching
// its end, or the one a fatal failure or the usage text ended with), the
// files it left in "out" with their sizes, and what it printed (the first
// 64 KiB of it).
struct RunResult {
    int status = 0;
    std::vector<std::pair<std::string, uint64_t>> outputs;
    std::string console;
    Overrun overrun;
};

// Runs the program logic with `args` (args[0] is the program name) as the
// driver does. Closes every stream the run left open, notes and then removes
// everything written into "out".
RunResult RunProgram(const std::vector<std::string>& args);

// Ends the process with a report on standard error (a finding for libFuzzer)
// when `holds` is false.
void Expect(bool holds, const char* what, const RunResult& run);

// Writes `size` bytes to `path` (relative to the work folder), replacing it.
void WriteWholeFile(const std::string& path, const uint8_t* data, size_t size);
void WriteWholeFile(const std::string& path, const std::string& bytes);

// `count` raw 2352-byte Mode 2 sectors, addressed from frame `first`: sectors
// listed in `packs` carry an MPEG pack start 00 00 01 BA 21 at byte 24 with the
// first-block padding FF at payload bytes 48..63; `endCodeIn` gets an end code
// 00 00 01 B9 in the middle of its payload (a bumper's end); the rest of each
// payload is filler that forms no start code.
std::string SyntheticRawSectors(int count, int first, const std::vector<int>& packs, int endCodeIn);

}  // namespace fuzz

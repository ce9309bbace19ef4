// Runs the built korvane as a user would: a subprocess in a temporary folder,
// with its exact standard output bytes and exit status.
#pragma once

#include <string>
#include <vector>

struct RunResult {
    int status = -1;   // exit status; -1 when it did not exit normally
    std::string out;   // every byte written to standard output
    std::string err;   // standard error (the program should never use it)
};

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Runs korvane with `args` (argv[1..]) in the folder `cwd`; `binary` may name the
// test build that reads one step per system call (KORVANE_STEPWISE_BIN).
RunResult RunKorvane(const std::vector<std::string>& args, const std::string& cwd,
                     const char* binary = KORVANE_BIN);

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);
// The names of the entries of a folder, sorted.
std::vector<std::string> ListDir(const std::string& path);

// Where the shipped samples are unpacked in the build tree.
std::string SamplePath(const std::string& relative);

// The banner as the program prints it first: "\n" + banner line + "\n".
std::string BannerText();
// The usage text, byte for byte.
std::string UsageText();

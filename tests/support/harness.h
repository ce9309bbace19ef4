// Runs the built korvane as a user would: a subprocess in a temporary folder, with its exact
// console bytes and exit status. Each test includes this header only.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "synth.h"

struct RunResult {
    int status = -1; // exit status; -1 when it did not exit normally
    std::string out; // every byte written to standard output, and to standard error (never used)
};

// A fresh folder under the system's temporary folder, removed with everything in it.
struct TempDir {
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    std::string path_;
};

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to);

// Runs korvane with `args` in the folder `cwd`; `binary` may name the test build that reads one
// step per system call (KORVANE_STEPWISE_BIN). `shell` runs first in the same shell.
RunResult RunKorvane(const std::vector<std::string>& args, const std::string& cwd,
                     const char* binary = KORVANE_BIN, const std::string& shell = "");
// The same on a pseudo-terminal under the locale `locale`, its line ends as the program wrote them.
RunResult RunOnTerminal(const std::vector<std::string>& args, const std::string& cwd,
                        const std::string& locale);

using Files = std::map<std::string, std::string>; // file name -> bytes
extern const std::string kAnyBytes;               // a file that must be there, whatever it holds

// One run with all it must print and leave.
struct Golden {
    std::vector<std::string> args;
    Files inputs; // written before the run (names may hold folders); they must stay as they are
    int status = 0;
    // All the program prints when this begins with the banner, else the end of it. Unless it
    // holds progress lines, those are left out of the console (their time estimates vary).
    std::string console = "";
    Files outputs = {};     // every plain file the run leaves beside its inputs
    std::string shell = ""; // commands run first (a pipe, a folder, ulimit, "exec >&-")
    std::string check = ""; // commands run after, in the folder, that must succeed ("test -L l")
    const char* binary =
        KORVANE_BIN; // or the build reading one step per call, KORVANE_STEPWISE_BIN

    Golden& Given(const std::string& commands) { return shell = commands, *this; }
    Golden& Then(const std::string& commands) { return check = commands, *this; }
    Golden& Exits(int code, const std::string& text, const Files& files = {})
    {
        return status = code, console = text, outputs = files, *this;
    }
};
// korvane with the words of `command` (split at spaces) as its arguments, run beside `inputs`.
Golden Korvane(const std::string& command, const Files& inputs = {});
// Runs `g` in a fresh folder and checks its status, console and every file then in the folder.
void Expect(const Golden& g);
struct Case {
    std::string fault; // the few words a failure is reported with
    Golden run;
};
void ExpectAll(const std::vector<Case>& table);
void ExpectConsole(const std::string& out, const std::string& want, const std::string& what);
std::string WithoutProgress(std::string text); // without "\xFE 12%\r", "\xFE 12% [00:00:03] \r"

std::vector<std::string> ListDir(const std::string& path); // the names in a folder, sorted
std::string SamplePath(const std::string& relative); // a shipped sample, unpacked in the build tree
std::string BannerText(); // as the program prints it first: "\n" + banner line + "\n"
std::string UsageText();  // byte for byte

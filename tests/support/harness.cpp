#include "harness.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace fs = std::filesystem;

TempDir::TempDir() : path_((fs::temp_directory_path() / "korvane-test-XXXXXX").string())
{
    if (mkdtemp(path_.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
}

TempDir::~TempDir()
{
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

RunResult RunKorvane(const std::vector<std::string>& args, const std::string& cwd, const char* binary)
{
    // One word for the shell each, whatever it holds.
    const auto quoted = [](const std::string& word) { return "'" + ReplaceAll(word, "'", "'\\''") + "'"; };
    std::string command = "cd " + quoted(cwd) + " && exec " + quoted(binary);
    for (const std::string& arg : args) command += " " + quoted(arg);
    std::FILE* pipe = popen((command + " </dev/null 2>&1").c_str(), "r");
    if (pipe == nullptr) throw std::runtime_error("popen failed");
    RunResult result;
    char chunk[65536];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) result.out.append(chunk, n);
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

// The console without its progress lines ("\xFE 12% [00:00:03] \r" or "\xFE 12%\r").
static std::string WithoutProgress(const std::string& text)
{
    std::string kept;
    for (size_t i = 0; i < text.size();) {
        size_t j = i + 2;
        if (text.compare(i, 2, "\xFE ") == 0 && j < text.size() && std::isdigit(static_cast<uint8_t>(text[j]))) {
            while (j < text.size() && std::isdigit(static_cast<uint8_t>(text[j]))) ++j;
            if (j < text.size() && text[j] == '%') {
                size_t k = j + 1;
                if (text.compare(k, 2, " [") == 0) {
                    k += 2;
                    while (k < text.size() && (std::isdigit(static_cast<uint8_t>(text[k])) || text[k] == ':')) ++k;
                    k = text.compare(k, 2, "] ") == 0 ? k + 2 : text.size();
                }
                if (k < text.size() && text[k] == '\r') {
                    i = k + 1;
                    continue;
                }
            }
        }
        kept += text[i++];
    }
    return kept;
}

void ExpectConsole(const std::string& out, const std::string& want, const std::string& what)
{
    const std::string got = WithoutProgress(want) == want ? WithoutProgress(out) : out;
    if (want.rfind(BannerText(), 0) == 0)
        EXPECT_EQ(got, want) << what;
    else
        EXPECT_EQ(got.substr(got.size() - std::min(got.size(), want.size())), want) << what;
}

void Expect(const Golden& g)
{
    TempDir dir;
    std::string what = "korvane";
    for (const std::string& arg : g.args) what += " " + arg;
    for (const auto& [name, bytes] : g.inputs) {
        fs::create_directories(fs::path(dir / name).parent_path());
        WriteFile(dir / name, bytes);
    }
    const RunResult r = RunKorvane(g.args, dir.path());
    EXPECT_EQ(r.status, g.status) << what;
    ExpectConsole(r.out, g.console, what);
    std::vector<std::string> names, want;
    for (const auto& entry : fs::recursive_directory_iterator(dir.path()))
        if (!entry.is_directory()) names.push_back(fs::relative(entry.path(), dir.path()).string());
    std::sort(names.begin(), names.end());
    Files files = g.outputs;
    files.insert(g.inputs.begin(), g.inputs.end());
    for (const auto& [name, bytes] : files) {
        const std::string got = ReadFile(dir / name);
        EXPECT_TRUE(got == bytes) << what << ": " << name << " holds " << got.size() << " bytes, not " << bytes.size();
        want.push_back(name);
    }
    EXPECT_EQ(names, want) << what;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const std::string& bytes)
{
    if (!std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size())))
        throw std::runtime_error("could not write " + path);
}

std::vector<std::string> ListDir(const std::string& path)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string SamplePath(const std::string& relative) { return std::string(KORVANE_SAMPLES) + "/" + relative; }

std::string BannerText() { return "\nKorvane v1.5 by the Korvane developers\n"; }

std::string UsageText()
{
    return "Usage  :  Korvane [options] [-track##] inputfile outputfile\n\n"
           "Options:  -cue2raw       .cue --> .raw  (.cue to .raw/.bin track image)\n"
           "          -cue2dat       .cue --> .dat\n"
           "          -cue2mpg       .cue --> .mpg\n"
           "          -raw2dat       .raw --> .dat  (.raw/.bin track image to .dat)\n"
           "          -raw2mpg       .raw --> .mpg\n"
           "          -cif2mpg       .cif --> .mpg\n"
           "          -mpg2mpg       .mpg --> .mpg\n"
           "          -mpg2dat       .mpg --> .dat\n"
           "          -dat2mpg       .dat --> .mpg\n\n"
           "          -track##       extract only track ## from a .cue/bin\n"
           "          -r####         force read of ####-byte sectors\n"
           "          -w####         force write of ####-byte sectors\n"
           "          -nobumper      removes CD-i MPEG sequence bumper\n"
           "          -fix           fix broken MPEG blocks during .mpg output\n\n";
}

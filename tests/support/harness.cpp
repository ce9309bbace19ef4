#include "harness.h"

#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

TempDir::TempDir()
{
    std::string pattern = (fs::temp_directory_path() / "korvane-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir()
{
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

namespace {

// One word for the shell, whatever it holds.
std::string Quoted(const std::string& word)
{
    std::string quoted = "'";
    for (char c : word)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

}  // namespace

RunResult RunKorvane(const std::vector<std::string>& args, const std::string& cwd, const char* binary)
{
    // Standard error goes to a file beside, so that the program's stdout is all the pipe carries.
    const std::string errPath = cwd + "/.korvane-stderr";
    std::string command = "cd " + Quoted(cwd) + " && exec " + Quoted(binary);
    for (const std::string& arg : args)
        command += " " + Quoted(arg);
    command += " </dev/null 2>" + Quoted(errPath);
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        throw std::runtime_error("popen failed");
    RunResult result;
    char chunk[65536];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;)
        result.out.append(chunk, n);
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.err = ReadFile(errPath);
    std::remove(errPath.c_str());
    return result;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("could not write " + path);
}

bool FileExists(const std::string& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

std::vector<std::string> ListDir(const std::string& path)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string SamplePath(const std::string& relative)
{
    return std::string(KORVANE_SAMPLES) + "/" + relative;
}

std::string BannerText()
{
    return "\nKorvane v1.5 by the Korvane developers\n";
}

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

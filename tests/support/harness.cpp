#include "harness.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(path_, ignored);
}

namespace {

std::string Drain(int fd)
{
    std::string text;
    char chunk[65536];
    ssize_t n;
    while ((n = read(fd, chunk, sizeof chunk)) > 0)
        text.append(chunk, static_cast<size_t>(n));
    return text;
}

}  // namespace

RunResult RunKorvane(const std::vector<std::string>& args, const std::string& cwd, const char* binary)
{
    // Standard error goes to a file so that the two pipes can never block each other.
    const std::string errPath = cwd + "/.korvane-stderr";
    int outPipe[2];
    if (pipe(outPipe) != 0)
        throw std::runtime_error("pipe failed");
    const pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        dup2(outPipe[1], STDOUT_FILENO);
        close(outPipe[0]);
        close(outPipe[1]);
        const int errFd = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (errFd >= 0)
            dup2(errFd, STDERR_FILENO);
        const int nullFd = open("/dev/null", O_RDONLY);
        if (nullFd >= 0)
            dup2(nullFd, STDIN_FILENO);
        if (chdir(cwd.c_str()) != 0)
            _exit(126);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(binary));
        for (const std::string& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(binary, argv.data());
        _exit(127);
    }
    close(outPipe[1]);
    RunResult result;
    result.out = Drain(outPipe[0]);
    close(outPipe[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.err = ReadFile(errPath);
    unlink(errPath.c_str());
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

#include "harness.h"

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <stdexcept>

namespace fs = std::filesystem;

TempDir::TempDir() : path_((fs::temp_directory_path() / "korvane-test-XXXXXX").string())
{
    if (mkdtemp(path_.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
}

TempDir::~TempDir() { fs::remove_all(path_, std::error_code() = {}); }

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

namespace {

std::string Quoted(const std::string& word) { return "'" + ReplaceAll(word, "'", "'\\''") + "'"; }

std::string Words(const std::vector<std::string>& args)
{
    std::string words;
    for (const std::string& arg : args)
        words += " " + Quoted(arg);
    return words;
}

// Runs `program` (shell words) in `cwd` with standard input empty and both outputs read.
RunResult Run(const std::string& program, const std::vector<std::string>& args,
              const std::string& cwd)
{
    const std::string command =
        "exec </dev/null 2>&1; cd " + Quoted(cwd) + " && " + program + Words(args);
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        throw std::runtime_error("popen failed");
    std::string out;
    char chunk[65536];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;)
        out.append(chunk, n);
    const int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

} // namespace

RunResult RunKorvane(const std::vector<std::string>& args, const std::string& cwd,
                     const char* binary, const std::string& shell)
{
    return Run((shell.empty() ? "" : shell + " && ") + "exec " + Quoted(binary), args, cwd);
}

RunResult RunOnTerminal(const std::vector<std::string>& args, const std::string& cwd,
                        const std::string& locale)
{
    return Run("LC_ALL=" + Quoted(locale) + " script -qec " +
                   Quoted("stty -onlcr && exec " + Quoted(KORVANE_BIN) + Words(args)),
               {"/dev/null"}, cwd);
}

std::string WithoutProgress(std::string text)
{
    for (size_t at = text.find("\xFE "); at != std::string::npos; at = text.find("\xFE ", at)) {
        const size_t percent = text.find_first_not_of("0123456789", at + 2),
                     end = text.find('\r', at);
        if (percent > at + 2 && percent < end && text[percent] == '%' && end < text.find('\n', at))
            text.erase(at, end + 1 - at);
        else
            ++at;
    }
    return text;
}

void ExpectConsole(const std::string& out, const std::string& want, const std::string& what)
{
    const std::string got = WithoutProgress(want) == want ? WithoutProgress(out) : out;
    if (want.rfind(BannerText(), 0) == 0)
        EXPECT_EQ(got, want) << what;
    else
        EXPECT_EQ(got.substr(got.size() - std::min(got.size(), want.size())), want) << what;
}

Golden Korvane(const std::string& command, const Files& inputs)
{
    Golden g{{}, inputs};
    for (size_t at = 0, space; at < command.size(); at = space + 1) {
        space = std::min(command.find(' ', at), command.size());
        g.args.push_back(command.substr(at, space - at));
    }
    return g;
}

const std::string kAnyBytes("\0any", 4);

void Expect(const Golden& g)
{
    TempDir dir;
    const std::string what = "korvane" + Words(g.args);
    SCOPED_TRACE(what);
    for (const auto& [name, bytes] : g.inputs) {
        fs::create_directories(fs::path(dir / name).parent_path());
        WriteFile(dir / name, bytes);
    }
    const RunResult r = RunKorvane(g.args, dir.path(), g.binary, g.shell);
    EXPECT_EQ(r.status, g.status);
    ExpectConsole(r.out, g.console, what);
    std::vector<std::string> names, want;
    for (const auto& entry : fs::recursive_directory_iterator(dir.path()))
        if (entry.is_regular_file())
            names.push_back(entry.path().lexically_relative(dir.path()).string());
    std::sort(names.begin(), names.end());
    Files files = g.outputs;
    files.insert(g.inputs.begin(), g.inputs.end());
    for (const auto& [name, bytes] : files) {
        const std::string got = bytes == kAnyBytes ? bytes : ReadFile(dir / name);
        EXPECT_TRUE(got == bytes) << name << " holds " << got.size() << " bytes, not "
                                  << bytes.size();
        want.push_back(name);
    }
    EXPECT_EQ(names, want);
    if (!g.check.empty()) { // braces: EXPECT_EQ hides an if-else
        EXPECT_EQ(Run(g.check, {}, dir.path()).status, 0) << g.check;
    }
}

void ExpectAll(const std::vector<Case>& table)
{
    for (const Case& c : table) {
        SCOPED_TRACE(c.fault);
        Expect(c.run);
    }
}

std::vector<std::string> ListDir(const std::string& path)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string SamplePath(const std::string& relative) { return KORVANE_SAMPLES "/" + relative; }

std::string BannerText() { return "\nKorvane v1.5 by the Korvane developers\n"; }

std::string UsageText() { return ReadFile(KORVANE_GOLDEN "/usage.txt"); }

// Installs the build folder into a temporary DESTDIR, as `make install` does,
// and runs the installed program from there.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "harness.h"

TEST(Install, DestdirGetsProgramAndManualPageThatWork)
{
    TempDir root;
    const std::string bin = KORVANE_BIN;
    const std::string build = bin.substr(0, bin.rfind('/'));  // korvane sits at the build folder's root
    const std::string install = "DESTDIR='" + root.path() + "' cmake --install '" + build + "' --prefix /usr";
    ASSERT_EQ(std::system((install + " >/dev/null").c_str()), 0) << install;

    const std::string page = ReadFile(root / "usr/share/man/man1/korvane.1");
    EXPECT_NE(page.find("\n.TH KORVANE 1 "), std::string::npos) << "manual page not installed";

    std::FILE* pipe = popen(("'" + (root / "usr/bin/korvane") + "' </dev/null").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string out;
    char chunk[4096];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;)
        out.append(chunk, n);
    const int status = pclose(pipe);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(out, BannerText() + UsageText());
}

// Installs the build folder into a temporary DESTDIR, as `make install` does,
// and runs the installed program from there.
#include <gtest/gtest.h>

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

    const std::string installed = root / "usr/bin/korvane";
    const RunResult r = RunKorvane({}, root.path(), installed.c_str());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, BannerText() + UsageText());
}

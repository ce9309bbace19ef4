#include <gtest/gtest.h>

#include "harness.h"

// Without a destination name the usage follows the banner.
TEST(Usage, NoArgumentsPrintsBannerAndUsage)
{
    const std::vector<std::string> cases[] = {{}, {"-cue2mpg", "-fix", "in"}, {"-track2", "-r2352"}};
    for (const auto& args : cases) {
        TempDir dir;
        const RunResult r = RunKorvane(args, dir.path());
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, BannerText() + UsageText());
        EXPECT_EQ(r.err, "");
    }
}

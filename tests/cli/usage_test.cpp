#include <gtest/gtest.h>

#include "harness.h"

TEST(Usage, NoArgumentsPrintsBannerAndUsage)
{
    TempDir dir;
    const RunResult r = RunKorvane({}, dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, BannerText() + UsageText());
    EXPECT_EQ(r.err, "");
}

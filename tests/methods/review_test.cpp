// Destinations that a plain create wrote and the temporary file beside them must write too.
#include <unistd.h>

#include "harness.h"

TEST(ReviewedOutputs, NamesAndSpecialFilesThatPlainCreatesWrote)
{
    const std::string blocks = MpegBlocks(3), done = "\n\xFE completed. ";
    // 254 characters: with the dot and six characters of a temporary name past the 255 a folder
    // entry holds. A temporary name cut too late failed here too.
    const std::string longest(250, 'n');
    Expect(Korvane("-mpg2mpg a.mpg " + longest + ".mpg",
                   {{"a.mpg", blocks}, {longest + ".mpg", "old"}})
               .Exits(0, done + longest + ".mpg written.\n", {{longest + ".mpg", blocks}}));

    // A link to the console's pipe through /proc/self/fd: resolving it gave "pipe:[n]", no file.
    TempDir dir;
    WriteFile(dir / "a.mpg", blocks);
    ASSERT_EQ(symlink("/proc/self/fd/9", (dir / "pipe.mpg").c_str()), 0);
    const RunResult r =
        RunKorvane({"-mpg2mpg", "a.mpg", "pipe.mpg"}, dir.path(), KORVANE_BIN, "exec 9>&1");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find(blocks), std::string::npos) << "the stream went into the pipe";
    const std::string end = done + "pipe.mpg written.\n";
    EXPECT_EQ(r.out.substr(r.out.size() - std::min(r.out.size(), end.size())), end);
    EXPECT_EQ(ListDir(dir.path()), (std::vector<std::string>{"a.mpg", "pipe.mpg"}));
}

// The pack search, called directly: the skip rule's one blind spot and the window arithmetic, which
// runs over the real methods only at sizes no test file has.
#include "engine/engine.h"
#include "harness.h"
#include "image/sector.h"
#include "io/io.h"
#include "settings/settings.h"

using namespace std::string_literals;

static const uint8_t* U(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

TEST(Search, BoyerMooreFirstOccurrenceAndTheSkipRule)
{
    const std::tuple<const char*, std::string, std::string, int32_t> rows[] = {
        {"the mismatch at j = 2 skips by 2, past the occurrence at 1", "XABAA", "ABAA", -1},
        {"a pack start after a zero", "\0\0\0\1\xBA"s, "\0\0\1\xBA"s, 1},
        {"the first of two", "--AB---AB-", "AB", 2},
        {"at the very end", "xyzABCD", "ABCD", 3},
        {"a text shorter than the pattern", "ABC", "ABCD", -1},
        {"after a near miss", "ABCABD", "ABD", 3}};
    for (const auto& [fault, text, pattern, want] : rows)
        EXPECT_EQ(
            BoyerMooreSearch(U(text), U(pattern), int32_t(text.size()), int32_t(pattern.size())),
            want)
            << fault;
}

TEST(Search, SeekAndLocateWindowEdgesMarginAndLimit)
{
    TempDir dir;
    ResetSettings();
    // Pack starts in 20000 bytes, counter at the call, limit -> answer, counter and stream
    // position after it.
    const std::tuple<const char*, std::vector<uint32_t>, uint32_t, uint32_t, int, uint32_t,
                     uint32_t>
        rows[] = {
            {"at the start", {0}, 0, 20000, 1, 0, 4995},
            {"in the 5 bytes the windows share", {4995}, 0, 20000, 1, 4995, 4995},
            {"in the first window's last 4 bytes", {4996}, 0, 20000, 1, 4996, 4995},
            {"across the first window's end: found in the second", {4997}, 0, 20000, 1, 4997, 9990},
            {"a second window would pass the limit: not read", {4997}, 0, 9994, 0, 4995, 4995},
            {"no whole window before the limit: nothing read", {3000}, 1000, 5999, 0, 1000, 1000},
            {"none: the counter a step past the last window", {}, 1000, 6000, 0, 5995, 5995},
            {"less than a sector before the limit: refused", {17649}, 0, 20000, 0, 17649, 19980},
            {"a sector before the limit: accepted", {17648}, 0, 20000, 1, 17648, 19980},
            {"the first of two in a window", {100, 200}, 0, 20000, 1, 100, 4995},
            {"from a counter inside the file", {7000}, 6000, 20000, 1, 7000, 10995}};
    for (const auto& [fault, starts, start, limit, want, after, stream] : rows) {
        std::string file = Filler(20000);
        for (uint32_t at : starts)
            file.replace(at, 4, "\0\0\1\xBA"s);
        WriteFile(dir / "s.bin", file);
        sourceFile = OpenSourceFile(dir / "s.bin");
        SeekSource(counter = start);
        EXPECT_EQ(SeekAndLocate(mpeg_sync, limit, 0), want) << fault;
        EXPECT_EQ(counter, after) << fault;
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(SourceBytes(4)), 4),
                  file.substr(stream, 4))
            << fault;
        CloseSource();
    }
}

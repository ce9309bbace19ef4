// The pack search called directly: the skip rule's blind spot and the window arithmetic, which the
// methods reach only at sizes no test file has.
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
        {"the first of two", "--AB---AB-", "AB", 2},
        {"at the very end, after a near miss", "xABCABD", "ABD", 4},
        {"a text shorter than the pattern", "ABC", "ABCD", -1}};
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
    // A pack start in 20000 bytes of filler (or none), counter at the call, limit -> answer,
    // counter and stream position after it.
    const std::tuple<const char*, int, uint32_t, uint32_t, int, uint32_t, uint32_t> rows[] = {
        {"in the first window's last 4 bytes", 4996, 0, 20000, 1, 4996, 4995},
        {"across the first window's end: found in the second", 4997, 0, 20000, 1, 4997, 9990},
        {"a second window would pass the limit: not read", 4997, 0, 9994, 0, 4995, 4995},
        {"no whole window before the limit: nothing read", 3000, 1000, 5999, 0, 1000, 1000},
        {"none: the counter a step past the last window", -1, 1000, 6000, 0, 5995, 5995},
        {"less than a sector before the limit: refused", 17649, 0, 20000, 0, 17649, 19980},
        {"a sector before the limit: accepted", 17648, 0, 20000, 1, 17648, 19980},
        {"from a counter inside the file", 7000, 6000, 20000, 1, 7000, 10995}};
    for (const auto& [fault, at, start, limit, want, after, stream] : rows) {
        std::string file = Filler(20000);
        if (at >= 0)
            file.replace(size_t(at), 4, "\0\0\1\xBA"s);
        WriteFile(dir / "s.bin", file);
        sourceFile = OpenSourceFile(dir / "s.bin");
        SeekSource(counter = start);
        const int got = SeekAndLocate(mpeg_sync, limit, 0);
        EXPECT_EQ(std::make_tuple(got, counter,
                                  std::string(reinterpret_cast<const char*>(SourceBytes(4)), 4)),
                  std::make_tuple(want, after, file.substr(stream, 4)))
            << fault;
        CloseSource();
    }
}

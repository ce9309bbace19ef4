#include "engine/engine.h"
#include "io/io.h"
#include "harness.h"
#include "image/sector.h"
#include "settings/settings.h"

using namespace std::string_literals;

static const uint8_t* U(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

TEST(SearchBoyerMoore, FirstOccurrenceAndTheSkipRule)
{
    // In X A B A A the mismatch at j = 2 skips by 2, past the occurrence at 1.
    const std::tuple<std::string, std::string, int32_t> rows[] = {
        {"XABAA", "ABAA", -1},   {"\0\0\0\1\xBA"s, "\0\0\1\xBA"s, 1},
        {"--AB---AB-", "AB", 2}, {"xyzABCD", "ABCD", 3},
        {"ABC", "ABCD", -1},     {"ABCABD", "ABD", 3}};
    for (const auto& [text, pattern, want] : rows)
        EXPECT_EQ(
            BoyerMooreSearch(U(text), U(pattern), int32_t(text.size()), int32_t(pattern.size())),
            want);
}

TEST(SearchSeekAndLocate, WindowEdgesMarginAndLimit)
{
    TempDir dir;
    ResetSettings();
    // pack starts in 20000 bytes, counter at the call, limit -> answer, counter, stream position
    // after it
    const std::tuple<std::vector<uint32_t>, uint32_t, uint32_t, int, uint32_t, uint32_t> rows[] = {
        {{0}, 0, 20000, 1, 0, 4995},          {{4995}, 0, 20000, 1, 4995, 4995},
        {{4996}, 0, 20000, 1, 4996, 4995},    {{4997}, 0, 20000, 1, 4997, 9990},
        {{4997}, 0, 9994, 0, 4995, 4995},     {{3000}, 1000, 5999, 0, 1000, 1000},
        {{}, 1000, 6000, 0, 5995, 5995},      {{17649}, 0, 20000, 0, 17649, 19980},
        {{17648}, 0, 20000, 1, 17648, 19980}, {{100, 200}, 0, 20000, 1, 100, 4995},
        {{7000}, 6000, 20000, 1, 7000, 10995}};
    for (const auto& [starts, start, limit, want, after, stream] : rows) {
        std::string file = Filler(20000);
        for (uint32_t at : starts)
            file.replace(at, 4, "\0\0\1\xBA"s);
        WriteFile(dir / "s.bin", file);
        sourceFile = OpenSourceFile(dir / "s.bin");
        SeekSource(counter = start);
        EXPECT_EQ(SeekAndLocate(mpeg_sync, limit, 0), want) << start << " " << limit;
        EXPECT_EQ(counter, after) << start << " " << limit;
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(SourceBytes(4)), 4),
                  file.substr(stream, 4))
            << stream;
        CloseSource();
    }
}

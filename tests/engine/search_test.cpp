#include <gtest/gtest.h>

#include "engine/engine.h"
#include "engine/io.h"
#include "harness.h"
#include "image/sector.h"
#include "settings/settings.h"
#include "synth.h"

using namespace std::string_literals;

static const uint8_t* U(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

TEST(SearchBoyerMoore, FirstOccurrenceAndTheSkipRule)
{
    // In X A B A A the mismatch at j = 2 skips by 2, past the occurrence at 1.
    const struct { std::string text, pattern; int32_t want; } rows[] = {{"XABAA", "ABAA", -1},
        {"\0\0\0\1\xBA"s, "\0\0\1\xBA"s, 1}, {"--AB---AB-", "AB", 2}, {"xyzABCD", "ABCD", 3}, {"ABC", "ABCD", -1},
        {"ABCABD", "ABD", 3}};
    for (const auto& r : rows)
        EXPECT_EQ(BoyerMooreSearch(U(r.text), U(r.pattern), int32_t(r.text.size()), int32_t(r.pattern.size())), r.want);
}

TEST(SearchSeekAndLocate, WindowEdgesMarginAndLimit)
{
    TempDir dir;
    ResetSettings();
    // pack starts in 20000 bytes, counter at the call, limit -> answer, counter, stream position after it
    const struct { std::vector<uint32_t> at; uint32_t start, limit; int want; uint32_t counter, stream; } rows[] = {
        {{0}, 0, 20000, 1, 0, 4995}, {{4995}, 0, 20000, 1, 4995, 4995}, {{4996}, 0, 20000, 1, 4996, 4995},
        {{4997}, 0, 20000, 1, 4997, 9990}, {{4997}, 0, 9994, 0, 4995, 4995}, {{3000}, 1000, 5999, 0, 1000, 1000},
        {{}, 1000, 6000, 0, 5995, 5995}, {{18000}, 0, 20000, 0, 18000, 19980}, {{17648}, 0, 20000, 1, 17648, 19980},
        {{100, 200}, 0, 20000, 1, 100, 4995}, {{7000}, 6000, 20000, 1, 7000, 10995}};
    for (const auto& r : rows) {
        std::string file = Filler(20000);
        for (uint32_t at : r.at) file.replace(at, 4, "\0\0\1\xBA"s);
        WriteFile(dir / "s.bin", file);
        sourceFile = OpenSourceFile(dir / "s.bin");
        SeekSource(counter = r.start);
        EXPECT_EQ(SeekAndLocate(mpeg_sync, r.limit, 0), r.want) << r.start << " " << r.limit;
        EXPECT_EQ(counter, r.counter) << r.start << " " << r.limit;
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(SourceBytes(4)), 4), file.substr(r.stream, 4)) << r.stream;
        CloseSource();
    }
}

TEST(SearchInitialSequence, WholeLayout)
{
    std::string want(INITIAL_SEQUENCE_SIZE, '\xFF');  // padding bytes unless placed below
    const std::string pack = "\0\0\1\xBA\x21\0\1"s, rate = "\x80\x1B\x91"s, padding = "\0\0\1\xBE\x08"s;
    const struct { size_t at; std::string bytes; } pieces[] = {{0, pack + "\0\x09"s + rate},  // SCR 4
        {12, "\0\0\1\xBB\0\x09"s + rate + "\x01\xE1\xFF\xE0\xE0\x2E"}, {27, padding + "\xF3\x0F"},  // 2291
        {2324, pack + "\x09\x69" + rate}, {2336, "\0\0\1\xBB\0\x09"s + rate + "\x05\xE0\xFF\xC0\xC0\x20"},
        {2351, padding + "\xDF\x0F"}, {4628, pack + "\x12\xC9" + rate}, {4640, padding + "\xFE\xFF\x0F"},
        {6948, "\0\0\1\xB9"s + pack + "\x1C\x29" + rate}, {6964, padding + "\xEA\xFF\x0F"},
        {9252, "\0\0\1\xB9"s + std::string(40, '\0')}};
    for (const auto& p : pieces)
        want.replace(p.at, p.bytes.size(), p.bytes);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(InitialCorrectionSequence()), INITIAL_SEQUENCE_SIZE), want);
}

#include <cstdio>
#include <cstring>

#include "engine/engine.h"
#include "io/io.h"
#include "settings/settings.h"

namespace {

constexpr uint32_t kWindow = 5000;
constexpr uint32_t kWindowStep = 4995;    // windows overlap by 5 bytes
constexpr int32_t kSearchedBytes = 4;     // only the first four pattern bytes are searched
constexpr uint32_t kLeastMargin = 2352;   // an occurrence must begin this far before the limit
constexpr int32_t kNothingPrinted = -127; // no percentage takes it: the first window prints

bool WindowFits(uint32_t at, uint32_t limit) { return uint64_t{at} + kWindow <= limit; }

// The first placement of `pattern` (m bytes) wholly within text[0 .. length-1], or -1. It
// looks only where the pattern's last byte stands, with memchr, which passes over long runs
// without a match (the zeros of a data track or a pregap) many times faster than the skips.
int32_t FirstOccurrence(const uint8_t* text, const uint8_t* pattern, int32_t length, int32_t m)
{
    const uint8_t* const end = text + length;
    for (const uint8_t* last = text + m - 1; last < end; ++last) {
        last = static_cast<const uint8_t*>(
            std::memchr(last, pattern[m - 1], static_cast<size_t>(end - last)));
        if (last == nullptr)
            return -1;
        if (std::memcmp(last - (m - 1), pattern, static_cast<size_t>(m - 1)) == 0)
            return static_cast<int32_t>(last - (m - 1) - text);
    }
    return -1;
}

} // namespace

uint32_t lof(std::FILE* stream)
{
    long length = -1;
    if (std::fseek(stream, 0, SEEK_END) == 0)
        length = std::ftell(stream);
    std::fseek(stream, 0, SEEK_SET);
    if (length < 0)
        Fatal("\n\nRead error: the length of the source could not be measured.\n\n");
    return static_cast<uint32_t>(length);
}

int32_t BoyerMooreSearch(const uint8_t* text, const uint8_t* pattern, int32_t length,
                         int32_t patternLength)
{
    const int32_t m = patternLength;
    if (m < 1 || m > length)
        return -1;
    // When the last byte occurs nowhere else in the pattern (both patterns of the program), no
    // skip passes over an occurrence, so the skips find just the first one.
    if (std::memchr(pattern, pattern[m - 1], static_cast<size_t>(m - 1)) == nullptr)
        return FirstOccurrence(text, pattern, length, m);
    int32_t pos = m - 1;
    while (pos < length) {
        int32_t j = m - 1;
        while (j >= 0 && pattern[j] == text[pos - m + 1 + j])
            --j;
        if (j < 0)
            return pos - m + 1;
        const uint8_t under = text[pos];
        int32_t i = j - 1;
        while (i >= 0 && pattern[i] != under)
            --i;
        pos += j - i;
    }
    return -1;
}

int SeekAndLocate(const uint8_t* pattern, uint32_t limit, int showProgress)
{
    uint32_t divisor = limit >> 20;
    if (divisor == 0)
        divisor = 1;
    int32_t lastPercent = kNothingPrinted;
    if (!WindowFits(counter, limit))
        return 0;
    for (;;) {
        const uint8_t* window = SourceBytes(kWindow);
        counter += kWindowStep;
        if (showProgress != 0) {
            const uint32_t percent = ((counter >> 20) * 100) / divisor;
            if (static_cast<int32_t>(percent) != lastPercent) {
                std::printf("\xFE %d%%\r", static_cast<int>(percent));
                std::fflush(stdout);
                lastPercent = static_cast<int32_t>(percent);
            }
        }
        SeekSource(counter);
        const int32_t found = BoyerMooreSearch(window, pattern, kWindow, kSearchedBytes);
        if (found >= 0) {
            counter = counter - kWindowStep + static_cast<uint32_t>(found);
            return uint64_t{counter} + kLeastMargin <= limit ? 1 : 0;
        }
        if (!WindowFits(counter, limit))
            return 0;
    }
}

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "image/sector.h"

// The folded and sliced EDC must give what the byte-at-a-time one gives, for every length around
// the 16-byte lanes and the 64-byte rounds, and continued from any previous piece (as a sector's
// subheader and payload are).
TEST(Edc, FastPathsAgreeWithBytewise)
{
    std::mt19937 random(2352);
    std::vector<uint8_t> bytes(3000);
    for (uint8_t& b : bytes)
        b = static_cast<uint8_t>(random());
    for (size_t length = 0; length <= bytes.size(); length += (length < 300 ? 1 : 97)) {
        const uint32_t from = static_cast<uint32_t>(random());
        EXPECT_EQ(ContinueEdc(from, bytes.data(), length),
                  ContinueEdcBytewise(from, bytes.data(), length))
            << length;
        EXPECT_EQ(ComputeEdc(bytes.data(), length), ContinueEdcBytewise(0, bytes.data(), length));
    }
}

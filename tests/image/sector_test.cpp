#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "image/sector.h"

// Addresses far beyond what the method tests reach: the carries into seconds and minutes, minute
// 10 in binary, not BCD, and the wrap of the minute byte.
TEST(SectorLayout, AddressCarries)
{
    const std::tuple<SectorAddress, uint32_t, uint16_t, std::string> cases[] = {
        {{0, 8, 12}, 30, 0, {0x00, 0x08, 0x42}},
        {{0, 8, 74}, 1, 0, {0x00, 0x09, 0x00}},
        {{0, 59, 74}, 1, 1, {0x01, 0x00, 0x00}},
        {{0, 8, 12}, 45000 - 612, 10, {0x0A, 0x00, 0x00}},
        {{255, 59, 74}, 1, 256, {0x00, 0x00, 0x00}}};
    for (const auto& [from, steps, minute, bytes] : cases) {
        SectorAddress a = from;
        for (uint32_t i = 0; i < steps; ++i)
            AdvanceAddress(a);
        uint8_t sector[RAW_SECTOR_SIZE] = {};
        PutAddress(sector, a);
        EXPECT_EQ(a.minute, minute);
        EXPECT_EQ(std::string(sector + 12, sector + 15), bytes) << from.minute << " " << steps;
    }
}

// The folded and sliced EDC must give what the byte-at-a-time one gives, for every length around
// the 16-byte lanes and the 64-byte rounds, continued from any previous piece (as a sector's
// subheader and payload are).
TEST(SectorLayout, FastEdcAgreesWithBytewise)
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
    }
}

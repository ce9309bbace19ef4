#include <gtest/gtest.h>

#include "image/sector.h"

// Addresses far beyond what the method tests reach: the carries into seconds and
// minutes, minute 10 in binary, not BCD, and the wrap of the minute byte.
TEST(SectorLayout, AddressCarries)
{
    const struct {
        SectorAddress from;
        uint32_t steps;
        uint16_t minute;
        uint8_t bytes[3];
    } cases[] = {{{0, 8, 12}, 30, 0, {0x00, 0x08, 0x42}},
                 {{0, 8, 74}, 1, 0, {0x00, 0x09, 0x00}},
                 {{0, 59, 74}, 1, 1, {0x01, 0x00, 0x00}},
                 {{0, 8, 12}, 45000 - 612, 10, {0x0A, 0x00, 0x00}},
                 {{255, 59, 74}, 1, 256, {0x00, 0x00, 0x00}}};
    for (const auto& c : cases) {
        SectorAddress a = c.from;
        for (uint32_t i = 0; i < c.steps; ++i) AdvanceAddress(a);
        uint8_t sector[RAW_SECTOR_SIZE] = {};
        PutAddress(sector, a);
        EXPECT_EQ(a.minute, c.minute);
        EXPECT_EQ(std::string(sector + 12, sector + 15), std::string(c.bytes, c.bytes + 3))
            << c.from.minute << " " << c.steps;
    }
}

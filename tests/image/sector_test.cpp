#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "image/sector.h"

using Bytes = std::vector<uint8_t>;

// Sync, address, mode 2, the subheader given twice, the data area and the EDC.
static Bytes Sector(Bytes v, const Bytes& sub, const Bytes& data, const Bytes& edc)
{
    v.insert(v.begin(), {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00});
    v.push_back(0x02);
    for (const Bytes* part : {&sub, &sub, &data, &edc})
        v.insert(v.end(), part->begin(), part->end());
    return v;
}

TEST(SectorLayout, LeadingSectorAndConstantTables)
{
    Bytes s(RAW_SECTOR_SIZE, 0xEE);
    BuildLeadingSector(s.data(), kFirstDatAddress);
    EXPECT_EQ(s, Sector({0x00, 0x08, 0x12}, {0x01, 0x00, 0x60, 0x00}, Bytes(2324), {0xAF, 0x2B, 0x17, 0xD8}));
    EXPECT_EQ(ComputeEdc(s.data() + 16, 2332), 0xD8172BAFu);
    s[1000] ^= 0x01;
    EXPECT_NE(ComputeEdc(s.data() + 16, 2332), 0xD8172BAFu);
    EXPECT_EQ(Bytes({kBcd[0], kBcd[9], kBcd[10], kBcd[74]}), Bytes({0x00, 0x09, 0x10, 0x74}));
    const char* header = "RIFF\x44\x3F\x2D\x19" "CDXAfmt \x10\0\0\0" "\0\0\0\0\x11\x11XA\x01"
                         "\0\0\0\0\0\0\0data\x20\x3F\x2D\x19";
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(vcdheader), DAT_HEADER_SIZE), std::string(header, 44));
    EXPECT_EQ(Bytes(mpeg_sync, mpeg_sync + 5), Bytes({0x00, 0x00, 0x01, 0xBA, 0x21}));
}

TEST(SectorLayout, DataSectorsAndAddressCarries)
{
    Bytes payload(FORM2_PAYLOAD_SIZE), s(RAW_SECTOR_SIZE, 0xEE);
    std::iota(payload.begin(), payload.end(), uint8_t(3));
    const struct { SectorAddress from; uint32_t steps; uint16_t minute; Bytes bytes; } cases[] = {
        {{0, 8, 12}, 30, 0, {0x00, 0x08, 0x42}}, {{0, 8, 74}, 1, 0, {0x00, 0x09, 0x00}},
        {{0, 59, 74}, 1, 1, {0x01, 0x00, 0x00}}, {{0, 8, 12}, 45000 - 612, 10, {0x0A, 0x00, 0x00}},
        {{255, 59, 74}, 1, 256, {0x00, 0x00, 0x00}},
    };
    for (const auto& c : cases) {
        SectorAddress a = c.from;
        for (uint32_t i = 0; i < c.steps; ++i)
            AdvanceAddress(a);
        BuildDataSector(s.data(), a, payload.data());
        EXPECT_EQ(a.minute, c.minute);
        EXPECT_EQ(s, Sector(c.bytes, {0x01, 0x01, 0x62, 0x0F}, payload, Bytes(4))) << c.from.minute << " " << c.steps;
    }
}

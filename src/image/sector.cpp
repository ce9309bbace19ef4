#include "image/sector.h"

#include <array>
#include <cstring>

const uint8_t vcdheader[DAT_HEADER_SIZE] = {
    'R',  'I',  'F',  'F',  0x44, 0x3F, 0x2D, 0x19, // RIFF, size 422395716
    'C',  'D',  'X',  'A',                          // form type
    'f',  'm',  't',  ' ',  0x10, 0x00, 0x00, 0x00, // format chunk of 16 bytes
    0x00, 0x00, 0x00, 0x00, 0x11, 0x11, 'X',  'A',  // XA attributes and signature
    0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, // file number 1, reserved
    'd',  'a',  't',  'a',  0x20, 0x3F, 0x2D, 0x19, // data, size 422395680
};

const uint8_t mpeg_sync[5] = {0x00, 0x00, 0x01, 0xBA, 0x21};
const uint8_t mpeg_end_code[4] = {0x00, 0x00, 0x01, 0xB9};

namespace {

constexpr std::array<uint8_t, 75> MakeBcd()
{
    std::array<uint8_t, 75> table{};
    for (int i = 0; i < 75; ++i)
        table[i] = static_cast<uint8_t>((i / 10) << 4 | (i % 10));
    return table;
}

constexpr uint8_t kSync[12] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                               0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
constexpr uint8_t kMode2 = 0x02;
constexpr uint8_t kLeadingSubheader[8] = {0x01, 0x00, 0x60, 0x00, 0x01, 0x00, 0x60, 0x00};
constexpr uint8_t kDataSubheader[8] = {0x01, 0x01, 0x62, 0x0F, 0x01, 0x01, 0x62, 0x0F};
constexpr size_t kSubheaderOffset = 16;
constexpr size_t kEdcOffset = 2348;

// Reversed form of 0x8001801B, the product of the two polynomials.
constexpr uint32_t kEdcPolynomial = 0xD8018001;

constexpr std::array<uint32_t, 256> MakeEdcTable()
{
    std::array<uint32_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t edc = i;
        for (int bit = 0; bit < 8; ++bit)
            edc = (edc >> 1) ^ ((edc & 1) ? kEdcPolynomial : 0);
        table[i] = edc;
    }
    return table;
}
constexpr std::array<uint32_t, 256> kEdcTable = MakeEdcTable();

void BuildHeader(uint8_t* sector, SectorAddress address, const uint8_t subheader[8])
{
    std::memcpy(sector, kSync, sizeof kSync);
    PutAddress(sector, address);
    sector[15] = kMode2;
    std::memcpy(sector + kSubheaderOffset, subheader, 8);
}

} // namespace

const std::array<uint8_t, 75> kBcd = MakeBcd();

void PutAddress(uint8_t* sector, SectorAddress address)
{
    sector[12] = static_cast<uint8_t>(address.minute & 0xFF);
    sector[13] = kBcd[address.second];
    sector[14] = kBcd[address.frame];
}

void BuildDataSectorHeader(uint8_t header[FORM2_PAYLOAD_OFFSET], SectorAddress address)
{
    BuildHeader(header, address, kDataSubheader);
}

void AdvanceAddress(SectorAddress& address)
{
    if (++address.frame < 75)
        return;
    address.frame = 0;
    if (++address.second < 60)
        return;
    address.second = 0;
    ++address.minute;
}

uint32_t ComputeEdc(const uint8_t* data, size_t length)
{
    uint32_t edc = 0;
    for (size_t i = 0; i < length; ++i)
        edc = (edc >> 8) ^ kEdcTable[(edc ^ data[i]) & 0xFF];
    return edc;
}

void PutLittleEndian32(uint8_t* at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<uint8_t>(value >> (8 * i));
}

void BuildLeadingSector(uint8_t sector[RAW_SECTOR_SIZE], SectorAddress address)
{
    BuildHeader(sector, address, kLeadingSubheader);
    std::memset(sector + FORM2_PAYLOAD_OFFSET, 0, FORM2_PAYLOAD_SIZE);
    const uint32_t edc = ComputeEdc(sector + kSubheaderOffset, kEdcOffset - kSubheaderOffset);
    PutLittleEndian32(sector + kEdcOffset, edc);
}

void BuildDataSector(uint8_t sector[RAW_SECTOR_SIZE], SectorAddress address,
                     const uint8_t payload[FORM2_PAYLOAD_SIZE])
{
    BuildDataSectorHeader(sector, address);
    std::memcpy(sector + FORM2_PAYLOAD_OFFSET, payload, FORM2_PAYLOAD_SIZE);
    std::memset(sector + kEdcOffset, 0, 4);
}

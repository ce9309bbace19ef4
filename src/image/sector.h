// CD sector and DAT container layouts: the raw Mode 2 sector of a Video CD,
// its running address, the EDC, the 44-byte RIFF/CDXA header of a .dat file
// and the MPEG pack start pattern by which every input is searched.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// Sector sizes the converter knows by name.
constexpr uint32_t RAW_SECTOR_SIZE = 2352;    // raw sector of a BIN, .raw or .dat
constexpr uint32_t CIF_SECTOR_SIZE = 2332;    // sector of a .cif image
constexpr uint32_t FORM2_PAYLOAD_SIZE = 2324; // Mode 2 Form 2 payload; MPEG stream unit
constexpr uint32_t MODE1_PAYLOAD_SIZE = 2048; // Mode 1 user data
constexpr uint32_t FORM2_PAYLOAD_OFFSET = 24; // where the payload starts in a raw sector
constexpr uint32_t MODE1_PAYLOAD_OFFSET = 16; // where Mode 1 user data starts in a raw sector
constexpr uint32_t MODE2_SECTOR_SIZE = 2336;  // a Mode 2 sector without sync and header

constexpr size_t DAT_HEADER_SIZE = 44;
constexpr size_t DAT_RIFF_SIZE_OFFSET = 4;  // RIFF chunk size field
constexpr size_t DAT_DATA_SIZE_OFFSET = 40; // data chunk size field
constexpr uint32_t LEADING_SECTORS = 30;    // empty sectors that open a .dat made from MPEG

// The 12 bytes that open every raw sector: 00, ten bytes FF, 00.
inline constexpr uint8_t kSectorSync[12] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                            0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
constexpr size_t SECTOR_ADDRESS_OFFSET = 12; // minute, second, frame, after the sync
constexpr size_t SECTOR_MODE_OFFSET = 15;    // the mode byte, after the address
constexpr size_t SUBHEADER_SIZE = 8;         // two copies of file, channel, submode, coding
constexpr uint8_t SUBMODE_FORM2 = 0x20;      // submode bit: Form 2 (2324 bytes of data)

// The DAT header template, written whole at the start of every .dat.
extern const uint8_t vcdheader[DAT_HEADER_SIZE];
// MPEG pack start code and the first byte of an MPEG-1 pack header.
extern const uint8_t mpeg_sync[5];
// MPEG end code (ISO 11172 end code).
extern const uint8_t mpeg_end_code[4];

// Disc positions: 75 frames (sectors) a second, and the two seconds before
// sector 0 of a disc, which is 00:02:00.
constexpr int32_t FRAMES_PER_SECOND = 75;
constexpr int32_t FRAMES_PER_MINUTE = 60 * FRAMES_PER_SECOND;
constexpr int32_t LEAD_IN_FRAMES = 2 * FRAMES_PER_SECOND;

// Binary-coded decimal of 0..74, for the second and frame bytes.
extern const std::array<uint8_t, 75> kBcd;

// Running sector address: a binary minute count (low byte written) and BCD
// second and frame. A wrapped stream's first sector is 00:08:12.
struct SectorAddress {
    uint16_t minute;
    uint8_t second; // 0..59
    uint8_t frame;  // 0..74
};
constexpr SectorAddress kFirstDatAddress{0, 8, 12};

// Advances by one frame, with the carries into seconds and minutes.
void AdvanceAddress(SectorAddress& address);

// ECMA-130 EDC over `length` bytes: CRC of polynomial
// (x^16 + x^15 + x^2 + 1)(x^16 + x^2 + x + 1), least significant bit first, from 0.
uint32_t ComputeEdc(const uint8_t* data, size_t length);
// The EDC of bytes that follow those an EDC of `edc` was computed over.
uint32_t ContinueEdc(uint32_t edc, const uint8_t* data, size_t length);
// The same, a byte at a time: the reference the fast paths are held to.
uint32_t ContinueEdcBytewise(uint32_t edc, const uint8_t* data, size_t length);

// Builds one of the 30 empty leading sectors of a .dat, EDC included.
void BuildLeadingSector(uint8_t sector[RAW_SECTOR_SIZE], SectorAddress address);

// Writes the three address bytes (12..14) of a sector.
void PutAddress(uint8_t* sector, SectorAddress address);

// Builds the 24 bytes in front of a data sector's payload: sync, address, mode
// and the data subheader.
void BuildDataSectorHeader(uint8_t header[FORM2_PAYLOAD_OFFSET], SectorAddress address);

// Builds a data sector carrying 2324 payload bytes; its EDC field stays zero.
void BuildDataSector(uint8_t sector[RAW_SECTOR_SIZE], SectorAddress address,
                     const uint8_t payload[FORM2_PAYLOAD_SIZE]);

// Stores a 32-bit value least significant byte first.
void PutLittleEndian32(uint8_t* at, uint32_t value);
// Reads a 32-bit value stored least significant byte first.
uint32_t GetLittleEndian32(const uint8_t* at);

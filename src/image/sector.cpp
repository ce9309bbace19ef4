#include "image/sector.h"

#include <array>
#include <cstring>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

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

constexpr uint8_t kMode2 = 0x02;
constexpr uint8_t kLeadingSubheader[8] = {0x01, 0x00, 0x60, 0x00, 0x01, 0x00, 0x60, 0x00};
constexpr uint8_t kDataSubheader[8] = {0x01, 0x01, 0x62, 0x0F, 0x01, 0x01, 0x62, 0x0F};
constexpr size_t kSubheaderOffset = 16;
constexpr size_t kEdcOffset = 2348;

// Reversed form of 0x8001801B, the product of the two polynomials.
constexpr uint32_t kEdcPolynomial = 0xD8018001;

// Slice-by-8: table k gives the EDC of a byte followed by k zero bytes, so
// eight bytes are folded in with eight independent look-ups.
constexpr size_t kSlices = 8;
using EdcTables = std::array<std::array<uint32_t, 256>, kSlices>;

constexpr EdcTables MakeEdcTables()
{
    EdcTables tables{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t edc = i;
        for (int bit = 0; bit < 8; ++bit)
            edc = (edc >> 1) ^ ((edc & 1) ? kEdcPolynomial : 0);
        tables[0][i] = edc;
    }
    for (size_t k = 1; k < kSlices; ++k)
        for (uint32_t i = 0; i < 256; ++i)
            tables[k][i] = (tables[k - 1][i] >> 8) ^ tables[0][tables[k - 1][i] & 0xFF];
    return tables;
}
constexpr EdcTables kEdcTables = MakeEdcTables();

uint32_t SliceBy8(uint32_t edc, const uint8_t* data, size_t length)
{
    const auto& t = kEdcTables;
    for (; length >= kSlices; data += kSlices, length -= kSlices) {
        const uint32_t low = edc ^ GetLittleEndian32(data), high = GetLittleEndian32(data + 4);
        edc = t[7][low & 0xFF] ^ t[6][(low >> 8) & 0xFF] ^ t[5][(low >> 16) & 0xFF] ^
              t[4][low >> 24] ^ t[3][high & 0xFF] ^ t[2][(high >> 8) & 0xFF] ^
              t[1][(high >> 16) & 0xFF] ^ t[0][high >> 24];
    }
    return ContinueEdcBytewise(edc, data, length);
}

#if defined(__x86_64__) && defined(__GNUC__)
// Carry-less multiplication folds 64 bytes a round with four 128-bit lanes,
// then reduces to 32 bits (Barrett). The constants follow from the polynomial:
// x^n mod P, bit-reflected, times x, for the fold distances used below.
constexpr uint64_t kEdcPoly33 = 0x18001801B; // the polynomial with its x^32 term

constexpr uint64_t XPowerModP(int n)
{
    uint64_t r = 1;
    for (int i = 0; i < n; ++i) {
        r <<= 1;
        if (r & (uint64_t{1} << 32))
            r ^= kEdcPoly33;
    }
    return r;
}

constexpr uint64_t Reflect(uint64_t value, int bits)
{
    uint64_t r = 0;
    for (int i = 0; i < bits; ++i)
        if (value & (uint64_t{1} << i))
            r |= uint64_t{1} << (bits - 1 - i);
    return r;
}

constexpr uint64_t FoldConstant(int n) { return Reflect(XPowerModP(n), 32) << 1; }

// floor(x^64 / P), bit-reflected over its 33 bits: long division, with the
// 33 dividend bits under the divisor kept in `window`.
constexpr uint64_t BarrettConstant()
{
    uint64_t quotient = 0, window = uint64_t{1} << 32;
    for (int i = 32; i >= 0; --i) {
        if (window & (uint64_t{1} << 32)) {
            quotient |= uint64_t{1} << i;
            window ^= kEdcPoly33;
        }
        window <<= 1;
    }
    return Reflect(quotient, 33);
}
static_assert(BarrettConstant() == 0x17000FFFF, "floor(x^64 / P) of the EDC polynomial");

alignas(16) constexpr uint64_t kFold4[2] = {FoldConstant(4 * 128 + 32), FoldConstant(4 * 128 - 32)};
alignas(16) constexpr uint64_t kFold1[2] = {FoldConstant(128 + 32), FoldConstant(128 - 32)};
alignas(16) constexpr uint64_t kFold64[2] = {FoldConstant(64), 0};
alignas(16) constexpr uint64_t kBarrett[2] = {Reflect(kEdcPoly33, 33), BarrettConstant()};

constexpr size_t kFoldRound = 64;

#define KORVANE_CLMUL __attribute__((target("pclmul,sse2")))

KORVANE_CLMUL inline __m128i load(const uint8_t* at)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

// x moved 128 * n bits on (by the constants k), plus `next`.
KORVANE_CLMUL inline __m128i fold(__m128i x, __m128i k, __m128i next)
{
    return _mm_xor_si128(
        _mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11)), next);
}

// For `length` a multiple of 16 and at least 64.
KORVANE_CLMUL uint32_t FoldedEdc(uint32_t edc, const uint8_t* data, size_t length)
{
    __m128i x1 = _mm_xor_si128(load(data), _mm_cvtsi32_si128(static_cast<int>(edc)));
    __m128i x2 = load(data + 16), x3 = load(data + 32), x4 = load(data + 48);
    data += kFoldRound;
    length -= kFoldRound;
    __m128i k = _mm_load_si128(reinterpret_cast<const __m128i*>(kFold4));
    for (; length >= kFoldRound; data += kFoldRound, length -= kFoldRound) {
        x1 = fold(x1, k, load(data));
        x2 = fold(x2, k, load(data + 16));
        x3 = fold(x3, k, load(data + 32));
        x4 = fold(x4, k, load(data + 48));
    }
    k = _mm_load_si128(reinterpret_cast<const __m128i*>(kFold1));
    x1 = fold(fold(fold(x1, k, x2), k, x3), k, x4);
    for (; length >= 16; data += 16, length -= 16)
        x1 = fold(x1, k, load(data));
    // 128 bits to 64, then to 32 plus the 32 bits still to reduce.
    const __m128i mask32 = _mm_setr_epi32(-1, 0, -1, 0);
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), _mm_clmulepi64_si128(x1, k, 0x10));
    const __m128i k64 = _mm_load_si128(reinterpret_cast<const __m128i*>(kFold64));
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 4),
                       _mm_clmulepi64_si128(_mm_and_si128(x1, mask32), k64, 0x00));
    const __m128i barrett = _mm_load_si128(reinterpret_cast<const __m128i*>(kBarrett));
    __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x1, mask32), barrett, 0x10);
    t = _mm_clmulepi64_si128(_mm_and_si128(t, mask32), barrett, 0x00);
    x1 = _mm_xor_si128(x1, t);
    return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(x1, 4)));
}

bool HasCarrylessMultiply()
{
    static const bool has = __builtin_cpu_supports("pclmul");
    return has;
}
#endif

void BuildHeader(uint8_t* sector, SectorAddress address, const uint8_t subheader[8])
{
    std::memcpy(sector, kSectorSync, sizeof kSectorSync);
    PutAddress(sector, address);
    sector[SECTOR_MODE_OFFSET] = kMode2;
    std::memcpy(sector + kSubheaderOffset, subheader, 8);
}

} // namespace

const std::array<uint8_t, 75> kBcd = MakeBcd();

void PutAddress(uint8_t* sector, SectorAddress address)
{
    uint8_t* at = sector + SECTOR_ADDRESS_OFFSET;
    at[0] = static_cast<uint8_t>(address.minute & 0xFF);
    at[1] = kBcd[address.second];
    at[2] = kBcd[address.frame];
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

uint32_t ComputeEdc(const uint8_t* data, size_t length) { return ContinueEdc(0, data, length); }

uint32_t ContinueEdcBytewise(uint32_t edc, const uint8_t* data, size_t length)
{
    for (size_t i = 0; i < length; ++i)
        edc = (edc >> 8) ^ kEdcTables[0][(edc ^ data[i]) & 0xFF];
    return edc;
}

uint32_t ContinueEdc(uint32_t edc, const uint8_t* data, size_t length)
{
#if defined(__x86_64__) && defined(__GNUC__)
    if (length >= kFoldRound && HasCarrylessMultiply()) {
        const size_t folded = length / 16 * 16;
        edc = FoldedEdc(edc, data, folded);
        data += folded;
        length -= folded;
    }
#endif
    return SliceBy8(edc, data, length);
}

void PutLittleEndian32(uint8_t* at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t GetLittleEndian32(const uint8_t* at)
{
    return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
           static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24;
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

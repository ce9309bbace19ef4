#include "synth.h"

#include <cstring>

#include "image/sector.h"

std::string Filler(size_t length, unsigned seed)
{
    std::string bytes(length, '\0');
    uint32_t state = seed * 2654435761u + 12345u;
    for (size_t i = 0; i < length; ++i) {
        state = state * 1103515245u + 12345u;
        // 0x02..0xF1: never 00 or 01, so no start code can form.
        bytes[i] = static_cast<char>(0x02 + (state >> 16) % 0xF0);
    }
    return bytes;
}

std::string MpegBlocks(size_t count, unsigned seed)
{
    std::string stream;
    for (size_t b = 0; b < count; ++b) {
        std::string block = Filler(kPack, seed * 7919u + static_cast<unsigned>(b));
        const char header[] = {0x00, 0x00, 0x01, static_cast<char>(0xBA), 0x21};
        std::memcpy(&block[0], header, sizeof header);
        for (size_t i = 48; i < 64; ++i)
            block[i] = static_cast<char>(0xFF);
        stream += block;
    }
    return stream;
}

namespace {

std::string SectorHeader(uint32_t frame, const char subheader[8])
{
    std::string h(24, '\0');
    for (int i = 1; i <= 10; ++i)
        h[i] = static_cast<char>(0xFF);
    const uint32_t f = frame + 150;  // CD addresses count the 2-second lead-in
    h[12] = static_cast<char>(kBcd[f / 4500 % 75]);
    h[13] = static_cast<char>(kBcd[f / 75 % 60]);
    h[14] = static_cast<char>(kBcd[f % 75]);
    h[15] = 0x02;
    std::memcpy(&h[16], subheader, 8);
    return h;
}

}  // namespace

std::string RawSectors(const std::string& payload, uint32_t firstFrame)
{
    const char sub[8] = {0x01, 0x01, 0x62, 0x0F, 0x01, 0x01, 0x62, 0x0F};
    std::string image;
    for (size_t at = 0, n = 0; at < payload.size(); at += kPack, ++n) {
        std::string data = payload.substr(at, kPack);
        data.resize(kPack, '\0');
        image += SectorHeader(firstFrame + static_cast<uint32_t>(n), sub);
        image += data;
        image += Filler(4, static_cast<unsigned>(n) + 99);
    }
    return image;
}

std::string CifSectors(const std::string& payload)
{
    std::string image;
    for (size_t at = 0; at < payload.size(); at += kPack) {
        std::string data = payload.substr(at, kPack);
        data.resize(kPack, '\0');
        image += Filler(8, static_cast<unsigned>(at));
        image += data;
    }
    return image;
}

std::string Mode1Sectors(const std::string& payload)
{
    std::string image;
    for (size_t at = 0, n = 0; at < payload.size(); at += 2048, ++n) {
        std::string sector(16, '\0');
        for (int i = 1; i <= 10; ++i)
            sector[i] = static_cast<char>(0xFF);
        sector[15] = 0x01;
        std::string data = payload.substr(at, 2048);
        data.resize(2048, '\0');
        sector += data;
        sector += Filler(288, static_cast<unsigned>(n));
        image += sector;
    }
    return image;
}

std::string DatHeaderTemplate()
{
    return std::string(reinterpret_cast<const char*>(vcdheader), DAT_HEADER_SIZE);
}

std::string DatFile(const std::string& rawSectors)
{
    return DatHeaderTemplate() + rawSectors;
}

std::string Unwrap(const std::string& image, size_t offset, size_t stride, size_t keep)
{
    std::string out;
    for (size_t at = offset; at + stride <= image.size(); at += stride)
        out += image.substr(at, keep);
    return out;
}

#include "synth.h"

#include <fstream>
#include <stdexcept>

std::string Filler(size_t length, unsigned seed)
{
    std::string bytes(length, '\0');
    uint32_t state = seed * 2654435761u + 12345u;
    for (char& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<char>(0x02 + (state >> 16) % 0xF0); // 0x02..0xF1: never 00 or 01
    }
    return bytes;
}

std::string MpegBlocks(size_t count, unsigned seed)
{
    std::string stream;
    for (unsigned b = 0; b < count; ++b)
        stream += Filler(kPack, seed * 7919u + b)
                      .replace(0, 5, "\0\0\1\xBA\x21", 5)
                      .replace(48, 16, 16, '\xFF');
    return stream;
}

namespace {

// `payload` in pieces of `size` bytes (the last one zero-padded), the n-th between head(n) and
// tail(n).
template <class Head, class Tail>
std::string Wrap(const std::string& payload, size_t size, Head head, Tail tail)
{
    std::string image;
    for (unsigned n = 0; n * size < payload.size(); ++n) {
        std::string piece = payload.substr(n * size, size);
        image += head(n) + piece.append(size - piece.size(), '\0') + tail(n);
    }
    return image;
}

// Sync, the address of `frame` (CD addresses count the 2-second lead-in), the mode, and a Mode 2
// sector's subheader twice.
std::string Header(uint32_t frame, int mode, const std::string& subheader)
{
    const auto bcd = [](uint32_t v) { return static_cast<char>(v / 10 << 4 | v % 10); };
    frame += 150;
    return std::string("\0\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\0", 12) + bcd(frame / 4500) +
           bcd(frame / 75 % 60) + bcd(frame % 75) + static_cast<char>(mode) + subheader + subheader;
}

const std::string kForm2Video("\x01\x01\x62\x0F", 4); // file 1, channel 1, Form 2 video

} // namespace

std::string RawSectors(const std::string& payload, uint32_t firstFrame, int mode)
{
    return Wrap(
        payload, mode == 2 ? kPack : 2048,
        [&](uint32_t n) { return Header(firstFrame + n, mode, mode == 2 ? kForm2Video : ""); },
        [&](uint32_t n) { return Filler(mode == 2 ? 4 : 288, n + 99); });
}

std::string DatSectors(const std::string& stream)
{
    const std::string empty("\x01\0\x60\0", 4);
    return Wrap(
               std::string(30 * kPack, '\0'), kPack,
               [&](uint32_t n) { return Header(462 + n, 2, empty); },
               [](uint32_t) { return std::string("\xAF\x2B\x17\xD8"); }) +
           Wrap(
               stream, kPack, [&](uint32_t n) { return Header(492 + n, 2, kForm2Video); },
               [](uint32_t) { return std::string(4, '\0'); });
}

std::string Placed(std::string bytes, const std::vector<std::pair<size_t, std::string>>& pieces)
{
    for (const auto& [at, piece] : pieces)
        bytes.replace(at, piece.size(), piece);
    return bytes;
}

std::string Repeated(const std::string& unit, size_t length)
{
    std::string bytes;
    while (bytes.size() < length)
        bytes += unit;
    return bytes.substr(0, length);
}

std::string Sheet(const std::string& bin, const std::vector<std::string>& starts,
                  const std::string& mode)
{
    std::string sheet = "FILE " + bin + " BINARY\n";
    for (size_t t = 0; t < starts.size(); ++t)
        sheet += "TRACK 0" + std::to_string(t + 1) + " " + mode + "\nINDEX 01 " + starts[t] + "\n";
    return sheet;
}

std::string CifSectors(const std::string& payload)
{
    return Wrap(
        payload, kPack, [](unsigned) { return std::string("\x01\x01\x62\x0F\x01\x01\x62\x0F"); },
        [](unsigned) { return ""; });
}

std::string DatFile(const std::string& rawSectors)
{
    std::string dat("RIFF....CDXAfmt \x10\0\0\0\0\0\0\0\x11\x11XA\x01\0\0\0\0\0\0\0data....", 44);
    for (const size_t at : {4, 40}) // each size counts the bytes after it
        for (size_t i = 0; i < 4; ++i)
            dat[at + i] = static_cast<char>((rawSectors.size() + 40 - at) >> 8 * i);
    return dat + rawSectors;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const std::string& bytes)
{
    if (!std::ofstream(path, std::ios::binary)
             .write(bytes.data(), static_cast<std::streamsize>(bytes.size())))
        throw std::runtime_error("could not write " + path);
}

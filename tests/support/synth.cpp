#include "synth.h"

#include <cstdio>
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
char Bcd(unsigned value) { return static_cast<char>(value / 10 << 4 | value % 10); }

std::string Header(uint32_t frame, int mode, const std::string& subheader)
{
    frame += 150;
    return std::string("\0\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\0", 12) + Bcd(frame / 4500) +
           Bcd(frame / 75 % 60) + Bcd(frame % 75) + static_cast<char>(mode) + subheader + subheader;
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
        payload, kPack, [](unsigned) { return kForm2Video + kForm2Video; },
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

namespace {

std::string BigEndian(uint64_t value, int bytes)
{
    std::string out;
    for (int i = bytes - 1; i >= 0; --i)
        out += static_cast<char>(value >> 8 * i);
    return out;
}

std::string NrgChunk(const char* id, const std::string& payload)
{
    return std::string(id, 4) + BigEndian(payload.size(), 4) + payload;
}

// The sector data, the chunks and END!, then the footer that points at the first chunk.
std::string NrgFile(const std::string& image, const std::string& chunks, bool v2)
{
    return image + chunks + NrgChunk("END!", "") +
           (v2 ? "NER5" + BigEndian(image.size(), 8) : "NERO" + BigEndian(image.size(), 4));
}

// `raw` 2352-byte sectors as stored in `sector`-byte ones (2336: without sync and header).
std::string Stored(const std::string& raw, size_t sector)
{
    std::string out;
    for (size_t at = 0; at < raw.size(); at += kRaw)
        out += raw.substr(at + kRaw - sector, sector);
    return out;
}

} // namespace

std::string NrgDao(const std::vector<DiscTrack>& tracks, bool v2, size_t sector)
{
    std::string image, cue, dao;
    const int w = v2 ? 8 : 4;
    // A cue entry at the image's end `f` sectors from the lead-in: a signed LBA (v2) or BCD MSF.
    const auto cueEntry = [&](char track, char index) {
        const uint64_t f = image.size() / sector;
        cue += std::string{'\x41', track, index, '\0'} +
               (v2 ? BigEndian(f - 150, 4)
                   : std::string{'\0', Bcd(f / 4500), Bcd(f / 75 % 60), Bcd(f % 75)});
    };
    cueEntry(0, 0);
    for (size_t t = 0; t < tracks.size(); ++t) {
        const uint64_t index0 = image.size();
        cueEntry(Bcd(t + 1), 0);
        image += Stored(t == 0 ? std::string(150 * kRaw, '\0') : tracks[t].pregap, sector);
        const uint64_t index1 = image.size();
        cueEntry(Bcd(t + 1), 1);
        image += Stored(tracks[t].data, sector);
        dao += std::string(12, '\0') + BigEndian(sector, 2) + (sector == kRaw ? '\x06' : '\x03') +
               std::string("\0\0\1", 3) + BigEndian(index0, w) + BigEndian(index1, w) +
               BigEndian(image.size(), w);
    }
    cueEntry('\xAA', 1);
    dao = BigEndian(dao.size() + 22, 4) + std::string(14, '\0') + "\x20\x01\x01" +
          static_cast<char>(tracks.size()) + dao;
    return NrgFile(image,
                   NrgChunk(v2 ? "CUEX" : "CUES", cue) + NrgChunk(v2 ? "DAOX" : "DAOI", dao) +
                       NrgChunk("SINF", BigEndian(1, 4)) + NrgChunk("MTYP", BigEndian(1, 4)),
                   v2);
}

std::string NrgTao(const std::vector<DiscTrack>& tracks, bool v2)
{
    std::string image, etn;
    const int w = v2 ? 8 : 4;
    for (const DiscTrack& track : tracks) { // positions counted without the gaps, as most do
        etn += BigEndian(image.size(), w) + BigEndian(track.data.size(), w) + BigEndian(6, 4) +
               BigEndian(image.size() / kRaw, 4) + BigEndian(0, 4) +
               (v2 ? BigEndian(track.data.size() / kRaw, 4) : "");
        image += track.data;
    }
    return NrgFile(
        image, NrgChunk(v2 ? "ETN2" : "ETNF", etn) + NrgChunk("SINF", BigEndian(tracks.size(), 4)),
        v2);
}

std::string CcdSheet(const std::vector<DiscTrack>& tracks)
{
    const auto entry = [](unsigned n, unsigned point, unsigned lba) {
        char text[400];
        std::snprintf(text, sizeof text,
                      "[Entry %u]\r\nSession=1\r\nPoint=0x%02x\r\nADR=0x01\r\nControl=0x04\r\n"
                      "TrackNo=0\r\nAMin=0\r\nASec=0\r\nAFrame=0\r\nALBA=-150\r\nZero=0\r\n"
                      "PMin=%u\r\nPSec=%u\r\nPFrame=%u\r\nPLBA=%u\r\n",
                      n, point, (lba + 150) / 4500, (lba + 150) / 75 % 60, (lba + 150) % 75, lba);
        return std::string(text);
    };
    std::string points, sections; // the tracks' entries (after the three of the disc) and sections
    unsigned at = 0, count = static_cast<unsigned>(tracks.size());
    for (unsigned t = 0; t < count; ++t) {
        const unsigned index1 = at + tracks[t].pregap.size() / kRaw;
        points += entry(t + 3, t + 1, index1);
        sections += "[TRACK " + std::to_string(t + 1) + "]\r\nMODE=2\r\n" +
                    (t == 0 ? "" : "INDEX 0=" + std::to_string(at) + "\r\n") +
                    "INDEX 1=" + std::to_string(index1) + "\r\n";
        at = index1 + tracks[t].data.size() / kRaw;
    }
    // First track 1 on a CD-ROM XA disc, the last track, the lead-out.
    return "[CloneCD]\r\nVersion=3\r\n[Disc]\r\nTocEntries=" + std::to_string(count + 3) +
           "\r\nSessions=1\r\nDataTracksScrambled=0\r\nCDTextLength=0\r\n[Session 1]\r\n"
           "PreGapMode=2\r\nPreGapSubC=0\r\n" +
           entry(0, 0xa0, (1 * 60 + 32) * 75 - 150) + entry(1, 0xa1, count * 4500 - 150) +
           entry(2, 0xa2, at) + points + sections;
}

std::vector<DiscTrack> SplitDisc(const std::string& bin,
                                 const std::vector<std::pair<size_t, size_t>>& starts)
{
    std::vector<DiscTrack> tracks;
    for (size_t t = 0; t < starts.size(); ++t) {
        const size_t end = t + 1 < starts.size() ? starts[t + 1].first * kRaw : bin.size();
        const auto [pregap, index1] = starts[t];
        tracks.push_back({bin.substr(pregap * kRaw, (index1 - pregap) * kRaw),
                          bin.substr(index1 * kRaw, end - index1 * kRaw)});
    }
    return tracks;
}

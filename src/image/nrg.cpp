// Nero NRG images: sector data first, then a list of chunks that the footer
// points to. A disc-at-once image gives each track's byte offsets in its DAO
// chunk (track 1's 150 lead-in sectors are stored first); a track-at-once image
// gives each track's offset and length, and its pregaps are in no file.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "image/cue.h"
#include "image/sector.h"
#include "io/io.h"
#include "settings/settings.h"

namespace {

constexpr const char* kKind = "Nero NRG";
constexpr size_t kLargestChunkList = size_t{1} << 20; // a real one is a few hundred bytes
constexpr int kMostChunks = 4096;
constexpr size_t kChunkHead = 8; // id and payload length
constexpr size_t kDaoHead = 22;
constexpr size_t kCueEntry = 8;
constexpr uint32_t kGapSectors = 150; // before each track-at-once track but the first
constexpr int kLastTrack = 99;

struct Layout {
    bool v2;             // NER5: 64-bit offsets and LBA cue entries
    uint64_t firstChunk; // where the chunk list starts: the end of the sector data
};

struct NrgTrack {
    uint32_t sectorSize = 0;
    int16_t mode = 2; // what the sector headers say: 1 or 2, or kAudioMode
    uint64_t index0 = 0, index1 = 0, end = 0;
    bool hasCue0 = false, hasCue1 = false;
    int64_t lba0 = 0, lba1 = 0;
    std::vector<int64_t> extraLbas; // indexes 02.. from the cue chunk
};

[[noreturn]] void Malformed(const std::string& fault) { RefuseImage(kKind, fault); }

uint64_t BigEndian(const uint8_t* at, size_t bytes)
{
    uint64_t value = 0;
    for (size_t i = 0; i < bytes; ++i)
        value = value << 8 | at[i];
    return value;
}

// The sector mode of a mode code: the Mode 1 codes give 1, the audio ones kAudioMode, all others 2.
int16_t SectorMode(uint8_t code)
{
    if (code == 0x07 || code == 0x10)
        return kAudioMode;
    return code == 0x00 || code == 0x05 || code == 0x0F ? 1 : 2;
}

// Bytes per stored sector for a mode code; 0 for a code that is not known.
uint32_t ModeSectorSize(uint8_t mode)
{
    switch (mode) {
    case 0x00:
    case 0x02:
        return 2048;
    case 0x03:
        return 2336;
    case 0x05:
    case 0x06:
    case 0x07:
    case 0x08:
        return 2352;
    case 0x0F:
    case 0x10:
    case 0x11:
        return 2448;
    default:
        return 0;
    }
}

int FromBcd(uint8_t byte, const char* what)
{
    if ((byte >> 4) > 9 || (byte & 0x0F) > 9)
        Malformed(std::string("a cue entry whose ") + what + " is not a decimal (BCD) number");
    return (byte >> 4) * 10 + (byte & 0x0F);
}

std::string TrackName(size_t t) { return "track " + std::to_string(t + 1); }

class NrgReader {
public:
    NrgReader(const std::string& path, uint32_t length) : path_(path), length_(length) {}

    void Read()
    {
        ReadFooter();
        WalkChunks();
        if (dao_ == nullptr && tao_ == nullptr)
            Malformed("no DAO and no track-at-once chunk: no track is described");
        const int16_t file = AddImageFile(path_, length_);
        if (dao_ != nullptr)
            PlaceDao(file);
        else
            PlaceTao(file);
    }

private:
    void ReadFooter()
    {
        if (length_ < 12)
            Malformed("shorter than its 12-byte footer");
        uint8_t tail[12];
        if (ReadFileBytes(path_, length_ - 12, tail, sizeof tail) != sizeof tail)
            Malformed("its footer could not be read");
        uint64_t footer = 0;
        if (std::memcmp(tail, "NER5", 4) == 0) {
            layout_ = Layout{true, BigEndian(tail + 4, 8)};
            footer = length_ - 12;
        } else if (std::memcmp(tail + 4, "NERO", 4) == 0) {
            layout_ = Layout{false, BigEndian(tail + 8, 4)};
            footer = length_ - 8;
        } else {
            Malformed("neither footer (NER5 or NERO)");
        }
        if (layout_.firstChunk >= footer)
            Malformed("its footer points at " + std::to_string(layout_.firstChunk) +
                      ", at or past the footer itself");
        if (footer - layout_.firstChunk > kLargestChunkList)
            Malformed("a chunk list larger than 1 MiB");
        list_.resize(static_cast<size_t>(footer - layout_.firstChunk));
        if (ReadFileBytes(path_, layout_.firstChunk, list_.data(), list_.size()) != list_.size())
            Malformed("its chunk list could not be read");
    }

    void WalkChunks()
    {
        size_t at = 0;
        for (int count = 0;; ++count) {
            if (count == kMostChunks)
                Malformed("more than 4096 chunks");
            if (list_.size() - at < kChunkHead)
                Malformed("a chunk list without END!");
            const uint8_t* head = &list_[at];
            const uint64_t length = BigEndian(head + 4, 4);
            if (length > list_.size() - at - kChunkHead)
                Malformed(std::string("a chunk ") +
                          std::string(reinterpret_cast<const char*>(head), 4) +
                          " that runs past the footer");
            const uint8_t* payload = head + kChunkHead;
            at += kChunkHead + static_cast<size_t>(length);
            if (std::memcmp(head, "END!", 4) == 0)
                return;
            Chunk(head, payload, static_cast<size_t>(length));
        }
    }

    void Chunk(const uint8_t* id, const uint8_t* payload, size_t length)
    {
        const auto is = [&](const char* name) { return std::memcmp(id, name, 4) == 0; };
        if (is("SINF") && ++sessions_ > 1)
            Malformed("more than one session; a Video CD has one");
        if (is("DAOI") || is("DAOX") || is("ETNF") || is("ETN2") || is("TINF")) {
            if (dao_ != nullptr || tao_ != nullptr)
                Malformed("more than one track list (a second session?); a Video CD has one");
            (is("DAOI") || is("DAOX") ? dao_ : tao_) = payload;
            layoutLength_ = length;
            taoEntry_ = is("ETNF") ? 20 : is("ETN2") ? 32 : 12;
            daoWide_ = is("DAOX");
        }
        if (is("CUES") || is("CUEX")) {
            if (cue_ != nullptr)
                Malformed("more than one cue chunk (a second session?); a Video CD has one");
            cue_ = payload;
            cueLength_ = length;
            cueLba_ = is("CUEX");
        }
    }

    void ReadDaoEntries()
    {
        const size_t entry = daoWide_ ? 42 : 30, offset = daoWide_ ? 8 : 4;
        if (layoutLength_ < kDaoHead || (layoutLength_ - kDaoHead) % entry != 0)
            Malformed("a DAO chunk of " + std::to_string(layoutLength_) +
                      " bytes, not a 22-byte head and whole track entries");
        const int first = dao_[20], last = dao_[21];
        const size_t count = (layoutLength_ - kDaoHead) / entry;
        if (first < 1 || first > last || last > kLastTrack)
            Malformed("a DAO chunk for tracks " + std::to_string(first) + " to " +
                      std::to_string(last));
        if (count != static_cast<size_t>(last - first + 1))
            Malformed("a DAO chunk with " + std::to_string(count) + " entries for tracks " +
                      std::to_string(first) + " to " + std::to_string(last));
        for (size_t t = 0; t < count; ++t) {
            const uint8_t* e = dao_ + kDaoHead + t * entry;
            NrgTrack track;
            track.sectorSize = static_cast<uint32_t>(BigEndian(e + 12, 2));
            const uint8_t mode = e[14];
            track.mode = SectorMode(mode);
            track.index0 = BigEndian(e + 18, offset);
            track.index1 = BigEndian(e + 18 + offset, offset);
            track.end = BigEndian(e + 18 + 2 * offset, offset);
            const uint32_t size = track.sectorSize;
            if (size != 2048 && size != 2336 && size != 2352 && size != 2448)
                Malformed(TrackName(t) + " has sectors of " + std::to_string(size) + " bytes");
            if (ModeSectorSize(mode) == 0)
                Malformed(TrackName(t) + " has the unknown mode code " + std::to_string(mode));
            if (!(track.index0 <= track.index1 && track.index1 <= track.end &&
                  track.end <= layout_.firstChunk))
                Malformed(TrackName(t) + " has offsets out of order or past the sector data");
            if ((track.index1 - track.index0) % size != 0 || (track.end - track.index1) % size != 0)
                Malformed(TrackName(t) + " is not a whole number of its " + std::to_string(size) +
                          "-byte sectors");
            if (t > 0 && track.index0 < tracks_.back().end)
                Malformed(TrackName(t) + " overlaps the track before it or goes backwards");
            tracks_.push_back(track);
        }
        firstTrack_ = first;
    }

    // The cue chunk confirms the pregaps and gives indexes past 01.
    void ReadCue()
    {
        if (cue_ == nullptr)
            return;
        if (cueLength_ % kCueEntry != 0)
            Malformed("a cue chunk that is not whole 8-byte entries");
        int64_t previous = INT64_MIN;
        for (size_t i = 0; i < cueLength_ / kCueEntry; ++i) {
            const uint8_t* e = cue_ + i * kCueEntry;
            int64_t lba;
            if (cueLba_) {
                lba = static_cast<int32_t>(static_cast<uint32_t>(BigEndian(e + 4, 4)));
            } else {
                const int m = FromBcd(e[5], "minute"), s = FromBcd(e[6], "second"),
                          f = FromBcd(e[7], "frame");
                lba = (m * 60 + s) * FRAMES_PER_SECOND + f - LEAD_IN_FRAMES;
            }
            if (lba < previous)
                Malformed("cue entries whose positions go backwards");
            previous = lba;
            if (e[1] == 0x00 || e[1] == 0xAA)
                continue; // lead-in, lead-out
            const int number = FromBcd(e[1], "track"), index = FromBcd(e[2], "index");
            const int t = number - firstTrack_;
            if (t < 0 || static_cast<size_t>(t) >= tracks_.size())
                Malformed("a cue entry for track " + std::to_string(number) +
                          ", which the DAO chunk does not have");
            NrgTrack& track = tracks_[static_cast<size_t>(t)];
            if (index == 0) {
                track.hasCue0 = true;
                track.lba0 = lba;
            } else if (index == 1) {
                track.hasCue1 = true;
                track.lba1 = lba;
            } else if (track.hasCue1) {
                track.extraLbas.push_back(lba);
            } else {
                Malformed("a cue entry for an index of track " + std::to_string(number) +
                          " before its index 01");
            }
        }
        for (size_t t = 0; t < tracks_.size(); ++t) {
            const NrgTrack& track = tracks_[t];
            const uint64_t pregap = (track.index1 - track.index0) / track.sectorSize;
            if (track.hasCue0 && track.hasCue1 &&
                static_cast<int64_t>(pregap) != track.lba1 - track.lba0)
                Malformed("the cue chunk and the DAO chunk disagree on the pregap of " +
                          TrackName(t));
            for (const int64_t lba : track.extraLbas) {
                const int64_t into = (lba - track.lba1) * track.sectorSize;
                if (into <= 0 || static_cast<uint64_t>(into) >= track.end - track.index1)
                    Malformed("an index of " + TrackName(t) + " outside the track");
            }
        }
    }

    static uint32_t Offset(uint64_t value) { return static_cast<uint32_t>(value); }

    void PlaceDao(int16_t file)
    {
        ReadDaoEntries();
        ReadCue();
        int64_t lba = 0;
        const auto add = [&](uint64_t from, uint64_t to, uint32_t size, int16_t mode) {
            AddRecord(file, Offset(from), Offset(to), static_cast<int32_t>(size), lba, mode);
            lba += static_cast<int64_t>((to - from) / size);
        };
        for (size_t t = 0; t < tracks_.size(); ++t) {
            NrgTrack& track = tracks_[t];
            track.mode = HeaderMode(file, track.index1, track.sectorSize, track.mode);
            // Track 1's index 00 is the lead-in before 00:02:00, which a BIN doesn't hold either.
            if (t > 0 && track.index1 > track.index0)
                add(track.index0, track.index1, track.sectorSize, track.mode);
            uint64_t from = track.index1;
            for (const int64_t extra : track.extraLbas) {
                const uint64_t at =
                    track.index1 + static_cast<uint64_t>(extra - track.lba1) * track.sectorSize;
                if (at > from) {
                    add(from, at, track.sectorSize, track.mode);
                    from = at;
                }
            }
            add(from, track.end, track.sectorSize, track.mode);
        }
    }

    void PlaceTao(int16_t file)
    {
        const size_t entry = taoEntry_, wide = entry == 32 ? 8 : 4;
        if (layoutLength_ == 0 || layoutLength_ % entry != 0)
            Malformed("a track-at-once chunk that is not whole track entries");
        const size_t count = layoutLength_ / entry;
        if (count > static_cast<size_t>(kLastTrack))
            Malformed("more than 99 tracks");
        int64_t lba = 0;
        uint64_t previousEnd = 0;
        for (size_t t = 0; t < count; ++t) {
            const uint8_t* e = tao_ + t * entry;
            const uint64_t offset = BigEndian(e, wide), length = BigEndian(e + wide, wide);
            const uint8_t mode = e[2 * wide + 3];
            const uint32_t size = ModeSectorSize(mode);
            if (size == 0)
                Malformed(TrackName(t) + " has the unknown mode code " + std::to_string(mode));
            if (offset > layout_.firstChunk || length > layout_.firstChunk - offset)
                Malformed(TrackName(t) + " runs past the sector data into the chunk list");
            if (offset < previousEnd)
                Malformed(TrackName(t) + " overlaps the track before it or goes backwards");
            if (length % size != 0)
                Malformed(TrackName(t) + " is not a whole number of its " + std::to_string(size) +
                          "-byte sectors");
            const int16_t sectorMode = HeaderMode(file, offset, size, SectorMode(mode));
            // Every track after the first follows a 150-sector gap that was never stored.
            if (t > 0) {
                AddRecord(file, 0, 0, static_cast<int32_t>(size), lba, sectorMode);
                lba += kGapSectors;
            }
            AddRecord(file, Offset(offset), Offset(offset + length), static_cast<int32_t>(size),
                      lba, sectorMode);
            lba += static_cast<int64_t>(length / size);
            previousEnd = offset + length;
        }
    }

    const std::string& path_;
    uint32_t length_;
    Layout layout_{};
    std::vector<uint8_t> list_;
    const uint8_t* dao_ = nullptr;
    const uint8_t* tao_ = nullptr;
    const uint8_t* cue_ = nullptr;
    size_t layoutLength_ = 0, cueLength_ = 0, taoEntry_ = 0;
    bool daoWide_ = false, cueLba_ = false;
    int sessions_ = 0;
    int firstTrack_ = 1;
    std::vector<NrgTrack> tracks_;
};

} // namespace

void ReadNRGImage()
{
    uint32_t length = 0;
    if (!MeasureSourceFile(*source, length))
        RefuseUnopenedSource();
    NrgReader(*source, length).Read();
}

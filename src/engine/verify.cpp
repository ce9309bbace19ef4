// -verify: every source sector of a transfer's range is checked while the
// transfer reads it, without touching a byte of the output.
//
// The checks follow the source on its own sector grid, whatever the steps of
// the transfer are: an unwrapping step starts at a payload, so a sector's
// header comes from the tail of the step before (kept in `staged`), and bytes
// that the repairs pass over (a bumper, a block they resynchronise past) are
// read for the checks alone. Each sector also notes which output bytes it went
// into, so that a damaged one can be found in the converted file.
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "engine/engine.h"
#include "engine/transfer.h"
#include "image/cue.h"
#include "image/sector.h"
#include "io/io.h"
#include "settings/settings.h"

namespace {

enum Fault : unsigned {
    kNoSync = 1,
    kBadAddress = 2,
    kBadMode = 4,
    kSubheaderMismatch = 8,
    kBadEdc = 16,
};
constexpr const char* kFaultNames[] = {"no sync", "bad address", "bad mode", "subheader mismatch",
                                       "bad EDC"};

// What a sector of each size carries. `head` bytes come before the payload:
// an unwrapping step starts right after them.
struct SectorLayout {
    uint32_t size;
    uint32_t head;
    bool hasHeader; // sync, address and mode
    bool hasEdc;    // a Mode 2 EDC after the data
};
constexpr SectorLayout kRawMode2{RAW_SECTOR_SIZE, FORM2_PAYLOAD_OFFSET, true, true};
constexpr SectorLayout kRawMode1{RAW_SECTOR_SIZE, MODE1_PAYLOAD_OFFSET, true, false};
constexpr SectorLayout kMode2NoHeader{MODE2_SECTOR_SIZE, SUBHEADER_SIZE, false, true};
constexpr SectorLayout kCif{CIF_SECTOR_SIZE, SUBHEADER_SIZE, false, false};

constexpr uint32_t kRunLines = 10;
constexpr int32_t kUnknown = -1;

// Consecutive damaged sectors.
struct Run {
    uint32_t firstSector, lastSector;
    int32_t firstAddress, lastAddress; // frames, or kUnknown until a header tells
    unsigned faults;
    bool written;
    uint64_t outFirst, outLast;
};

struct Verify {
    bool active;
    SectorLayout layout;
    uint8_t mode;
    int track;      // the CUE record, or -1
    int32_t origin; // the disc address of the source's sector 0, for sectors without a header
    uint32_t next;  // the next source byte the checks need
    uint32_t end;   // end of the last whole sector of the range
    uint8_t staged[RAW_SECTOR_SIZE];
    uint32_t stagedLength; // bytes of the sector being gathered
    bool written;          // where the sector being gathered went
    uint64_t outFirst, outLast;
    int32_t expected; // the address the next sector should carry
    uint32_t checked, damaged, runCount;
    Run runs[kRunLines];
    Run current;
    bool inRun;
};
Verify v;

int nextTrack = -1;
uint8_t nextMode = 2;
int32_t nextFirstFrame = 0; // the record's disc position, in frames from 00:02:00
uint32_t nextFirstOffset = 0;

bool BcdValue(uint8_t byte, int limit, int& value)
{
    const int high = byte >> 4, low = byte & 0x0F;
    value = high * 10 + low;
    return high <= 9 && low <= 9 && value < limit;
}

// The address in frames, or kUnknown when it does not parse. A .dat that
// Korvane wrapped counts minutes in binary (0A after 09): such a minute is
// taken when it gives the address expected.
int32_t ParseAddress(const uint8_t* at)
{
    int minute = 0, second = 0, frame = 0;
    if (!BcdValue(at[1], 60, second) || !BcdValue(at[2], FRAMES_PER_SECOND, frame))
        return kUnknown;
    const int32_t inMinute = second * FRAMES_PER_SECOND + frame;
    if (v.expected != kUnknown && at[0] * FRAMES_PER_MINUTE + inMinute == v.expected)
        return v.expected;
    if (!BcdValue(at[0], 100, minute))
        return kUnknown;
    return minute * FRAMES_PER_MINUTE + inMinute;
}

// `head` holds the bytes before the payload, `rest` the others.
unsigned CheckSector(const uint8_t* head, const uint8_t* rest, int32_t& address)
{
    address = kUnknown;
    unsigned faults = 0;
    if (v.layout.hasHeader) {
        if (std::memcmp(head, kSectorSync, sizeof kSectorSync) != 0)
            return kNoSync; // nothing else of it can be trusted
        address = ParseAddress(head + SECTOR_ADDRESS_OFFSET);
        if (head[SECTOR_MODE_OFFSET] != v.mode)
            faults |= kBadMode;
    }
    if (v.mode != 2)
        return faults;
    const uint8_t* subheader = head + v.layout.head - SUBHEADER_SIZE;
    if (std::memcmp(subheader, subheader + SUBHEADER_SIZE / 2, SUBHEADER_SIZE / 2) != 0)
        faults |= kSubheaderMismatch;
    if (v.layout.hasEdc) {
        const bool form2 = (subheader[2] & SUBMODE_FORM2) != 0;
        const uint32_t data = form2 ? FORM2_PAYLOAD_SIZE : MODE1_PAYLOAD_SIZE;
        const uint32_t stored = GetLittleEndian32(rest + data);
        // A Form 2 sector may leave its EDC out (zero); Form 1 always has one.
        if ((!form2 || stored != 0) &&
            ContinueEdc(ComputeEdc(subheader, SUBHEADER_SIZE), rest, data) != stored)
            faults |= kBadEdc;
    }
    return faults;
}

// Damaged sectors in front of the first readable address get theirs from it.
void Anchor(uint32_t sector, int32_t address)
{
    auto fill = [&](Run& run) {
        if (run.firstAddress == kUnknown)
            run.firstAddress = address - static_cast<int32_t>(sector - run.firstSector);
        if (run.lastAddress == kUnknown)
            run.lastAddress = address - static_cast<int32_t>(sector - run.lastSector);
    };
    for (uint32_t i = 0; i < v.runCount && i < kRunLines; ++i)
        fill(v.runs[i]);
    if (v.inRun)
        fill(v.current);
}

void CloseRun()
{
    if (!v.inRun)
        return;
    if (v.runCount < kRunLines)
        v.runs[v.runCount] = v.current;
    ++v.runCount;
    v.inRun = false;
}

void Account(uint32_t start, unsigned faults, int32_t address)
{
    const uint32_t sector = start / v.layout.size;
    int32_t shown = v.expected;
    if (!v.layout.hasHeader) {
        shown = static_cast<int32_t>(sector) + v.origin;
    } else if ((faults & kNoSync) == 0 && address == kUnknown) {
        faults |= kBadAddress;
    } else if ((faults & kNoSync) == 0) {
        if (v.expected == kUnknown)
            Anchor(sector, address);
        else if (address != v.expected)
            faults |= kBadAddress; // a sector repeated or missing: follow the source
        shown = address;
        v.expected = address;
    }
    if (v.expected != kUnknown)
        ++v.expected;
    ++v.checked;
    const bool written = v.written;
    v.written = false;
    if (faults == 0) {
        CloseRun();
        return;
    }
    ++v.damaged;
    if (!v.inRun || sector != v.current.lastSector + 1) {
        CloseRun();
        v.current = Run{sector, sector, shown, shown, 0, false, 0, 0};
        v.inRun = true;
    }
    Run& run = v.current;
    run.lastSector = sector;
    run.lastAddress = shown;
    run.faults |= faults;
    if (written) {
        if (!run.written)
            run.outFirst = v.outFirst;
        run.written = true;
        run.outLast = v.outLast;
    }
}

void Completed(uint32_t start, const uint8_t* head, const uint8_t* rest)
{
    int32_t address = kUnknown;
    const unsigned faults = CheckSector(head, rest, address);
    Account(start, faults, address);
    v.stagedLength = 0;
}

// Reads the bytes up to `target` that no step handed over.
void CatchUp(uint32_t target)
{
    if (target > v.end)
        target = v.end;
    while (v.next < target) {
        const uint32_t need = v.layout.size - v.stagedLength;
        const uint32_t take = need < target - v.next ? need : target - v.next;
        ReadSourceAt(v.next, v.staged + v.stagedLength, take);
        v.stagedLength += take;
        v.next += take;
        if (v.stagedLength == v.layout.size)
            Completed(v.next - v.layout.size, v.staged, v.staged + v.layout.head);
    }
}

const SectorLayout* LayoutOf(uint32_t size, uint8_t mode)
{
    switch (size) {
    case RAW_SECTOR_SIZE:
        return mode == 1 ? &kRawMode1 : &kRawMode2;
    case MODE2_SECTOR_SIZE:
        return &kMode2NoHeader;
    case CIF_SECTOR_SIZE:
        return &kCif;
    default:
        return nullptr;
    }
}

void AppendLine(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
void AppendLine(const char* format, ...)
{
    char line[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    verifyReport += line;
}

std::string Heading()
{
    if (v.track < 0)
        return "\xFE Verify: ";
    return "\xFE Verify Track " + std::to_string(v.track) + ": ";
}

std::string AddressText(int32_t frames)
{
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", frames / FRAMES_PER_MINUTE,
                  frames / FRAMES_PER_SECOND % 60, frames % FRAMES_PER_SECOND);
    return text;
}

std::string FaultText(unsigned faults)
{
    std::string text;
    for (unsigned i = 0; i < sizeof kFaultNames / sizeof kFaultNames[0]; ++i) {
        if ((faults & (1u << i)) == 0)
            continue;
        if (!text.empty())
            text += ", ";
        text += kFaultNames[i];
    }
    return text;
}

void AppendRun(Run run)
{
    // Nothing in the range had a readable address: the position gives it.
    if (run.firstAddress == kUnknown)
        run.firstAddress = static_cast<int32_t>(run.firstSector) + v.origin;
    if (run.lastAddress == kUnknown)
        run.lastAddress = static_cast<int32_t>(run.lastSector) + v.origin;
    std::string where = AddressText(run.firstAddress);
    char sectors[64];
    if (run.lastSector == run.firstSector) {
        std::snprintf(sectors, sizeof sectors, "sector %u", run.firstSector);
    } else {
        where += "-" + AddressText(run.lastAddress);
        std::snprintf(sectors, sizeof sectors, "sectors %u-%u", run.firstSector, run.lastSector);
    }
    if (run.written)
        AppendLine("  %s (%s): %s; output bytes %llu-%llu\n", where.c_str(), sectors,
                   FaultText(run.faults).c_str(), static_cast<unsigned long long>(run.outFirst),
                   static_cast<unsigned long long>(run.outLast));
    else
        AppendLine("  %s (%s): %s; not in the output\n", where.c_str(), sectors,
                   FaultText(run.faults).c_str());
}

void AppendReport()
{
    CloseRun();
    AppendLine("%s%u sectors checked, %u damaged.\n", Heading().c_str(), v.checked, v.damaged);
    for (uint32_t i = 0; i < v.runCount && i < kRunLines; ++i)
        AppendRun(v.runs[i]);
    if (v.runCount > kRunLines)
        AppendLine("  ... %u more damaged run(s)\n", v.runCount - kRunLines);
    damagedSectors += v.damaged;
}

} // namespace

void VerifyRecord(int index, const TrackRecord& record)
{
    nextTrack = index;
    nextMode = static_cast<uint8_t>(record.mode);
    nextFirstFrame = record.mm * FRAMES_PER_MINUTE + record.ss * FRAMES_PER_SECOND + record.ff;
    nextFirstOffset = record.startOffset;
}

void VerifyBegin(const Transfer& t)
{
    const int track = nextTrack;
    const uint8_t mode = nextMode;
    const int32_t firstFrame = nextFirstFrame;
    const uint32_t firstOffset = nextFirstOffset;
    nextTrack = -1;
    nextMode = 2;
    nextFirstFrame = 0;
    nextFirstOffset = 0;
    v.active = false;
    if (verifyOption == 0)
        return;
    v.track = track;
    if (t.manner == Manner::Stream || t.manner == Manner::Wrap) {
        AppendLine("%sa plain MPEG stream has no sectors; nothing to check.\n", Heading().c_str());
        return;
    }
    if (mode == kAudioMode) {
        AppendLine("%saudio sectors carry no header or EDC; nothing to check.\n",
                   Heading().c_str());
        return;
    }
    const SectorLayout* layout = LayoutOf(sectors, mode);
    if (layout == nullptr) {
        AppendLine("%s%u-byte sectors hold no header or EDC; nothing to check.\n",
                   Heading().c_str(), static_cast<unsigned>(sectors));
        return;
    }
    v.active = true;
    v.layout = *layout;
    // A record's file need not begin at the disc's first sector (one file per track, a Nero
    // image's lead-in): its position comes from the record. A lone file starts at 00:02:00.
    v.origin = LEAD_IN_FRAMES + firstFrame - static_cast<int32_t>(firstOffset / layout->size);
    v.mode = mode;
    uint32_t start = counter;
    // An MPEG method starts at the first pack, in its sector's payload, whether it unwraps or
    // (told to write whole sectors) copies from there.
    if (t.manner == Manner::Unwrap || datormpg == kMpegOutput)
        start = counter >= layout->head ? counter - layout->head
                                        : counter + layout->size - layout->head;
    v.next = start;
    v.end = t.end > start ? start + (t.end - start) / layout->size * layout->size : start;
    v.stagedLength = 0;
    v.written = false;
    v.expected = kUnknown;
    v.checked = v.damaged = v.runCount = 0;
    v.inRun = false;
}

void VerifyStep(const uint8_t* bytes, uint32_t at, uint32_t length, uint32_t kept)
{
    if (!v.active)
        return;
    const uint64_t outAt = DestOffset();
    const uint64_t keptEnd = uint64_t{at} + kept;
    if (at > v.next)
        CatchUp(at);
    if (uint64_t{at} + length <= v.next)
        return; // bytes checked already
    uint32_t from = v.next;
    bytes += from - at;
    length -= from - at;
    while (length > 0 && v.next < v.end) {
        const uint32_t need = v.layout.size - v.stagedLength;
        const uint32_t take = need < length ? need : length;
        // the output bytes this piece of the sector went into
        const uint64_t lo = from > at ? from : at;
        const uint64_t hi = uint64_t{from} + take < keptEnd ? uint64_t{from} + take : keptEnd;
        if (lo < hi) {
            if (!v.written)
                v.outFirst = outAt + (lo - at);
            v.written = true;
            v.outLast = outAt + (hi - at) - 1;
        }
        const uint32_t start = v.next - v.stagedLength;
        if (take == need && v.stagedLength == 0) {
            Completed(start, bytes, bytes + v.layout.head);
        } else if (take == need && v.stagedLength == v.layout.head) {
            Completed(start, v.staged, bytes); // the usual unwrap step
        } else {
            std::memcpy(v.staged + v.stagedLength, bytes, take);
            v.stagedLength += take;
            if (v.stagedLength == v.layout.size)
                Completed(start, v.staged, v.staged + v.layout.head);
        }
        bytes += take;
        length -= take;
        from += take;
        v.next += take;
    }
}

void VerifyEnd()
{
    if (!v.active)
        return;
    CatchUp(v.end);
    AppendReport();
    v.active = false;
}

void PrintVerifyReport()
{
    std::printf("%s", verifyReport.c_str());
    verifyReport.clear();
}

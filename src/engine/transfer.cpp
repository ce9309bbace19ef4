#include <cstdio>
#include <cstring>
#include <ctime>

#include "engine/engine.h"
#include "io/io.h"
#include "engine/transfer.h"
#include "settings/settings.h"

namespace {

constexpr int32_t kNothingPrinted = -127;
constexpr int32_t kEstimateEvery = 2; // percentage points between two estimates

Manner MannerOfRun()
{
    if (method == kMpg2dat)
        return Manner::Wrap;
    if (method == kMpg2mpg)
        return Manner::Stream;
    if (MAX_READ_SECTORS == sectors && MAX_WRITE_SECTORS < MAX_READ_SECTORS)
        return Manner::Unwrap;
    return Manner::Copy;
}

Transfer NewTransfer(uint32_t end)
{
    Transfer t{};
    t.end = end;
    t.manner = MannerOfRun();
    t.address = kFirstDatAddress;
    t.divisor = end >> 20;
    if (t.divisor == 0)
        t.divisor = 1;
    t.lastPercent = kNothingPrinted;
    t.percentAtEstimate = 0;
    return t;
}

constexpr size_t kEdcSize = 4;

// A data sector gathered from its header, the payload where it lies, and the
// four zero bytes where a Form 2 sector may carry an EDC.
void QueueSector(Transfer& t, const uint8_t* payload)
{
    BuildDataSectorHeader(QueueDestRoom(FORM2_PAYLOAD_OFFSET), t.address);
    QueueDest(payload, FORM2_PAYLOAD_SIZE);
    std::memset(QueueDestRoom(kEdcSize), 0, kEdcSize);
    AdvanceAddress(t.address);
}

// Steps whose output the plain loop can have read straight into place: the
// kept bytes of each step land right after the previous step's output (a
// stream step inside the data sector built around it), so a batch of steps
// leaves in one contiguous write instead of one piece per step.
bool ReadsInPlace(const Transfer& t)
{
    // The checks need each sector's header and EDC, which reading in place passes over.
    if (verifyOption != 0 && t.manner == Manner::Unwrap)
        return false;
    return t.manner == Manner::Unwrap ||
           (t.manner == Manner::Wrap && MAX_READ_SECTORS == FORM2_PAYLOAD_SIZE);
}

void StepInPlace(Transfer& t)
{
    counter += MAX_READ_SECTORS;
    if (t.manner == Manner::Unwrap) {
        t.step = SourceStepInSlot(MAX_READ_SECTORS, MAX_WRITE_SECTORS, 0, MAX_WRITE_SECTORS);
        QueueDest(t.step, MAX_WRITE_SECTORS);
        return;
    }
    uint8_t* payload = SourceStepInSlot(FORM2_PAYLOAD_SIZE, FORM2_PAYLOAD_SIZE,
                                        FORM2_PAYLOAD_OFFSET, RAW_SECTOR_SIZE);
    t.step = payload;
    BuildDataSectorHeader(payload - FORM2_PAYLOAD_OFFSET, t.address);
    std::memset(payload + FORM2_PAYLOAD_SIZE, 0, kEdcSize);
    QueueDest(payload - FORM2_PAYLOAD_OFFSET, RAW_SECTOR_SIZE);
    AdvanceAddress(t.address);
}

// The leading sectors differ only in their address, which their EDC does not
// cover: build one, then readdress it.
void WriteLeadingSectors(Transfer& t)
{
    WriteDest(vcdheader, DAT_HEADER_SIZE);
    uint8_t sector[RAW_SECTOR_SIZE];
    BuildLeadingSector(sector, t.address);
    for (uint32_t i = 0; i < LEADING_SECTORS; ++i) {
        PutAddress(sector, t.address);
        WriteDest(sector, sizeof sector);
        AdvanceAddress(t.address);
    }
}

void PlainLoop(Transfer& t)
{
    const bool inPlace = ReadsInPlace(t);
    while (StepFits(MAX_READ_SECTORS, t.end)) {
        if (inPlace) {
            StepInPlace(t);
        } else {
            ReadStep(t);
            WriteStep(t);
        }
        ProgressUpdate(t);
    }
}

// Whole source sectors left over when a step of many sectors no longer fits.
void TailLoop(const Transfer& t)
{
    while (StepFits(sectors, t.end)) {
        const uint8_t* sector = SourceBytes(sectors);
        if (verifyOption != 0)
            VerifyStep(sector, counter, sectors, sectors);
        counter += sectors;
        QueueDest(sector, sectors);
    }
}

// The stride of the last sector of a range passes `end`, and a stream rarely
// ends on a whole step: keep those last bytes instead of dropping them.
void LastPiece(Transfer& t)
{
    if (t.manner == Manner::Unwrap) {
        if (!StepFits(MAX_WRITE_SECTORS, t.end))
            return;
        const uint8_t* payload = SourceBytes(MAX_WRITE_SECTORS);
        if (verifyOption != 0)
            VerifyStep(payload, counter, MAX_WRITE_SECTORS, MAX_WRITE_SECTORS);
        QueueDest(payload, MAX_WRITE_SECTORS);
        counter += MAX_WRITE_SECTORS;
        return;
    }
    if ((t.manner != Manner::Stream && t.manner != Manner::Wrap) || counter >= t.end)
        return;
    const uint32_t rest = t.end - counter;
    if (rest >= FORM2_PAYLOAD_SIZE)
        return;
    const uint8_t* piece = SourceBytes(rest);
    counter += rest;
    if (t.manner == Manner::Stream) {
        QueueDest(piece, rest);
        return;
    }
    uint8_t* padded = QueueDestRoom(RAW_SECTOR_SIZE);
    BuildDataSectorHeader(padded, t.address);
    std::memcpy(padded + FORM2_PAYLOAD_OFFSET, piece, rest);
    std::memset(padded + FORM2_PAYLOAD_OFFSET + rest, 0,
                RAW_SECTOR_SIZE - FORM2_PAYLOAD_OFFSET - rest);
    AdvanceAddress(t.address);
}

bool WritesDat() { return method == kCue2dat || method == kRaw2dat || method == kMpg2dat; }

uint32_t Clamp32(uint64_t value)
{
    return value > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(value);
}

// A .dat carries its true size in its header, not the template's.
void PatchDatSizes()
{
    const uint64_t written = DestOffset();
    if (written < DAT_HEADER_SIZE)
        return;
    uint8_t field[4]; // each size counts the bytes after its own field
    PutLittleEndian32(field, Clamp32(written - DAT_RIFF_SIZE_OFFSET - sizeof field));
    RewriteDest(DAT_RIFF_SIZE_OFFSET, field, sizeof field);
    PutLittleEndian32(field, Clamp32(written - DAT_DATA_SIZE_OFFSET - sizeof field));
    RewriteDest(DAT_DATA_SIZE_OFFSET, field, sizeof field);
}

} // namespace

bool StepFits(uint32_t step, uint32_t end) { return uint64_t{counter} + step <= end; }

void ReadStep(Transfer& t)
{
    t.step = SourceBytes(MAX_READ_SECTORS);
    t.stepAt = counter;
    counter += MAX_READ_SECTORS;
}

void WriteStep(Transfer& t)
{
    if (t.manner == Manner::Wrap) {
        QueueSector(t, t.step);
        return;
    }
    if (verifyOption != 0)
        VerifyStep(t.step, t.stepAt, MAX_READ_SECTORS, MAX_WRITE_SECTORS);
    QueueDest(t.step, MAX_WRITE_SECTORS);
}

// A .dat must stay whole sectors: written plain, the sequence would shift every
// later sector off its 2352-byte place, so a wrapped stream gets it as the four
// payloads it is made of (4 x 2324 bytes).
void WriteInitialSequence(Transfer& t)
{
    const uint8_t* sequence = InitialCorrectionSequence();
    if (t.manner != Manner::Wrap) {
        WriteDest(sequence, INITIAL_SEQUENCE_SIZE);
        return;
    }
    static_assert(INITIAL_SEQUENCE_SIZE % FORM2_PAYLOAD_SIZE == 0, "the sequence is whole packs");
    for (size_t at = 0; at < INITIAL_SEQUENCE_SIZE; at += FORM2_PAYLOAD_SIZE)
        QueueSector(t, sequence + at);
}

void ProgressUpdate(Transfer& t)
{
    const int32_t percent = static_cast<int32_t>(((counter >> 20) * 100) / t.divisor);
    if (percent == t.lastPercent)
        return;
    if (percent - t.percentAtEstimate >= kEstimateEvery) {
        t.percentAtEstimate = percent;
        const double elapsed = std::difftime(std::time(nullptr), t.start);
        const double remaining = (100 - percent) * elapsed / percent;
        t.hours = static_cast<int>(remaining / 3600.0);
        t.minutes = static_cast<int>((remaining - t.hours * 3600.0) / 60.0);
        t.seconds = static_cast<int>(remaining - t.hours * 3600.0 - t.minutes * 60.0);
    }
    std::printf("\xFE %d%% [%02d:%02d:%02d] \r", percent, t.hours, t.minutes, t.seconds);
    std::fflush(stdout);
    t.lastPercent = percent;
}

void RefuseOversizeDat(uint32_t end, const std::string& path)
{
    const Transfer t = NewTransfer(end);
    const uint64_t range = counter < end ? end - counter : 0;
    const uint64_t sequence = fixOption != 0 ? INITIAL_SEQUENCE_SIZE : 0;
    uint64_t bytes = DAT_HEADER_SIZE + range + sequence;
    if (t.manner == Manner::Wrap) // whole sectors, the last one padded, after the leading ones
        bytes = DAT_HEADER_SIZE + (LEADING_SECTORS + (range + sequence + FORM2_PAYLOAD_SIZE - 1) /
                                                         FORM2_PAYLOAD_SIZE) *
                                      uint64_t{RAW_SECTOR_SIZE};
    // The RIFF size counts every byte after its own field.
    if (bytes - DAT_RIFF_SIZE_OFFSET - 4 > UINT32_MAX)
        Fatal("%s would be %llu bytes, more than the sizes in a .dat header can count; nothing was "
              "written.\n\n",
              path.c_str(), static_cast<unsigned long long>(bytes));
}

void WriteBuffer(uint32_t end)
{
    Transfer t = NewTransfer(end);
    VerifyBegin(t); // the range starts here, whatever the repairs then pass over
    if (bumperCheck != 0 && removedBumper == 0)
        BumperPreScan(t);
    if (t.manner == Manner::Wrap)
        WriteLeadingSectors(t);
    t.start = std::time(nullptr);
    bool complete = true;
    if (fixOption != 0)
        complete = FixLoop(t);
    else
        PlainLoop(t);
    if (complete) {
        TailLoop(t);
        LastPiece(t);
    }
    VerifyEnd();
    if (WritesDat())
        PatchDatSizes();
    CloseDest();
}

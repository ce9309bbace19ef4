#include <array>
#include <cstdio>
#include <cstring>

#include "engine/engine.h"
#include "io/io.h"
#include "engine/transfer.h"
#include "settings/settings.h"

namespace {

constexpr uint32_t kPreScanLimit = 15728640; // a bumper sits within 15 MiB of the start
constexpr uint32_t kEndCodeSize = 4;
constexpr size_t kFirstBlockPaddingFrom = 48; // bytes 48..63 of a good first block are FF
constexpr size_t kFirstBlockPaddingTo = 64;
constexpr size_t kPackStartChecked = 5; // the block check looks at bytes 2..4

// The initial correction sequence: four packs at the VCD mux rate (the first two
// with a system header), each filled out by a padding packet, two end codes and
// 40 zero bytes. Everything not placed below is a padding byte FF.
struct Piece {
    size_t offset;
    std::initializer_list<uint8_t> bytes;
};

std::array<uint8_t, INITIAL_SEQUENCE_SIZE> BuildInitialSequence()
{
    const Piece pieces[] = {
        // pack 1: SCR 4, mux_rate 3528; system header for video stream E0; padding of 2291
        {0, {0x00, 0x00, 0x01, 0xBA, 0x21, 0x00, 0x01, 0x00, 0x09, 0x80, 0x1B, 0x91}},
        {12,
         {0x00, 0x00, 0x01, 0xBB, 0x00, 0x09, 0x80, 0x1B, 0x91, 0x01, 0xE1, 0xFF, 0xE0, 0xE0,
          0x2E}},
        {27, {0x00, 0x00, 0x01, 0xBE, 0x08, 0xF3, 0x0F}},
        // pack 2: SCR 1204; system header for audio stream C0; padding of 2271
        {2324, {0x00, 0x00, 0x01, 0xBA, 0x21, 0x00, 0x01, 0x09, 0x69, 0x80, 0x1B, 0x91}},
        {2336,
         {0x00, 0x00, 0x01, 0xBB, 0x00, 0x09, 0x80, 0x1B, 0x91, 0x05, 0xE0, 0xFF, 0xC0, 0xC0,
          0x20}},
        {2351, {0x00, 0x00, 0x01, 0xBE, 0x08, 0xDF, 0x0F}},
        // pack 3: SCR 2404; padding of 2302 with one stuffing byte; end code
        {4628, {0x00, 0x00, 0x01, 0xBA, 0x21, 0x00, 0x01, 0x12, 0xC9, 0x80, 0x1B, 0x91}},
        {4640, {0x00, 0x00, 0x01, 0xBE, 0x08, 0xFE, 0xFF, 0x0F}},
        {6948, {0x00, 0x00, 0x01, 0xB9}},
        // pack 4: SCR 3604; padding of 2282 with one stuffing byte; end code
        {6952, {0x00, 0x00, 0x01, 0xBA, 0x21, 0x00, 0x01, 0x1C, 0x29, 0x80, 0x1B, 0x91}},
        {6964, {0x00, 0x00, 0x01, 0xBE, 0x08, 0xEA, 0xFF, 0x0F}},
        {9252, {0x00, 0x00, 0x01, 0xB9}},
    };
    constexpr size_t kZeroTail = 40;
    std::array<uint8_t, INITIAL_SEQUENCE_SIZE> sequence{};
    sequence.fill(0xFF);
    for (const Piece& piece : pieces)
        std::copy(piece.bytes.begin(), piece.bytes.end(), sequence.begin() + piece.offset);
    std::fill(sequence.end() - kZeroTail, sequence.end(), 0x00);
    return sequence;
}

// In the unwrapping manner the source holds sector headers and EDCs between the
// payloads, where 00 00 01 B9 can turn up by chance; a real end code lies
// within one payload.
bool EndCodeInPayload(const Transfer& t, uint32_t at, uint32_t start)
{
    if (t.manner != Manner::Unwrap)
        return true;
    return (at - start) % sectors + kEndCodeSize <= MAX_WRITE_SECTORS;
}

// The first `length` bytes of the block of the current step: the step itself,
// or, when the step is shorter, the source's own bytes from its start (0 past
// the end of the file), copied into `spare`; never what the read-ahead happens
// to hold after the step.
const uint8_t* BlockBytes(const Transfer& t, size_t length, uint8_t* spare)
{
    if (MAX_READ_SECTORS >= length)
        return t.step;
    CopySourceBytes(counter - MAX_READ_SECTORS, spare, length);
    return spare;
}

void FirstBlockTest(const Transfer& t)
{
    if (initialHeaderCorrectionFlag != 0)
        return;
    uint8_t spare[kFirstBlockPaddingTo];
    const uint8_t* block = BlockBytes(t, sizeof spare, spare);
    for (size_t i = kFirstBlockPaddingFrom; i < kFirstBlockPaddingTo; ++i) {
        if (block[i] != 0xFF) {
            initialHeaderCorrectionFlag = 1;
            return;
        }
    }
}

// One matching byte of 01 BA 21 at bytes 2..4 is enough for a block to pass.
bool IsBrokenBlock(const Transfer& t)
{
    uint8_t spare[kPackStartChecked];
    const uint8_t* block = BlockBytes(t, sizeof spare, spare);
    return block[2] != mpeg_sync[2] && block[3] != mpeg_sync[3] && block[4] != mpeg_sync[4];
}

} // namespace

const uint8_t* InitialCorrectionSequence()
{
    static const std::array<uint8_t, INITIAL_SEQUENCE_SIZE> sequence = BuildInitialSequence();
    return sequence.data();
}

void BumperPreScan(const Transfer& t)
{
    // Only the transfer's own bytes: an end code in the next track must not
    // move this one's start past its end.
    const uint32_t start = counter;
    const uint64_t reach = uint64_t{start} + kPreScanLimit;
    const uint32_t limit = reach < t.end ? static_cast<uint32_t>(reach) : t.end;
    SeekSource(start);
    std::printf("\r\xFE pre-scanning\r");
    std::fflush(stdout);
    uint32_t after = 0;
    while (SeekAndLocate(mpeg_end_code, limit, 0) != 0) {
        const bool accepted = EndCodeInPayload(t, counter, start);
        counter += kEndCodeSize;
        if (accepted)
            after = counter;
        SeekSource(counter);
    }
    if (after != 0) {
        counter = after;
        ++removedBumper;
    } else {
        counter = start;
    }
    SeekSource(counter);
}

bool FixLoop(Transfer& t)
{
    bool firstBlockDone = false;
    while (StepFits(MAX_READ_SECTORS, t.end)) {
        ReadStep(t);
        if (!firstBlockDone) {
            firstBlockDone = true;
            FirstBlockTest(t);
            if (initialHeaderCorrectionFlag != 0)
                WriteInitialSequence(t);
        }
        if (IsBrokenBlock(t)) {
            ++badBlocks;
            // A range shorter than a sector holds no pack to resume from.
            if (t.end < sectors || SeekAndLocate(mpeg_sync, t.end - sectors, 1) == 0)
                return false;
            SeekSource(counter);
            // A step of many sectors from the pack found may not fit before the
            // end: leave the rest to the tail loop rather than read past the end.
            if (!StepFits(MAX_READ_SECTORS, t.end))
                return true;
            ReadStep(t);
        }
        WriteStep(t);
        ProgressUpdate(t);
    }
    return true;
}

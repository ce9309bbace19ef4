// Inside the engine: the state of one transfer and the steps that the plain
// loop and the -fix loop share. Not for use outside src/engine.
#pragma once

#include <cstdint>
#include <ctime>

#include "image/sector.h"

// How a transfer moves bytes; it follows from the sizes and the method code.
enum class Manner {
    Copy,   // whole steps unchanged (track images, .dat from images)
    Unwrap, // one sector stride per step, its payload written
    Stream, // a plain MPEG stream in 2324-byte steps
    Wrap,   // a plain MPEG stream, each step into one data sector
};

struct Transfer {
    uint32_t end;
    Manner manner;
    SectorAddress address;
    uint32_t divisor;            // whole mebibytes of `end`, at least 1
    int32_t lastPercent;         // last printed percentage
    int32_t percentAtEstimate;   // percentage of the last remaining-time estimate
    int hours, minutes, seconds; // the last estimate
    std::time_t start;
    const uint8_t* step; // the bytes of the current step
    uint32_t stepAt;     // their source offset
};

// Whether a step of `step` bytes from `counter` ends at or before `end` (no wrap).
bool StepFits(uint32_t step, uint32_t end);
// Reads one step of MAX_READ_SECTORS bytes and advances `counter`.
void ReadStep(Transfer& t);
// Writes the current step's output.
void WriteStep(Transfer& t);
// Writes the initial correction sequence: its four packs as four data sectors
// when the stream is being wrapped, else as they are.
void WriteInitialSequence(Transfer& t);
// Prints the progress line when the percentage has changed.
void ProgressUpdate(Transfer& t);

// The repairs (run when the options ask for them).
void BumperPreScan(const Transfer& t);
// Returns false when the loop had to end the transfer early.
bool FixLoop(Transfer& t);

// -verify: checks the source sectors of the range from `counter` as the
// transfer reads them; `VerifyStep` is given each step read, of which the first
// `kept` bytes go to the output at its current end.
void VerifyBegin(const Transfer& t);
void VerifyStep(const uint8_t* bytes, uint32_t at, uint32_t length, uint32_t kept);
// Checks what no step read (up to the end of the range) and files the report.
void VerifyEnd();

// Stream engine: measuring a source, finding a byte pattern in it, and the
// transfer that copies, unwraps or wraps sectors with its progress line,
// together with the two MPEG repairs that run inside the transfer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

struct TrackRecord;

// Length of an open file in bytes; leaves the file positioned at offset 0.
uint32_t lof(std::FILE* stream);

// Index of the first occurrence of `pattern` in text[0 .. length-1], or -1.
// Compares right to left and skips by the text byte under the pattern's last
// position, looked for only left of the mismatch.
int32_t BoyerMooreSearch(const uint8_t* text, const uint8_t* pattern, int32_t length,
                         int32_t patternLength);

// Scans `sourceFile` forward from `counter` (where it must stand) in 5000-byte
// windows 4995 apart for the first four bytes of `pattern`. Answers 1 when the
// first occurrence found begins at least 2352 bytes before `limit`; `counter`
// then holds its offset. The stream is left at the start of the next window.
int SeekAndLocate(const uint8_t* pattern, uint32_t limit, int showProgress);

// Transfers `sourceFile` from `counter` up to the exclusive offset `end` into
// `destFile` with the step sizes of the run settings, and closes `destFile`.
void WriteBuffer(uint32_t end);

// Ends the run, before the destination `path` exists, when the .dat that
// WriteBuffer(end) from `counter` could write would pass the 32-bit sizes of
// its RIFF header.
void RefuseOversizeDat(uint32_t end, const std::string& path);

// The 9296 bytes that -fix puts in front of a stream whose first block lacks them.
constexpr size_t INITIAL_SEQUENCE_SIZE = 9296;
const uint8_t* InitialCorrectionSequence();

// -verify: the next transfer reads record `index` of a disc image, whose mode,
// disc position and start in its file are the record's; without this call a
// transfer is one file's, of Mode 2 sectors from 00:02:00 on.
void VerifyRecord(int index, const TrackRecord& record);
// Prints the report lines of the transfers since the last call, and forgets them.
void PrintVerifyReport();

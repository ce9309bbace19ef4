// CUE sheet reader and track table: reads a sheet word by word, opens the BIN
// file(s) it names, fills one track record per INDEX line, prints the table
// and settles the range of records to extract.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// One record per INDEX line of the sheet. Offsets are bytes within the BIN file
// that holds the record; `endOffset` is exclusive.
struct TrackRecord {
    int16_t mm; // the INDEX time as written, for the table
    int16_t ss;
    int16_t ff;
    int32_t sectorSize;
    uint32_t startOffset;
    uint32_t endOffset;
    int16_t file; // which BIN file of the sheet (0 for the first FILE line)
    int16_t mode; // 1 or 2, from the TRACK line's MODE1/MODE2
};

constexpr int MAX_TRACKS = 98;

extern TrackRecord track[MAX_TRACKS];
// Index of the last record filled; -1 while there is none.
extern int16_t totalTracks;

// Reads the sheet at `source`. On return `sourceFile` is open on the first BIN,
// `track` holds records 0..totalTracks and totalTracks is at least 1. Every
// failure prints its message and ends the run with status 1.
void ReadCUESheet();

// Prints the track table.
void DrawTable();

// Sets startTrack and endTrack from the -track option or the default range.
void SetupTracks();

// The BIN files the sheet names, in the order of its FILE lines.
size_t BinFileCount();
const std::string& BinFilePath(size_t file);
uint32_t BinFileLength(size_t file);

// Makes `sourceFile` the BIN file `file` (opening it when another one is open).
void SelectBinFile(size_t file);

// Empties the track table and forgets the BIN files (for tests and fuzzing).
void ResetTrackTable();

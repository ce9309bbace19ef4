// Disc image readers and the track table. The source is recognised by its
// content: a CUE sheet (read word by word), a cdrdao TOC sheet, a Nero NRG
// image or a CloneCD CCD sheet. Each reader finds the data files the image
// names and fills one track record per index into the one table, which is then
// printed and gives the range of records to extract.
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
    int16_t file; // which data file of the image holds the record (0: the first one)
    int16_t mode; // 1 or 2: Mode 1 or Mode 2 sectors (what the sector header must say), or audio
};
// The mode of an audio record, whose sectors carry no header.
constexpr int16_t kAudioMode = 0;

constexpr int MAX_TRACKS = 98;

extern TrackRecord track[MAX_TRACKS];
// Index of the last record filled; -1 while there is none.
extern int16_t totalTracks;

// Recognises the image at `source` by its content and reads it with its reader.
// On return, as for ReadCUESheet, `sourceFile` is open on the first data file
// and `track` holds records 0..totalTracks, totalTracks at least 1. A source
// that is none of the four formats, or one that is malformed, ends the run
// with status 1 before any output exists.
void ReadImage();

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

// For the image readers.

// Finds a file an image names and adds it to the image's files: `name` as
// written, then rewritten the DOS way, both also in the sheet's folder, then
// its last name (after the last '\' or '/') in the sheet's folder, then a
// file of that last name in any letter case there (one only). `sheetKind`
// ("CUE", "TOC") goes into the failure, which lists every path tried. With
// `besideSheet`, `name` is a last name looked for in the sheet's folder only.
int16_t FindImageFile(const std::string& name, const char* sheetKind, bool besideSheet = false);

// Adds a data file already opened and measured (an NRG image holds its own data).
int16_t AddImageFile(const std::string& path, uint32_t length);

// The folder of the sheet at `source`, with its '/' ("" for the working folder).
std::string SheetFolder();

// Appends a record: the byte range [start, end) of file `file` in sectors of
// `sectorSize` bytes, shown in the table at disc position `lba` (sectors from
// 00:02:00). A record whose bytes are in no file has start == end == 0. Ends
// the run, naming `source`, past the table's 98 records.
void AddRecord(int16_t file, uint32_t start, uint32_t end, int32_t sectorSize, int64_t lba,
               int16_t mode);

// The mode (1 or 2) the header of the raw sector at byte `at` of file `file` gives; `declared`
// when sectors of `sectorSize` bytes carry no header or that one has none. A sheet's mode field
// is sometimes wrong; the sectors' own headers are what -verify holds them to.
int16_t HeaderMode(int16_t file, uint64_t at, uint32_t sectorSize, int16_t declared);

// Ends the run: `source` is a malformed image of the kind `kind`, for `fault`.
[[noreturn]] void RefuseImage(const char* kind, const std::string& fault);

// Ends the run: `source` could not be opened.
[[noreturn]] void RefuseUnopenedSource();

// The whole text of the sheet at `source`; ends the run when it can't be opened.
std::string SourceSheetText();

// The readers of the other formats (same contract as ReadCUESheet).
void ReadTOCSheet();
void ReadNRGImage();
void ReadCCDSheet();

// Empties the track table and forgets the BIN files (for tests and fuzzing).
void ResetTrackTable();

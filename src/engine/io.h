// File access for the engine and the methods: opening the source and the
// destination with large buffers, reads that either deliver every byte asked
// for or end the run, checked writes, and the closing of a destination (with
// the true sizes put into a .dat header). Every failure here is fatal and
// names the file; a destination left unfinished by a fatal failure is removed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

// Sources must stay below this: every offset of a run is 32-bit.
constexpr uint64_t kLargestSource = UINT64_C(0xFFFFFFFF);

// Opens `path` for binary reading with a large buffer. Returns nullptr when it
// can't be opened or is a directory. The name is kept for read-error messages.
std::FILE* OpenSourceFile(const std::string& path);

// Ends the run when `file` (named `path`) is 4 GiB or larger.
void RefuseOversizeSource(std::FILE* file, const std::string& path);

// Measures `path` without making it the source: false when it can't be opened
// or is a directory. Ends the run when it is 4 GiB or larger.
bool MeasureSourceFile(const std::string& path, uint32_t& length);

// Ends the run when `destPath` names the same file as `otherPath` (same device
// and inode), before anything could truncate it.
void RefuseSameFile(const std::string& destPath, const std::string& otherPath);

// Creates or truncates `path` ("wb") with a large buffer; nullptr on failure.
std::FILE* OpenDestFile(const std::string& path);

// Reads exactly `length` bytes of `sourceFile`, or ends the run.
void ReadSource(uint8_t* into, size_t length);

// Positions `sourceFile` at `offset` from its start, or ends the run.
void SeekSource(uint32_t offset);

// Writes `length` bytes to `destFile`, or ends the run.
void WriteDest(const void* data, size_t length);

// Closes `destFile`, checking the close. With `patchDatSizes`, a regular file
// first gets its RIFF and data chunk sizes set to what it really holds.
void CloseDest(bool patchDatSizes);

// Closes `sourceFile` (and forgets it).
void CloseSource();

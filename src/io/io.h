// File access for the image readers, the engine and the methods, and the only place that makes
// system calls on the files of a run. The source is read ahead in large
// batches into one aligned buffer and handed out as views of whole steps; the
// bytes a transfer keeps are gathered and written with one call per batch.
// Every failure is fatal and names the file: a read that comes up short ends
// the run at the step that needed the missing bytes, so nothing unread is ever
// written. A destination is written to a temporary file beside it that takes
// its place only at the checked close, so a failed or interrupted run leaves
// the destination as it was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// Sources must stay below this: every offset of a run is 32-bit.
constexpr uint64_t kLargestSource = UINT64_C(0xFFFFFFFF);

// Has SIGINT, SIGTERM, SIGHUP and SIGPIPE remove the temporary file being
// written, print one line and end the run with status 128 + the signal; and
// SIGXFSZ ignored, so that a file-size limit fails a write like a full disk.
void CatchInterrupts();

// Opens /dev/null on any of the standard descriptors 0-2 that is closed, so that
// no file of the run can be given one of them and take the console's text.
void KeepStandardStreamsOpen();

// Opens `path` for binary reading and makes it the source of the read-ahead.
// Returns nullptr when it can't be opened or is a directory.
std::FILE* OpenSourceFile(const std::string& path);

// Ends the run when `file` (named `path`) is 4 GiB or larger.
void RefuseOversizeSource(std::FILE* file, const std::string& path);

// Opens a text sheet (a CUE sheet, and whatever other sheet an image comes
// with) for reading; nullptr when it can't be opened or is a folder. Ends the
// run when it is not a regular file or is larger than 1 MiB, before reading it.
std::FILE* OpenSheetFile(const std::string& path);

// Ends the run when `path` names something other than a folder or a regular file (a device, a
// FIFO, a socket): a sheet or an image is read from a regular file only.
void RefuseIrregularSheet(const std::string& path);

// Reads the whole text of a sheet opened with OpenSheetFile into `text`; false
// when it can't be opened.
bool ReadSheetText(const std::string& path, std::string& text);

// Reads up to `length` bytes of `path` from byte `offset` without making it the
// source; returns how many there were (0 also when it can't be opened).
size_t ReadFileBytes(const std::string& path, uint64_t offset, uint8_t* into, size_t length);

// The names in `folder` ("" for the working folder) that equal `name` when
// letter case is ignored, sorted.
std::vector<std::string> NamesIgnoringCase(const std::string& folder, const std::string& name);

// Measures `path` without making it the source: false when it can't be opened
// or is a directory. Ends the run when it is 4 GiB or larger.
bool MeasureSourceFile(const std::string& path, uint32_t& length);

// Ends the run when `destPath` names the same file as `otherPath` (same device
// and inode), before anything could truncate it.
void RefuseSameFile(const std::string& destPath, const std::string& otherPath);

// Ends the run when `destPath` ends in a slash or names an existing folder: an output is a file.
void RefuseFolderDest(const std::string& destPath);

// Opens the destination `path` for writing; nullptr on failure. A regular file
// (or a new name) is written to a temporary file in its folder, symbolic links
// resolved first; a special file (/dev/null, a FIFO, a terminal) directly.
std::FILE* OpenDestFile(const std::string& path);

// The next `length` bytes of the source from its position, which advances past
// them; ends the run when the source ends first or can't be read. The view
// stays valid until the next call that reads the source.
const uint8_t* SourceBytes(size_t length);

// Reads the next `length`-byte step of the source like SourceBytes, but keeps
// only its first `keep` bytes: they are read `lead` bytes into a `stride`-byte
// slot that follows the previous step's slot, and that is where the returned
// pointer points. The rest of the step is read into the start of the next slot,
// so a step that keeps only part of itself needs `stride` == `keep`; a whole
// step leaves the slot's other bytes to the caller (a sector can be built
// around it in place). Slots queued whole, one after the other, leave as one
// contiguous write.
uint8_t* SourceStepInSlot(size_t length, size_t keep, size_t lead, size_t stride);

// Copies the `length` bytes of the source from `offset` into `into`, 0 for
// those past its end, without moving the source position.
void CopySourceBytes(uint64_t offset, uint8_t* into, size_t length);

// Copies up to `length` bytes from the source position; returns how many there were.
size_t ReadSourceUpTo(uint8_t* into, size_t length);

// Copies the `length` bytes of the source at `offset` without moving its
// position or the batch; ends the run when the source ends first.
void ReadSourceAt(uint64_t offset, uint8_t* into, size_t length);

// Sets the source position to `offset` from the start of the file.
void SeekSource(uint32_t offset);

// Queues `length` bytes for the destination. They must stay unchanged until the
// queue is written, which happens before the source is read again.
void QueueDest(const uint8_t* data, size_t length);

// Queues `length` bytes of room for the destination and returns it to be filled
// at once (for sector headers built on the way).
uint8_t* QueueDestRoom(size_t length);

// Bytes queued or written to the destination so far: where the next queued byte lands.
uint64_t DestOffset();

// Writes `length` bytes to the destination now (after whatever is queued).
void WriteDest(const void* data, size_t length);

// Writes `length` bytes over the destination's bytes from `offset`, when it is a
// regular file (a pipe or a device can't be written back into).
void RewriteDest(uint64_t offset, const uint8_t* data, size_t length);

// Writes what is queued and closes `destFile`, checking the close, then puts a
// temporary file in the destination's place.
void CloseDest();

// Closes `sourceFile` (and forgets it).
void CloseSource();

#include "io/io.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "image/sector.h"
#include "settings/settings.h"

namespace {

#ifdef KORVANE_STEPWISE
// Test builds only: read exactly one step per call, to compare with batching.
constexpr size_t kReadAhead = 1;
constexpr uint64_t kPage = 1;
#else
constexpr size_t kReadAhead = size_t{1} << 20; // what dd bs=1M reads per call
// Batches start on a page of the file: the kernel then copies whole, aligned
// pages into the buffer, which costs less than the same bytes at odd offsets.
constexpr uint64_t kPage = 4096;
#endif
constexpr size_t kLargestStep = 32768; // more than any read of a run (a window, a step)
constexpr size_t kQueueEntries = 1024; // IOV_MAX on Linux
constexpr size_t kRoomBytes = 16384;

// The slack lets the first-block test look at 64 bytes of a shorter step.
constexpr size_t kSlack = 64;
constexpr size_t kLargestBatch = kLargestStep + kPage - 1; // a step from anywhere in a page
alignas(4096) uint8_t readAhead[(kReadAhead > kLargestBatch ? kReadAhead : kLargestBatch) + kSlack];
uint64_t aheadStart = 0; // file offset of readAhead[0] (of the first step in slots)
size_t aheadLength = 0;  // bytes of the file that the batch holds
uint64_t position = 0;   // where the next source read begins

// How a batch read into slots lies: the first `keep` bytes of the step at
// aheadStart + i * step are at slotBase + i * stride + lead. The rest of a step
// is read right after them, into the start of the next slot, where the next
// step then overwrites it (so a step that keeps part of itself has stride ==
// keep). A plain batch has stride 0.
struct SlotLayout {
    size_t step, keep, lead, stride;
    bool operator==(const SlotLayout& other) const
    {
        return step == other.step && keep == other.keep && lead == other.lead &&
               stride == other.stride;
    }
};
SlotLayout slotLayout{};
uint8_t* slotBase = nullptr;
iovec slots[kQueueEntries];
int sourceFd = -1;
std::string sourceName;

iovec queue[kQueueEntries];
size_t queued = 0;
uint8_t room[kRoomBytes];
size_t roomUsed = 0;

std::string destName;       // the file written to, for messages and clean-up
bool destIsRegular = false; // only a regular file is patched or removed
uint64_t destBytes = 0;     // bytes written to the current destination

[[noreturn]] void ReadFailed()
{
    Fatal("\n\nRead error: %s could not be read (it ended early or is unreadable).\n\n",
          sourceName.c_str());
}

[[noreturn]] void WriteFailed()
{
    Fatal("\n\nWrite error: %s could not be written (is the disk full?).\n\n", destName.c_str());
}

int DestFd() { return fileno(destFile); }

// Moves `next`/`left` past the first `done` bytes of a vector that a call
// transferred only in part.
void SkipTransferred(iovec*& next, size_t& left, size_t done)
{
    while (left > 0 && done >= next->iov_len) {
        done -= next->iov_len;
        ++next;
        --left;
    }
    if (left > 0) {
        next->iov_base = static_cast<uint8_t*>(next->iov_base) + done;
        next->iov_len -= done;
    }
}

void FlushQueue()
{
    iovec* next = queue;
    size_t left = queued;
    queued = 0;
    roomUsed = 0;
    while (left > 0) {
        const ssize_t n = writev(DestFd(), next, static_cast<int>(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            WriteFailed();
        SkipTransferred(next, left, static_cast<size_t>(n));
    }
}

void WriteAll(int fd, const uint8_t* data, size_t length, off_t at)
{
    while (length > 0) {
        const ssize_t n = at < 0 ? write(fd, data, length) : pwrite(fd, data, length, at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            WriteFailed();
        data += n;
        length -= static_cast<size_t>(n);
        if (at >= 0)
            at += n;
    }
}

// Reads the `left` entries of the vector from `next` on from source offset
// `offset`; returns the bytes read, fewer only at the end of the source or on
// an error, which the callers treat alike.
size_t ReadVectorAt(uint64_t offset, iovec* next, size_t left)
{
    size_t got = 0;
    while (left > 0) {
        const ssize_t n =
            preadv(sourceFd, next, static_cast<int>(left), static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += static_cast<size_t>(n);
        SkipTransferred(next, left, static_cast<size_t>(n));
    }
    return got;
}

size_t ReadAt(uint64_t offset, uint8_t* into, size_t length)
{
    iovec whole{into, length};
    return ReadVectorAt(offset, &whole, 1);
}

// Reads a new batch, from the page that holds `position`, holding at least the
// `length` bytes from there.
void ReadAhead(size_t length)
{
    FlushQueue(); // queued views point into the batch
    const uint64_t start = position / kPage * kPage;
    const size_t needed = static_cast<size_t>(position - start) + length;
    const size_t got = ReadAt(start, readAhead, kReadAhead > needed ? kReadAhead : needed);
    aheadStart = start;
    aheadLength = got;
    slotLayout = SlotLayout{};
    if (got < needed)
        ReadFailed();
}

// Reads a batch of steps from `position` into slots. The first slot sits at the
// destination's offset within a page, so the slots later leave for the file
// from an address the kernel copies whole pages from.
void ReadSlots(const SlotLayout& layout)
{
    FlushQueue(); // queued bytes lie in the slots
    // One vector entry a step: fewer pieces for the kernel to copy than a
    // second entry for the bytes passed over.
    const size_t spill = layout.step - layout.keep;
    size_t count = (sizeof readAhead - kSlack - (kPage - 1) - spill) / layout.stride;
    if (count > kQueueEntries)
        count = kQueueEntries;
    if (kReadAhead < layout.stride)
        count = 1; // the one-step test build
    slotBase = readAhead + destBytes % kPage;
    for (size_t i = 0; i < count; ++i)
        slots[i] = iovec{slotBase + i * layout.stride + layout.lead, layout.step};
    aheadStart = position;
    aheadLength = ReadVectorAt(position, slots, count);
    slotLayout = layout;
    if (aheadLength < layout.step)
        ReadFailed();
}

// A fatal failure in the middle of a transfer must not leave a file behind
// that looks like a finished conversion.
void DiscardUnfinishedDest()
{
    if (destFile == nullptr)
        return;
    queued = 0;
    roomUsed = 0;
    std::fclose(destFile);
    destFile = nullptr;
    if (destIsRegular)
        std::remove(destName.c_str());
}

bool IsRegular(std::FILE* file)
{
    struct stat info {};
    return fstat(fileno(file), &info) == 0 && S_ISREG(info.st_mode);
}

uint32_t Clamp32(uint64_t value)
{
    return value > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(value);
}

void PatchDatSizes()
{
    if (destBytes < DAT_HEADER_SIZE)
        return;
    const uint64_t data = destBytes - DAT_HEADER_SIZE;
    uint8_t field[4];
    PutLittleEndian32(field, Clamp32(data + 36));
    WriteAll(DestFd(), field, sizeof field, DAT_RIFF_SIZE_OFFSET);
    PutLittleEndian32(field, Clamp32(data));
    WriteAll(DestFd(), field, sizeof field, DAT_DATA_SIZE_OFFSET);
}

// A source is read by position, so it must be a file that can be seeked in: a
// folder, a pipe or a socket is not one (and opening a pipe without a writer
// would wait for ever).
std::FILE* OpenReadable(const std::string& path)
{
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || S_ISDIR(info.st_mode) || S_ISFIFO(info.st_mode) ||
        S_ISSOCK(info.st_mode))
        return nullptr;
    return std::fopen(path.c_str(), "rb");
}

} // namespace

void KeepStandardStreamsOpen()
{
    for (int fd = 0; fd <= 2; ++fd)
        if (fcntl(fd, F_GETFD) == -1 && errno == EBADF &&
            open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY) != fd)
            Fatal("The standard streams could not be opened.\n\n");
}

std::FILE* OpenSourceFile(const std::string& path)
{
    std::FILE* file = OpenReadable(path);
    if (file == nullptr)
        return nullptr;
    std::setvbuf(file, nullptr, _IONBF, 0); // read through the read-ahead, not stdio
    sourceFd = fileno(file);
    posix_fadvise(sourceFd, 0, 0, POSIX_FADV_SEQUENTIAL);
    sourceName = path;
    aheadStart = position = 0;
    aheadLength = 0;
    slotLayout = SlotLayout{};
    return file;
}

void RefuseOversizeSource(std::FILE* file, const std::string& path)
{
    struct stat info {};
    if (fstat(fileno(file), &info) == 0 && static_cast<uint64_t>(info.st_size) > kLargestSource)
        Fatal("%s is 4 GiB or larger; Korvane reads sources smaller than 4 GiB only.\n\n",
              path.c_str());
}

std::FILE* OpenSheetFile(const std::string& path)
{
    struct stat info {};
    if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
        return nullptr;
    return std::fopen(path.c_str(), "r");
}

bool ReadSheetText(const std::string& path, std::string& text)
{
    std::FILE* file = OpenSheetFile(path);
    if (file == nullptr)
        return false;
    text.clear();
    char chunk[4096];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;)
        text.append(chunk, n);
    std::fclose(file);
    return true;
}

size_t ReadFileBytes(const std::string& path, uint64_t offset, uint8_t* into, size_t length)
{
    std::FILE* file = OpenReadable(path);
    if (file == nullptr)
        return 0;
    size_t got = 0;
    while (got < length) {
        const ssize_t n =
            pread(fileno(file), into + got, length - got, static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += static_cast<size_t>(n);
    }
    std::fclose(file);
    return got;
}

std::vector<std::string> NamesIgnoringCase(const std::string& folder, const std::string& name)
{
    std::vector<std::string> names;
    DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
    if (dir == nullptr)
        return names;
    while (const dirent* entry = readdir(dir))
        if (strcasecmp(entry->d_name, name.c_str()) == 0)
            names.emplace_back(entry->d_name);
    closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

bool MeasureSourceFile(const std::string& path, uint32_t& length)
{
    std::FILE* file = OpenReadable(path);
    if (file == nullptr)
        return false;
    RefuseOversizeSource(file, path);
    struct stat info {};
    const bool measured = fstat(fileno(file), &info) == 0;
    std::fclose(file);
    if (!measured)
        Fatal("\n\nRead error: the length of %s could not be measured.\n\n", path.c_str());
    length = static_cast<uint32_t>(info.st_size);
    return true;
}

void RefuseSameFile(const std::string& destPath, const std::string& otherPath)
{
    struct stat a {
    }, b{};
    if (stat(destPath.c_str(), &a) != 0 || stat(otherPath.c_str(), &b) != 0)
        return;
    if (a.st_dev == b.st_dev && a.st_ino == b.st_ino)
        Fatal("%s is the same file as %s; writing it would destroy the input.\n\n",
              destPath.c_str(), otherPath.c_str());
}

std::FILE* OpenDestFile(const std::string& path)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return nullptr;
    std::setvbuf(file, nullptr, _IONBF, 0); // written through the queue, not stdio
    destName = path;
    destIsRegular = IsRegular(file);
    destBytes = 0;
    queued = 0;
    roomUsed = 0;
    fatalCleanup = DiscardUnfinishedDest;
    return file;
}

const uint8_t* SourceBytes(size_t length)
{
    if (slotLayout.stride != 0 || position < aheadStart ||
        position + length > aheadStart + aheadLength)
        ReadAhead(length);
    const uint8_t* view = readAhead + (position - aheadStart);
    position += length;
    return view;
}

uint8_t* SourceStepInSlot(size_t length, size_t keep, size_t lead, size_t stride)
{
    const SlotLayout layout{length, keep, lead, stride};
    const bool inBatch = slotLayout == layout && position >= aheadStart &&
                         (position - aheadStart) % length == 0 &&
                         position + length <= aheadStart + aheadLength;
    if (!inBatch)
        ReadSlots(layout);
    uint8_t* view = slotBase + (position - aheadStart) / length * stride + lead;
    position += length;
    return view;
}

size_t ReadSourceUpTo(uint8_t* into, size_t length)
{
    const size_t got = ReadAt(position, into, length);
    position += got;
    return got;
}

void SeekSource(uint32_t offset) { position = offset; }

void QueueDest(const uint8_t* data, size_t length)
{
    destBytes += length;
    if (queued > 0) {
        iovec& last = queue[queued - 1];
        if (static_cast<const uint8_t*>(last.iov_base) + last.iov_len == data) {
            last.iov_len += length; // the next step follows on in the batch
            return;
        }
    }
    if (queued == kQueueEntries)
        FlushQueue();
    queue[queued++] = iovec{const_cast<uint8_t*>(data), length};
}

uint8_t* QueueDestRoom(size_t length)
{
    if (roomUsed + length > kRoomBytes || queued == kQueueEntries)
        FlushQueue();
    uint8_t* at = room + roomUsed;
    roomUsed += length;
    QueueDest(at, length);
    return at;
}

void WriteDest(const void* data, size_t length)
{
    FlushQueue();
    WriteAll(DestFd(), static_cast<const uint8_t*>(data), length, -1);
    destBytes += length;
}

void CloseDest(bool patchDatSizes)
{
    FlushQueue();
    if (patchDatSizes && destIsRegular)
        PatchDatSizes();
    std::FILE* file = destFile;
    destFile = nullptr;
    if (std::fclose(file) != 0) {
        if (destIsRegular)
            std::remove(destName.c_str());
        WriteFailed();
    }
}

void CloseSource()
{
    if (sourceFile != nullptr)
        std::fclose(sourceFile);
    sourceFile = nullptr;
    sourceFd = -1;
}

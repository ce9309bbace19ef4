#include "io/io.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <strings.h>

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

constexpr size_t kLargestBatch = kLargestStep + kPage - 1; // a step from anywhere in a page
alignas(4096) uint8_t readAhead[kReadAhead > kLargestBatch ? kReadAhead : kLargestBatch];
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

// A destination that is, or will be, a regular file is written to a temporary
// file beside it, which replaces it only at the checked close: until then the
// destination keeps whatever it held, and a failed or interrupted run removes
// just the temporary file. Special files (/dev/null, a FIFO, a terminal) are
// written directly.
constexpr size_t kLargestPath = PATH_MAX;
constexpr int kMostLinkHops = 40; // as the kernel allows when it opens a path
constexpr off_t kLargestSheet = off_t{1} << 20;
std::string destName;         // as the user named it, for messages
std::string destTarget;       // the file that the temporary file replaces (links resolved)
bool destIsTemporary = false; // the only kind that is patched, renamed or removed
uint64_t destBytes = 0;       // bytes written to the current destination

// What the interrupt handler needs, prepared before the transfer so that it only
// has to unlink and write. Changed only while the interrupt signals are blocked.
const int kInterruptSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};
char temporaryPath[kLargestPath + 1];
volatile sig_atomic_t temporaryExists = 0;
char interruptLine[2 * kLargestPath];
size_t interruptLineLength = 0;
constexpr const char* kInterrupted = "\n\nInterrupted";

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
    size_t count = (sizeof readAhead - (kPage - 1) - spill) / layout.stride;
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

sigset_t InterruptSet()
{
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : kInterruptSignals)
        sigaddset(&set, signal);
    return set;
}

// Runs `change` with the interrupt signals held back, so that the handler never
// sees a temporary file half-recorded.
template <class Change> void WithoutInterrupts(Change change)
{
    const sigset_t set = InterruptSet();
    sigset_t old;
    sigprocmask(SIG_BLOCK, &set, &old);
    change();
    sigprocmask(SIG_SETMASK, &old, nullptr);
}

void SetInterruptLine(const std::string& text)
{
    interruptLineLength = text.copy(interruptLine, sizeof interruptLine);
}

void RemoveTemporary()
{
    WithoutInterrupts([] {
        if (temporaryExists != 0)
            unlink(temporaryPath);
        temporaryExists = 0;
        SetInterruptLine(std::string(kInterrupted) + ".\n");
    });
}

extern "C" void Interrupted(int signal)
{
    if (temporaryExists != 0)
        unlink(temporaryPath);
    const ssize_t ignored = write(STDOUT_FILENO, interruptLine, interruptLineLength);
    (void)ignored;
    _exit(128 + signal);
}

// A fatal failure in the middle of a transfer must not leave a file behind
// that looks like a finished conversion, nor touch what the destination held.
void DiscardUnfinishedDest()
{
    if (destFile == nullptr)
        return;
    queued = 0;
    roomUsed = 0;
    std::fclose(destFile);
    destFile = nullptr;
    RemoveTemporary();
}

// Follows `path` through symbolic links to the name that is really written, so
// that a link stays a link; false for a loop of links.
bool ResolveLinks(const std::string& path, std::string& target)
{
    target = path;
    for (int hop = 0; hop < kMostLinkHops; ++hop) {
        struct stat info {};
        if (lstat(target.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
            return true;
        char link[kLargestPath];
        const ssize_t n = readlink(target.c_str(), link, sizeof link);
        if (n <= 0 || static_cast<size_t>(n) >= sizeof link)
            return false;
        const size_t slash = target.rfind('/');
        const std::string folder = link[0] == '/' || slash == std::string::npos
                                       ? std::string()
                                       : target.substr(0, slash + 1);
        target = folder + std::string(link, static_cast<size_t>(n));
    }
    return false;
}

// The permissions the destination would get from a plain create: those of the
// file it replaces, or the usual ones less the umask.
mode_t PermissionsFor(const struct stat* existing)
{
    if (existing != nullptr)
        return existing->st_mode & 07777;
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

// The name of the temporary file beside `destTarget`: its name and six characters, the name cut
// short where those would make it longer than a folder's entries can be (a long destination
// name must still be writable).
std::string TemporaryPattern()
{
    constexpr const char* kUnique = ".XXXXXX";
    const size_t nameStart = destTarget.rfind('/') + 1; // 0 without a folder
    const size_t nameRoom = NAME_MAX - std::strlen(kUnique);
    const size_t nameLength = std::min(destTarget.size() - nameStart, nameRoom);
    return destTarget.substr(0, nameStart + nameLength) + kUnique;
}

// Creates the temporary file beside `destTarget` and records it for the
// clean-up; -1 when it can't be made.
int CreateTemporary(const struct stat* existing)
{
    std::string pattern = TemporaryPattern();
    if (pattern.size() > kLargestPath)
        return -1;
    int fd = -1;
    WithoutInterrupts([&] {
        fd = mkstemp(&pattern[0]);
        if (fd < 0)
            return;
        pattern.copy(temporaryPath, kLargestPath);
        temporaryPath[pattern.size()] = '\0';
        temporaryExists = 1;
        SetInterruptLine(std::string(kInterrupted) + ": " + destName + " was not written.\n");
    });
    if (fd >= 0 && fchmod(fd, PermissionsFor(existing)) != 0) {
        close(fd);
        RemoveTemporary();
        return -1;
    }
    return fd;
}

// Opens the file a destination is written to: a temporary file for a regular
// file or a new name, the file itself for anything else.
int OpenDestFd(const std::string& path)
{
    struct stat info {};
    // A special file is written where the name leads, through any links: a pipe reached through
    // /proc/self/fd has no name that its link could be resolved to.
    if (stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
        destTarget = path;
        destIsTemporary = false;
        return open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    }
    if (!ResolveLinks(path, destTarget))
        return -1;
    const bool exists = stat(destTarget.c_str(), &info) == 0;
    destIsTemporary = !exists || S_ISREG(info.st_mode);
    if (!destIsTemporary)
        return open(destTarget.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    // Whoever could not have written over the file may not replace it either.
    if (exists && access(destTarget.c_str(), W_OK) != 0)
        return -1;
    return CreateTemporary(exists ? &info : nullptr);
}

// Puts the finished temporary file in the destination's place.
void ReplaceDest()
{
    bool renamed = false;
    WithoutInterrupts([&] {
        renamed = rename(temporaryPath, destTarget.c_str()) == 0;
        if (renamed)
            temporaryExists = 0;
    });
    if (!renamed) {
        RemoveTemporary();
        WriteFailed();
    }
    RemoveTemporary(); // nothing left to remove; resets the interrupt line
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

void CatchInterrupts()
{
    RemoveTemporary(); // prepares the line for an interrupt before any destination
    struct sigaction action {};
    action.sa_handler = Interrupted;
    action.sa_mask = InterruptSet(); // one clean-up at a time
    for (const int signal : kInterruptSignals) {
        // A run started under nohup keeps going when its terminal goes away.
        struct sigaction before {};
        if (signal == SIGHUP && sigaction(SIGHUP, nullptr, &before) == 0 &&
            before.sa_handler == SIG_IGN)
            continue;
        sigaction(signal, &action, nullptr);
    }
    // A file-size limit then fails the write like a full disk, and the clean-up runs.
    signal(SIGXFSZ, SIG_IGN);
}

void CopySourceBytes(uint64_t offset, uint8_t* into, size_t length)
{
    size_t got = 0;
    if (slotLayout.stride == 0 && offset >= aheadStart && offset < aheadStart + aheadLength) {
        got = static_cast<size_t>(aheadStart + aheadLength - offset);
        got = got < length ? got : length;
        std::memcpy(into, readAhead + (offset - aheadStart), got);
    }
    if (got < length)
        got += ReadAt(offset + got, into + got, length - got);
    std::memset(into + got, 0, length - got);
}

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

constexpr const char* kIrregularSheet =
    "%s is not a regular file; Korvane reads sheets from regular files only.\n\n";

void RefuseIrregularSheet(const std::string& path)
{
    struct stat info {};
    if (stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode) && !S_ISREG(info.st_mode))
        Fatal(kIrregularSheet, path.c_str());
}

std::FILE* OpenSheetFile(const std::string& path)
{
    // Without waiting for a writer: a FIFO is refused below, not read.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat info {};
    if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        close(fd);
        return nullptr;
    }
    if (!S_ISREG(info.st_mode)) {
        close(fd);
        Fatal(kIrregularSheet, path.c_str());
    }
    if (info.st_size > kLargestSheet) {
        close(fd);
        Fatal("%s is larger than 1 MiB; Korvane reads sheets of up to 1 MiB only.\n\n",
              path.c_str());
    }
    std::FILE* file = fdopen(fd, "r");
    if (file == nullptr)
        close(fd);
    return file;
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

void RefuseFolderDest(const std::string& destPath)
{
    struct stat info {};
    if ((!destPath.empty() && destPath.back() == '/') ||
        (stat(destPath.c_str(), &info) == 0 && S_ISDIR(info.st_mode)))
        Fatal("%s is a folder; name a file for the output.\n\n", destPath.c_str());
}

std::FILE* OpenDestFile(const std::string& path)
{
    destName = path;
    const int fd = OpenDestFd(path);
    if (fd < 0)
        return nullptr;
    std::FILE* file = fdopen(fd, "wb");
    if (file == nullptr) {
        close(fd);
        if (destIsTemporary)
            RemoveTemporary();
        return nullptr;
    }
    std::setvbuf(file, nullptr, _IONBF, 0); // written through the queue, not stdio
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

void ReadSourceAt(uint64_t offset, uint8_t* into, size_t length)
{
    if (ReadAt(offset, into, length) < length)
        ReadFailed();
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

uint64_t DestOffset() { return destBytes; }

void WriteDest(const void* data, size_t length)
{
    FlushQueue();
    WriteAll(DestFd(), static_cast<const uint8_t*>(data), length, -1);
    destBytes += length;
}

void RewriteDest(uint64_t offset, const uint8_t* data, size_t length)
{
    FlushQueue();
    if (destIsTemporary)
        WriteAll(DestFd(), data, length, static_cast<off_t>(offset));
}

void CloseDest()
{
    FlushQueue();
    std::FILE* file = destFile;
    destFile = nullptr;
    if (std::fclose(file) != 0) {
        RemoveTemporary();
        WriteFailed();
    }
    if (destIsTemporary)
        ReplaceDest();
}

void CloseSource()
{
    if (sourceFile != nullptr)
        std::fclose(sourceFile);
    sourceFile = nullptr;
    sourceFd = -1;
}

#include "engine/io.h"

#include <sys/stat.h>

#include <cstdio>
#include <memory>

#include "engine/engine.h"
#include "image/sector.h"
#include "settings/settings.h"

namespace {

constexpr size_t kStreamBuffer = size_t{1} << 20;

std::string sourceName;      // the file read from, for messages
std::string destName;        // the file written to, for messages and clean-up
bool destIsRegular = false;  // only a regular file is patched or removed
uint64_t destBytes = 0;      // bytes written to the current destination

// Buffers handed to setvbuf live as long as their stream.
std::unique_ptr<char[]> sourceBuffer;
std::unique_ptr<char[]> destBuffer;

void GiveBuffer(std::FILE* file, std::unique_ptr<char[]>& buffer)
{
    if (!buffer)
        buffer.reset(new char[kStreamBuffer]);
    std::setvbuf(file, buffer.get(), _IOFBF, kStreamBuffer);
}

[[noreturn]] void WriteFailed()
{
    Fatal("\n\nWrite error: %s could not be written (is the disk full?).\n\n", destName.c_str());
}

// A fatal failure in the middle of a transfer must not leave a file behind
// that looks like a finished conversion.
void DiscardUnfinishedDest()
{
    if (destFile == nullptr)
        return;
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

void PatchDatSizes()
{
    if (destBytes < DAT_HEADER_SIZE)
        return;
    const uint64_t data = destBytes - DAT_HEADER_SIZE;
    const uint64_t riff = data + 36;
    uint8_t field[4];
    PutLittleEndian32(field, riff > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(riff));
    if (std::fseek(destFile, DAT_RIFF_SIZE_OFFSET, SEEK_SET) != 0 || std::fwrite(field, 1, 4, destFile) != 4)
        WriteFailed();
    PutLittleEndian32(field, data > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(data));
    if (std::fseek(destFile, DAT_DATA_SIZE_OFFSET, SEEK_SET) != 0 || std::fwrite(field, 1, 4, destFile) != 4)
        WriteFailed();
}

}  // namespace

std::FILE* OpenSourceFile(const std::string& path)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return nullptr;
    struct stat info {};
    if (fstat(fileno(file), &info) != 0 || S_ISDIR(info.st_mode)) {
        std::fclose(file);
        return nullptr;
    }
    GiveBuffer(file, sourceBuffer);
    sourceName = path;
    return file;
}

void RefuseOversizeSource(std::FILE* file, const std::string& path)
{
    struct stat info {};
    if (fstat(fileno(file), &info) == 0 && static_cast<uint64_t>(info.st_size) > kLargestSource)
        Fatal("%s is 4 GiB or larger; Korvane reads sources smaller than 4 GiB only.\n\n", path.c_str());
}

bool MeasureSourceFile(const std::string& path, uint32_t& length)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return false;
    struct stat info {};
    const bool usable = fstat(fileno(file), &info) == 0 && !S_ISDIR(info.st_mode);
    if (usable) {
        RefuseOversizeSource(file, path);
        length = lof(file);
    }
    std::fclose(file);
    return usable;
}

void RefuseSameFile(const std::string& destPath, const std::string& otherPath)
{
    struct stat a {}, b {};
    if (stat(destPath.c_str(), &a) != 0 || stat(otherPath.c_str(), &b) != 0)
        return;
    if (a.st_dev == b.st_dev && a.st_ino == b.st_ino)
        Fatal("%s is the same file as %s; writing it would destroy the input.\n\n", destPath.c_str(),
              otherPath.c_str());
}

std::FILE* OpenDestFile(const std::string& path)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return nullptr;
    GiveBuffer(file, destBuffer);
    destName = path;
    destIsRegular = IsRegular(file);
    destBytes = 0;
    fatalCleanup = DiscardUnfinishedDest;
    return file;
}

void ReadSource(uint8_t* into, size_t length)
{
    if (std::fread(into, 1, length, sourceFile) != length)
        Fatal("\n\nRead error: %s could not be read (it ended early or is unreadable).\n\n",
              sourceName.c_str());
}

void SeekSource(uint32_t offset)
{
    if (std::fseek(sourceFile, static_cast<long>(offset), SEEK_SET) != 0)
        Fatal("\n\nRead error: %s could not be positioned at byte %lu.\n\n", sourceName.c_str(),
              static_cast<unsigned long>(offset));
}

void WriteDest(const void* data, size_t length)
{
    if (std::fwrite(data, 1, length, destFile) != length)
        WriteFailed();
    destBytes += length;
}

void CloseDest(bool patchDatSizes)
{
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
}

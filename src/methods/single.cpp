// The six single-file conversions share one run; what differs between them
// is the data in kSingleMethods.
#include <cstdio>
#include <cstring>

#include "engine/engine.h"
#include "io/io.h"
#include "image/sector.h"
#include "methods/methods.h"
#include "settings/settings.h"

namespace {

// What a source looks like around its first pack start. The methods name the shape they take;
// a source of another shape is refused before anything is written.
enum SourceShape : uint8_t { kRawShape, kDatShape, kCifShape, kStreamShape };

struct ShapeText {
    const char* looks;
    const char* fitsMpeg; // the method that fits for an MPEG output
    const char* fitsDat;  // and for a .dat output
};

constexpr ShapeText kShapes[] = {
    {"a BIN or raw track of 2352-byte sectors", "-raw2mpg", "-raw2dat"},
    {"a .dat of 2352-byte sectors", "-dat2mpg", "-dat2mpg, then -mpg2dat"},
    {"a .cif image of 2332-byte sectors", "-cif2mpg", "-cif2mpg, then -mpg2dat"},
    {"a plain MPEG stream", "-mpg2mpg", "-mpg2dat"},
};

struct SingleMethod {
    const char* sourceLine;
    const char* destLine;
    const char* methodLine;
    const char* notFound;
    bool honoursForcedSizes; // -r / -w apply
    uint32_t sectorSize;     // unless forced
    bool manySectorsPerStep; // as many whole sectors per step as `buf` holds
    uint32_t writeSize;      // unless forced; 0: the whole step
    bool transferFromStart;  // the search only proves there is a stream
    bool writesDatHeader;
    bool needsRiffSignature;
    SourceShape takes;
    bool forcedSizeSkipsShape; // a size given with -r or -w says the user knows the layout
};

constexpr const char* kRawSource = "RAW track image source --> %s\n";
constexpr const char* kMpegDest = "MPEG destination --> %s\n";
constexpr const char* kDatDest = "VCD DAT destination --> %s\n";
constexpr const char* kRaw2mpgLine = "Extraction method --> raw2mpg\n";
constexpr const char* kNotInRaw = "\n\nCould not find MPEG stream in raw image file.\n";

// clang-format off
constexpr SingleMethod kRaw2datMethod{kRawSource, kDatDest, "Extraction method --> raw2dat\n",
                                      kNotInRaw, true, RAW_SECTOR_SIZE, true,
                                      0, true, true, false, kRawShape, true};
constexpr SingleMethod kRaw2mpgMethod{kRawSource, kMpegDest, kRaw2mpgLine,
                                      kNotInRaw, true, RAW_SECTOR_SIZE, false,
                                      FORM2_PAYLOAD_SIZE, false, false, false, kRawShape, true};
// cif2mpg and mpg2mpg run as raw2mpg on the sizes they force, but take sources of their own.
constexpr SingleMethod kCif2mpgMethod{kRawSource, kMpegDest, kRaw2mpgLine,
                                      kNotInRaw, true, RAW_SECTOR_SIZE, false,
                                      FORM2_PAYLOAD_SIZE, false, false, false, kCifShape, false};
constexpr SingleMethod kMpg2mpgMethod{kRawSource, kMpegDest, kRaw2mpgLine,
                                      kNotInRaw, true, RAW_SECTOR_SIZE, false,
                                      FORM2_PAYLOAD_SIZE, false, false, false, kStreamShape, false};
constexpr SingleMethod kMpg2datMethod{"MPEG file source --> %s\n", kDatDest,
                                      "Conversion method --> mpg2dat\n",
                                      "\n\nCould not find MPEG stream in MPEG file.\n",
                                      false, FORM2_PAYLOAD_SIZE, false,
                                      FORM2_PAYLOAD_SIZE, false, false, false, kStreamShape, false};
constexpr SingleMethod kDat2mpgMethod{"VCD DAT source --> %s\n", kMpegDest,
                                      "Extraction method --> dat2mpg\n",
                                      "\n\nCould not find MPEG stream in DAT file.\n",
                                      false, RAW_SECTOR_SIZE, false,
                                      FORM2_PAYLOAD_SIZE, false, false, true, kDatShape, false};
// clang-format on

constexpr const char* kSearchingLine = "\xFE                 -> searching \r";
constexpr const char* kWritingLine = "\xFE                 -> writing...\r";
constexpr uint8_t kRiff[4] = {'R', 'I', 'F', 'F'};
constexpr int kShapeSectors = 8; // sectors looked at from the one holding the first pack
constexpr const char* kMountedDatNote =
    "A .dat copied off a mounted disc looks like that too (2048-byte sectors, no headers): copy "
    "the disc as a CUE/BIN image and use -cue2mpg.\n";

// The `length` bytes at `offset` of the source, when it reaches that far.
bool SourceHolds(int64_t offset, uint8_t* into, uint32_t length)
{
    if (offset < 0 || offset + length > lofSource)
        return false;
    CopySourceBytes(static_cast<uint64_t>(offset), into, length);
    return true;
}

bool SyncAt(int64_t offset)
{
    uint8_t bytes[sizeof kSectorSync];
    return SourceHolds(offset, bytes, sizeof bytes) &&
           std::memcmp(bytes, kSectorSync, sizeof bytes) == 0;
}

bool SubheaderAt(int64_t offset)
{
    uint8_t bytes[SUBHEADER_SIZE];
    return SourceHolds(offset, bytes, sizeof bytes) &&
           std::memcmp(bytes, bytes + SUBHEADER_SIZE / 2, SUBHEADER_SIZE / 2) == 0;
}

// Any of the sectors from the one at `first`, `stride` bytes apart, passes `test`.
bool AnySector(int64_t first, uint32_t stride, bool (*test)(int64_t))
{
    for (int k = 0; k < kShapeSectors; ++k)
        if (test(first + int64_t{k} * stride))
            return true;
    return false;
}

// Raw sectors: a sync in front of a sector holding the pack (a damaged first one is let pass).
bool RawAround(uint32_t pack)
{
    return AnySector(int64_t{pack} - FORM2_PAYLOAD_OFFSET, RAW_SECTOR_SIZE, SyncAt);
}

// Two raw sectors one after the other, the first holding the pack: no stream looks like that.
bool RawPairAround(uint32_t pack)
{
    const int64_t sync = int64_t{pack} - FORM2_PAYLOAD_OFFSET;
    return SyncAt(sync) && SyncAt(sync + RAW_SECTOR_SIZE);
}

// A raw track also has a subheader 8 bytes in front of its first pack.
bool CifAround(uint32_t pack)
{
    return AnySector(int64_t{pack} - int64_t{SUBHEADER_SIZE}, CIF_SECTOR_SIZE, SubheaderAt) &&
           !RawPairAround(pack);
}

bool Fits(SourceShape shape, uint32_t pack)
{
    switch (shape) {
    case kRawShape:
    case kDatShape:
        return RawAround(pack);
    case kCifShape:
        return CifAround(pack);
    case kStreamShape:
        break;
    }
    return !RawPairAround(pack);
}

SourceShape ShapeOf(uint32_t pack)
{
    uint8_t head[sizeof kRiff];
    if (RawAround(pack))
        return SourceHolds(0, head, sizeof head) && std::memcmp(head, kRiff, sizeof kRiff) == 0
                   ? kDatShape
                   : kRawShape;
    return CifAround(pack) ? kCifShape : kStreamShape;
}

// Refuses a source whose layout is not the method's: its output would be garbage.
void RefuseMismatchedSource(const SingleMethod& m)
{
    if (m.forcedSizeSkipsShape && (forcedReadSector != 0 || forcedWriteSector != 0))
        return;
    if (Fits(m.takes, counter))
        return;
    const SourceShape shape = ShapeOf(counter);
    const ShapeText& looks = kShapes[shape];
    Fatal("\n\n%s is not %s: it looks like %s; use %s.\n%s", source->c_str(),
          kShapes[m.takes].looks, looks.looks,
          datormpg == kDatOutput ? looks.fitsDat : looks.fitsMpeg,
          shape == kStreamShape ? kMountedDatNote : "");
}

void SetSizes(const SingleMethod& m)
{
    sectors = m.sectorSize;
    if (m.honoursForcedSizes && forcedReadSector != 0)
        sectors = static_cast<uint32_t>(forcedReadSector);
    MAX_READ_SECTORS = m.manySectorsPerStep ? BUF_SIZE / sectors * sectors : sectors;
    MAX_WRITE_SECTORS = m.writeSize != 0 ? m.writeSize : MAX_READ_SECTORS;
    if (m.honoursForcedSizes && forcedWriteSector != 0)
        MAX_WRITE_SECTORS = static_cast<uint32_t>(forcedWriteSector);
    // A larger write than read would put bytes into the output that never came from the source.
    if (MAX_WRITE_SECTORS > MAX_READ_SECTORS)
        Fatal("The write size of %u bytes is larger than the %u bytes read per step; use a "
              "smaller -w.\n\n",
              static_cast<unsigned>(MAX_WRITE_SECTORS), static_cast<unsigned>(MAX_READ_SECTORS));
}

// A .dat starts with "RIFF"; nothing else of its header is looked at.
void TestRiffSignature()
{
    const size_t got = ReadSourceUpTo(buf, DAT_HEADER_SIZE);
    if (got < sizeof kRiff || std::memcmp(buf, kRiff, sizeof kRiff) != 0)
        Fatal("\nThis file is not a DAT file or does not have the correct DAT signature.\n");
    SeekSource(0);
}

void RunSingle(const SingleMethod& m)
{
    std::printf(m.sourceLine, source->c_str());
    std::printf(m.destLine, dest->c_str());
    std::printf("%s", m.methodLine);
    ShowStats();

    sourceFile = OpenSourceFile(*source);
    if (sourceFile == nullptr) {
        std::printf("%s could not be opened.\nFile could be missing.\n\n", source->c_str());
        ++outputsNotWritten;
        return;
    }
    RefuseOversizeSource(sourceFile, *source);
    lofSource = lof(sourceFile);
    SetSizes(m);
    if (m.needsRiffSignature)
        TestRiffSignature();

    counter = 0;
    std::printf("%s", kSearchingLine);
    if (SeekAndLocate(mpeg_sync, lofSource, 1) == 0)
        Fatal("%s", m.notFound);
    RefuseMismatchedSource(m);
    if (m.transferFromStart)
        counter = 0;
    SeekSource(counter);

    RefuseSameFile(*dest, *source);
    RefuseFolderDest(*dest);
    if (datormpg == kDatOutput)
        RefuseOversizeDat(lofSource, *dest);
    destFile = OpenDestFile(*dest);
    if (destFile == nullptr) {
        std::printf("%s could not be written.\n", dest->c_str());
        ++outputsNotWritten;
        CloseSource();
        return;
    }
    if (m.writesDatHeader)
        WriteDest(vcdheader, DAT_HEADER_SIZE);

    std::printf("%s", kWritingLine);
    WriteBuffer(lofSource);
    std::printf("\n\xFE completed. %s written.\n", dest->c_str());
    PrintVerifyReport();
    CloseSource();
}

} // namespace

void raw2dat() { RunSingle(kRaw2datMethod); }
void raw2mpg() { RunSingle(kRaw2mpgMethod); }
void mpg2dat() { RunSingle(kMpg2datMethod); }
void dat2mpg() { RunSingle(kDat2mpgMethod); }

void cif2mpg()
{
    forcedReadSector = static_cast<int32_t>(CIF_SECTOR_SIZE);
    forcedWriteSector = static_cast<int32_t>(FORM2_PAYLOAD_SIZE);
    RunSingle(kCif2mpgMethod);
}

void mpg2mpg()
{
    forcedReadSector = static_cast<int32_t>(FORM2_PAYLOAD_SIZE);
    forcedWriteSector = static_cast<int32_t>(FORM2_PAYLOAD_SIZE);
    RunSingle(kMpg2mpgMethod);
}

// The six single-file conversions share one run; what differs between them
// is the data in kSingleMethods.
#include <cstdio>
#include <cstring>

#include "cli/cli.h"
#include "engine/engine.h"
#include "io/io.h"
#include "image/sector.h"
#include "methods/methods.h"
#include "settings/settings.h"

namespace {

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
};

constexpr const char* kRawSource = "RAW track image source --> %s\n";
constexpr const char* kMpegDest = "MPEG destination --> %s\n";
constexpr const char* kDatDest = "VCD DAT destination --> %s\n";
constexpr const char* kNotInRaw = "\n\nCould not find MPEG stream in raw image file.\n";

// clang-format off
constexpr SingleMethod kRaw2datMethod{kRawSource, kDatDest, "Extraction method --> raw2dat\n",
                                      kNotInRaw, true, RAW_SECTOR_SIZE, true,
                                      0, true, true, false};
constexpr SingleMethod kRaw2mpgMethod{kRawSource, kMpegDest, "Extraction method --> raw2mpg\n",
                                      kNotInRaw, true, RAW_SECTOR_SIZE, false,
                                      FORM2_PAYLOAD_SIZE, false, false, false};
constexpr SingleMethod kMpg2datMethod{"MPEG file source --> %s\n", kDatDest,
                                      "Conversion method --> mpg2dat\n",
                                      "\n\nCould not find MPEG stream in MPEG file.\n",
                                      false, FORM2_PAYLOAD_SIZE, false,
                                      FORM2_PAYLOAD_SIZE, false, false, false};
constexpr SingleMethod kDat2mpgMethod{"VCD DAT source --> %s\n", kMpegDest,
                                      "Extraction method --> dat2mpg\n",
                                      "\n\nCould not find MPEG stream in DAT file.\n",
                                      false, RAW_SECTOR_SIZE, false,
                                      FORM2_PAYLOAD_SIZE, false, false, true};
// clang-format on

constexpr const char* kSearchingLine = "\xFE                 -> searching \r";
constexpr const char* kWritingLine = "\xFE                 -> writing...\r";
constexpr uint8_t kRiff[4] = {'R', 'I', 'F', 'F'};

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
    if (m.transferFromStart)
        counter = 0;
    SeekSource(counter);

    RefuseSameFile(*dest, *source);
    destFile = OpenDestFile(*dest);
    if (destFile == nullptr) {
        std::printf("%s could not be written.\n", dest->c_str());
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
    raw2mpg();
}

void mpg2mpg()
{
    forcedReadSector = static_cast<int32_t>(FORM2_PAYLOAD_SIZE);
    forcedWriteSector = static_cast<int32_t>(FORM2_PAYLOAD_SIZE);
    raw2mpg();
}

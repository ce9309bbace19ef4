// The three CUE-based extractions share one run over the selected records;
// what differs between them is the data in their CueMethod.
#include <cstdio>
#include <cstring>

#include "engine/engine.h"
#include "io/io.h"
#include "image/cue.h"
#include "image/sector.h"
#include "methods/methods.h"
#include "settings/settings.h"

namespace {

struct CueMethod {
    const char* destLine;
    const char* methodLine;
    bool searchesWholeBin; // only proves the image carries a stream
    bool oneSectorPerStep; // else as many whole sectors as `buf` holds
    uint32_t writeSize;    // unless forced; 0: the whole step
    bool writesDatHeader;
    bool searchesEachRecord; // the transfer starts at the record's first pack
    const char* closingLine;
};

constexpr const char* kClosed = "\xFE completed. Track(s) written.\n\n";

// clang-format off
constexpr CueMethod kCue2rawMethod{"RAW image destination --> %s\n",
                                   "Extraction method --> cue2raw\n",
                                   false, false, 0, false, false,
                                   "\n\xFE completed. Track(s) written.\n\n"};
constexpr CueMethod kCue2datMethod{"VCD DAT destination --> %s\n",
                                   "Extraction method --> cue2dat\n",
                                   true, false, 0, true, false, kClosed};
constexpr CueMethod kCue2mpgMethod{"MPEG destination --> %s\n",
                                   "Extraction method --> cue2mpg\n",
                                   false, true, FORM2_PAYLOAD_SIZE, false, true, kClosed};
// clang-format on

constexpr const char* kWholeBinSearching = "\xFE                 -> searching \r";
constexpr const char* kTrackSearching = "\xFE                 Track %d -> searching \r";
constexpr const char* kTrackWriting = "\xFE                 Track %d -> writing...\r";
constexpr const char* kTrackError = "\xFE ERROR: could not write Track %d       \n";

void SetRecordSizes(const CueMethod& m, const TrackRecord& record)
{
    sectors = forcedReadSector != 0 ? static_cast<uint32_t>(forcedReadSector)
                                    : static_cast<uint32_t>(record.sectorSize);
    MAX_READ_SECTORS = m.oneSectorPerStep ? sectors : BUF_SIZE / sectors * sectors;
    MAX_WRITE_SECTORS = m.writeSize != 0 ? m.writeSize : MAX_READ_SECTORS;
    if (forcedWriteSector != 0)
        MAX_WRITE_SECTORS = static_cast<uint32_t>(forcedWriteSector);
}

bool Numbered() { return endTrack > 1 && justOneTrack == 0; }

// Refuses, before any destination exists, what would write bytes never read,
// overwrite the image being read or write into a folder's name.
void CheckRecords(const CueMethod& m)
{
    RefuseFolderDest(*dest);
    for (int i = startTrack; i <= endTrack; ++i) {
        SetRecordSizes(m, track[i]);
        if (MAX_WRITE_SECTORS > MAX_READ_SECTORS && forcedWriteSector == 0 && forcedReadSector == 0)
            Fatal("Track %d holds %u-byte sectors, which carry no MPEG payload to unwrap; use "
                  "-cue2raw.\n\n",
                  i, static_cast<unsigned>(sectors));
        if (MAX_WRITE_SECTORS > MAX_READ_SECTORS)
            Fatal("The write size of %u bytes is larger than the %u bytes read per step of Track "
                  "%d; use a smaller -w.\n\n",
                  static_cast<unsigned>(MAX_WRITE_SECTORS), static_cast<unsigned>(MAX_READ_SECTORS),
                  i);
        if (Numbered())
            AddTrackIndex(i);
        RefuseSameFile(*dest, *source);
        if (m.writesDatHeader) {
            counter = track[i].startOffset;
            RefuseOversizeDat(track[i].endOffset, *dest);
        }
        for (size_t f = 0; f < BinFileCount(); ++f)
            RefuseSameFile(*dest, BinFilePath(f));
        RefuseFolderDest(*dest);
    }
}

void SearchWholeBin()
{
    std::printf("%s", kWholeBinSearching);
    for (size_t f = 0; f < BinFileCount(); ++f) {
        SelectBinFile(f);
        lofSource = BinFileLength(f);
        counter = 0;
        SeekSource(0);
        if (SeekAndLocate(mpeg_sync, lofSource, 1) != 0)
            return;
    }
    Fatal("\n\nCould not find MPEG stream in BIN file.\n");
}

void ExtractRecord(const CueMethod& m, int i)
{
    const TrackRecord& record = track[i];
    destFile = OpenDestFile(*dest);
    if (destFile == nullptr) {
        std::printf(kTrackError, i);
        ++outputsNotWritten;
        return;
    }
    SetRecordSizes(m, record);
    SelectBinFile(static_cast<size_t>(record.file));
    counter = record.startOffset;
    SeekSource(counter);
    if (m.searchesEachRecord) {
        std::printf(kTrackSearching, i);
        if (SeekAndLocate(mpeg_sync, record.endOffset, 1) == 0) {
            CloseDest(); // no stream in this record: its file stays empty
            return;
        }
        SeekSource(counter);
    }
    std::printf(kTrackWriting, i);
    if (m.writesDatHeader)
        WriteDest(vcdheader, DAT_HEADER_SIZE);
    VerifyRecord(i, record);
    WriteBuffer(record.endOffset);
}

void RunCue(const CueMethod& m)
{
    std::printf("CUE source --> %s\n", source->c_str());
    std::printf(m.destLine, dest->c_str());
    std::printf("%s", m.methodLine);
    ReadImage();
    ShowStats();
    DrawTable();
    SetupTracks();
    baseFile = destDir;
    CheckRecords(m);
    if (m.searchesWholeBin)
        SearchWholeBin();
    for (int i = startTrack; i <= endTrack; ++i) {
        if (Numbered())
            AddTrackIndex(i);
        ExtractRecord(m, i);
    }
    std::printf("%s", m.closingLine);
    PrintVerifyReport();
    CloseSource();
}

} // namespace

void cue2raw() { RunCue(kCue2rawMethod); }
void cue2dat() { RunCue(kCue2datMethod); }
void cue2mpg() { RunCue(kCue2mpgMethod); }

void AddTrackIndex(int index)
{
    destDir = baseFile;
    // The number goes before the last dot of the last name; a dot in a folder's name is no
    // extension. One trailing backslash is passed over, as when the extension was looked for.
    const size_t last =
        destDir.size() >= 2 && destDir.back() == '\\' ? destDir.size() - 2 : std::string::npos;
    const size_t folder = destDir.find_last_of("/\\", last);
    size_t dot = destDir.rfind('.');
    if (dot != std::string::npos && folder != std::string::npos && dot < folder)
        dot = std::string::npos;
    std::string extension;
    if (dot != std::string::npos) {
        extension = destDir.substr(dot);
        destDir.erase(dot);
    }
    char number[16];
    std::snprintf(number, sizeof number, "%.2d", index);
    destDir.append(number, 2);
    destDir += extension;
}

#include "image/cue.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "io/io.h"
#include "image/sector.h"
#include "settings/settings.h"

TrackRecord track[MAX_TRACKS];
int16_t totalTracks = -1;

namespace {

constexpr const char* kIncomplete =
    "CUE file is incomplete and is missing the necessary track information.\n\n";
constexpr const char* kSizeWarning =
    "\n** BIN size does not match size expected in CUE file. **\n\n";
constexpr size_t kModeCharAt = 4; // MODE2/2352: the '2'
constexpr size_t kSizeTextAt = 6; // MODE2/2352: "2352"
constexpr size_t kSizeTextLength = 4;

struct BinFile {
    std::string path; // the name that opened
    uint32_t length;
};

std::vector<BinFile> binFiles;
size_t selectedFile = SIZE_MAX; // none open

// State of one reading of the sheet.
struct Sheet {
    bool lineStart = true; // no word yet on the current line
    bool wordAtLineStart = false;
    bool trackSeen = false;
    char modeChar = 0;
    int32_t sectorSize = 0; // from the latest TRACK line; 0 when unusable
    int64_t frame[MAX_TRACKS] = {};
};

[[noreturn]] void Incomplete() { Fatal("%s", kIncomplete); }

int16_t ModeOf(const Sheet& sheet) { return sheet.modeChar == '1' ? 1 : 2; }

// Skips white space; line ends mark the start of a new line.
void SkipSpace(Sheet& sheet)
{
    int c;
    while ((c = std::getc(cueFile)) != EOF) {
        if (!std::isspace(c)) {
            std::ungetc(c, cueFile);
            return;
        }
        if (c == '\n' || c == '\r')
            sheet.lineStart = true;
    }
}

// Reads one word of any length; false when only white space was left.
bool ReadWord(Sheet& sheet, std::string& word)
{
    SkipSpace(sheet);
    int c = std::getc(cueFile);
    if (c == EOF)
        return false;
    sheet.wordAtLineStart = sheet.lineStart;
    sheet.lineStart = false;
    word.clear();
    do {
        word.push_back(static_cast<char>(c));
        c = std::getc(cueFile);
    } while (c != EOF && !std::isspace(c));
    if (c != EOF)
        std::ungetc(c, cueFile);
    return true;
}

// A decimal number as a formatted read takes it: white space, a sign, digits.
// Numbers beyond 32 bits saturate; a text without digits does not parse.
int64_t ReadNumber(Sheet& sheet)
{
    SkipSpace(sheet);
    sheet.lineStart = false;
    int c = std::getc(cueFile);
    const bool negative = c == '-';
    if (c == '-' || c == '+')
        c = std::getc(cueFile);
    if (c == EOF || !std::isdigit(c))
        Incomplete();
    int64_t value = 0;
    for (; c != EOF && std::isdigit(c); c = std::getc(cueFile)) {
        if (value < INT32_MAX)
            value = value * 10 + (c - '0');
    }
    if (c != EOF)
        std::ungetc(c, cueFile);
    if (value > INT32_MAX)
        value = INT32_MAX;
    return negative ? -value : value;
}

void ExpectColon()
{
    if (std::getc(cueFile) != ':')
        Incomplete();
}

bool StartsWith(const std::string& word, const char* keyword)
{
    return word.compare(0, std::strlen(keyword), keyword) == 0;
}

// Second try at a name: from the end back to the first slash, backslashes
// become slashes and letters become lower case (names written on DOS).
std::string Rewritten(std::string name)
{
    for (size_t i = name.size(); i-- > 0;) {
        if (name[i] == '/')
            break;
        if (name[i] == '\\')
            name[i] = '/';
        else
            name[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(name[i])));
    }
    return name;
}

void FileStep(Sheet& sheet)
{
    std::string name;
    if (!ReadWord(sheet, name))
        Incomplete();
    if (name[0] == '"') {
        if (name.size() == 1)
            Incomplete();
        std::string next;
        while (name.back() != '"') {
            if (!ReadWord(sheet, next))
                Incomplete();
            name += ' ';
            name += next;
        }
        name = name.substr(1, name.size() - 2);
    }
    FindImageFile(name, "CUE");
}

void TrackStep(Sheet& sheet)
{
    ReadNumber(sheet); // the track number is not used
    std::string mode;
    if (!ReadWord(sheet, mode))
        Incomplete();
    SkipSpace(sheet);
    sheet.trackSeen = true;
    sheet.modeChar = mode.size() > kModeCharAt ? mode[kModeCharAt] : 0;
    sheet.sectorSize = 0;
    if (mode.size() >= kSizeTextAt + kSizeTextLength) {
        const int size = std::atoi(mode.substr(kSizeTextAt, kSizeTextLength).c_str());
        if (size > 0 && static_cast<uint32_t>(size) <= BUF_SIZE)
            sheet.sectorSize = size;
    }
}

void IndexStep(Sheet& sheet)
{
    ReadNumber(sheet); // the index number is not used
    const int64_t mm = ReadNumber(sheet);
    ExpectColon();
    const int64_t ss = ReadNumber(sheet);
    ExpectColon();
    const int64_t ff = ReadNumber(sheet);
    SkipSpace(sheet);
    const int n = totalTracks + 1;
    if (n >= MAX_TRACKS)
        Fatal("Total tracks over 98.  Possible error in CUE file.\n\n");
    if (mm < 0 || ss < 0 || ff < 0 || sheet.sectorSize == 0)
        Incomplete();
    totalTracks = static_cast<int16_t>(n);
    TrackRecord& record = track[n];
    record.mm = static_cast<int16_t>(mm);
    record.ss = static_cast<int16_t>(ss);
    record.ff = static_cast<int16_t>(ff);
    record.sectorSize = sheet.sectorSize;
    record.file = static_cast<int16_t>(binFiles.empty() ? 0 : binFiles.size() - 1);
    record.mode = ModeOf(sheet);
    sheet.frame[n] = mm * FRAMES_PER_MINUTE + ss * FRAMES_PER_SECOND + ff;
}

void HandleWord(Sheet& sheet, const std::string& word)
{
    // Later FILE lines start the next BIN of a sheet with one file per track.
    const bool newFile = StartsWith(word, "FILE") && (binFiles.empty() || sheet.wordAtLineStart);
    if (newFile)
        FileStep(sheet);
    else if (StartsWith(word, "TRACK"))
        TrackStep(sheet);
    else if (StartsWith(word, "INDEX"))
        IndexStep(sheet);
}

uint32_t WholeSectors(uint32_t length, int32_t size)
{
    return length / static_cast<uint32_t>(size) * static_cast<uint32_t>(size);
}

// Offsets within each record's file, computed wide and kept inside the file.
// A record ends where the next INDEX of the same file begins; the last record
// of a file ends at the file's last whole sector. Answers whether any INDEX
// pointed past the end of its file.
std::vector<bool> PlaceRecords(const Sheet& sheet)
{
    std::vector<bool> pastEnd(binFiles.size(), false);
    for (int r = 0; r <= totalTracks; ++r) {
        TrackRecord& record = track[r];
        const uint32_t length = binFiles[record.file].length;
        const int64_t start = record.sectorSize * sheet.frame[r];
        record.startOffset = start > length ? length : static_cast<uint32_t>(start);
        bool clamped = start > length;
        if (r < totalTracks && track[r + 1].file == record.file) {
            const int64_t end = record.sectorSize * sheet.frame[r + 1];
            record.endOffset = end > length ? length : static_cast<uint32_t>(end);
            clamped = clamped || end > length;
        } else {
            record.endOffset = WholeSectors(length, record.sectorSize);
        }
        if (clamped)
            pastEnd[record.file] = true;
    }
    return pastEnd;
}

void WarnOnSizeMismatch(const std::vector<bool>& pastEnd)
{
    for (size_t f = 0; f < binFiles.size(); ++f) {
        int last = -1;
        for (int r = 0; r <= totalTracks; ++r)
            if (static_cast<size_t>(track[r].file) == f)
                last = r;
        if (last < 0)
            continue;
        const bool partialSector =
            binFiles[f].length % static_cast<uint32_t>(track[last].sectorSize) != 0;
        if (partialSector || pastEnd[f])
            std::printf("%s", kSizeWarning);
    }
}

// A sheet of one Mode 1 track: only cue2mpg takes it, as record 1 with forced sizes.
void SingleMode1Track(const Sheet& sheet)
{
    if (method != kCue2mpg)
        Fatal("\nThere are no plans to support Mode 1 images. *True* VCDs are burned as Mode 2.\n"
              "If you still wish to extract the MPEG stream from the Mode 1 image,\n"
              "try the -cue2mpg option instead.\n"
              "NOTE: Mode 1 support in -cue2mpg not fully tested.\n");
    if (totalTracks < 0 || sheet.sectorSize == 0)
        Incomplete();
    totalTracks = 1;
    fixOption = 0;
    std::printf("- Mode 1 detected: -fix option automatically disabled.\n");
    forcedReadSector = sheet.sectorSize;
    forcedWriteSector = static_cast<int32_t>(MODE1_PAYLOAD_SIZE);
    const uint32_t length = binFiles[track[0].file].length;
    const int64_t start0 = track[0].sectorSize * sheet.frame[0];
    track[0].startOffset = start0 > length ? length : static_cast<uint32_t>(start0);
    track[0].endOffset = 0;
    TrackRecord& record = track[1];
    record = TrackRecord{0, 1, 0, sheet.sectorSize, 0, 0, track[0].file, ModeOf(sheet)};
    const int64_t start = sheet.sectorSize * sheet.frame[0];
    record.startOffset = start > length ? length : static_cast<uint32_t>(start);
    record.endOffset = WholeSectors(length, sheet.sectorSize);
}

void EndOfSheet(const Sheet& sheet)
{
    if (binFiles.empty())
        Fatal("Error in CUE file!  Missing FILE information.\n\n");
    std::fclose(cueFile);
    cueFile = nullptr;
    if (totalTracks >= 1) {
        WarnOnSizeMismatch(PlaceRecords(sheet));
        return;
    }
    if (!sheet.trackSeen || sheet.modeChar != '1')
        Incomplete();
    SingleMode1Track(sheet);
}

// The last name of a path written on either system.
std::string LastName(const std::string& name)
{
    const size_t cut = name.find_last_of("/\\");
    return cut == std::string::npos ? name : name.substr(cut + 1);
}

void AddTry(std::vector<std::string>& tries, const std::string& path)
{
    if (!path.empty() && std::find(tries.begin(), tries.end(), path) == tries.end())
        tries.push_back(path);
}

} // namespace

std::string SheetFolder()
{
    const size_t slash = source->rfind('/');
    return slash == std::string::npos ? std::string() : source->substr(0, slash + 1);
}

int16_t AddImageFile(const std::string& path, uint32_t length)
{
    binFiles.push_back(BinFile{path, length});
    return static_cast<int16_t>(binFiles.size() - 1);
}

int16_t FindImageFile(const std::string& name, const char* sheetKind, bool besideSheet)
{
    const std::string folder = SheetFolder(), last = LastName(name);
    std::vector<std::string> tries;
    if (!besideSheet) {
        AddTry(tries, name);
        AddTry(tries, Rewritten(name));
        if (!folder.empty() && !name.empty() && name[0] != '/') {
            AddTry(tries, folder + name);
            AddTry(tries, folder + Rewritten(name));
        }
    }
    AddTry(tries, folder + last);
    // Names that differ only in case from the last name: one is taken, two are not.
    std::vector<std::string> others;
    for (const std::string& other : NamesIgnoringCase(folder, last))
        if (other != last)
            others.push_back(other);
    if (others.size() == 1)
        AddTry(tries, folder + others[0]);
    for (const std::string& path : tries) {
        uint32_t length = 0;
        if (MeasureSourceFile(path, length))
            return AddImageFile(path, length);
    }
    std::string listed;
    for (const std::string& path : tries)
        listed += (listed.empty() ? "\"" : ", \"") + path + "\"";
    std::string ambiguous;
    if (others.size() > 1) {
        ambiguous = "Several files in " + (folder.empty() ? std::string("./") : folder) +
                    " differ from " + last + " only in letter case; none was taken:";
        for (const std::string& other : others)
            ambiguous += " " + other;
        ambiguous += "\n";
    }
    Fatal("%s could not be opened or accessed.\nThe filename specified inside the %s file could "
          "be wrong\n\n%sTried, in order: %s\n",
          besideSheet ? tries[0].c_str() : Rewritten(name).c_str(), sheetKind, ambiguous.c_str(),
          listed.c_str());
}

void AddRecord(int16_t file, uint32_t start, uint32_t end, int32_t sectorSize, int64_t lba,
               int16_t mode)
{
    const int n = totalTracks + 1;
    if (n >= MAX_TRACKS)
        Fatal("%s describes more than 98 track records (indexes); Korvane's table holds 98.\n\n",
              source->c_str());
    if (lba < 0 || lba / FRAMES_PER_MINUTE > INT16_MAX)
        Fatal("%s places a track at sector %lld, beyond any CD.\n\n", source->c_str(),
              static_cast<long long>(lba));
    totalTracks = static_cast<int16_t>(n);
    track[n] = TrackRecord{static_cast<int16_t>(lba / FRAMES_PER_MINUTE),
                           static_cast<int16_t>(lba / FRAMES_PER_SECOND % 60),
                           static_cast<int16_t>(lba % FRAMES_PER_SECOND),
                           sectorSize,
                           start,
                           end,
                           file,
                           mode};
}

void RefuseImage(const char* kind, const std::string& fault)
{
    Fatal("%s is not a valid %s image: %s.\n\n", source->c_str(), kind, fault.c_str());
}

void RefuseUnopenedSource()
{
    Fatal("%s could not be opened or accessed.\nFile may not exist.\n\n", source->c_str());
}

std::string SourceSheetText()
{
    std::string text;
    if (!ReadSheetText(*source, text))
        RefuseUnopenedSource();
    return text;
}

void ReadCUESheet()
{
    cueFile = OpenSheetFile(*source);
    if (cueFile == nullptr)
        RefuseUnopenedSource();
    Sheet sheet;
    std::string word;
    while (ReadWord(sheet, word)) {
        HandleWord(sheet, word);
        if (std::feof(cueFile))
            break;
    }
    EndOfSheet(sheet);
    SelectBinFile(0);
}

void DrawTable()
{
    std::printf(" Track #     mm:ss.ff     Sector Size          LBA Start        LBA End    \n");
    for (int i = 0; i <= totalTracks; ++i) {
        const TrackRecord& r = track[i];
        std::printf("    %d        %.2d:%.2d.%.2d     %.4d bytes/sector    %9ld      %9ld\n", i,
                    r.mm, r.ss, r.ff, r.sectorSize, static_cast<long>(r.startOffset),
                    static_cast<long>(r.endOffset));
    }
    std::printf("\n");
}

void SetupTracks()
{
    if (justOneTrack == 0) {
        startTrack = 1;
        endTrack = totalTracks;
        return;
    }
    if (startTrack > totalTracks || startTrack < 0)
        Fatal("\xFE Track %d does not exist.\n\n", startTrack);
}

size_t BinFileCount() { return binFiles.size(); }

const std::string& BinFilePath(size_t file) { return binFiles[file].path; }

uint32_t BinFileLength(size_t file) { return binFiles[file].length; }

void SelectBinFile(size_t file)
{
    if (file == selectedFile && sourceFile != nullptr)
        return;
    CloseSource();
    sourceFile = OpenSourceFile(binFiles[file].path);
    if (sourceFile == nullptr)
        Fatal("%s could not be opened or accessed.\n\n", binFiles[file].path.c_str());
    selectedFile = file;
}

void ResetTrackTable()
{
    for (TrackRecord& r : track)
        r = TrackRecord{};
    totalTracks = -1;
    binFiles.clear();
    selectedFile = SIZE_MAX;
}

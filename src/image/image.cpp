// Which reader an image needs, told by its content alone: a name's extension
// says nothing (a .cue can hold a TOC, an .img is any of them).
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "image/cue.h"
#include "image/sector.h"
#include "io/io.h"
#include "settings/settings.h"

namespace {

enum class Format { kCue, kToc, kNrg, kCcd, kNone };

// Enough of a sheet to tell its kind; a longer source is left to the CUE reader.
constexpr size_t kHeadBytes = size_t{1} << 20;
constexpr size_t kFooterBytes = 12; // NER5 and a 64-bit offset

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The words of `text` in order, `//` comments left out (a TOC's comments).
std::vector<std::string> LeadingWords(const std::string& text, size_t count)
{
    std::vector<std::string> words;
    size_t at = 0;
    while (words.size() < count && at < text.size()) {
        if (IsBlank(text[at])) {
            ++at;
        } else if (text.compare(at, 2, "//") == 0) {
            at = text.find('\n', at);
        } else {
            size_t end = at;
            while (end < text.size() && !IsBlank(text[end]))
                ++end;
            words.push_back(text.substr(at, end - at));
            at = end;
        }
    }
    return words;
}

bool IsTocModeWord(const std::string& word)
{
    for (const char* mode : {"AUDIO", "MODE0", "MODE1", "MODE1_RAW", "MODE2", "MODE2_FORM1",
                             "MODE2_FORM2", "MODE2_FORM_MIX", "MODE2_RAW"})
        if (word == mode)
            return true;
    return false;
}

// A TOC opens with a disc type, a quoted catalog number, CD-TEXT or a TRACK with
// a cdrdao mode word (a CUE's TRACK is followed by a number, its CATALOG unquoted).
bool LooksLikeToc(const std::string& head)
{
    const std::vector<std::string> w = LeadingWords(head, 2);
    if (w.empty())
        return false;
    const std::string next = w.size() > 1 ? w[1] : "";
    return w[0] == "CD_DA" || w[0] == "CD_ROM" || w[0] == "CD_ROM_XA" || w[0] == "CD_I" ||
           (w[0] == "CATALOG" && next[0] == '"') || (w[0] == "CD_TEXT" && next[0] == '{') ||
           (w[0] == "TRACK" && IsTocModeWord(next));
}

// A CloneCD sheet is INI text: its first line that holds anything is a section.
bool LooksLikeCcd(const std::string& head)
{
    size_t at = head.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    while (at < head.size() && IsBlank(head[at]))
        ++at;
    return at < head.size() && head[at] == '[';
}

// What the CUE reader acts on: a word beginning with one of its keywords.
bool LooksLikeCue(const std::string& head)
{
    for (size_t at = 0; at < head.size();) {
        while (at < head.size() && std::isspace(static_cast<unsigned char>(head[at])))
            ++at;
        for (const char* keyword : {"FILE", "TRACK", "INDEX"})
            if (head.compare(at, std::strlen(keyword), keyword) == 0)
                return true;
        while (at < head.size() && !std::isspace(static_cast<unsigned char>(head[at])))
            ++at;
    }
    return false;
}

Format Recognise()
{
    RefuseIrregularSheet(*source);
    uint32_t length = 0;
    if (!MeasureSourceFile(*source, length))
        RefuseUnopenedSource();
    uint8_t tail[kFooterBytes] = {};
    if (length >= 8) {
        const size_t n = length < kFooterBytes ? length : kFooterBytes;
        ReadFileBytes(*source, length - n, tail + kFooterBytes - n, n);
        if (std::memcmp(tail, "NER5", 4) == 0 || std::memcmp(tail + 4, "NERO", 4) == 0)
            return Format::kNrg;
    }
    std::string head(length < kHeadBytes ? length : kHeadBytes, '\0');
    head.resize(ReadFileBytes(*source, 0, reinterpret_cast<uint8_t*>(&head[0]), head.size()));
    if (LooksLikeToc(head))
        return Format::kToc;
    if (LooksLikeCcd(head))
        return Format::kCcd;
    if (LooksLikeCue(head) || length > head.size())
        return Format::kCue;
    return Format::kNone;
}

} // namespace

int16_t HeaderMode(int16_t file, uint64_t at, uint32_t sectorSize, int16_t declared)
{
    uint8_t head[SECTOR_MODE_OFFSET + 1];
    if (sectorSize < RAW_SECTOR_SIZE ||
        ReadFileBytes(BinFilePath(static_cast<size_t>(file)), at, head, sizeof head) !=
            sizeof head ||
        std::memcmp(head, kSectorSync, sizeof kSectorSync) != 0 ||
        (head[SECTOR_MODE_OFFSET] != 1 && head[SECTOR_MODE_OFFSET] != 2))
        return declared;
    return head[SECTOR_MODE_OFFSET];
}

void ReadImage()
{
    switch (Recognise()) {
    case Format::kCue:
        ReadCUESheet();
        return;
    case Format::kToc:
        ReadTOCSheet();
        break;
    case Format::kNrg:
        ReadNRGImage();
        break;
    case Format::kCcd:
        ReadCCDSheet();
        break;
    case Format::kNone:
        Fatal("%s is none of the images Korvane reads (a CUE sheet, a cdrdao TOC sheet, a Nero "
              "NRG image or a CloneCD CCD sheet).\n\n",
              source->c_str());
    }
    if (totalTracks < 1)
        Fatal("%s describes a single track: a Video CD image has a data track and at least one "
              "MPEG track after it.\n\n",
              source->c_str());
    SelectBinFile(0);
}

// CloneCD images: the .ccd sheet (INI text) gives the disc's table of contents
// and each track's indexes as sector numbers of the .img beside it, which holds
// every raw 2352-byte sector from 00:02:00 on.
#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "image/cue.h"
#include "image/sector.h"
#include "io/io.h"
#include "settings/settings.h"

namespace {

constexpr const char* kKind = "CloneCD";
constexpr int kMostEntries = 200;
constexpr long kLeadOut = 0xA2;
constexpr long kFirstPointer = 0xA0; // first track; then last track, lead-out, session pointers
constexpr long kLastPointer = 0xFF;
constexpr long kLastTrack = 99;
constexpr long kLargestValue = 0x7FFFFFFF;
constexpr long kAbsent = LONG_MIN;

using Section = std::map<std::string, std::string>; // key (lower case) -> value

[[noreturn]] void Malformed(const std::string& fault) { RefuseImage(kKind, fault); }

std::string Lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string Trimmed(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return "";
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Sections by their lower-case name ("entry 3", "track 1"), keys in lower case.
std::map<std::string, Section> Parse(const std::string& text)
{
    std::map<std::string, Section> sections;
    Section* current = nullptr;
    size_t at = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    while (at < text.size()) {
        size_t end = text.find_first_of("\r\n", at);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = Trimmed(text.substr(at, end - at));
        at = end + 1;
        if (line.empty() || line[0] == ';')
            continue;
        if (line[0] == '[') {
            if (line.back() != ']')
                Malformed("a section line without its ']': " + line);
            const std::string name = Lower(Trimmed(line.substr(1, line.size() - 2)));
            if (sections.count(name) != 0)
                Malformed("the section [" + name + "] twice");
            current = &sections[name];
            continue;
        }
        const size_t equals = line.find('=');
        if (current == nullptr || equals == std::string::npos)
            Malformed("a line that is neither a section nor a key: " + line);
        (*current)[Lower(Trimmed(line.substr(0, equals)))] = Trimmed(line.substr(equals + 1));
    }
    return sections;
}

// A decimal value (or hex with 0x), or `absent` when the key is missing and not required.
long Number(const Section& section, const std::string& where, const std::string& key,
            bool required = true, long absent = kAbsent)
{
    const auto found = section.find(key);
    if (found == section.end()) {
        if (required)
            Malformed("[" + where + "] has no " + key);
        return absent;
    }
    const std::string& text = found->second;
    const bool negative = !text.empty() && text[0] == '-';
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const size_t start = hex ? 2 : negative ? 1 : 0;
    long value = 0;
    if (text.size() == start)
        Malformed("[" + where + "] " + key + " is not a number: " + text);
    for (size_t i = start; i < text.size(); ++i) {
        const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(text[i])));
        const int digit = c >= '0' && c <= '9'          ? c - '0'
                          : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                        : -1;
        if (digit < 0)
            Malformed("[" + where + "] " + key + " is not a number: " + text);
        value = value * (hex ? 16 : 10) + digit;
        if (value > kLargestValue)
            Malformed("[" + where + "] " + key + " is too large: " + text);
    }
    return negative ? -value : value;
}

struct CcdTrack {
    long number;
    long plba;
    std::vector<long> indexes; // sector numbers of index 0 (when given), 1, 2 ...
    bool hasIndex0 = false;
    int16_t mode = 2; // what the sector headers say: 1 or 2, or kAudioMode (MODE=0)
};

class CcdReader {
public:
    explicit CcdReader(const std::string& text) : sections_(Parse(text)) {}

    void Read()
    {
        if (sections_.count("clonecd") == 0 || sections_.count("disc") == 0)
            Malformed("no [CloneCD] or no [Disc] section");
        const Section& disc = sections_["disc"];
        if (Number(disc, "Disc", "sessions", false, 1) != 1)
            Malformed("more than one session; a Video CD has one");
        const long entries = Number(disc, "Disc", "tocentries");
        if (entries > kMostEntries)
            Malformed("TocEntries of " + std::to_string(entries));
        ReadEntries(entries);
        ReadTracks();
        Place(FindImage());
    }

private:
    void ReadEntries(long entries)
    {
        long counted = 0;
        for (const auto& [name, section] : sections_)
            counted += name.compare(0, 6, "entry ") == 0;
        if (counted != entries)
            Malformed("TocEntries says " + std::to_string(entries) + " but there are " +
                      std::to_string(counted) + " [Entry] sections");
        for (long i = 0; i < entries; ++i) {
            const std::string where = "Entry " + std::to_string(i);
            const auto found = sections_.find(Lower(where));
            if (found == sections_.end())
                Malformed("no [" + where + "]");
            const Section& entry = found->second;
            const long point = Number(entry, where, "point");
            if (point >= kFirstPointer && point <= kLastPointer && point != kLeadOut)
                continue; // first and last track, session pointers
            if (point != kLeadOut && (point < 1 || point > kLastTrack)) {
                // Refused once the [TRACK] sections are matched: a track's section left
                // without its point says more.
                if (strayPoint_.empty())
                    strayPoint_ = "[" + where + "] Point " + std::to_string(point) +
                                  ", neither a track (1 to 99) nor a pointer (0xa0 to 0xff)";
                continue;
            }
            const long plba = Number(entry, where, "plba");
            const long m = Number(entry, where, "pmin", false),
                       s = Number(entry, where, "psec", false),
                       f = Number(entry, where, "pframe", false);
            if (m != kAbsent && s != kAbsent && f != kAbsent &&
                (m * 60 + s) * FRAMES_PER_SECOND + f - LEAD_IN_FRAMES != plba)
                Malformed("[" + where + "] PLBA " + std::to_string(plba) +
                          " disagrees with its PMin, PSec and PFrame");
            if (point == kLeadOut) {
                leadOut_ = plba;
                continue;
            }
            for (const CcdTrack& track : tracks_)
                if (track.number == point)
                    Malformed("track " + std::to_string(point) + " listed twice");
            tracks_.push_back(CcdTrack{point, plba, {}});
        }
        if (leadOut_ == kAbsent)
            Malformed("no lead-out entry (Point 0xa2)");
        if (tracks_.empty())
            Malformed("no track entry");
        std::sort(tracks_.begin(), tracks_.end(),
                  [](const CcdTrack& a, const CcdTrack& b) { return a.number < b.number; });
        for (size_t t = 0; t < tracks_.size(); ++t)
            if (t > 0 && tracks_[t].plba <= tracks_[t - 1].plba)
                Malformed("track " + std::to_string(tracks_[t].number) +
                          " does not start after the track before it");
        if (leadOut_ <= tracks_.back().plba)
            Malformed("the lead-out is not after the last track");
    }

    void ReadTracks()
    {
        for (const auto& [name, section] : sections_) {
            if (name.compare(0, 6, "track ") != 0)
                continue;
            bool known = false;
            for (const CcdTrack& track : tracks_)
                known = known || Lower("track " + std::to_string(track.number)) == name;
            if (!known)
                Malformed("[" + name + "] has no matching track entry");
        }
        if (!strayPoint_.empty())
            Malformed(strayPoint_);
        for (CcdTrack& track : tracks_) {
            const std::string where = "TRACK " + std::to_string(track.number);
            const auto found = sections_.find(Lower(where));
            if (found == sections_.end()) {
                track.indexes.push_back(track.plba); // no [TRACK]: index 1 only
                continue;
            }
            const Section& section = found->second;
            const long mode = Number(section, where, "mode", false, 2);
            if (mode < 0 || mode > 2)
                Malformed("[" + where + "] MODE " + std::to_string(mode));
            track.mode = mode == 0 ? kAudioMode : mode == 1 ? 1 : 2;
            // An index 0 before 00:02:00 is track 1's lead-in, which the .img doesn't hold.
            const long index0 = Number(section, where, "index 0", false);
            if (index0 != kAbsent && (index0 >= 0 || &track != &tracks_.front())) {
                track.indexes.push_back(index0);
                track.hasIndex0 = true;
            }
            const long index1 = Number(section, where, "index 1");
            if (index1 != track.plba)
                Malformed("[" + where + "] INDEX 1 differs from the track's PLBA");
            track.indexes.push_back(index1);
            for (long k = 2; section.count("index " + std::to_string(k)) != 0; ++k)
                track.indexes.push_back(Number(section, where, "index " + std::to_string(k)));
            for (size_t i = 1; i < track.indexes.size(); ++i)
                if (track.indexes[i] < track.indexes[i - 1])
                    Malformed("the indexes of [" + where + "] go backwards");
        }
        for (size_t t = 1; t < tracks_.size(); ++t)
            if (tracks_[t].indexes.front() < tracks_[t - 1].indexes.back())
                Malformed("track " + std::to_string(tracks_[t].number) +
                          " begins before the last index of the track before it");
        for (const CcdTrack& track : tracks_)
            if (track.indexes.front() < 0)
                Malformed("an index of track " + std::to_string(track.number) + " before 00:02:00");
    }

    // NAME.img beside NAME.ccd: the sheet names no file.
    int16_t FindImage()
    {
        std::string name = source->substr(SheetFolder().size());
        const size_t dot = name.rfind('.');
        if (dot != std::string::npos && dot > 0)
            name.erase(dot);
        const int16_t file = FindImageFile(name + ".img", "CCD", true);
        const uint64_t length = BinFileLength(static_cast<size_t>(file));
        if (length % RAW_SECTOR_SIZE != 0)
            Malformed(BinFilePath(static_cast<size_t>(file)) +
                      " is not a whole number of 2352-byte sectors");
        if (length < static_cast<uint64_t>(leadOut_) * RAW_SECTOR_SIZE)
            Malformed(BinFilePath(static_cast<size_t>(file)) +
                      " ends before the lead-out at sector " + std::to_string(leadOut_));
        return file;
    }

    // One record per index; an index 0 as long as nothing (index 1 at the same
    // sector) is no record.
    void Place(int16_t file)
    {
        for (size_t t = 0; t < tracks_.size(); ++t) {
            const CcdTrack& track = tracks_[t];
            const long end = t + 1 < tracks_.size() ? tracks_[t + 1].indexes.front() : leadOut_;
            const int16_t mode =
                HeaderMode(file, static_cast<uint64_t>(track.plba) * RAW_SECTOR_SIZE,
                           RAW_SECTOR_SIZE, track.mode);
            for (size_t i = 0; i < track.indexes.size(); ++i) {
                const long from = track.indexes[i];
                const long to = i + 1 < track.indexes.size() ? track.indexes[i + 1] : end;
                if (to > end)
                    Malformed("an index of track " + std::to_string(track.number) +
                              " past the track's end");
                if (track.hasIndex0 && i == 0 && from == to)
                    continue;
                AddRecord(file, static_cast<uint32_t>(from * RAW_SECTOR_SIZE),
                          static_cast<uint32_t>(to * RAW_SECTOR_SIZE),
                          static_cast<int32_t>(RAW_SECTOR_SIZE), from, mode);
            }
        }
    }

    std::map<std::string, Section> sections_;
    std::vector<CcdTrack> tracks_;
    long leadOut_ = kAbsent;
    std::string strayPoint_; // the first entry whose point is neither a track nor a pointer
};

} // namespace

void ReadCCDSheet() { CcdReader(SourceSheetText()).Read(); }

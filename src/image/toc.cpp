// cdrdao TOC sheets: each track is the run of its data statements (spans of
// data files, or zeros that are in no file), cut into records at START (the end
// of the pregap) and at each INDEX (counted from index 1).
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <strings.h>
#include <vector>

#include "image/cue.h"
#include "io/io.h"
#include "settings/settings.h"

namespace {

constexpr const char* kKind = "cdrdao TOC";
constexpr int kMaxTocTracks = 99;
constexpr int kMaxIndexes = 98; // INDEX 02..99
constexpr uint64_t kLargestNumber = UINT64_C(0xFFFFFFFF);
constexpr uint64_t kLargestTrack = UINT64_C(1) << 40; // far beyond any CD
constexpr uint32_t kSampleBytes = 4;                  // 16-bit stereo
constexpr uint32_t kAudioSector = 2352;
constexpr uint32_t kSubchannelBytes = 96;
constexpr int16_t kNoFile = -1;

struct Mode {
    const char* word;
    uint32_t size;
};
constexpr Mode kModes[] = {{"AUDIO", 2352},       {"MODE0", 2336},          {"MODE1", 2048},
                           {"MODE1_RAW", 2352},   {"MODE2", 2336},          {"MODE2_FORM1", 2048},
                           {"MODE2_FORM2", 2324}, {"MODE2_FORM_MIX", 2336}, {"MODE2_RAW", 2352}};

enum class Kind { kWord, kString, kNumber, kMsf, kOffset, kOpen, kClose, kPunct, kEnd };

struct Token {
    Kind kind = Kind::kEnd;
    std::string text;    // a word, or a string's bytes
    uint64_t number = 0; // a number, an offset, or an MSF in frames
};

// A piece of a track: `length` bytes of `file` from `offset`, or zeros in no file.
struct Span {
    int16_t file;
    uint64_t offset;
    uint64_t length;
};

struct Track {
    uint32_t sectorSize = 0;
    bool audio = false;
    // What the sector headers say: 1 for the MODE1 modes, kAudioMode for AUDIO, else 2.
    int16_t mode = 2;
    std::vector<Span> spans;
    uint64_t length = 0;
    bool hasStart = false;
    uint64_t start = 0;            // bytes from the track's start to index 1
    std::vector<uint64_t> indexes; // bytes from index 1
};

[[noreturn]] void Malformed(const std::string& fault) { RefuseImage(kKind, fault); }

class Lexer {
public:
    explicit Lexer(const std::string& text) : text_(text) {}

    Token Next()
    {
        SkipBlanksAndComments();
        Token t;
        if (at_ >= text_.size())
            return t;
        const char c = text_[at_];
        if (c == '"')
            return String();
        if (c == '#') {
            ++at_;
            t.kind = Kind::kOffset;
            t.number = Digits("a byte offset");
            return t;
        }
        if (c >= '0' && c <= '9')
            return NumberOrMsf();
        if (c == '{' || c == '}' || c == ':' || c == ',') {
            ++at_;
            t.kind = c == '{' ? Kind::kOpen : c == '}' ? Kind::kClose : Kind::kPunct;
            return t;
        }
        if ((c == '-' || c == '+') && at_ + 1 < text_.size() && text_[at_ + 1] >= '0' &&
            text_[at_ + 1] <= '9')
            Malformed("a number with a sign on line " + Line());
        if (IsWordChar(c)) {
            t.kind = Kind::kWord;
            while (at_ < text_.size() && IsWordChar(text_[at_]))
                t.text.push_back(text_[at_++]);
            return t;
        }
        Malformed(std::string("an unexpected character '") + c + "' on line " + Line());
    }

    Token Peek()
    {
        const size_t saved = at_;
        Token t = Next();
        at_ = saved;
        return t;
    }

    // Passes over the rest of a { } block whatever it holds but strings and comments, which may
    // hold braces; blocks nest.
    void SkipBlockRest()
    {
        const size_t opened = at_;
        for (int depth = 1; depth > 0;) {
            SkipBlanksAndComments();
            if (at_ >= text_.size())
                Malformed("a CD_TEXT block opened on line " + LineAt(opened) + " and never closed");
            const char c = text_[at_];
            if (c == '"') {
                String();
                continue;
            }
            depth += c == '{' ? 1 : c == '}' ? -1 : 0;
            ++at_;
        }
    }

    std::string Line() const { return LineAt(at_); }

    // Counted only for a refusal: counting at every token would make a long sheet quadratic.
    std::string LineAt(size_t at) const
    {
        size_t line = 1;
        for (size_t i = 0; i < at && i < text_.size(); ++i)
            line += text_[i] == '\n';
        return std::to_string(line);
    }

private:
    static bool IsWordChar(char c)
    {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
               c == '_';
    }

    void SkipBlanksAndComments()
    {
        while (at_ < text_.size()) {
            const char c = text_[at_];
            if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
                ++at_;
            } else if (text_.compare(at_, 2, "//") == 0) {
                const size_t end = text_.find('\n', at_);
                at_ = end == std::string::npos ? text_.size() : end;
            } else {
                return;
            }
        }
    }

    uint64_t Digits(const char* what)
    {
        if (at_ >= text_.size() || text_[at_] < '0' || text_[at_] > '9')
            Malformed(std::string(what) + " without digits on line " + Line());
        uint64_t value = 0;
        while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') {
            value = value * 10 + static_cast<uint64_t>(text_[at_++] - '0');
            if (value > kLargestNumber)
                Malformed("a number too large on line " + Line());
        }
        if (at_ < text_.size() && IsWordChar(text_[at_]))
            Malformed("a number with letters on line " + Line());
        return value;
    }

    Token NumberOrMsf()
    {
        Token t;
        t.kind = Kind::kNumber;
        t.number = Digits("a number");
        if (at_ < text_.size() && text_[at_] == ':') {
            ++at_;
            const uint64_t s = Digits("a time");
            if (at_ >= text_.size() || text_[at_] != ':')
                Malformed("a time that is not MM:SS:FF on line " + Line());
            ++at_;
            const uint64_t f = Digits("a time");
            if (s >= 60 || f >= 75)
                Malformed("a time with seconds past 59 or frames past 74 on line " + Line());
            t.kind = Kind::kMsf;
            t.number = (t.number * 60 + s) * 75 + f;
        }
        return t;
    }

    Token String()
    {
        Token t;
        t.kind = Kind::kString;
        const size_t opened = at_;
        for (++at_;; ++at_) {
            if (at_ >= text_.size() || text_[at_] == '\n' || text_[at_] == '\r')
                Malformed("a string not closed on line " + LineAt(opened));
            const char c = text_[at_];
            if (c == '\t')
                Malformed("a tab inside a string on line " + LineAt(opened));
            if (c == '"') {
                ++at_;
                return t;
            }
            if (c == '\\' && at_ + 1 < text_.size() && text_[at_ + 1] == '"') {
                t.text.push_back('"');
                ++at_;
            } else if (c == '\\' && at_ + 3 < text_.size() && IsOctal(text_[at_ + 1]) &&
                       IsOctal(text_[at_ + 2]) && IsOctal(text_[at_ + 3])) {
                t.text.push_back(static_cast<char>((text_[at_ + 1] - '0') * 64 +
                                                   (text_[at_ + 2] - '0') * 8 +
                                                   (text_[at_ + 3] - '0')));
                at_ += 3;
            } else {
                t.text.push_back(c);
            }
        }
    }

    static bool IsOctal(char c) { return c >= '0' && c <= '7'; }

    const std::string& text_;
    size_t at_ = 0;
};

class TocReader {
public:
    explicit TocReader(const std::string& text) : lex_(text) {}

    void Read()
    {
        ReadHeader();
        while (lex_.Peek().kind != Kind::kEnd) {
            const Token t = lex_.Next();
            if (t.kind != Kind::kWord || t.text != "TRACK")
                Unexpected(t);
            if (tracks_.size() == kMaxTocTracks)
                Malformed("more than 99 tracks");
            tracks_.emplace_back();
            ReadTrack(tracks_.back());
        }
        if (tracks_.empty())
            Malformed("no TRACK");
        if (BinFileCount() == 0)
            Malformed("no data file: every track is zeros");
        PlaceTracks();
    }

private:
    [[noreturn]] void Unexpected(const Token& t)
    {
        if (t.kind == Kind::kWord)
            Malformed("an unknown keyword " + t.text + " on line " + lex_.Line());
        Malformed("a statement out of place on line " + lex_.Line());
    }

    Token Expect(Kind kind, const char* what)
    {
        const Token t = lex_.Next();
        if (t.kind != kind)
            Malformed(std::string("no ") + what + " where one belongs on line " + lex_.Line());
        return t;
    }

    bool NextIs(Kind kind)
    {
        const Token t = lex_.Peek();
        return t.kind == kind;
    }

    bool NextIsWord(const char* word)
    {
        const Token t = lex_.Peek();
        return t.kind == Kind::kWord && t.text == word;
    }

    // CD-TEXT blocks say nothing about where the data is; braces nest.
    void SkipBlock()
    {
        Expect(Kind::kOpen, "{");
        lex_.SkipBlockRest();
    }

    void ReadHeader()
    {
        for (;;) {
            const Token t = lex_.Peek();
            if (t.kind != Kind::kWord || t.text == "TRACK")
                return;
            lex_.Next();
            if (t.text == "CATALOG")
                Expect(Kind::kString, "catalog number");
            else if (t.text == "CD_TEXT")
                SkipBlock();
            else if (t.text != "CD_DA" && t.text != "CD_ROM" && t.text != "CD_ROM_XA" &&
                     t.text != "CD_I")
                Unexpected(t);
        }
    }

    static const Mode* FindMode(const std::string& word)
    {
        for (const Mode& mode : kModes)
            if (word == mode.word)
                return &mode;
        return nullptr;
    }

    // RW or RW_RAW after a mode: 96 sub-channel bytes follow each sector.
    uint32_t SubChannel()
    {
        if (NextIsWord("RW") || NextIsWord("RW_RAW")) {
            lex_.Next();
            return kSubchannelBytes;
        }
        return 0;
    }

    // A length: bytes (or `unit`-byte units) as a number, sectors of `sector` bytes as MM:SS:FF.
    uint64_t Length(uint32_t sector, uint32_t unit)
    {
        const Token t = lex_.Next();
        if (t.kind == Kind::kMsf)
            return t.number * sector;
        if (t.kind == Kind::kNumber)
            return t.number * unit;
        Malformed("no length where one belongs on line " + lex_.Line());
    }

    bool NextIsLength() { return NextIs(Kind::kNumber) || NextIs(Kind::kMsf); }

    void Add(Track& track, int16_t file, uint64_t offset, uint64_t length)
    {
        if (length % track.sectorSize != 0)
            Malformed("a data span of " + std::to_string(length) + " bytes in track " +
                      std::to_string(tracks_.size()) + ", not a whole number of its " +
                      std::to_string(track.sectorSize) + "-byte sectors");
        if (length > kLargestTrack || track.length + length > kLargestTrack)
            Malformed("track " + std::to_string(tracks_.size()) + " is longer than any CD");
        track.spans.push_back(Span{file, offset, length});
        track.length += length;
    }

    int16_t DataFile(const std::string& name)
    {
        if (name == "-")
            Malformed("data from standard input (\"-\")");
        if (name.find('\0') != std::string::npos)
            Malformed("a file name holding a NUL byte (\\000), which no file name can hold");
        const auto found = files_.find(name);
        if (found != files_.end())
            return found->second;
        return files_[name] = FindImageFile(name, "TOC");
    }

    // Bytes of `file` from `offset`: `length`, or the rest of the file when `toEnd`.
    void FileSpan(Track& track, int16_t file, uint64_t offset, uint64_t length, bool toEnd)
    {
        const uint64_t size = BinFileLength(static_cast<size_t>(file));
        const std::string& path = BinFilePath(static_cast<size_t>(file));
        if (offset >= size)
            Malformed("the offset " + std::to_string(offset) + " is at or past the end of " + path +
                      " (" + std::to_string(size) + " bytes)");
        if (toEnd)
            length = size - offset;
        if (length > size - offset)
            Malformed("the length requested of " + path + " at " + std::to_string(offset) +
                      " runs past its end (" + std::to_string(size) + " bytes)");
        Add(track, file, offset, length);
    }

    uint64_t OptionalOffset()
    {
        if (!NextIs(Kind::kOffset))
            return 0;
        return lex_.Next().number;
    }

    void DataFileStatement(Track& track)
    {
        const int16_t file = DataFile(Expect(Kind::kString, "file name").text);
        const uint64_t offset = OptionalOffset();
        const bool toEnd = !NextIsLength();
        const uint64_t length = toEnd ? 0 : Length(track.sectorSize, 1);
        FileSpan(track, file, offset, length, toEnd);
    }

    // WAVE files: the samples start after the header, at the data chunk.
    uint64_t WaveData(int16_t file, uint64_t offset)
    {
        const std::string& path = BinFilePath(static_cast<size_t>(file));
        uint8_t head[12];
        if (ReadFileBytes(path, offset, head, sizeof head) != sizeof head ||
            std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0)
            Malformed(path + " is not a WAVE file");
        uint64_t at = offset + sizeof head;
        for (int chunks = 0; chunks < 64; ++chunks) {
            uint8_t chunk[8];
            if (ReadFileBytes(path, at, chunk, sizeof chunk) != sizeof chunk)
                break;
            const uint64_t size =
                chunk[4] | chunk[5] << 8 | chunk[6] << 16 | static_cast<uint64_t>(chunk[7]) << 24;
            if (std::memcmp(chunk, "data", 4) == 0)
                return at + sizeof chunk;
            at += sizeof chunk + size + (size & 1);
        }
        Malformed(path + " has no WAVE data chunk");
    }

    void AudioFileStatement(Track& track)
    {
        if (!track.audio)
            Malformed("an audio FILE in data track " + std::to_string(tracks_.size()));
        const std::string name = Expect(Kind::kString, "file name").text;
        const int16_t file = DataFile(name);
        if (NextIsWord("SWAP"))
            lex_.Next();
        uint64_t offset = OptionalOffset();
        const size_t dot = name.rfind('.');
        if (dot != std::string::npos && strcasecmp(name.c_str() + dot, ".wav") == 0)
            offset = WaveData(file, offset);
        offset += Length(kAudioSector, kSampleBytes);
        const uint64_t length = NextIsLength() ? Length(kAudioSector, kSampleBytes) : 0;
        FileSpan(track, file, offset, length, length == 0);
    }

    void ZeroStatement(Track& track, uint64_t length)
    {
        if (length == 0)
            Malformed("a zero-length PREGAP, ZERO or SILENCE in track " +
                      std::to_string(tracks_.size()));
        Add(track, kNoFile, 0, length);
    }

    void MarkStart(Track& track, uint64_t at)
    {
        if (track.hasStart)
            Malformed("a second START or PREGAP in track " + std::to_string(tracks_.size()));
        track.hasStart = true;
        track.start = at;
    }

    // Flags and CD-TEXT say nothing about where the data is.
    bool SkipFlag(const Token& t)
    {
        const std::string& w = t.text;
        if (w == "NO") {
            if (!NextIsWord("COPY") && !NextIsWord("PRE_EMPHASIS"))
                Unexpected(t);
            lex_.Next();
        } else if (w == "ISRC") {
            Expect(Kind::kString, "ISRC code");
        } else if (w == "CD_TEXT") {
            SkipBlock();
        } else if (w != "COPY" && w != "PRE_EMPHASIS" && w != "TWO_CHANNEL_AUDIO" &&
                   w != "FOUR_CHANNEL_AUDIO") {
            return false;
        }
        return true;
    }

    void Statement(Track& track, const Token& t)
    {
        const std::string& w = t.text;
        if (w == "PREGAP") {
            // Zeros before the track's data: after it, the gap would swallow that data.
            if (!track.spans.empty())
                Malformed("a PREGAP after the data of track " + std::to_string(tracks_.size()));
            ZeroStatement(track, Expect(Kind::kMsf, "pregap length").number * track.sectorSize);
            MarkStart(track, track.length);
        } else if (w == "DATAFILE") {
            DataFileStatement(track);
        } else if (w == "FILE" || w == "AUDIOFILE") {
            AudioFileStatement(track);
        } else if (w == "ZERO") {
            // A mode of its own changes nothing here: the zeros are in no file, and they are
            // counted in the track's sectors.
            if (lex_.Peek().kind == Kind::kWord && FindMode(lex_.Peek().text) != nullptr)
                lex_.Next();
            SubChannel();
            ZeroStatement(track, Length(track.sectorSize, 1));
        } else if (w == "SILENCE") {
            ZeroStatement(track, Length(kAudioSector, kSampleBytes));
        } else if (w == "START") {
            MarkStart(track,
                      NextIs(Kind::kMsf) ? lex_.Next().number * track.sectorSize : track.length);
        } else if (w == "END") {
            if (NextIs(Kind::kMsf))
                lex_.Next(); // a post-gap still belongs to the track
        } else if (w == "INDEX") {
            if (track.indexes.size() == kMaxIndexes)
                Malformed("more than 98 INDEX lines in track " + std::to_string(tracks_.size()));
            track.indexes.push_back(Expect(Kind::kMsf, "index time").number * track.sectorSize);
        } else if (w == "FIFO") {
            Malformed("data from a FIFO, which can't be read twice");
        } else {
            Unexpected(t);
        }
    }

    void ReadTrack(Track& track)
    {
        const Token modeWord = Expect(Kind::kWord, "track mode");
        const Mode* mode = FindMode(modeWord.text);
        if (mode == nullptr || std::strcmp(mode->word, "MODE0") == 0)
            Malformed("an unknown track mode " + modeWord.text + " on line " + lex_.Line());
        track.audio = std::strcmp(mode->word, "AUDIO") == 0;
        track.mode = track.audio ? kAudioMode : std::strncmp(mode->word, "MODE1", 5) == 0 ? 1 : 2;
        track.sectorSize = mode->size + SubChannel();
        for (Token t = lex_.Peek();
             t.kind != Kind::kEnd && !(t.kind == Kind::kWord && t.text == "TRACK");
             t = lex_.Peek()) {
            lex_.Next();
            if (t.kind != Kind::kWord)
                Unexpected(t);
            if (!SkipFlag(t))
                Statement(track, t);
        }
        CheckPositions(track);
    }

    void CheckPositions(const Track& track)
    {
        const std::string n = std::to_string(tracks_.size());
        if (track.length == 0)
            Malformed("track " + n + " holds no data");
        if (track.hasStart && track.start >= track.length)
            Malformed("the START of track " + n + " is at or past its end");
        uint64_t previous = 0;
        for (const uint64_t index : track.indexes) {
            if (index <= previous)
                Malformed("an INDEX of track " + n +
                          " at or before index 1 or the INDEX before it");
            if (track.start + index >= track.length)
                Malformed("an INDEX of track " + n + " at or past the track's end");
            previous = index;
        }
    }

    // Spans that continue one another in the same file (or zeros after zeros) are one.
    static std::vector<Span> Joined(const std::vector<Span>& spans)
    {
        std::vector<Span> joined;
        for (const Span& span : spans) {
            if (span.length == 0)
                continue;
            if (!joined.empty()) {
                Span& last = joined.back();
                if (last.file == span.file &&
                    (span.file == kNoFile || last.offset + last.length == span.offset)) {
                    last.length += span.length;
                    continue;
                }
            }
            joined.push_back(span);
        }
        return joined;
    }

    // One record per piece of [from, to) of the track in each span it falls in.
    static void AddPiece(const Track& track, const std::vector<Span>& spans, uint64_t from,
                         uint64_t to, int64_t trackLba)
    {
        uint64_t at = 0;
        for (const Span& span : spans) {
            const uint64_t a = from > at ? from : at;
            const uint64_t b = to < at + span.length ? to : at + span.length;
            if (a < b) {
                const int64_t lba = trackLba + static_cast<int64_t>(a / track.sectorSize);
                const int32_t size = static_cast<int32_t>(track.sectorSize);
                if (span.file == kNoFile)
                    AddRecord(0, 0, 0, size, lba, track.mode);
                else
                    AddRecord(span.file, static_cast<uint32_t>(span.offset + (a - at)),
                              static_cast<uint32_t>(span.offset + (b - at)), size, lba, track.mode);
            }
            at += span.length;
        }
    }

    void PlaceTracks()
    {
        int64_t lba = 0;
        for (const Track& track : tracks_) {
            const std::vector<Span> spans = Joined(track.spans);
            std::vector<uint64_t> cuts{0, track.start};
            for (const uint64_t index : track.indexes)
                cuts.push_back(track.start + index);
            cuts.push_back(track.length);
            for (size_t i = 0; i + 1 < cuts.size(); ++i)
                AddPiece(track, spans, cuts[i], cuts[i + 1], lba);
            lba += static_cast<int64_t>(track.length / track.sectorSize);
        }
    }

    Lexer lex_;
    std::vector<Track> tracks_;
    std::map<std::string, int16_t> files_;
};

} // namespace

void ReadTOCSheet() { TocReader(SourceSheetText()).Read(); }

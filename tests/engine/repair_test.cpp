// -fix (the initial sequence put in front, broken blocks dropped) and -nobumper look only at the
// bytes of their own transfer and source, whatever the read-ahead holds from an earlier batch.
#include "harness.h"

using namespace std::string_literals;

static const std::string kEnd = "\0\0\1\xB9"s, kPackStart = "\0\0\1\xBA\x21"s,
                         kApplied = "\xFE initital sequence correction applied.\n";

static std::string Fixed(int n)
{
    return "\xFE " + std::to_string(n) + " MPEG block correction(s) applied.\n\n";
}

// The four packs -fix puts in front of a stream whose first block lacks its padding: pack headers
// with their SCR (4, 2291, ...), two system headers, padding packets and end codes; FF elsewhere.
static std::string InitialSequence()
{
    const std::string pack = "\0\0\1\xBA\x21\0\1"s, rate = "\x80\x1B\x91"s,
                      padding = "\0\0\1\xBE\x08"s, system = "\0\0\1\xBB\0\x09"s;
    return Placed(std::string(9296, '\xFF'), {{0, pack + "\0\x09"s + rate},
                                              {12, system + rate + "\x01\xE1\xFF\xE0\xE0\x2E"},
                                              {27, padding + "\xF3\x0F"},
                                              {2324, pack + "\x09\x69" + rate},
                                              {2336, system + rate + "\x05\xE0\xFF\xC0\xC0\x20"},
                                              {2351, padding + "\xDF\x0F"},
                                              {4628, pack + "\x12\xC9" + rate},
                                              {4640, padding + "\xFE\xFF\x0F"},
                                              {6948, kEnd + pack + "\x1C\x29" + rate},
                                              {6964, padding + "\xEA\xFF\x0F"},
                                              {9252, kEnd + std::string(40, '\0')}});
}

TEST(Repairs, FirstBlockBrokenBlocksAndBumper)
{
    const std::string b = MpegBlocks(11), lost = std::string(kPack, '\0') + Filler(1000),
                      noPadding = std::string(b).replace(50, 1, 1, '\0'),
                      bumper = (MpegBlocks(22).substr(0, 50000) + kEnd + b).replace(10000, 4, kEnd),
                      // The last window before the limit 29568 holds an end code 1568 bytes before.
        nearLimit = (MpegBlocks(2).substr(0, 4000) + kEnd + b).replace(28000, 4, kEnd),
                      // Block 3 has 00 00 00 where 01 BA 21 belongs; 5, 7 and 9 one byte of it.
        broken = Placed(b, {{3 * kPack + 2, "\0\0\0"s},
                            {5 * kPack + 2, "\1\0\0"s},
                            {7 * kPack + 2, "\0\xBA\0"s},
                            {9 * kPack + 2, "\0\0\x21"s}}),
                      // The 40-byte step after the last end code has FF at 48..63, past its batch.
        stale = Placed(Repeated("\x07", 1052000), {{0, kPackStart},
                                                   {1043572, kEnd},
                                                   {1048520, kEnd + kPackStart},
                                                   {1048572, std::string(16, '\xFF')}}),
                      // The last 3-byte step's bytes 3 and 4 lie past the file's end, where the
                      // buffer still holds byte 5001 (BA) of the first batch.
        pastEnd = Placed(Repeated("\x07\x07\x01", 1049481),
                         {{0, kPackStart}, {5001, "\xBA"}, {1049480, "\x07"}});
    // mpg2mpg with `option` on `in`: the output, and the report after the completion line.
    const auto fix = [](const char* option, const std::string& in, const std::string& out,
                        const std::string& report) {
        return Korvane("-mpg2mpg "s + option + " in.mpg out.mpg", {{"in.mpg", in}})
            .Exits(0, "written.\n" + report, {{"out.mpg", out}});
    };
    // The first MPEG track's end code ends a payload: its transfer starts on the EDC, a broken
    // block, and resumes at the next pack but one. 00 00 ending a later payload before an EDC that
    // begins 01 B9 is no end code. The second track keeps its end code.
    const std::string t = Placed(MpegBlocks(8, 2),
                                 {{2 * kPack - 4, kEnd}, {4 * kPack - 2, "\0\0"s}}),
                      s = MpegBlocks(6).replace(2 * kPack - 4, 4, kEnd);
    ExpectAll({
        {"a first block without padding gets the initial sequence",
         fix("-fix", noPadding, InitialSequence() + noPadding, kApplied + Fixed(0))},
        {"a block without a pack start is dropped, the next pack found or the stream ended",
         fix("-fix", b.substr(0, 2 * kPack) + lost + b.substr(0, 3 * kPack) + lost,
             b.substr(0, 2 * kPack) + b.substr(0, 3 * kPack), Fixed(2))},
        {"00 00 00 where 01 BA 21 belongs is broken; one byte of it is enough",
         fix("-fix", broken, std::string(broken).erase(3 * kPack, kPack), Fixed(1))},
        {"the bumper is cut at its last end code", fix("-nobumper", bumper, b, Fixed(0))},
        {"an end code in the last window before the limit counts",
         fix("-nobumper", nearLimit, nearLimit.substr(4004), Fixed(0))},
        {"a bumper is cut once per run, each pre-scan inside its own track, on payload bytes only",
         Korvane("-cue2mpg -nobumper in.cue o",
                 {{"in.bin", Placed(std::string(kRaw, '\0') + RawSectors(t) + RawSectors(s),
                                    {{4 * kRaw + 2348, "\x01\xB9"}})},
                  {"in.cue", Sheet("in.bin", {"00:00:00", "00:00:01", "00:00:09"})}})
             .Exits(0, "written.\n\n" + kApplied + Fixed(1),
                    {{"o01.mpg", InitialSequence() + t.substr(3 * kPack)},
                     {"o02.mpg", InitialSequence() + s}})},
        {"stale read-ahead bytes failed the first-block test: the initial sequence put in front",
         Korvane("-raw2mpg -r40 -w40 -nobumper in.raw out.mpg", {{"in.raw", stale}})
             .Exits(0, "written.\n" + Fixed(1), {{"out.mpg", stale.substr(1048524, 40)}})},
        {"a stale BA passed the last step, which the source's own bytes (07, then 0 0) break",
         Korvane("-raw2mpg -r3 -w3 -fix in.raw out.mpg", {{"in.raw", pastEnd}})
             .Exits(0, "written.\n" + kApplied + Fixed(1),
                    {{"out.mpg", InitialSequence() + pastEnd.substr(0, pastEnd.size() - 3)}})},
    });
}

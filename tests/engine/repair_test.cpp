// The two repairs: -fix (the initial sequence put in front, broken blocks dropped) and -nobumper.
// They look only at the bytes of their own transfer and source: the bumper pre-scan stops at the
// end of its track, and the tests of steps shorter than the bytes they examine read the source
// there (0 past its end), whatever the read-ahead holds from an earlier batch.
#include "harness.h"

using namespace std::string_literals;

static const std::string kEnd = "\0\0\1\xB9"s, kPackStart = "\0\0\1\xBA\x21"s,
                         kApplied = "\xFE initital sequence correction applied.\n";

static std::string Fixed(int n)
{
    return "\xFE " + std::to_string(n) + " MPEG block correction(s) applied.\n\n";
}

// The four packs -fix puts in front of a stream whose first block lacks its padding: pack headers
// with their SCR, two system headers, padding packets and end codes; FF where nothing is placed.
static std::string InitialSequence()
{
    const std::string pack = "\0\0\1\xBA\x21\0\1"s, rate = "\x80\x1B\x91"s,
                      padding = "\0\0\1\xBE\x08"s, system = "\0\0\1\xBB\0\x09"s;
    return Placed(std::string(9296, '\xFF'), {{0, pack + "\0\x09"s + rate}, // SCR 4
                                              {12, system + rate + "\x01\xE1\xFF\xE0\xE0\x2E"},
                                              {27, padding + "\xF3\x0F"},
                                              {2324, pack + "\x09\x69" + rate}, // SCR 2291
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
    const std::string
        b = MpegBlocks(11),
        lost = std::string(kPack, '\0') + Filler(1000),
        noPadding = std::string(b).replace(50, 1, 1, '\0'),
        bumper = (MpegBlocks(22).substr(0, 50000) + kEnd + b).replace(10000, 4, kEnd),
        // The last window before the limit 29568 holds an end code 1568 bytes before it.
        nearLimit = (MpegBlocks(2).substr(0, 4000) + kEnd + b).replace(28000, 4, kEnd);
    const std::string broken = Placed(b, {{3 * kPack + 2, "\0\0\0"s}}),
                      whole = Placed(b, {{3 * kPack + 2, "\1\0\0"s},
                                         {5 * kPack + 2, "\0\xBA\0"s},
                                         {7 * kPack + 2, "\0\0\x21"s}});
    // A step at the pack after the last end code is 40 bytes; its bytes 48..63 are FF in the
    // source but lie past the read-ahead batch that holds the step.
    const std::string stale =
                          Placed(Repeated("\x07", 1052000), {{0, kPackStart},
                                                             {1043572, kEnd},
                                                             {1048520, kEnd + kPackStart},
                                                             {1048572, std::string(16, '\xFF')}}),
                      // 3-byte steps whose byte 2 is 01, but the last one's: its bytes 3 and 4
                      // lie past the end of the file, where the buffer still holds byte 5001 (BA)
                      // of the first batch.
        pastEnd = Placed(Repeated("\x07\x07\x01", 1049481),
                         {{0, kPackStart}, {5001, "\xBA"}, {1049480, "\x07"}});
    // mpg2mpg with `option` on `in`: the output, and the report after the completion line.
    const auto fix = [](const char* option, const std::string& in, const std::string& out,
                        const std::string& report) {
        return Korvane("-mpg2mpg "s + option + " in.mpg out.mpg", {{"in.mpg", in}})
            .Exits(0, "written.\n" + report, {{"out.mpg", out}});
    };
    // In a raw image 00 00 at a payload's end and an EDC that begins 01 B9 form an end code that is
    // no part of the stream; the real one, at the end of sector 0's payload, counts. The transfer
    // then starts on sector 0's EDC, so that step is a broken block.
    std::string image =
        RawSectors(MpegBlocks(1).replace(2320, 4, kEnd) + std::string(kPack, '\0') + MpegBlocks(4));
    image.replace(2348, 4, "\x11\x22\x33\x44").replace(kRaw + 2348, 2, "\x01\xB9");
    // A bumper is cut once per run, and each pre-scan looks only inside its own track. The end code
    // of the first MPEG track ends its payload: the transfer then starts on the sector's EDC, a
    // broken first block, and resumes at the next pack but one. The second track keeps its end
    // code.
    const std::string t = MpegBlocks(8, 2).replace(2 * kPack - 4, 4, kEnd),
                      s = MpegBlocks(6).replace(2 * kPack - 4, 4, kEnd);
    ExpectAll({
        {"a whole stream is left as it is", fix("-fix", b, b, Fixed(0))},
        {"a first block without padding gets the initial sequence",
         fix("-fix", noPadding, InitialSequence() + noPadding, kApplied + Fixed(0))},
        {"a block without a pack start is dropped, the next pack found",
         fix("-fix", b.substr(0, 2 * kPack) + lost + b, b.substr(0, 2 * kPack) + b, Fixed(1))},
        {"a broken block with no pack after it ends the stream",
         fix("-fix", b.substr(0, 3 * kPack) + lost, b.substr(0, 3 * kPack), Fixed(1))},
        {"00 00 00 where 01 BA 21 belongs is broken",
         fix("-fix", broken, std::string(broken).erase(3 * kPack, kPack), Fixed(1))},
        {"one byte of 01 BA 21 after 00 00 is enough: blocks 3, 5 and 7 are whole",
         fix("-fix", whole, whole, Fixed(0))},
        {"the bumper is cut at its last end code", fix("-nobumper", bumper, b, Fixed(0))},
        {"an end code in the last window before the limit counts",
         fix("-nobumper", nearLimit, nearLimit.substr(4004), Fixed(0))},
        {"in a .dat the sequence takes four sectors of its own",
         Korvane("-mpg2dat -fix in.mpg out.dat", {{"in.mpg", noPadding}})
             .Exits(0, "written.\n" + kApplied + Fixed(0),
                    {{"out.dat", DatFile(DatSectors(InitialSequence() + noPadding))}})},
        {"an end code across a raw sector's payload and EDC is refused",
         Korvane("-raw2mpg -nobumper in.raw out.mpg", {{"in.raw", image}})
             .Exits(0, "written.\n" + kApplied + Fixed(1),
                    {{"out.mpg", InitialSequence() + MpegBlocks(4)}})},
        {"a bumper is cut once per run, each pre-scan inside its own track",
         Korvane("-cue2mpg -nobumper in.cue o",
                 {{"in.bin", std::string(kRaw, '\0') + RawSectors(t) + RawSectors(s)},
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

#include "harness.h"

using namespace std::string_literals;

static const std::string kEnd("\0\0\1\xB9", 4), kApplied =
                                                    "\xFE initital sequence correction applied.\n";
static std::string Fixed(int n)
{
    return "\xFE " + std::to_string(n) + " MPEG block correction(s) applied.\n\n";
}

// The four packs -fix puts in front of a stream whose first block lacks its padding.
static std::string InitialSequence()
{
    std::string seq(9296, '\xFF'); // padding bytes unless placed below
    const std::string pack = "\0\0\1\xBA\x21\0\1"s, rate = "\x80\x1B\x91"s,
                      padding = "\0\0\1\xBE\x08"s, system = "\0\0\1\xBB\0\x09"s;
    const std::pair<size_t, std::string> pieces[] = {
        {0, pack + "\0\x09"s + rate}, // SCR 4
        {12, system + rate + "\x01\xE1\xFF\xE0\xE0\x2E"},
        {27, padding + "\xF3\x0F"},
        {2324, pack + "\x09\x69" + rate}, // 2291
        {2336, system + rate + "\x05\xE0\xFF\xC0\xC0\x20"},
        {2351, padding + "\xDF\x0F"},
        {4628, pack + "\x12\xC9" + rate},
        {4640, padding + "\xFE\xFF\x0F"},
        {6948, kEnd + pack + "\x1C\x29" + rate},
        {6964, padding + "\xEA\xFF\x0F"},
        {9252, kEnd + std::string(40, '\0')}};
    for (const auto& [at, bytes] : pieces)
        seq.replace(at, bytes.size(), bytes);
    return seq;
}

TEST(RepairMpgStream, FirstBlockBrokenBlocksAndBumper)
{
    const std::string b = MpegBlocks(11), lost = std::string(kPack, '\0') + Filler(1000),
                      noPadding = std::string(b).replace(50, 1, 1, '\0');
    const std::string bumper = (MpegBlocks(22).substr(0, 50000) + kEnd + b).replace(10000, 4, kEnd);
    // The last window that fits before the limit 29568 holds an end code 1568 bytes before it.
    const std::string nearLimit =
        (MpegBlocks(2).substr(0, 4000) + kEnd + b).replace(28000, 4, kEnd);
    const auto at3 = [&](const char* bytes2to4) {
        return std::string(b).replace(3 * kPack + 2, 3, bytes2to4, 3);
    };
    const std::tuple<const char*, std::string, std::string, std::string> rows[] = {
        {"-fix", b, b, Fixed(0)},
        {"-fix", noPadding, InitialSequence() + noPadding, kApplied + Fixed(0)},
        {"-fix", b.substr(0, 2 * kPack) + lost + b, b.substr(0, 2 * kPack) + b, Fixed(1)},
        {"-fix", b.substr(0, 3 * kPack) + lost, b.substr(0, 3 * kPack),
         Fixed(1)}, // no pack after it: early end
        {"-fix", at3("\0\0\0"), at3("\0\0\0").erase(3 * kPack, kPack), Fixed(1)},
        {"-fix", at3("\1\0\0"), at3("\1\0\0"), Fixed(0)},
        {"-fix", at3("\0\xBA\0"), at3("\0\xBA\0"), Fixed(0)}, // one byte of
        {"-fix", at3("\0\0\x21"), at3("\0\0\x21"), Fixed(0)}, // 01 BA 21 will do
        {"-nobumper", bumper, b, Fixed(0)},
        {"-nobumper", nearLimit, nearLimit.substr(4004), Fixed(0)}};
    for (const auto& [option, in, want, report] :
         rows) // the output, and the report after the completion line
        Expect(Korvane("-mpg2mpg " + std::string(option) + " in.mpg out.mpg", {{"in.mpg", in}})
                   .Exits(0, "written.\n" + report, {{"out.mpg", want}}));
    // In a .dat the sequence takes four sectors of its own, as if the stream had begun with it.
    TempDir dir;
    WriteFile(dir / "s.mpg", InitialSequence() + noPadding);
    ASSERT_EQ(RunKorvane({"-mpg2dat", "s.mpg", "s.dat"}, dir.path()).status, 0);
    Expect(
        Korvane("-mpg2dat -fix in.mpg out.dat", {{"in.mpg", noPadding}})
            .Exits(0, "written.\n" + kApplied + Fixed(0), {{"out.dat", ReadFile(dir / "s.dat")}}));
}

// In a raw image 00 00 at a payload's end and an EDC that begins 01 B9 form an end
// code that is no part of the stream; the real one, at the end of sector 0's payload,
// counts. The transfer then starts on sector 0's EDC, so that step is a broken block.
TEST(RepairRawImage, EndCodeAcrossPayloadAndEdcIsRefused)
{
    std::string image =
        RawSectors(MpegBlocks(1).replace(2320, 4, kEnd) + std::string(kPack, '\0') + MpegBlocks(4));
    // Sector 0's EDC holds no byte of 01 BA 21 where the check looks.
    image.replace(2348, 4, "\x11\x22\x33\x44").replace(kRaw + 2348, 2, "\x01\xB9");
    Expect(Korvane("-raw2mpg -nobumper in.raw out.mpg", {{"in.raw", image}})
               .Exits(0, "written.\n" + kApplied + Fixed(1),
                      {{"out.mpg", InitialSequence() + MpegBlocks(4)}}));
}

// A bumper is cut once per run, and each pre-scan looks only inside its own track.
TEST(RepairCueImage, BumperRemovedOncePerRun)
{
    // The end code of the first MPEG track ends its payload: the transfer then starts on the
    // sector's EDC, a broken first block, and resumes at the next pack but one (the search starts
    // after the broken step). The second track's end code stays: one bumper per run.
    const std::string t = MpegBlocks(8, 2).replace(2 * kPack - 4, 4, kEnd),
                      s = MpegBlocks(6).replace(2 * kPack - 4, 4, kEnd);
    const std::string sheet =
        "FILE in.bin BINARY\nTRACK 01 MODE2/2352\nINDEX 01 00:00:00\nTRACK 02 MODE2/2352\n"
        "INDEX 01 00:00:01\nTRACK 03 MODE2/2352\nINDEX 01 00:00:09\n";
    const std::string bin = std::string(kRaw, '\0') + RawSectors(t) + RawSectors(s);
    Expect(Korvane("-cue2mpg -nobumper in.cue o", {{"in.bin", bin}, {"in.cue", sheet}})
               .Exits(0, "written.\n\n" + kApplied + Fixed(1),
                      {{"o01.mpg", InitialSequence() + t.substr(3 * kPack)},
                       {"o02.mpg", InitialSequence() + s}}));
}

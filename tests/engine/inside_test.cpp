// The repairs look only at the bytes of their own transfer and source: the bumper pre-scan stops
// at the end of its track, and the tests of steps shorter than the bytes they examine read the
// source there (0 past its end), whatever the read-ahead holds from an earlier batch.
#include "harness.h"

namespace {

const std::string kPackStart("\0\0\1\xBA\x21", 5), kEndCode("\0\0\1\xB9", 4);

// `length` bytes of 07, a byte that is no part of a pack start, end code or padding.
std::string Sevens(size_t length) { return std::string(length, '\x07'); }

std::string Place(std::string bytes, size_t at, const std::string& piece)
{
    return bytes.replace(at, piece.size(), piece);
}

std::string Report(int corrections)
{
    return "\xFE " + std::to_string(corrections) + " MPEG block correction(s) applied.\n\n";
}

} // namespace

TEST(RepairsStayInside, PreScanAndShortSteps)
{
    // Record 2 of four holds a clean stream; record 3 opens with a bumper's end code.
    const std::string sheet =
        "FILE in.bin BINARY\nTRACK 01 MODE2/2352\nINDEX 01 00:00:00\nTRACK 02 MODE2/2352\n"
        "INDEX 01 00:00:01\nTRACK 03 MODE2/2352\nINDEX 01 00:00:04\nTRACK 04 MODE2/2352\n"
        "INDEX 01 00:00:07\n";
    const std::string bin = std::string(kRaw, '\0') + RawSectors(MpegBlocks(3, 1)) +
                            RawSectors(MpegBlocks(3, 2)) +
                            RawSectors(Place(MpegBlocks(4, 3), 100, kEndCode));
    // (a) The step at the pack after the last end code is 40 bytes; its bytes 48..63 are FF in
    // the source but lie past the read-ahead batch that holds the step.
    std::string a = Place(Sevens(1052000), 0, kPackStart);
    for (const size_t at : {1043572, 1048520})
        a = Place(a, at, kEndCode);
    a = Place(Place(a, 1048524, kPackStart), 1048572, std::string(16, '\xFF'));
    // (b) 3-byte steps whose byte 2 is 01, but the last one's: its bytes 3 and 4 lie past the
    // end of the file, where the buffer still holds byte 5001 (BA) of the first batch.
    std::string b;
    while (b.size() < 1049481)
        b += "\x07\x07\x01";
    b = Place(Place(Place(b, 0, kPackStart), 5001, "\xBA"), 1049480, "\x07");
    const std::vector<Golden> runs{
        // an end code in the next record emptied this one, with status 0
        Korvane("-cue2mpg -nobumper -track2 in.cue q", {{"in.bin", bin}, {"in.cue", sheet}})
            .Exits(0, "\xFE completed. Track(s) written.\n\n" + Report(0),
                   {{"q.mpg", MpegBlocks(3, 2)}}),
        // the stale bytes failed the first-block test: 9296 bytes of initial sequence in front
        Korvane("-raw2mpg -r40 -w40 -nobumper a.raw a.mpg", {{"a.raw", a}})
            .Exits(0, "\xFE completed. a.mpg written.\n" + Report(1),
                   {{"a.mpg", a.substr(1048524, 40)}}),
    };
    for (const Golden& run : runs)
        Expect(run);
    // The stale BA passed the last step, which the source's own bytes (07, then 0 0) break.
    TempDir dir;
    WriteFile(dir / "b.raw", b);
    const RunResult r =
        RunKorvane({"-raw2mpg", "-r3", "-w3", "-fix", "b.raw", "b.mpg"}, dir.path());
    EXPECT_EQ(r.status, 0);
    ExpectConsole(r.out, "\xFE initital sequence correction applied.\n" + Report(1), "-r3 -w3");
    const std::string out = ReadFile(dir / "b.mpg");
    EXPECT_EQ(out.size(), 9296 + b.size() - 3);
    EXPECT_TRUE(out.substr(9296) == b.substr(0, b.size() - 3));
}

#include <gtest/gtest.h>

#include "engine/engine.h"
#include "harness.h"
#include "synth.h"

static const std::string kSequence(reinterpret_cast<const char*>(InitialCorrectionSequence()), INITIAL_SEQUENCE_SIZE);
static const std::string kEnd("\0\0\1\xB9", 4), kApplied = "\xFE initital sequence correction applied.\n";
static std::string Fixed(int n) { return "\xFE " + std::to_string(n) + " MPEG block correction(s) applied.\n\n"; }

static void Check(const std::vector<std::string>& args, const std::string& in, const std::string& want, const std::string& report)
{
    TempDir dir;
    WriteFile(dir / args[2], in);
    const RunResult run = RunKorvane(args, dir.path());
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(ReadFile(dir / args[3]) == want) << args[0] << " " << args[1] << " " << in.size();
    const std::string tail = "written.\n" + report;  // the completion line, then the repair report
    EXPECT_EQ(run.out.substr(run.out.size() - std::min(run.out.size(), tail.size())), tail);
}

TEST(RepairMpgStream, FirstBlockBrokenBlocksAndBumper)
{
    const std::string b = MpegBlocks(11), lost = std::string(kPack, '\0') + Filler(1000);
    const std::string noPadding = std::string(b).replace(50, 1, 1, '\0');
    const std::string bumper = (MpegBlocks(22).substr(0, 50000) + kEnd + b).replace(10000, 4, kEnd);
    // The last window that fits before the limit 29568 holds an end code 1568 bytes before it.
    const std::string nearLimit = (MpegBlocks(2).substr(0, 4000) + kEnd + b).replace(28000, 4, kEnd);
    const auto at3 = [&](const char* bytes2to4) { return std::string(b).replace(3 * kPack + 2, 3, bytes2to4, 3); };
    const struct { const char* option; std::string in, want, report; } rows[] = {
        {"-fix", b, b, Fixed(0)}, {"-fix", noPadding, kSequence + noPadding, kApplied + Fixed(0)},
        {"-fix", b.substr(0, 2 * kPack) + lost + b, b.substr(0, 2 * kPack) + b, Fixed(1)},
        {"-fix", b.substr(0, 3 * kPack) + lost, b.substr(0, 3 * kPack), Fixed(1)},  // no pack after it: early end
        {"-fix", at3("\0\0\0"), at3("\0\0\0").erase(3 * kPack, kPack), Fixed(1)},
        {"-nobumper", bumper, b, Fixed(0)}, {"-nobumper", nearLimit, nearLimit.substr(4004), Fixed(0)}};
    for (const auto& r : rows)
        Check({"-mpg2mpg", r.option, "in.mpg", "out.mpg"}, r.in, r.want, r.report);
    for (const char* oneMatch : {"\1\0\0", "\0\xBA\0", "\0\0\x21"})  // one byte of 01 BA 21 passes the check
        Check({"-mpg2mpg", "-fix", "in.mpg", "out.mpg"}, at3(oneMatch), at3(oneMatch), Fixed(0));
}

// In a raw image 00 00 at a payload's end and an EDC that begins 01 B9 form an end
// code that is no part of the stream; the real one, at the end of sector 0's payload,
// counts. The transfer then starts on sector 0's EDC, so that step is a broken block.
TEST(RepairRawImage, EndCodeAcrossPayloadAndEdcIsRefused)
{
    const std::string b = MpegBlocks(4);
    std::string image = RawSectors(MpegBlocks(1).replace(2320, 4, kEnd) + std::string(kPack, '\0') + b);
    image.replace(2348, 4, "\x11\x22\x33\x44");  // sector 0's EDC, no byte of 01 BA 21 where the check looks
    image.replace(kRaw + 2348, 2, "\x01\xB9");
    Check({"-raw2mpg", "-nobumper", "in.raw", "out.mpg"}, image, kSequence + b, kApplied + Fixed(1));
}

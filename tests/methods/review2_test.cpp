// -verify where a review found it wrong: runs that no other test makes.
#include "harness.h"

namespace {

// Track 2 of the shipped Video CD: 412 sectors from 00:08:00 with their real EDC, the first
// pack at the payload of sector 30.
std::string SampleTrack() { return ReadFile(SamplePath("vcd/sample.bin")).substr(450 * kRaw); }
std::string Zeroed(std::string track, size_t sector)
{
    return track.replace(sector * kRaw, kRaw, kRaw, '\0');
}
constexpr size_t kFirstPack = 30 * kRaw + 24;

// The shipped Video CD as a disc-at-once Nero image of 2336-byte sectors, whose 150 lead-in
// sectors come first: its sector 750 is the disc's 00:10:00. Payload byte 1000 of that sector
// flipped.
std::string NrgWithBadSector()
{
    std::string bin = ReadFile(SamplePath("vcd/sample.bin"));
    bin[600 * kRaw + 24 + 1000] ^= 0x01;
    return NrgDao(SplitDisc(bin, {{0, 0}, {300, 450}}), true, 2336);
}

} // namespace

TEST(ReviewedVerify, SectorsCheckedOnTheSourcesGrid)
{
    const std::string clean = SampleTrack(), damaged = Zeroed(clean, 100);
    const std::string done = "\xFE completed. o.mpg written.\n";
    const std::string disc = ReadFile(SamplePath("vcd/sample.bin")) + Filler(20 * kRaw);
    const std::vector<DiscTrack> withAudio = SplitDisc(disc, {{0, 0}, {300, 450}, {862, 862}});
    // -w2352 copies whole strides from the first pack's payload on: its output is the source
    // from there, while the sectors still begin 24 bytes earlier.
    ExpectAll({
        {"whole strides from a payload were checked off the sector grid: all 'no sync', status 2",
         Korvane("-verify -w2352 -raw2mpg in.raw o", {{"in.raw", clean}})
             .Exits(0, done + "\xFE Verify: 382 sectors checked, 0 damaged.\n",
                    {{"o.mpg", clean.substr(kFirstPack, 381 * kRaw)}})},
        {"a damaged sector of such a run is found at its place in the output",
         Korvane("-verify -w2352 -raw2mpg in.raw o", {{"in.raw", damaged}})
             .Exits(2,
                    done + "\xFE Verify: 382 sectors checked, 1 damaged.\n"
                           "  00:09:25 (sector 100): no sync; output bytes 164616-166967\n",
                    {{"o.mpg", damaged.substr(kFirstPack, 381 * kRaw)}})},
        {"a headerless sector took its address from its place in the file, not on the disc",
         Korvane("-verify -track2 -cue2mpg in.nrg o", {{"in.nrg", NrgWithBadSector()}})
             .Exits(2,
                    "\xFE completed. Track(s) written.\n\n"
                    "\xFE Verify Track 2: 382 sectors checked, 1 damaged.\n"
                    "  00:10:00 (sector 750): bad EDC; output bytes 278880-281203\n",
                    {{"o.mpg", kAnyBytes}})},
        {"an audio track has no headers: every sector of a clean one was 'no sync', status 2",
         Korvane("-verify -track1 -cue2raw in.toc o",
                 {{"in.toc", "CD_ROM_XA\nTRACK MODE2_RAW\nDATAFILE \"t.bin\"\n"
                             "TRACK AUDIO\nFILE \"a.bin\" 0\n"},
                  {"t.bin", SampleTrack()},
                  {"a.bin", Filler(20 * kRaw)}})
             .Exits(
                 0,
                 "\xFE completed. Track(s) written.\n\n"
                 "\xFE Verify Track 1: audio sectors carry no header or EDC; nothing to check.\n",
                 {{"o.raw", Filler(20 * kRaw)}})},
        {"the same for a CloneCD image's MODE=0 track",
         Korvane("-verify -track3 -cue2raw in.ccd o",
                 {{"in.ccd",
                   ReplaceAll(CcdSheet(withAudio), "[TRACK 3]\r\nMODE=2", "[TRACK 3]\r\nMODE=0")},
                  {"in.img", disc}})
             .Exits(
                 0,
                 "\xFE completed. Track(s) written.\n\n"
                 "\xFE Verify Track 3: audio sectors carry no header or EDC; nothing to check.\n",
                 {{"o.raw", Filler(20 * kRaw)}})},
    });
}

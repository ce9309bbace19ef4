// -verify: the damaged sectors of a source reported while converting it, with
// the outputs left exactly as a run without -verify writes them.

#include "harness.h"

namespace {

// Track 2 of the shipped Video CD: 412 sectors with their real EDC from 00:08:00,
// sector 450 of the BIN, the first pack in its sector 30.
const std::string kBin = ReadFile(SamplePath("vcd/sample.bin"));
constexpr size_t kTrack2 = 450, kFirstPack = 30;
const std::string kTrack = kBin.substr(kTrack2 * kRaw);

void ZeroSector(std::string& image, size_t n) { image.replace(n * kRaw, kRaw, kRaw, '\0'); }
void FlipPayloadByte(std::string& image, size_t at) { image[at + 1000] ^= 0x01; }
void BreakSubheaderCopy(std::string& image, size_t at) { image[at + 4] ^= 0x01; } // its file
// Sector `n` becomes a Form 1 sector of the data track, under n's own address.
void PutForm1Sector(std::string& image, size_t n)
{
    image.replace(n * kRaw + 15, kRaw - 15, kBin, 16 * kRaw + 15, kRaw - 15);
}
// Each fault a rip shows, made in this order on track 2 at `sector` (a position in the damaged
// track), with the address its header or its position gives.
const struct Damage {
    size_t sector;
    const char *address, *fault;
    void (*make)(std::string& track, size_t n);
} kDamage[] = {
    {30, "00:08:30", "no sync", // the first sector of the stream's range
     [](std::string& t, size_t n) { t[n * kRaw + 5] = 0x7F; }},
    {100, "00:09:25", "no sync", ZeroSector}, // a sector the drive could not read
    {150, "00:10:00", "bad EDC",
     [](std::string& t, size_t n) { FlipPayloadByte(t, n * kRaw + 24); }},
    {200, "00:10:50", "bad EDC", // Form 1
     [](std::string& t, size_t n) { PutForm1Sector(t, n), FlipPayloadByte(t, n * kRaw + 24); }},
    {251, "00:11:25", "bad address", // repeated: the address jumps back
     [](std::string& t, size_t n) { t.insert(n * kRaw, t.substr((n - 1) * kRaw, kRaw)); }},
    {301, "00:12:01", "bad address", // one missing: the address jumps ahead
     [](std::string& t, size_t n) { t.erase(n * kRaw, kRaw); }},
    {350, "00:12:50", "subheader mismatch, bad EDC", // the EDC covers the subheader too
     [](std::string& t, size_t n) { BreakSubheaderCopy(t, n * kRaw + 16); }},
    {380, "00:13:05", "bad mode", [](std::string& t, size_t n) { t[n * kRaw + 15] = 0x01; }},
    {411, "00:13:36", "no sync", ZeroSector}, // the last sector of every range
};
std::string DamagedTrack()
{
    std::string track = kTrack;
    for (const Damage& d : kDamage)
        d.make(track, d.sector);
    return track;
}

std::string Bytes(size_t from, size_t size)
{
    return "output bytes " + std::to_string(from) + "-" + std::to_string(from + size - 1);
}
std::string MpegBytes(size_t n) { return Bytes((n - kFirstPack) * kPack, kPack); }
// -fix -nobumper keep the first damaged sector and the Form 2 one, a sector earlier.
std::string AfterRepairs(size_t n)
{
    return n == 30 ? MpegBytes(n) : n == 150 ? Bytes(119 * kPack, kPack) : "not in the output";
}
// The report on the damaged track: `head`, then each run with its sector number
// past `shift` and the place `where` gives it in the output.
std::string Report(const std::string& head, size_t shift, std::string (*where)(size_t))
{
    std::string report = head;
    for (const Damage& d : kDamage)
        report += "  " + std::string(d.address) + " (sector " + std::to_string(d.sector + shift) +
                  "): " + d.fault + "; " + where(d.sector) + "\n";
    return report;
}

// Runs `g` with -verify, batched and one step per read: each leaves the files `g` leaves alone,
// unchanged, and ends in g's console with g's status.
void ExpectVerified(Golden g)
{
    TempDir plain;
    for (const auto& [name, bytes] : g.inputs)
        WriteFile(plain / name, bytes);
    EXPECT_EQ(RunKorvane(g.args, plain.path()).status, 0);
    for (const std::string& name : ListDir(plain.path()))
        g.outputs.emplace(name, ReadFile(plain / name));
    g.args.insert(g.args.begin(), "-verify");
    Expect(g);
    g.binary = KORVANE_STEPWISE_BIN;
    Expect(g);
}

} // namespace

TEST(Verify, DamagedSectorsOfRealAndHeaderlessImages)
{
    const std::string track = DamagedTrack(), mpg = "\xFE completed. o.mpg written.\n",
                      head = "\xFE Verify: 382 sectors checked, 9 damaged.\n",
                      mode1Stream = MpegBlocks(20);
    std::string everyTenth = kTrack;
    for (size_t n = 40; n <= 250; n += 10)
        ZeroSector(everyTenth, n);
    std::string cif; // the sectors without their first 16 bytes
    for (size_t at = 0; at < kTrack.size(); at += kRaw)
        cif += kTrack.substr(at + 16, kCif);
    BreakSubheaderCopy(cif, 100 * kCif);
    FlipPayloadByte(cif, 150 * kCif + 8); // a .cif carries no EDC to tell
    std::string nrgBin = kBin;
    FlipPayloadByte(nrgBin, 600 * kRaw + 24);
    const Files raw{{"in.raw", track}};
    const std::vector<Case> cases{
        {"a fault missed, or reported away from its payload in the stream",
         Korvane("-raw2mpg in.raw o", raw).Exits(2, mpg + Report(head, 0, MpegBytes))},
        {"whole sectors copied: the byte range past the DAT header",
         Korvane("-raw2dat in.raw o", raw)
             .Exits(2, "\xFE completed. o.dat written.\n" +
                           Report("\xFE Verify: 412 sectors checked, 9 damaged.\n", 0,
                                  [](size_t n) { return Bytes(44 + n * kRaw, kRaw); }))},
        {"a record reported before the closing line, or numbered in the track, not the BIN",
         Korvane("-cue2mpg in.cue o", {{"in.cue", Sheet("in.bin", {"00:00:00", "00:06:00"})},
                                       {"in.bin", kBin.substr(0, kTrack2 * kRaw) + track}})
             .Exits(2, "\xFE completed. Track(s) written.\n\n" +
                           Report("\xFE Verify Track 1: 382 sectors checked, 9 damaged.\n", kTrack2,
                                  MpegBytes))},
        {"the repairs' dropped sectors went uncounted or were given output bytes",
         Korvane("-fix -nobumper -raw2mpg in.raw o", raw)
             .Exits(2, mpg + Report(head, 0, AfterRepairs) +
                           "\xFE 3 MPEG block correction(s) applied.\n\n")},
        {"more than ten runs listed, or the rest not counted; -w2352 strides from a payload "
         "checked "
         "off the sector grid (all 'no sync')",
         Korvane("-w2352 -raw2mpg in.raw o", {{"in.raw", everyTenth}})
             .Exits(2, "  00:09:55 (sector 130): no sync; output bytes 235176-237527\n"
                       "  ... 12 more damaged run(s)\n")},
        {".cif: an EDC looked for, or the address read from the payload",
         Korvane("-cif2mpg in.cif o", {{"in.cif", cif}})
             .Exits(2,
                    "\xFE Verify: 382 sectors checked, 1 damaged.\n"
                    "  00:03:25 (sector 100): subheader mismatch; output bytes 162680-165003\n")},
        {"Mode 1 raw sectors held to mode 2",
         Korvane("-cue2mpg in.cue o", {{"in.cue", Sheet("in.bin", {"00:00:00"}, "MODE1/2352")},
                                       {"in.bin", RawSectors(mode1Stream, 0, 1)}})
             .Exits(0, "\xFE Verify Track 1: 23 sectors checked, 0 damaged.\n")},
        {"a plain stream checked for sectors",
         Korvane("-mpg2dat in.mpg o", {{"in.mpg", mode1Stream}})
             .Exits(0, "\xFE Verify: a plain MPEG stream has no sectors; nothing to check.\n")},
        {"a 2336-byte Nero sector addressed by its place in the file, not on the disc; its EDC "
         "not 16 bytes earlier",
         Korvane("-track2 -cue2mpg in.nrg o",
                 {{"in.nrg", NrgDao(SplitDisc(nrgBin, {{0, 0}, {300, 450}}), true, 2336)}})
             .Exits(2,
                    "1 damaged.\n  00:10:00 (sector 750): bad EDC; output bytes 278880-281203\n")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        ExpectVerified(c.run);
    }
}

// No false report on a clean disc, in every track and in the stream's range.
TEST(Verify, CleanImagesAreIntact)
{
    for (const char* sheet : {"vcd/sample.cue", "vcd2/two.cue", "svcd/svcd.cue"})
        for (const char* method : {"-cue2raw -track0 ", "-cue2mpg "}) {
            TempDir dir;
            const std::string out =
                RunKorvane(Korvane("-verify " + (method + SamplePath(sheet)) + " o").args,
                           dir.path())
                    .out;
            EXPECT_TRUE(out.find(", 0 damaged.\n") != out.npos &&
                        ReplaceAll(out, ", 0 damaged.\n", "").find(" damaged.") == out.npos)
                << out;
        }
}

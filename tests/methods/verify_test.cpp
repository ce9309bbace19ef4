// -verify: the damaged sectors of a source reported while converting it, with
// the outputs left exactly as a run without -verify writes them.

#include <cstdlib>

#include "harness.h"

namespace {

// Track 2 of the shipped Video CD (412 sectors from 00:08:00, the first pack in
// sector 30) and a Form 1 sector of its data track, each with its real EDC.
const std::string& SampleBin()
{
    static const std::string bin = ReadFile(SamplePath("vcd/sample.bin"));
    return bin;
}
constexpr size_t kTrack2 = 450; // first sector of track 2 in the BIN
std::string SampleTrack() { return SampleBin().substr(kTrack2 * kRaw); }
std::string DataTrackForm1Sector() { return SampleBin().substr(16 * kRaw, kRaw); }

std::string Sector(const std::string& image, size_t n) { return image.substr(n * kRaw, kRaw); }
void ZeroSector(std::string& image, size_t n) { image.replace(n * kRaw, kRaw, kRaw, '\0'); }
void FlipPayloadByte(std::string& image, size_t n, size_t stride = kRaw, size_t payload = 24)
{
    image[n * stride + payload + 1000] ^= 0x01;
}
void BreakSync(std::string& image, size_t n) { image[n * kRaw + 5] = 0x7F; }
void BreakMode(std::string& image, size_t n) { image[n * kRaw + 15] = 0x01; }
void BreakSubheaderCopy(std::string& image, size_t n, size_t stride = kRaw, size_t subheader = 16)
{
    image[n * stride + subheader + 4] ^= 0x01; // the second copy's file number
}
// Sector `n` becomes the Form 1 sector `form1`, under n's own address.
void PutForm1Sector(std::string& image, size_t n, std::string form1)
{
    form1.replace(12, 3, image.substr(n * kRaw + 12, 3));
    image.replace(n * kRaw, kRaw, form1);
}
void RepeatSector(std::string& image, size_t n) { image.insert((n + 1) * kRaw, Sector(image, n)); }
void DropSector(std::string& image, size_t n) { image.erase(n * kRaw, kRaw); }

// The sectors without their first `from` bytes and cut to `size` bytes: a .cif
// (from 16, 2332 bytes) or a MODE2/2336 track (from 16, 2336 bytes).
std::string Headerless(const std::string& raw, size_t size)
{
    std::string out;
    for (size_t at = 0; at + kRaw <= raw.size(); at += kRaw)
        out += raw.substr(at + 16, size);
    return out;
}

// Track 2 with every fault a rip shows, sector numbers as in the track before
// a sector was repeated and one dropped.
std::string DamagedTrack()
{
    std::string track = SampleTrack();
    BreakSync(track, 30);        // the first sector of the stream's range
    ZeroSector(track, 100);      // a sector the drive could not read
    FlipPayloadByte(track, 150); // Form 2 with its EDC
    PutForm1Sector(track, 200, DataTrackForm1Sector());
    FlipPayloadByte(track, 200);    // Form 1
    BreakSubheaderCopy(track, 350); // the EDC covers the subheader too
    BreakMode(track, 380);
    ZeroSector(track, 411);   // the last sector of every range
    RepeatSector(track, 250); // the address jumps back
    DropSector(track, 301);   // the address jumps ahead (sector 300 is missing)
    return track;
}

std::vector<std::string> Words(const std::string& command)
{
    std::vector<std::string> words;
    for (size_t at = 0, space; at < command.size(); at = space + 1) {
        space = command.find(' ', at);
        if (space == std::string::npos)
            space = command.size();
        words.push_back(command.substr(at, space - at));
    }
    return words;
}

// Runs korvane -verify `command` beside `inputs`, batched and one step per
// read, and `command` alone: all three leave the same files, the two -verify
// runs print the same, ending in `report` with `status`.
void ExpectVerified(const std::string& command, const Files& inputs, int status,
                    const std::string& report)
{
    TempDir batched, stepwise, plain;
    for (const TempDir* dir : {&batched, &stepwise, &plain})
        for (const auto& [name, bytes] : inputs)
            WriteFile(*dir / name, bytes);
    std::vector<std::string> args = Words(command);
    const RunResult without = RunKorvane(args, plain.path());
    args.insert(args.begin(), "-verify");
    const RunResult a = RunKorvane(args, batched.path()),
                    b = RunKorvane(args, stepwise.path(), KORVANE_STEPWISE_BIN);
    EXPECT_EQ(without.status, 0) << command;
    EXPECT_EQ(a.status, status) << command;
    EXPECT_EQ(a.out, b.out) << command;
    ExpectConsole(a.out, report, command);
    EXPECT_NE(a.out.find("\n- Verify sectors enabled.\n"), std::string::npos) << command;
    const std::vector<std::string> files = ListDir(plain.path());
    EXPECT_EQ(ListDir(batched.path()), files) << command;
    EXPECT_EQ(ListDir(stepwise.path()), files) << command;
    for (const std::string& file : files) {
        const std::string want = ReadFile(plain / file);
        EXPECT_TRUE(ReadFile(batched / file) == want) << command << ": " << file;
        EXPECT_TRUE(ReadFile(stepwise / file) == want) << command << ": " << file;
    }
}

// The shipped image's sheet, its BIN named in.bin and its records of `mode`.
std::string SampleSheet(const std::string& mode = "MODE2/2352")
{
    return "FILE \"in.bin\" BINARY\n TRACK 01 " + mode + "\n  INDEX 01 00:00:00\n TRACK 02 " +
           mode + "\n  INDEX 00 00:04:00\n  INDEX 01 00:06:00\n";
}

// True when every report line of `out` says its sectors are intact.
bool AllIntact(const std::string& out)
{
    size_t reports = 0, intact = 0;
    for (size_t at = 0; (at = out.find(" damaged.\n", at)) != std::string::npos; ++at)
        ++reports;
    for (size_t at = 0; (at = out.find(", 0 damaged.\n", at)) != std::string::npos; ++at)
        ++intact;
    return reports > 0 && reports == intact && out.find("(sector") == std::string::npos;
}

} // namespace

TEST(Verify, DamagedSectorsOfARealImage)
{
    const std::string track = DamagedTrack();
    const Files raw{{"in.raw", track}}, dat{{"in.dat", DatFile(track)}},
        cue{{"in.cue", SampleSheet()}, {"in.bin", SampleBin().substr(0, kTrack2 * kRaw) + track}};
    // The stream's range starts at sector 30; its payloads leave back to back.
    const std::string mpegRuns =
        "\xFE Verify: 382 sectors checked, 9 damaged.\n"
        "  00:08:30 (sector 30): no sync; output bytes 0-2323\n"
        "  00:09:25 (sector 100): no sync; output bytes 162680-165003\n"
        "  00:10:00 (sector 150): bad EDC; output bytes 278880-281203\n"
        "  00:10:50 (sector 200): bad EDC; output bytes 395080-397403\n"
        "  00:11:25 (sector 251): bad address; output bytes 513604-515927\n"
        "  00:12:01 (sector 301): bad address; output bytes 629804-632127\n"
        "  00:12:50 (sector 350): subheader mismatch, bad EDC; output bytes 743680-746003\n"
        "  00:13:05 (sector 380): bad mode; output bytes 813400-815723\n"
        "  00:13:36 (sector 411): no sync; output bytes 885444-887767\n";
    const struct {
        const char* what;
        std::string command;
        Files inputs;
        std::string report;
    } cases[] = {
        {"each fault found once, at its payload in the stream", "-raw2mpg in.raw o", raw,
         "\xFE completed. o.mpg written.\n" + mpegRuns},
        {"a .dat's sectors are numbered after its header", "-dat2mpg in.dat o", dat,
         "\xFE completed. o.mpg written.\n" + mpegRuns},
        {"whole sectors copied, after the DAT header", "-raw2dat in.raw o", raw,
         "\xFE completed. o.dat written.\n"
         "\xFE Verify: 412 sectors checked, 9 damaged.\n"
         "  00:08:30 (sector 30): no sync; output bytes 70604-72955\n"
         "  00:09:25 (sector 100): no sync; output bytes 235244-237595\n"
         "  00:10:00 (sector 150): bad EDC; output bytes 352844-355195\n"
         "  00:10:50 (sector 200): bad EDC; output bytes 470444-472795\n"
         "  00:11:25 (sector 251): bad address; output bytes 590396-592747\n"
         "  00:12:01 (sector 301): bad address; output bytes 707996-710347\n"
         "  00:12:50 (sector 350): subheader mismatch, bad EDC; output bytes 823244-825595\n"
         "  00:13:05 (sector 380): bad mode; output bytes 893804-896155\n"
         "  00:13:36 (sector 411): no sync; output bytes 966716-969067\n"},
        {"per record after the closing line, sectors numbered in the BIN", "-cue2mpg in.cue o", cue,
         "\xFE completed. Track(s) written.\n\n"
         "\xFE Verify Track 2: 382 sectors checked, 9 damaged.\n"
         "  00:08:30 (sector 480): no sync; output bytes 0-2323\n"
         "  00:09:25 (sector 550): no sync; output bytes 162680-165003\n"
         "  00:10:00 (sector 600): bad EDC; output bytes 278880-281203\n"
         "  00:10:50 (sector 650): bad EDC; output bytes 395080-397403\n"
         "  00:11:25 (sector 701): bad address; output bytes 513604-515927\n"
         "  00:12:01 (sector 751): bad address; output bytes 629804-632127\n"
         "  00:12:50 (sector 800): subheader mismatch, bad EDC; output bytes 743680-746003\n"
         "  00:13:05 (sector 830): bad mode; output bytes 813400-815723\n"
         "  00:13:36 (sector 861): no sync; output bytes 885444-887767\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ExpectVerified(c.command, c.inputs, 2, c.report);
    }
}

TEST(Verify, RepairsHeaderlessSectorsAndNothingToCheck)
{
    std::string track = SampleTrack(), everyTenth = track;
    for (size_t n = 40; n <= 250; n += 10)
        ZeroSector(everyTenth, n);
    std::string cif = Headerless(track, kCif);
    BreakSubheaderCopy(cif, 100, kCif, 0);
    FlipPayloadByte(cif, 150, kCif, 8); // a .cif carries no EDC to tell
    std::string bin2336 = Headerless(SampleBin(), 2336);
    FlipPayloadByte(bin2336, kTrack2 + 150, 2336, 8);
    const std::string mode1Stream = MpegBlocks(20);
    const struct {
        const char* what;
        std::string command;
        Files inputs;
        int status;
        std::string report;
    } cases[] = {
        {"every source sector counts, also those the repairs left out",
         "-fix -nobumper -raw2mpg in.raw o",
         {{"in.raw", DamagedTrack()}},
         2,
         "\xFE completed. o.mpg written.\n"
         "\xFE Verify: 382 sectors checked, 9 damaged.\n"
         "  00:08:30 (sector 30): no sync; output bytes 0-2323\n"
         "  00:09:25 (sector 100): no sync; not in the output\n"
         "  00:10:00 (sector 150): bad EDC; output bytes 276556-278879\n"
         "  00:10:50 (sector 200): bad EDC; not in the output\n"
         "  00:11:25 (sector 251): bad address; not in the output\n"
         "  00:12:01 (sector 301): bad address; not in the output\n"
         "  00:12:50 (sector 350): subheader mismatch, bad EDC; not in the output\n"
         "  00:13:05 (sector 380): bad mode; not in the output\n"
         "  00:13:36 (sector 411): no sync; not in the output\n"
         "\xFE 3 MPEG block correction(s) applied.\n\n"},
        {"ten runs listed, the others counted",
         "-raw2mpg in.raw o",
         {{"in.raw", everyTenth}},
         2,
         "\xFE Verify: 382 sectors checked, 22 damaged.\n"
         "  00:08:40 (sector 40): no sync; output bytes 23240-25563\n"
         "  00:08:50 (sector 50): no sync; output bytes 46480-48803\n"
         "  00:08:60 (sector 60): no sync; output bytes 69720-72043\n"
         "  00:08:70 (sector 70): no sync; output bytes 92960-95283\n"
         "  00:09:05 (sector 80): no sync; output bytes 116200-118523\n"
         "  00:09:15 (sector 90): no sync; output bytes 139440-141763\n"
         "  00:09:25 (sector 100): no sync; output bytes 162680-165003\n"
         "  00:09:35 (sector 110): no sync; output bytes 185920-188243\n"
         "  00:09:45 (sector 120): no sync; output bytes 209160-211483\n"
         "  00:09:55 (sector 130): no sync; output bytes 232400-234723\n"
         "  ... 12 more damaged run(s)\n"},
        {".cif: the subheader copies only; the address from the position",
         "-cif2mpg in.cif o",
         {{"in.cif", cif}},
         2,
         "\xFE Verify: 382 sectors checked, 1 damaged.\n"
         "  00:03:25 (sector 100): subheader mismatch; output bytes 162680-165003\n"},
        {"2336-byte records: the EDC 16 bytes earlier",
         "-cue2mpg in.cue o",
         {{"in.cue", SampleSheet("MODE2/2336")}, {"in.bin", bin2336}},
         2,
         "\xFE Verify Track 2: 382 sectors checked, 1 damaged.\n"
         "  00:10:00 (sector 600): bad EDC; output bytes 278880-281203\n"},
        {"Mode 1 raw sectors: sync, address and mode 1",
         "-cue2mpg in.cue o",
         {{"in.cue", "FILE in.bin BINARY\n TRACK 01 MODE1/2352\n INDEX 01 00:00:00\n"},
          {"in.bin", RawSectors(mode1Stream, 0, 1)}},
         0,
         "\xFE Verify Track 1: 23 sectors checked, 0 damaged.\n"},
        {"Mode 1 user data alone",
         "-cue2mpg in.cue o",
         {{"in.cue", "FILE in.bin BINARY\n TRACK 01 MODE1/2048\n INDEX 01 00:00:00\n"},
          {"in.bin", mode1Stream.substr(0, 20 * 2048)}},
         0,
         "\xFE Verify Track 1: 2048-byte sectors hold no header or EDC; nothing to check.\n"},
        {"a plain stream",
         "-mpg2dat in.mpg o",
         {{"in.mpg", mode1Stream}},
         0,
         "\xFE Verify: a plain MPEG stream has no sectors; nothing to check.\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ExpectVerified(c.command, c.inputs, c.status, c.report);
    }
}

// No false report on a clean disc: the shipped images and those vcdimager makes
// (it writes the EDC of Form 2 sectors too).
TEST(Verify, CleanImagesAreIntact)
{
    std::vector<std::string> sheets{SamplePath("vcd/sample.cue"), SamplePath("vcd2/two.cue"),
                                    SamplePath("svcd/svcd.cue")};
    TempDir made;
    const bool haveTools =
        std::system("command -v vcdimager >/dev/null && command -v ffmpeg >/dev/null") == 0;
    if (haveTools) {
        const RunResult r = RunKorvane(
            {"-c",
             "for t in vcd svcd; do ffmpeg -loglevel error -f lavfi -i "
             "testsrc=duration=3:size=352x240:rate=29.97 -f lavfi -i sine=duration=3 "
             "-target ntsc-$t $t.mpg && vcdimager -t $( [ $t = vcd ] && echo vcd2 || echo svcd ) "
             "-c $t.cue -b $t.bin $t.mpg >/dev/null || exit 1; done"},
            made.path(), "/bin/sh");
        ASSERT_EQ(r.status, 0) << r.out;
        sheets.push_back(made / "vcd.cue");
        sheets.push_back(made / "svcd.cue");
    }
    for (const std::string& sheet : sheets)
        for (const char* method : {"-cue2raw -track0", "-cue2raw", "-cue2dat", "-cue2mpg"}) {
            TempDir dir;
            std::vector<std::string> args = Words(method);
            args.insert(args.begin(), "-Verify"); // in any case
            args.insert(args.end(), {sheet, "o"});
            const RunResult r = RunKorvane(args, dir.path());
            EXPECT_EQ(r.status, 0) << method << " " << sheet;
            EXPECT_TRUE(AllIntact(r.out)) << method << " " << sheet << "\n" << r.out;
        }
    const std::string track = SampleTrack();
    for (const auto& [method, file, bytes] : {std::tuple{"-raw2mpg", "in.raw", track},
                                              {"-raw2dat", "in.raw", track},
                                              {"-dat2mpg", "in.dat", DatFile(track)},
                                              {"-cif2mpg", "in.cif", Headerless(track, kCif)}}) {
        TempDir dir;
        WriteFile(dir / file, bytes);
        const RunResult r = RunKorvane({"-verify", method, file, "o"}, dir.path());
        EXPECT_EQ(r.status, 0) << method;
        EXPECT_TRUE(AllIntact(r.out)) << method << "\n" << r.out;
    }
    if (!haveTools)
        GTEST_SKIP()
            << "vcdimager or ffmpeg is not installed: only the shipped images were verified";
}

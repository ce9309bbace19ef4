// Fuzzes the CUE sheet reader and the three CUE methods behind it: the input
// is one control byte and then the text of a sheet, which is run against small
// synthetic BIN files lying beside it.
//
// Control byte: bits 0-1 pick -cue2raw, -cue2dat, -cue2mpg or -cue2mpg -fix
// -nobumper; bit 2 puts the sheet in the subfolder "s"; bit 3 names the sheet
// by its absolute path; bit 4 adds -track N with N = bits 5-7.
//
// Files beside the sheet: a.bin (12 sectors: two without a pack, pack starts,
// an end code in sector 5, a broken block in sector 6) also under the names
// the shipped sample sheets and the test fixtures use (sample.bin, two.bin,
// svcd.bin, fixture.bin), and s/b.bin (four sectors and a partial one), found
// only through the sheet's folder.
//
// Besides crashes and sanitizer reports, a run is a finding when it exits with
// a status other than 0 or 1, reports a read error (every BIN is whole and
// readable, so that is a read past its end), leaves an output longer than a
// BIN could fill, or when a transfer ends with its source position past the
// end of its track (checked on every transfer: see fuzz_support.h).
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_support.h"

namespace {

constexpr uint64_t kLargestBin = 12 * 2352;
// -fix may put the 9296-byte initial sequence in front, a .dat gets its 44-byte header.
constexpr uint64_t kLargestOutput = kLargestBin + 9296 + 44;

void LayDownBins()
{
    fuzz::WriteWholeFile("a.bin", fuzz::SyntheticRawSectors(12, 0, {2, 3, 4, 5, 7, 8, 9, 10, 11}, 5));
    for (const char* other : {"sample.bin", "two.bin", "svcd.bin", "fixture.bin"}) {
        if (link("a.bin", other) != 0)
            std::abort();
    }
    if (mkdir("s", 0755) != 0)
        std::abort();
    fuzz::WriteWholeFile("s/b.bin", fuzz::SyntheticRawSectors(4, 0, {0, 1, 2, 3}, -1) + std::string(100, 'x'));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const std::string& folder = fuzz::Workspace(LayDownBins);
    const uint8_t control = data[0];

    std::string sheet = (control & 0x04) != 0 ? "s/in.cue" : "in.cue";
    fuzz::WriteWholeFile(sheet, data + 1, size - 1);
    if ((control & 0x08) != 0)
        sheet = folder + "/" + sheet;

    static const char* const kMethods[] = {"-cue2raw", "-cue2dat", "-cue2mpg", "-cue2mpg"};
    std::vector<std::string> args{"korvane", kMethods[control & 0x03]};
    if ((control & 0x03) == 3) {
        args.push_back("-fix");
        args.push_back("-nobumper");
    }
    if ((control & 0x10) != 0)
        args.push_back("-track" + std::to_string(control >> 5));
    args.push_back(sheet);
    args.push_back("out/t");
    const fuzz::RunResult run = fuzz::RunProgram(args);
    fuzz::Expect(run.status == 0 || run.status == 1, "exit status other than 0 or 1", run);
    // The BIN files are whole regular files: a read error means reading past their end.
    // The message begins a line; a name from the sheet, which echoes in other messages,
    // cannot hold a line end.
    fuzz::Expect(run.console.find("\nRead error: ") == std::string::npos,
                 "a read error on a whole, readable BIN (read past its end)", run);
    // A track holds bytes of one BIN only: anything longer was never read from it.
    for (const auto& output : run.outputs)
        fuzz::Expect(output.second <= kLargestOutput, "an output longer than any BIN allows", run);
    fuzz::Expect(!run.overrun.happened, "a transfer read past the end of its track", run);
    return 0;
}

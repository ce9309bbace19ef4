// Fuzzes the CUE sheet reader and the three CUE methods: one control byte, then
// the text of a sheet, run against small synthetic BINs beside it (a.bin, also
// under the names the sample sheets and fixtures use, and s/b.bin, found only
// through the sheet's folder). Control byte: bits 0-1 pick -cue2raw, -cue2dat,
// -cue2mpg or -cue2mpg -fix -nobumper; bit 2 puts the sheet in "s"; bit 3 adds
// -track N with N = bits 4-7.
#include "fuzz_support.h"

// Lays the BINs down in the work folder once, and returns it.
static const std::string& WithBins(const std::string& folder)
{
    std::string stream = MpegBlocks(10);
    stream.replace(3 * kPack + 1000, 4, std::string("\x00\x00\x01\xB9", 4))
        .replace(4 * kPack + 2, 3, "UUU"); // a bumper's end, a broken block
    WriteFile(folder + "/a.bin", std::string(2 * kRaw, '\0') + RawSectors(stream));
    for (const char* other : {"sample.bin", "two.bin", "svcd.bin", "fixture.bin"})
        fuzz::fs::create_hard_link(folder + "/a.bin", folder + "/" + other);
    fuzz::fs::create_directory(folder + "/s");
    WriteFile(folder + "/s/b.bin", RawSectors(MpegBlocks(4)) + std::string(100, 'x'));
    return folder;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1) return 0;
    static const std::string& folder = WithBins(fuzz::Folder());
    const uint8_t control = data[0];
    const std::string sheet = folder + ((control & 0x04) != 0 ? "/s/in.cue" : "/in.cue");
    WriteFile(sheet, std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
    static const char* const kMethods[] = {"-cue2raw", "-cue2dat", "-cue2mpg", "-cue2mpg"};
    std::vector<std::string> args{"korvane", kMethods[control & 0x03]};
    if ((control & 0x03) == 3) args.insert(args.end(), {"-fix", "-nobumper"});
    if ((control & 0x08) != 0) args.push_back("-track" + std::to_string(control >> 4));
    args.insert(args.end(), {sheet, folder + "/out/t"});
    // The largest BIN, and -fix may put the 9296-byte initial sequence in front, a .dat its 44-byte header.
    fuzz::RunAndCheck(args, 12 * kRaw + 9296 + 44, false);
    return 0;
}

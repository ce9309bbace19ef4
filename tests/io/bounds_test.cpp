// Inputs that could exhaust memory or never end are refused before they are read, and a .dat
// that would outgrow the 32-bit sizes of its header is refused before any output exists.
#include <sys/stat.h>
#include <unistd.h>

#include "harness.h"

namespace {

const std::string kPackStart("\0\0\1\xBA\x21", 5);

std::string Tail(const std::string& text, size_t length)
{
    return text.substr(text.size() - std::min(text.size(), length));
}

} // namespace

TEST(BoundedInputs, SheetsThatAreNotFilesOrTooLarge)
{
    const std::string sheet = "FILE in.bin BINARY\nTRACK 01 MODE2/2352\nINDEX 01 00:00:00\n"
                              "TRACK 02 MODE2/2352\nINDEX 01 00:00:01\n";
    const std::string regular = " is not a regular file; Korvane reads sheets from regular files "
                                "only.\n\n";
    TempDir dir;
    WriteFile(dir / "in.bin", std::string(kRaw, '\0') + RawSectors(MpegBlocks(4)));
    WriteFile(dir / "full.cue", sheet + std::string((1 << 20) - sheet.size(), ' '));
    WriteFile(dir / "over.cue", sheet + std::string((1 << 20) + 1 - sheet.size(), ' '));
    ASSERT_EQ(symlink("/dev/zero", (dir / "zero.cue").c_str()), 0);
    ASSERT_EQ(symlink("/dev/urandom", (dir / "random.cue").c_str()), 0);
    ASSERT_EQ(mkfifo((dir / "fifo.cue").c_str(), 0644), 0);
    const struct {
        const char* sheet;
        int status;
        std::string consoleEnd;
    } cases[] = {
        // grew by 50 MB a second until std::bad_alloc
        {"zero.cue", 1, "zero.cue" + regular},
        // never ended
        {"random.cue", 1, "random.cue" + regular},
        // waited for a writer for ever
        {"fifo.cue", 1, "fifo.cue" + regular},
        // read whole, however large
        {"over.cue", 1,
         "over.cue is larger than 1 MiB; Korvane reads sheets of up to 1 MiB "
         "only.\n\n"},
        // the limit itself is still a sheet
        {"full.cue", 0, "\xFE completed. Track(s) written.\n\n"},
    };
    for (const auto& c : cases) {
        const RunResult r = RunKorvane({"-cue2mpg", c.sheet, "o"}, dir.path());
        EXPECT_EQ(r.status, c.status) << c.sheet;
        EXPECT_EQ(Tail(r.out, c.consoleEnd.size()), c.consoleEnd) << c.sheet;
    }
    EXPECT_TRUE(ReadFile(dir / "o.mpg") == MpegBlocks(4));
}

TEST(BoundedInputs, DatThatWouldPassItsHeaderSizes)
{
    // Sparse sources: the bytes that matter first, holes after them.
    const struct {
        const char* method;
        std::string head;
        off_t length;
        const char* bytes; // the .dat it would have written
    } cases[] = {
        // wrote 4.35 GB with clamped sizes and status 0: 1826062 sectors after the 30 leading
        {"-mpg2dat", kPackStart, off_t{1826061} * 2324 + 1, "4294968428"},
        // a raw track of the largest size a source may have
        {"-raw2dat", RawSectors(MpegBlocks(1)), off_t{4294967295}, "4294967339"},
        // one byte more than fits: the RIFF size would count 2^32 bytes
        {"-raw2dat", RawSectors(MpegBlocks(1)), off_t{4294967260}, "4294967304"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        WriteFile(dir / "in.src", c.head);
        ASSERT_EQ(truncate((dir / "in.src").c_str(), c.length), 0);
        const RunResult r = RunKorvane({c.method, "in.src", "out.dat"}, dir.path());
        const std::string want = "out.dat would be " + std::string(c.bytes) +
                                 " bytes, more than the sizes in a .dat header can count; nothing "
                                 "was written.\n\n";
        EXPECT_EQ(r.status, 1) << c.method << " " << c.length;
        EXPECT_EQ(Tail(r.out, want.size()), want) << c.method << " " << c.length;
        EXPECT_EQ(ListDir(dir.path()), std::vector<std::string>{"in.src"});
    }
}

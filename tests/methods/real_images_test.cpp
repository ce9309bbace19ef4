// A real two-title Video CD made by vcdimager from ffmpeg streams: the CUE/BIN vcdimager writes,
// the TOC images (2352- and 2336-byte sectors) and the track-at-once Nero image vcdxbuild writes
// all give the same outputs, which hold the authored streams; cdrdao and cd-info, where they read
// the format right, put the tracks where the CUE sheet does.

#include "harness.h"

namespace {

// Runs `command` with the shell in `dir`; its output, or "" and a failure when it fails.
std::string Shell(const std::string& dir, const std::string& command)
{
    const RunResult r = RunKorvane({"-c", "cd \"$0\" && " + command, dir}, dir, "/bin/sh");
    EXPECT_EQ(r.status, 0) << command << "\n" << r.out;
    return r.out;
}

} // namespace

TEST(RealImages, EveryFormatOfOneVideoCdGivesItsStreams)
{
    TempDir dir;
    const RunResult missing = RunKorvane(
        {"-c", "for t in ffmpeg vcdimager vcdxgen vcdxbuild cd-info cdrdao; do command -v $t "
               ">/dev/null || { printf $t; exit 1; }; done"},
        dir.path(), "/bin/sh");
    if (missing.status != 0)
        GTEST_SKIP() << missing.out
                     << " is not installed (Debian: ffmpeg, vcdimager, libcdio-utils, cdrdao); CI "
                        "installs it";
    Shell(dir.path(),
          "ffmpeg -loglevel error -f lavfi -i testsrc=size=352x240:rate=29.97 -f lavfi -i "
          "sine=frequency=440 -t 2 -target ntsc-vcd a.mpg && ffmpeg -loglevel error -f lavfi -i "
          "testsrc2=size=352x240:rate=29.97 -f lavfi -i sine=frequency=660 -t 1 -target ntsc-vcd "
          "b.mpg && vcdimager -t vcd2 -c disc.cue -b disc.bin a.mpg b.mpg >/dev/null && "
          "vcdxgen -t vcd2 -o videocd.xml a.mpg b.mpg >/dev/null && "
          "vcdxbuild --cdrdao-file=toc videocd.xml >/dev/null && "
          "vcdxbuild --sector-2336 --cdrdao-file=mix videocd.xml >/dev/null && "
          "vcdxbuild -i nrg -o nrg=tool.nrg videocd.xml >/dev/null 2>&1");
    // The streams, then nothing but the zeros that pad a track.
    const std::string a = ReadFile(dir / "a.mpg"), b = ReadFile(dir / "b.mpg");
    const auto holds = [](const std::string& out, const std::string& stream) {
        return out.size() >= stream.size() && out.compare(0, stream.size(), stream) == 0 &&
               out.find_first_not_of('\0', stream.size()) == std::string::npos;
    };
    std::string first;
    for (const char* source : {"disc.cue", "toc.toc", "mix.toc", "tool.nrg"}) {
        SCOPED_TRACE(source);
        const RunResult r = RunKorvane({"-cue2mpg", source, "o"}, dir.path());
        EXPECT_EQ(r.status, 0) << r.out;
        std::string outputs;
        for (const char* o : {"o01.mpg", "o02.mpg", "o03.mpg", "o04.mpg"})
            outputs += ReadFile(dir / o) + "|";
        EXPECT_TRUE(holds(ReadFile(dir / "o02.mpg"), a) && holds(ReadFile(dir / "o04.mpg"), b));
        if (first.empty())
            first = outputs;
        EXPECT_TRUE(outputs == first) << "not the CUE image's outputs";
        Shell(dir.path(), "rm -f o0?.mpg");
    }
    // Second opinions: the tracks start where the CUE sheet's INDEX 01 lines say.
    const std::string want = Shell(dir.path(), "awk '/INDEX 01/ { split($3, t, \":\"); "
                                               "print (t[1] * 60 + t[2]) * 75 + t[3] }' disc.cue");
    EXPECT_EQ(Shell(dir.path(), "cdrdao show-toc toc.toc 2>&1 | sed -n 's/.*START.*( *//p' | "
                                "tr -d ')'"),
              want);
    for (const std::string image : {"--toc-file toc.toc", "--nrg-file tool.nrg"})
        EXPECT_EQ(Shell(dir.path(), "cd-info --no-device-info --no-cddb -q " + image +
                                        " 2>&1 | awk '$1 ~ /^[0-9]+:$/ && $4 == \"XA\" "
                                        "{ print $3 + 0 }'"),
                  want)
            << image;
}

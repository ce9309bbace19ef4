// A real two-title Video CD made by vcdimager from ffmpeg streams, as the CUE/BIN vcdimager
// writes, as the TOC images (2352- and 2336-byte sectors) and the track-at-once Nero image
// vcdxbuild writes of the same disc, and as Nero (v1, v2, 2336-byte sectors, track-at-once) and
// CloneCD images the test generator builds from that BIN: -cue2mpg gives the same outputs from
// every one, and they hold the authored streams. libcdio's cd-info and cdrdao read the track
// positions of the Nero v2 and TOC images as a second opinion.

#include <sstream>

#include "harness.h"

namespace {

// Runs `command` with the shell in `dir`; its output, or "" and a failure when it fails.
std::string Shell(const std::string& dir, const std::string& command)
{
    const RunResult r = RunKorvane({"-c", "cd \"$0\" && " + command, dir}, dir, "/bin/sh");
    EXPECT_EQ(r.status, 0) << command << "\n" << r.out;
    return r.out;
}

bool HaveTool(const std::string& name)
{
    TempDir dir;
    return RunKorvane({"-c", "command -v " + name}, dir.path(), "/bin/sh").status == 0;
}

// The sector numbers of each track's first index (its pregap, if any) and of its index 01.
std::vector<std::pair<size_t, size_t>> CueStarts(const std::string& sheet)
{
    std::vector<std::pair<size_t, size_t>> starts;
    std::istringstream lines(sheet);
    std::string word;
    bool pregap = false;
    while (lines >> word) {
        if (word == "TRACK")
            pregap = false;
        if (word != "INDEX")
            continue;
        int index = 0, m = 0, s = 0, f = 0;
        char colon;
        lines >> index >> m >> colon >> s >> colon >> f;
        const size_t frame = static_cast<size_t>((m * 60 + s) * 75 + f);
        if (index == 0)
            starts.push_back({frame, frame});
        else if (index == 1 && pregap)
            starts.back().second = frame;
        else if (index == 1)
            starts.push_back({frame, frame});
        pregap = index == 0;
    }
    return starts;
}

// The numbers in parentheses after each START of cdrdao's show-toc, or the LSN column of
// cd-info's track list.
std::vector<long> ListedStarts(const std::string& out, bool cdrdao)
{
    std::vector<long> starts;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        const size_t colon = line.find(": ");
        if (cdrdao && line.find("START") != std::string::npos)
            starts.push_back(std::stol(line.substr(line.find('(') + 1)));
        else if (!cdrdao && colon != std::string::npos && colon < 6 &&
                 line.find(" XA ") != std::string::npos)
            starts.push_back(std::stol(line.substr(colon + 12, 6)));
    }
    return starts;
}

} // namespace

TEST(RealImages, EveryFormatOfOneVideoCdGivesItsStreams)
{
    for (const char* tool : {"ffmpeg", "vcdimager", "vcdxgen", "vcdxbuild", "cd-info", "cdrdao"})
        if (!HaveTool(tool))
            GTEST_SKIP() << tool << " is not installed (Debian: ffmpeg, vcdimager, "
                         << "libcdio-utils, cdrdao); CI installs it";
    TempDir dir;
    Shell(dir.path(),
          "ffmpeg -loglevel error -f lavfi -i testsrc=size=352x240:rate=29.97 -f lavfi -i "
          "sine=frequency=440 -t 2 -target ntsc-vcd a.mpg && ffmpeg -loglevel error -f lavfi -i "
          "testsrc2=size=352x240:rate=29.97 -f lavfi -i sine=frequency=660 -t 1 -target ntsc-vcd "
          "b.mpg && vcdimager -t vcd2 -c disc.cue -b disc.bin a.mpg b.mpg >/dev/null && "
          "vcdxgen -t vcd2 -o videocd.xml a.mpg b.mpg >/dev/null && "
          "vcdxbuild --cdrdao-file=toc videocd.xml >/dev/null && "
          "vcdxbuild --sector-2336 --cdrdao-file=mix videocd.xml >/dev/null && "
          "vcdxbuild -i nrg -o nrg=tool.nrg videocd.xml >/dev/null 2>&1");
    const std::string bin = ReadFile(dir / "disc.bin");
    const auto starts = CueStarts(ReadFile(dir / "disc.cue"));
    ASSERT_EQ(starts.size(), 3u);
    const std::vector<DiscTrack> tracks = SplitDisc(bin, starts);
    const Files images{{"v1.nrg", NrgDao(tracks, false)},       {"v2.nrg", NrgDao(tracks, true)},
                       {"mix.nrg", NrgDao(tracks, true, 2336)}, {"tao.nrg", NrgTao(tracks, true)},
                       {"clone.ccd", CcdSheet(tracks)},         {"clone.img", CcdImage(tracks)}};
    for (const auto& [name, bytes] : images)
        WriteFile(dir / name, bytes);
    // The streams, then nothing but the zeros that pad a track.
    const std::string a = ReadFile(dir / "a.mpg"), b = ReadFile(dir / "b.mpg");
    const auto holds = [](const std::string& out, const std::string& stream) {
        return out.size() >= stream.size() && out.compare(0, stream.size(), stream) == 0 &&
               out.find_first_not_of('\0', stream.size()) == std::string::npos;
    };
    std::string first;
    for (const char* source : {"disc.cue", "toc.toc", "mix.toc", "tool.nrg", "v1.nrg", "v2.nrg",
                               "mix.nrg", "tao.nrg", "clone.ccd"}) {
        SCOPED_TRACE(source);
        const RunResult r = RunKorvane({"-cue2mpg", source, "o"}, dir.path());
        EXPECT_EQ(r.status, 0) << r.out;
        const std::string outputs = ReadFile(dir / "o01.mpg") + "|" + ReadFile(dir / "o02.mpg") +
                                    "|" + ReadFile(dir / "o03.mpg") + "|" +
                                    ReadFile(dir / "o04.mpg");
        EXPECT_TRUE(holds(ReadFile(dir / "o02.mpg"), a));
        EXPECT_TRUE(holds(ReadFile(dir / "o04.mpg"), b));
        if (first.empty())
            first = outputs;
        EXPECT_TRUE(outputs == first) << "not the CUE image's outputs";
        Shell(dir.path(), "rm -f o0?.mpg");
    }
    // Second opinions where Debian's tools read the format right: the tracks start where the
    // CUE sheet's INDEX 01 lines say.
    const std::vector<long> want{static_cast<long>(starts[0].second),
                                 static_cast<long>(starts[1].second),
                                 static_cast<long>(starts[2].second)};
    EXPECT_EQ(ListedStarts(Shell(dir.path(), "cdrdao show-toc toc.toc 2>&1"), true), want);
    for (const std::string option :
         {"--toc-file toc.toc", "--nrg-file v2.nrg", "--nrg-file tool.nrg"})
        EXPECT_EQ(ListedStarts(Shell(dir.path(),
                                     "cd-info --no-device-info --no-cddb -q " + option + " 2>&1"),
                               false),
                  want)
            << option;
}

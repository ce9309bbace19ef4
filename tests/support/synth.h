// Synthetic MPEG streams, sectors and images, so that the tests and the fuzz target need no
// binary blobs; filler bytes never form 00 00 01 (no pack start, no end code by chance).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

constexpr size_t kPack = 2324; // one MPEG block: the payload of one sector
constexpr size_t kRaw = 2352;
constexpr size_t kCif = 2332;

std::string Filler(size_t length, unsigned seed = 7);
// `count` blocks of 2324 bytes, each opening with a pack start 00 00 01 BA 21 and a first-block
// layout whose bytes 48..63 are FF; the rest is filler that depends on the block number and `seed`.
std::string MpegBlocks(size_t count, unsigned seed = 1);
// `payload` in raw 2352-byte sectors, the last one zero-padded: Mode 2 sectors of 2324 bytes
// addressed from `firstFrame`, with filler, not zero, in the EDC so that leaking it shows; or
// (mode 1) 2048 bytes at byte 16.
std::string RawSectors(const std::string& payload, uint32_t firstFrame = 0, int mode = 2);
// What mpg2dat writes after the header: 30 empty Form 2 sectors (with the EDC of their zeros), then
// `stream` in Form 2 sectors with a zero EDC, the last one padded; all addressed from 00:08:12.
std::string DatSectors(const std::string& stream);
// 2332-byte sectors: a data subheader, then 2324 bytes of payload.
std::string CifSectors(const std::string& payload);
// A .dat as an authoring tool writes it: the RIFF/CDXA header with its two sizes set, then raw
// sectors.
std::string DatFile(const std::string& rawSectors);

// `bytes` with each piece written over it at its offset.
std::string Placed(std::string bytes, const std::vector<std::pair<size_t, std::string>>& pieces);
// `unit` repeated up to `length` bytes.
std::string Repeated(const std::string& unit, size_t length);

// A sheet on `bin` with one track in `mode` starting at each of `starts` ("mm:ss:ff").
std::string Sheet(const std::string& bin, const std::vector<std::string>& starts,
                  const std::string& mode = "MODE2/2352");

// Whole files, for both.
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes); // throws when it cannot

// Disc images of the other formats, built from a disc's raw 2352-byte sectors: each track is its
// pregap (empty for track 1) and its index-1 part; track 1 starts at 00:02:00.
struct DiscTrack {
    std::string pregap, data;
};
// A Nero image, disc-at-once: track 1's 150 lead-in sectors (zeros) first, then every track, then
// the chunks: a cue chunk (CUES/CUEX), DAOI/DAOX, SINF, MTYP, END!, and the NERO (v1) or NER5 (v2)
// footer. `sector` 2336 stores each sector without its 16 bytes of sync and header (mode 0x03).
std::string NrgDao(const std::vector<DiscTrack>& tracks, bool v2, size_t sector = 2352);
// A Nero image, track-at-once: each track's index-1 part only (no pregaps), ETNF/ETN2.
std::string NrgTao(const std::vector<DiscTrack>& tracks, bool v2);
// A CloneCD sheet for the .img that is the tracks back to back (the BIN they were split from).
std::string CcdSheet(const std::vector<DiscTrack>& tracks);
// The tracks of a BIN given the sectors where each one's pregap and index 1 begin (equal for none).
std::vector<DiscTrack> SplitDisc(const std::string& bin,
                                 const std::vector<std::pair<size_t, size_t>>& starts);

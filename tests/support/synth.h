// A small generator of synthetic MPEG streams, sectors and images, so that the
// tests need no binary blobs. Filler bytes never form 00 00 01 (no pack start,
// no end code by chance).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

constexpr size_t kPack = 2324;   // one MPEG block: the payload of one sector
constexpr size_t kRaw = 2352;
constexpr size_t kCif = 2332;

// `count` blocks of 2324 bytes, each opening with a pack start 00 00 01 BA 21 and
// a first-block layout whose bytes 48..63 are FF; the rest is filler that
// depends on the block number and `seed`.
std::string MpegBlocks(size_t count, unsigned seed = 1);

// Filler bytes that hold no 00 00 01.
std::string Filler(size_t length, unsigned seed = 7);

// Raw 2352-byte Mode 2 sectors carrying `payload` 2324 bytes each (zero-padded),
// addressed from `firstFrame`; bytes 2348..2351 are filler, not zero, so that
// leaking them shows.
std::string RawSectors(const std::string& payload, uint32_t firstFrame = 0);

// 2332-byte CIF sectors: an 8-byte header, then 2324 payload bytes.
std::string CifSectors(const std::string& payload);

// 2048-byte Mode 1 user data in raw 2352-byte sectors (payload at byte 16).
std::string Mode1Sectors(const std::string& payload);

// A .dat as an authoring tool writes it: the 44-byte RIFF/CDXA header, then raw sectors.
std::string DatFile(const std::string& rawSectors);

// The 44 header bytes every .dat of Korvane begins with, before its sizes are set.
std::string DatHeaderTemplate();

// Payloads of consecutive `stride`-byte sectors, `keep` bytes each, from `offset`,
// taking whole strides only.
std::string Unwrap(const std::string& image, size_t offset, size_t stride, size_t keep);

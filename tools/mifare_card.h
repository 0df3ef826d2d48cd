// SPDX-License-Identifier: MIT
// Whole-card work on a Mifare Classic card through the library: the image
// that Mifare Classic tools exchange (every block in order, trailers
// included: 1024 bytes for a 1K card, 4096 for a 4K one) read and put back
// by the library's MifareDumpCard and MifareRestoreCard, with the keys the
// tool's steps named.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace kulve::tool {

inline constexpr std::size_t kMifare1kSectors = 16;
inline constexpr std::size_t kMifare4kSectors = 40;
inline constexpr std::size_t kMifareSlots = 16;  // the reader's key slots: sectors 0..15
using MifareImage = std::vector<std::uint8_t>;
using MifareKey = std::array<std::uint8_t, 6>;

// The key the reader's operations authenticate every sector with.
struct MifareKeyChoice {
  MifareKey key{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  int type = 0;  // the reader's key mode: 0 key A, 1 key B
  // The keys the user named for every sector, as key A and key B.
  std::optional<MifareKey> keyA = key;
  std::optional<MifareKey> keyB;
  // A key named for one sector, in place of the one above.
  std::array<std::optional<MifareKey>, kMifare4kSectors> sectorKey;
};

// The keys tried on each sector, in order.
using SectorKeys = std::array<std::vector<MifareKey>, kMifare4kSectors>;

// Puts the key into the reader's 16 key slots (a sector's own key into its
// slot) and sets the key mode.
int LoadReaderKey(const MifareKeyChoice& choice);

// The image and one status a sector (0 read whole); the result as
// MifareDumpCard gives it.
struct DumpResult {
  int result = 0;
  MifareImage image;
  std::vector<std::uint8_t> status;
};
DumpResult DumpCard(std::size_t sectors, const SectorKeys& keys);

// Writes the image back (its size gives the sectors) with each sector's keys.
int RestoreCard(const SectorKeys& keys, const MifareImage& image, bool trailers);

// The sectors of an image of this size, or 0 for a size that is neither 1K nor 4K.
std::size_t SectorsOfImage(std::size_t bytes);

}  // namespace kulve::tool

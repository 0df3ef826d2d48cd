// SPDX-License-Identifier: MIT
// Where a Mifare Classic card keeps its sectors: sectors 0..31 of 4 blocks,
// then (a 4K card) sectors 32..39 of 16 blocks; each sector's last block is
// its trailer. A card image holds every block in order, trailers included.
#pragma once

#include <cstddef>

namespace kulve {

inline constexpr std::size_t kMifareMaxSectors = 40;       // a 4K card
inline constexpr std::size_t kMifareSmallSectors = 32;     // sectors of 4 blocks
inline constexpr std::size_t kMifareReaderSectors = 16;    // the reader's key slots and whole-card read

constexpr std::size_t MifareBlocksIn(std::size_t sector) { return sector < kMifareSmallSectors ? 4 : 16; }
constexpr std::size_t MifareFirstBlock(std::size_t sector) {
  return sector < kMifareSmallSectors ? sector * 4 : kMifareSmallSectors * 4 + (sector - kMifareSmallSectors) * 16;
}
constexpr std::size_t MifareTrailerBlock(std::size_t sector) {
  return MifareFirstBlock(sector) + MifareBlocksIn(sector) - 1;
}
// The bytes of an image of the first `sectors` sectors: 1024 for 16, 4096 for 40.
constexpr std::size_t MifareImageSize(std::size_t sectors) { return MifareFirstBlock(sectors) * 16; }

}  // namespace kulve

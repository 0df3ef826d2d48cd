// SPDX-License-Identifier: MIT
#include "tools/mifare_card.h"

#include <algorithm>

#include "kulve32.h"

namespace kulve::tool {
namespace {

constexpr std::size_t kBlockSize = 16;
constexpr std::size_t kSectorData = 48;

bool IsTrailer(std::size_t block) { return block % 4 == 3; }

}  // namespace

bool KeyBReadable(const std::uint8_t* trailer) {
  // The trailer's condition C1 C2 C3: key A reads key B under 000, 001, 010.
  const int c1 = trailer[7] >> 7 & 1, c2 = trailer[8] >> 3 & 1, c3 = trailer[8] >> 7 & 1;
  return c1 == 0 && !(c2 == 1 && c3 == 1);
}

bool AccessBytesAgree(const std::uint8_t* trailer) {
  // Byte 6 holds ~C1 (low nibble) and ~C2 (high), byte 7 C1 (high) and ~C3
  // (low), byte 8 C2 (low) and C3 (high).
  const unsigned b6 = trailer[6], b7 = trailer[7], b8 = trailer[8];
  const unsigned c1 = b7 >> 4, notC1 = b6 & 0xF, c2 = b8 & 0xF, notC2 = b6 >> 4, c3 = b8 >> 4, notC3 = b7 & 0xF;
  return (c1 ^ notC1) == 0xF && (c2 ^ notC2) == 0xF && (c3 ^ notC3) == 0xF;
}

int LoadReaderKey(const MifareKeyChoice& choice) {
  for (int slot = 0; slot < static_cast<int>(kMifareSectors); ++slot) {
    if (const int result = RFMifare_TransKey(slot, choice.key.data()); result != 0) return result;
  }
  return RFMifare_Authmode(choice.type);
}

int DumpCard(const MifareKeyChoice& choice, MifareDump& dump, const Progress& progress) {
  const int total = 1 + static_cast<int>(kMifareSectors);
  if (const int result = LoadReaderKey(choice); result != 0) return result;
  std::array<std::uint8_t, kMifareSectors * kSectorData> data{};
  if (const int result = RFMifare_ReadBloca(0, 0, data.data()); result != 0) return result;
  progress(1, total);
  for (std::size_t sector = 0; sector < kMifareSectors; ++sector) {
    std::uint8_t* block = dump.data() + sector * 4 * kBlockSize;
    std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(sector * kSectorData), kSectorData, block);
    std::uint8_t* trailer = block + 3 * kBlockSize;
    if (const int result = RFMifare_ReadBlock(static_cast<int>(sector * 4 + 3), 0, trailer); result != 0) return result;
    if (choice.keyA) {
      std::copy(choice.keyA->begin(), choice.keyA->end(), trailer);
    } else {
      std::fill_n(trailer, 6, 0);
    }
    if (choice.keyB) std::copy(choice.keyB->begin(), choice.keyB->end(), trailer + 10);
    progress(2 + static_cast<int>(sector), total);
  }
  return 0;
}

int RestoreCard(const MifareKeyChoice& choice, const MifareDump& dump, bool trailers, const Progress& progress) {
  if (const int result = LoadReaderKey(choice); result != 0) return result;
  for (std::size_t sector = 0; sector < kMifareSectors; ++sector) {
    for (std::size_t block = sector * 4; block < sector * 4 + 4; ++block) {
      if (block == 0 || (IsTrailer(block) && !trailers)) continue;
      std::array<std::uint8_t, kBlockSize> bytes{};
      std::copy_n(dump.begin() + static_cast<std::ptrdiff_t>(block * kBlockSize), kBlockSize, bytes.begin());
      if (const int result = RFMifare_WriteBlock(static_cast<int>(block), 0, bytes.data()); result != 0) return result;
    }
    progress(static_cast<int>(sector) + 1, static_cast<int>(kMifareSectors));
  }
  return 0;
}

}  // namespace kulve::tool

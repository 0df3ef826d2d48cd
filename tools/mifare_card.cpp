// SPDX-License-Identifier: MIT
#include "tools/mifare_card.h"

#include "kulve32.h"

namespace kulve::tool {
namespace {

// The library's key list: (sector, key) entries, each sector's in its order.
std::vector<std::uint8_t> KeyEntries(std::size_t sectors, const SectorKeys& keys) {
  std::vector<std::uint8_t> entries;
  for (std::size_t sector = 0; sector < sectors; ++sector) {
    for (const MifareKey& key : keys[sector]) {
      entries.push_back(static_cast<std::uint8_t>(sector));
      entries.insert(entries.end(), key.begin(), key.end());
    }
  }
  return entries;
}

}  // namespace

std::size_t SectorsOfImage(std::size_t bytes) {
  if (bytes == static_cast<std::size_t>(KULVE_MIFARE_IMAGE_SIZE(16))) return kMifare1kSectors;
  if (bytes == static_cast<std::size_t>(KULVE_MIFARE_IMAGE_SIZE(40))) return kMifare4kSectors;
  return 0;
}

int LoadReaderKey(const MifareKeyChoice& choice) {
  for (std::size_t slot = 0; slot < kMifareSlots; ++slot) {
    const MifareKey& key = choice.sectorKey[slot] ? *choice.sectorKey[slot] : choice.key;
    if (const int result = RFMifare_TransKey(static_cast<int>(slot), key.data()); result != 0) return result;
  }
  return RFMifare_Authmode(choice.type);
}

DumpResult DumpCard(std::size_t sectors, const SectorKeys& keys) {
  const auto count = static_cast<int>(sectors);
  DumpResult dump{0, MifareImage(static_cast<std::size_t>(KULVE_MIFARE_IMAGE_SIZE(count))),
                  std::vector<std::uint8_t>(sectors)};
  const std::vector<std::uint8_t> entries = KeyEntries(sectors, keys);
  dump.result = MifareDumpCard(count, entries.data(), static_cast<int>(entries.size()), dump.image.data(),
                               static_cast<int>(dump.image.size()), dump.status.data(),
                               static_cast<int>(dump.status.size()));
  return dump;
}

int RestoreCard(const SectorKeys& keys, const MifareImage& image, bool trailers) {
  const std::size_t sectors = SectorsOfImage(image.size());
  const std::vector<std::uint8_t> entries = KeyEntries(sectors, keys);
  return MifareRestoreCard(static_cast<int>(sectors), entries.data(), static_cast<int>(entries.size()), image.data(),
                           static_cast<int>(image.size()), trailers ? 1 : 0);
}

}  // namespace kulve::tool

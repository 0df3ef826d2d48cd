// SPDX-License-Identifier: MIT
// The policy of a whole-card dump and restore (see kulve32.h). The sectors
// the reader's slots cover are first read together by the reader's
// whole-card read, each with its first key as key A; a sector is taken from
// it when that key reads the trailer and the trailer's access bytes let key A
// read every data block. Any other sector is read block by block.
#include "mifare/card_image.h"

#include <algorithm>
#include <vector>

#include "mifare/access_bits.h"
#include "mifare/keyed_blocks.h"
#include "mifare/mifare.h"
#include "results/results.h"

namespace kulve {
namespace {

constexpr std::size_t kBlock = kMifareBlockSize;
constexpr int kNoKeyTried = -1;
constexpr int kNotTaken = -2;

using KeyList = std::vector<MifareKeyBytes>;
using SectorKeys = std::array<KeyList, kMifareMaxSectors>;

// Library codes, link-failure letters and "no card" (1) end the work; a
// status from 0x80 up is the card refusing that key, and the next one is tried.
bool EndsWork(int status) { return status > 0 && status < 0x80; }

bool ValidSectors(int sectors) { return sectors >= 1 && sectors <= static_cast<int>(kMifareMaxSectors); }
bool Holds(const void* buffer, int size, std::size_t needed) {
  return buffer != nullptr && size >= 0 && static_cast<std::size_t>(size) >= needed;
}

// The keys of each sector in the order given, each once. False when an
// entry names a sector the card does not have.
bool SplitKeys(int sectors, const std::uint8_t* keys, int keyBytes, SectorKeys& out) {
  if (keyBytes < 0 || keyBytes % static_cast<int>(kMifareKeyEntrySize) != 0 || (keys == nullptr && keyBytes > 0))
    return false;
  for (int at = 0; at < keyBytes; at += static_cast<int>(kMifareKeyEntrySize)) {
    const std::uint8_t sector = keys[at];
    if (sector != kMifareEverySector && sector >= sectors) return false;
    MifareKeyBytes key{};
    std::copy_n(keys + at + 1, key.size(), key.begin());
    for (int s = 0; s < sectors; ++s) {
      KeyList& list = out[static_cast<std::size_t>(s)];
      if ((sector == kMifareEverySector || sector == s) && std::find(list.begin(), list.end(), key) == list.end())
        list.push_back(key);
    }
  }
  return true;
}

struct KeyTry {
  int type;
  std::size_t key;
  bool operator==(const KeyTry&) const = default;
};

// The one that opened the previous block first, then every key as key A,
// then every key as key B.
std::vector<KeyTry> TryOrder(std::size_t keys, const std::optional<KeyTry>& last) {
  std::vector<KeyTry> order;
  if (last) order.push_back(*last);
  for (int type = 0; type < 2; ++type) {
    for (std::size_t key = 0; key < keys; ++key) {
      if (KeyTry{type, key} != last) order.push_back({type, key});
    }
  }
  return order;
}

class Dump {
 public:
  Dump(Reader& reader, std::size_t sectors, const SectorKeys& keys, std::uint8_t* image)
      : blocks_(reader), sectors_(sectors), keys_(keys), image_(image) {}

  // The sectors' statuses: 0 read whole, else the last refusal, the status
  // that ended the dump, or kNoKeyTried. Returns the status that ended it, or 0.
  int Run(std::array<int, kMifareMaxSectors>& status) {
    ReadReaderSectors();
    int stopped = 0;
    for (std::size_t sector = 0; sector < sectors_; ++sector) {
      status[sector] = stopped != 0 ? stopped : ReadSector(sector);
      if (stopped == 0 && EndsWork(status[sector])) stopped = status[sector];
    }
    return stopped;
  }

 private:
  std::uint8_t* BlockAt(std::size_t block) const { return image_ + block * kBlock; }

  void ReadReaderSectors() {
    if (sectors_ < kMifareReaderSectors) return;  // the whole-card read knows 16 sectors
    std::array<std::optional<MifareKeyBytes>, kMifareReaderSectors> first;
    bool any = false;
    for (std::size_t sector = 0; sector < kMifareReaderSectors; ++sector) {
      if (keys_[sector].empty()) continue;
      first[sector] = keys_[sector].front();
      usable_[sector] = any = true;
    }
    if (!any) return;
    const int status = blocks_.ReadReaderSectors(first, data_.data());
    if (EndsWork(status)) usable_ = {};
    // The whole-card read reports the last sector's refusal alone.
    if (status != 0) usable_[kMifareReaderSectors - 1] = false;
  }

  int ReadSector(std::size_t sector) {
    std::array<std::optional<MifareKeyBytes>, 2> opened;
    int missing = 0;
    int status = sector < kMifareReaderSectors && usable_[sector] ? TakeSector(sector) : kNotTaken;
    if (status == 0) {
      opened[0] = keys_[sector].front();
    } else if (!EndsWork(status)) {
      status = ReadBlocks(sector, opened, missing);
    }
    if (EndsWork(status)) return status;
    if (status != 0) return missing;  // the trailer was not read: it stays zero
    std::uint8_t* trailer = BlockAt(MifareTrailerBlock(sector));
    if (!opened[0]) status = FindKey(sector, 0, opened[0]);
    if (status == 0 && !opened[1] && !MifareKeyBReadable(trailer)) status = FindKey(sector, 1, opened[1]);
    if (opened[0]) {
      std::copy(opened[0]->begin(), opened[0]->end(), trailer);
    } else {
      std::fill_n(trailer, 6, 0);
    }
    if (opened[1]) std::copy(opened[1]->begin(), opened[1]->end(), trailer + 10);
    return status != 0 ? status : missing;
  }

  // The sector's bytes from the whole-card read, when its first key, as key
  // A, reads the trailer and the trailer lets key A read every data block.
  int TakeSector(std::size_t sector) {
    std::uint8_t* first = BlockAt(MifareFirstBlock(sector));
    std::uint8_t* trailer = BlockAt(MifareTrailerBlock(sector));
    const int status = blocks_.Read(sector, MifareTrailerBlock(sector), keys_[sector].front(), 0, trailer);
    if (status != 0) return EndsWork(status) ? status : kNotTaken;
    if (!MifareAccessBytesAgree(trailer) || !MifareKeyAReadsData(trailer)) return kNotTaken;
    std::copy_n(data_.begin() + static_cast<std::ptrdiff_t>(sector * kMifareSectorDataSize), kMifareSectorDataSize,
                first);
    return 0;
  }

  // Each block with the first key that reads it; a block no key reads stays
  // zero, and missing gets the status of its last try. Returns the last
  // block's status, or that of a step that ended the dump.
  int ReadBlocks(std::size_t sector, std::array<std::optional<MifareKeyBytes>, 2>& opened, int& missing) {
    const KeyList& list = keys_[sector];
    std::optional<KeyTry> last;
    int status = kNoKeyTried;
    for (std::size_t block = MifareFirstBlock(sector); block <= MifareTrailerBlock(sector); ++block) {
      status = kNoKeyTried;
      for (const KeyTry& attempt : TryOrder(list.size(), last)) {
        status = blocks_.Read(sector, block, list[attempt.key], attempt.type, BlockAt(block));
        if (status == 0) {
          opened[static_cast<std::size_t>(attempt.type)] = list[attempt.key];
          last = attempt;
          break;
        }
        if (EndsWork(status)) return status;
      }
      if (status != 0) {
        std::fill_n(BlockAt(block), kBlock, 0);
        missing = status;
      }
    }
    return status;
  }

  // A key of the list that reads some block of the sector as key `type`
  // (the trailer first): the key a trailer of the image names.
  int FindKey(std::size_t sector, int type, std::optional<MifareKeyBytes>& found) {
    std::array<std::uint8_t, kBlock> scratch{};
    for (const MifareKeyBytes& key : keys_[sector]) {
      for (std::size_t block = MifareTrailerBlock(sector) + 1; block-- > MifareFirstBlock(sector);) {
        const int status = blocks_.Read(sector, block, key, type, scratch.data());
        if (status == 0) {
          found = key;
          return 0;
        }
        if (EndsWork(status)) return status;
      }
    }
    return 0;
  }

  KeyedBlocks blocks_;
  std::size_t sectors_;
  const SectorKeys& keys_;
  std::uint8_t* image_;
  std::array<std::uint8_t, kMifareCardBufferSize> data_{};
  std::array<bool, kMifareReaderSectors> usable_{};
};

}  // namespace

int MifareDumpCard(Reader& reader, int sectors, const std::uint8_t* keys, int keyBytes, std::uint8_t* image,
                   int imageSize, std::uint8_t* sectorStatus, int statusSize) {
  SectorKeys split;
  if (!ValidSectors(sectors) || !Holds(image, imageSize, MifareImageSize(static_cast<std::size_t>(sectors))) ||
      !Holds(sectorStatus, statusSize, static_cast<std::size_t>(sectors)) || !SplitKeys(sectors, keys, keyBytes, split))
    return result::kBadArgument;
  const auto count = static_cast<std::size_t>(sectors);
  std::fill_n(image, MifareImageSize(count), 0);
  std::array<int, kMifareMaxSectors> status{};
  const int stopped = Dump(reader, count, split, image).Run(status);
  for (std::size_t sector = 0; sector < count; ++sector) {
    sectorStatus[sector] = static_cast<std::uint8_t>(status[sector] == kNoKeyTried ? result::kBadArgument : status[sector]);
  }
  return stopped;
}

int MifareRestoreCard(Reader& reader, int sectors, const std::uint8_t* keys, int keyBytes, const std::uint8_t* image,
                      int imageSize, int trailers) {
  SectorKeys split;
  if (!ValidSectors(sectors) || !Holds(image, imageSize, MifareImageSize(static_cast<std::size_t>(sectors))) ||
      !SplitKeys(sectors, keys, keyBytes, split))
    return result::kBadArgument;
  const auto count = static_cast<std::size_t>(sectors);
  for (std::size_t sector = 0; sector < count; ++sector) {
    if (split[sector].empty()) return result::kBadArgument;
  }
  KeyedBlocks blocks(reader);
  for (std::size_t sector = 0; sector < count; ++sector) {
    const KeyList& list = split[sector];
    std::optional<KeyTry> last;
    for (std::size_t block = MifareFirstBlock(sector); block <= MifareTrailerBlock(sector); ++block) {
      if (block == 0 || (block == MifareTrailerBlock(sector) && trailers == 0)) continue;
      int status = 0;
      for (const KeyTry& attempt : TryOrder(list.size(), last)) {
        status = blocks.Write(sector, block, list[attempt.key], attempt.type, image + block * kBlock);
        if (status == 0) {
          last = attempt;
          break;
        }
        if (EndsWork(status)) return status;
      }
      if (status != 0) return status;
    }
  }
  return 0;
}

}  // namespace kulve

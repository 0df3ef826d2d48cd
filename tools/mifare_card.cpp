// SPDX-License-Identifier: MIT
#include "tools/mifare_card.h"

#include <algorithm>

#include "kulve32.h"

namespace kulve::tool {
namespace {

constexpr std::size_t kBlockSize = 16;

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
  for (std::size_t slot = 0; slot < kMifareSectors; ++slot) {
    const MifareKey& key = choice.sectorKey[slot] ? *choice.sectorKey[slot] : choice.key;
    if (const int result = RFMifare_TransKey(static_cast<int>(slot), key.data()); result != 0) return result;
  }
  return RFMifare_Authmode(choice.type);
}

namespace {

// Library codes, link-failure letters and "no card" (1) end a dump; statuses
// from 0x80 up are the card refusing that key, and the next one is tried.
bool EndsDump(int result) { return result > 0 && result < 0x80; }

// The reader's key slots and key mode as the dump last set them, so that a
// key is sent only when it changes.
class ReaderKeys {
 public:
  int Use(std::size_t sector, const MifareKey& key, int type) {
    if (slots_[sector] != key) {
      if (const int result = RFMifare_TransKey(static_cast<int>(sector), key.data()); result != 0) return result;
      slots_[sector] = key;
    }
    if (mode_ != type) {
      if (const int result = RFMifare_Authmode(type); result != 0) return result;
      mode_ = type;
    }
    return 0;
  }

 private:
  std::array<std::optional<MifareKey>, kMifareSectors> slots_;
  int mode_ = -1;
};

struct KeyTry {
  int type;
  std::size_t key;
  bool operator==(const KeyTry&) const = default;
};

// Every key as key A, then every key as key B; the one that read the
// previous block first.
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

// Looks among the keys for one that reads any block of the sector as key
// `type` (a sector's access bytes may let only the other key read its data).
int FindKey(ReaderKeys& reader, std::size_t sector, const std::vector<MifareKey>& keys, int type,
            std::optional<MifareKey>& found) {
  for (const MifareKey& key : keys) {
    for (std::size_t i = 0; i < 4; ++i) {
      const std::size_t block = sector * 4 + 3 - i;
      std::array<std::uint8_t, kBlockSize> scratch{};
      int result = reader.Use(sector, key, type);
      if (result == 0) result = RFMifare_ReadBlock(static_cast<int>(block), 0, scratch.data());
      if (result == 0) {
        found = key;
        return 0;
      }
      if (EndsDump(result)) return result;
    }
  }
  return 0;
}

// Whether the trailer's access bytes let key A read all three data blocks:
// every condition C1 C2 C3 but 011, 101 and 111.
bool KeyAReadsData(const std::uint8_t* trailer) {
  for (int block = 0; block < 3; ++block) {
    const int c1 = trailer[7] >> (4 + block) & 1, c2 = trailer[8] >> block & 1, c3 = trailer[8] >> (4 + block) & 1;
    if (c3 == 1 && (c1 == 1 || c2 == 1)) return false;
  }
  return true;
}

constexpr std::size_t kSectorData = 48;
using CardData = std::array<std::uint8_t, kMifareSectors * kSectorData>;
constexpr int kNotTaken = -2;

// Puts each sector's first key into its slot, key A, and reads the data
// blocks of the whole card (an exchange a sector, against four block reads).
// Returns the sectors whose bytes may be taken: those with a key, less the
// last one when the read's result (that sector's status) is a refusal, and
// none when a step ended early.
std::array<bool, kMifareSectors> ReadDataBlocks(ReaderKeys& reader, const SectorKeys& keys, CardData& data) {
  std::array<bool, kMifareSectors> usable{};
  bool any = false;
  for (std::size_t sector = 0; sector < kMifareSectors; ++sector) {
    if (keys[sector].empty()) continue;
    if (reader.Use(sector, keys[sector][0], 0) != 0) return {};
    usable[sector] = any = true;
  }
  if (!any) return usable;
  const int result = RFMifare_ReadBloca(0, 0, data.data());
  if (EndsDump(result)) return {};
  if (result != 0) usable[kMifareSectors - 1] = false;
  return usable;
}

// Takes the sector's bytes from the whole-card read when its first key, as
// key A, reads the trailer and the trailer lets key A read every data block:
// the sector read was then made with a key that reads the sector. Else
// kNotTaken, or the status that ends the dump.
int TakeSector(ReaderKeys& reader, std::size_t sector, const MifareKey& key, const CardData& data, MifareDump& dump) {
  std::uint8_t* first = dump.data() + sector * 4 * kBlockSize;
  std::uint8_t* trailer = first + 3 * kBlockSize;
  int status = reader.Use(sector, key, 0);
  if (status == 0) status = RFMifare_ReadBlock(static_cast<int>(sector * 4 + 3), 0, trailer);
  if (status != 0) return EndsDump(status) ? status : kNotTaken;
  if (!AccessBytesAgree(trailer) || !KeyAReadsData(trailer)) return kNotTaken;
  std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(sector * kSectorData), kSectorData, first);
  return 0;
}

// Reads the sector block by block, each block with the first key that reads
// it. Returns the last block's status; missing gets that of any block not read.
int ReadSectorBlocks(ReaderKeys& reader, std::size_t sector, const std::vector<MifareKey>& list, MifareDump& dump,
                     std::array<std::optional<MifareKey>, 2>& opened, int& missing) {
  std::optional<KeyTry> last;
  int status = -1;  // no key to try
  for (std::size_t block = sector * 4; block < sector * 4 + 4 && !EndsDump(status); ++block) {
    std::uint8_t* bytes = dump.data() + block * kBlockSize;
    status = -1;
    for (const KeyTry& attempt : TryOrder(list.size(), last)) {
      status = reader.Use(sector, list[attempt.key], attempt.type);
      if (status == 0) status = RFMifare_ReadBlock(static_cast<int>(block), 0, bytes);
      if (status == 0) {
        opened[static_cast<std::size_t>(attempt.type)] = list[attempt.key];
        last = attempt;
        break;
      }
      if (EndsDump(status)) break;
    }
    if (status != 0) {
      std::fill_n(bytes, kBlockSize, 0);
      missing = status;
    }
  }
  return status;
}

}  // namespace

DumpOutcome DumpCard(const SectorKeys& keys, MifareDump& dump, const Progress& progress) {
  DumpOutcome outcome;
  dump.fill(0);
  ReaderKeys reader;
  CardData data{};
  const std::array<bool, kMifareSectors> usable = ReadDataBlocks(reader, keys, data);
  for (std::size_t sector = 0; sector < kMifareSectors; ++sector) {
    progress(static_cast<int>(sector), static_cast<int>(kMifareSectors));
    if (outcome.stopped != 0) {
      outcome.missing[sector] = outcome.stopped;
      continue;
    }
    const std::vector<MifareKey>& list = keys[sector];
    std::array<std::optional<MifareKey>, 2> opened;
    int status = usable[sector] ? TakeSector(reader, sector, list.front(), data, dump) : kNotTaken;
    if (status == 0) {
      opened[0] = list.front();
    } else if (EndsDump(status)) {
      outcome.missing[sector] = status;
    } else {
      status = ReadSectorBlocks(reader, sector, list, dump, opened, outcome.missing[sector]);
    }
    if (EndsDump(status)) {
      outcome.stopped = status;
      continue;
    }
    std::uint8_t* trailer = dump.data() + (sector * 4 + 3) * kBlockSize;
    if (status != 0) continue;  // the trailer stays zero
    if (!opened[0]) outcome.stopped = FindKey(reader, sector, list, 0, opened[0]);
    if (!opened[1] && !KeyBReadable(trailer) && outcome.stopped == 0)
      outcome.stopped = FindKey(reader, sector, list, 1, opened[1]);
    if (opened[0]) {
      std::copy(opened[0]->begin(), opened[0]->end(), trailer);
    } else {
      std::fill_n(trailer, 6, 0);
    }
    if (opened[1]) std::copy(opened[1]->begin(), opened[1]->end(), trailer + 10);
  }
  progress(static_cast<int>(kMifareSectors), static_cast<int>(kMifareSectors));
  return outcome;
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

// SPDX-License-Identifier: MIT
// Reading and writing a block of any sector with a given key. Sectors the
// reader's key slots cover (0..15) go through its high-level operations: a
// key slot and the key mode are sent only when they change. Higher sectors
// (a 4K card) go through the single card steps: request, anticollision,
// select, load key, authenticate, then read or write, the session kept while
// the same key opens the same sector.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "device/reader.h"
#include "mifare/card_layout.h"

namespace kulve {

using MifareKeyBytes = std::array<std::uint8_t, 6>;

class KeyedBlocks {
 public:
  explicit KeyedBlocks(Reader& reader) : reader_(reader) {}

  // type: 0 key A, 1 key B. Each returns 0 or the status of the step that failed.
  int Read(std::size_t sector, std::size_t block, const MifareKeyBytes& key, int type, std::uint8_t* out);
  int Write(std::size_t sector, std::size_t block, const MifareKeyBytes& key, int type, const std::uint8_t* data);
  // The reader's whole-card read, after each sector's slot holds its key as key A.
  int ReadReaderSectors(const std::array<std::optional<MifareKeyBytes>, kMifareReaderSectors>& keys,
                        std::uint8_t* out);

 private:
  int UseSlot(std::size_t sector, const MifareKeyBytes& key, int type);
  int OpenSector(std::size_t sector, std::size_t block, const MifareKeyBytes& key, int type);

  struct Session {
    std::size_t sector;
    MifareKeyBytes key;
    int type;
    bool operator==(const Session&) const = default;
  };
  Reader& reader_;
  std::array<std::optional<MifareKeyBytes>, kMifareReaderSectors> slots_;
  int mode_ = -1;
  std::optional<Session> session_;
};

}  // namespace kulve

// SPDX-License-Identifier: MIT
// A Mifare Classic 1K or 4K card in the reader's field, with the rules the
// card itself enforces.
//
// Memory: 1K: 64 blocks of 16 bytes in 16 sectors of 4 blocks; 4K: 256
// blocks, sectors 0..31 of 4 blocks then sectors 32..39 of 16 blocks, whose
// 15 data blocks share an access condition by threes. Block 0 is the
// read-only manufacturer block: UID (4 bytes), their XOR, SAK (08; 4K 18),
// ATQA (04 00; 4K 02 00), eight manufacturer bytes. The last block of each
// sector is its trailer: key A
// (bytes 0..5), access bytes (6..8, see mifare_access.h), a general-purpose
// byte (9) and key B (10..15). A new card has zero data blocks, both keys
// FF FF FF FF FF FF and access bytes FF 07 80 69.
//
// States: idle -> (request; halted cards only with a wake-up request) ->
// ready -> (select by UID) -> active -> (halt) -> halted. Only an active card
// authenticates, and only an authenticated one reads or writes, and only in
// the sector it authenticated. A failed authentication sends the card back
// to idle.
//
// Rules on access (reader statuses in mifare_status below):
//   - every read, write and value step checks the block's access condition
//     against the key that authenticated (kAccessDenied);
//   - a key B that the trailer lets be read is plain data: after
//     authenticating with it nothing is allowed;
//   - trailers read back with key A as zeros, and key B as zeros unless it may
//     be read; a trailer write changes only the fields the key may write (the
//     others keep their value) and is refused when it may write none;
//   - access bytes whose inverted copies disagree are written like any
//     others, and lock the sector for good, as on a real card: every later
//     step in it is refused (kAccessDenied) and no key authenticates there
//     again (kAuthFailed);
//   - block 0 is never written;
//   - value blocks hold a signed 32-bit value v as v, ~v, v (little-endian)
//     and an address byte a as a, ~a, a, ~a. Increment and decrement load
//     the block's value into the card's transfer register, changed by the
//     amount (kValueOverflow past the 32-bit range, kNotValueBlock for a block
//     not in that format); restore loads it unchanged; transfer writes the
//     register to a block of the authenticated sector, with its address byte.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "sim/cards/mifare_access.h"

namespace kulve::sim {

// Reader statuses of the Mifare commands (besides those of firmware.h).
namespace mifare_status {
inline constexpr std::uint8_t kNoCard = 0x01;            // no card in the field answered
inline constexpr std::uint8_t kAuthFailed = 0xC0;        // wrong key: the card went back to idle
inline constexpr std::uint8_t kNotAuthenticated = 0xC1;  // the block's sector is not authenticated
inline constexpr std::uint8_t kAccessDenied = 0xC2;      // the access conditions forbid it with this key
inline constexpr std::uint8_t kNotValueBlock = 0xC3;     // the block is not in value-block format
inline constexpr std::uint8_t kValueOverflow = 0xC4;     // the value would leave the signed 32-bit range
inline constexpr std::uint8_t kBadAccessBits = 0xC5;     // the reader found a trailer's access bytes inconsistent
inline constexpr std::uint8_t kKeyUnknown = 0xC6;        // the reader cannot keep the other key (WriteKey)
}  // namespace mifare_status

using MifareBlock = std::array<std::uint8_t, 16>;
using MifareKey = std::array<std::uint8_t, 6>;
using MifareUid = std::array<std::uint8_t, 4>;

inline constexpr MifareKey kTransportKey{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

class MifareClassicCard {
 public:
  static constexpr std::size_t kBlockCount = 64;    // a 1K card
  static constexpr std::size_t kSectorCount = 16;
  static constexpr std::size_t k4kBlockCount = 256;
  static constexpr std::size_t k4kSectorCount = 40;

  enum class State : std::uint8_t { kIdle, kReady, kActive, kHalted };

  // A new card with this UID, as described above.
  explicit MifareClassicCard(const MifareUid& uid, bool fourK = false);

  bool FourK() const { return blocks_.size() == k4kBlockCount; }
  std::size_t BlockCount() const { return blocks_.size(); }
  std::size_t SectorCount() const { return FourK() ? k4kSectorCount : kSectorCount; }
  std::array<std::uint8_t, 2> Atqa() const { return {FourK() ? std::uint8_t{0x02} : std::uint8_t{0x04}, 0x00}; }
  std::uint8_t Sak() const { return FourK() ? 0x18 : 0x08; }

  const MifareUid& Uid() const { return uid_; }
  State CardState() const { return state_; }

  // Anticollision and selection. Request: an idle card (or a halted one when
  // wakeHalted) becomes ready and answers true. Select: a ready card with this
  // UID becomes active. Deselect: a ready or active card returns to idle (the
  // reader has moved on to another card).
  bool Request(bool wakeHalted);
  bool Select(const MifareUid& uid);
  void Deselect();
  bool Halt();  // an active card halts; false when it was not active

  // The card's steps; each returns 0 or a reader status. A card that is not
  // active answers nothing (kNoCard).
  std::uint8_t Authenticate(std::size_t block, KeyType key, const MifareKey& value);
  std::uint8_t Read(std::size_t block, MifareBlock& out) const;
  std::uint8_t Write(std::size_t block, const MifareBlock& data);
  std::uint8_t Increment(std::size_t block, std::uint32_t amount);
  std::uint8_t Decrement(std::size_t block, std::uint32_t amount);
  std::uint8_t Restore(std::size_t block);
  std::uint8_t Transfer(std::size_t block);

  // Value-block format.
  static std::optional<std::int32_t> ValueOf(const MifareBlock& block);
  static MifareBlock ValueBlock(std::int32_t value, std::uint8_t address);

  static std::size_t SectorOf(std::size_t block) { return block < 128 ? block / 4 : 32 + (block - 128) / 16; }
  static std::size_t FirstBlockOf(std::size_t sector) { return sector < 32 ? sector * 4 : 128 + (sector - 32) * 16; }
  static std::size_t TrailerOf(std::size_t sector) { return FirstBlockOf(sector) + (sector < 32 ? 3 : 15); }
  static bool IsTrailer(std::size_t block) { return TrailerOf(SectorOf(block)) == block; }
  // The access condition (0..2 data, 3 the trailer) that rules a block.
  static std::size_t GroupOf(std::size_t block) {
    if (IsTrailer(block)) return 3;
    const std::size_t offset = block - FirstBlockOf(SectorOf(block));
    return block < 128 ? offset : offset / 5;
  }

  // Direct access for setting up and checking a card; no rules applied.
  std::vector<MifareBlock>& Blocks() { return blocks_; }
  const std::vector<MifareBlock>& Blocks() const { return blocks_; }
  void SetTrailer(std::size_t sector, const MifareKey& keyA, const AccessConditions& conditions,
                  const MifareKey& keyB);

 private:
  // 0, or why the authenticated key may not run `op` on a data block.
  std::uint8_t CheckData(std::size_t block, DataOp op) const;
  std::uint8_t CheckSession(std::size_t block) const;
  std::uint8_t Condition(std::size_t block) const;
  // True when the trailer's access bytes contradict themselves.
  bool Locked(std::size_t sector) const;
  std::uint8_t ChangeValue(std::size_t block, std::int64_t delta, DataOp op);
  std::uint8_t WriteTrailer(std::size_t block, const MifareBlock& data);

  MifareUid uid_;
  State state_ = State::kIdle;
  std::vector<MifareBlock> blocks_;
  std::optional<std::size_t> authSector_;
  KeyType authKey_ = KeyType::kA;
  struct Register {
    std::int32_t value;
    std::uint8_t address;
  };
  std::optional<Register> transfer_;
};

}  // namespace kulve::sim

// SPDX-License-Identifier: MIT
// An e5550 125 kHz read/write transponder in the simulated reader's RF field.
//
// Eight blocks of 4 bytes, each with a lock bit:
//   block 0     configuration; its byte 0 is the mode byte below, bytes 1..3
//               are kept as written
//   blocks 1..6 data
//   block 7     the password (data like any other block while password mode is off)
//
// Mode byte (block 0, byte 0), as the reader's init command sends it:
//   bits 7..5  highest readable block: reads of blocks above it are refused
//   bit 4      answer on request: the transponder stays silent until woken
//              with its password
//   bit 3      password mode: writes and mode changes need the password, and
//              block 7 never reads back
//   bits 2..0  not used by the transponder (kept as written)
// A new transponder: mode byte 0xE7 (all blocks readable, both modes off),
// every other byte 0, nothing locked, not woken.
//
// Rules:
//   - In answer-on-request mode every command except a wake finds the
//     transponder silent (kAsleep) until a wake with the right password. It
//     stays awake until it leaves the field (LeaveField) or its configuration
//     is written again.
//   - A wake checks the password whenever password mode or answer on request
//     is on (kWrongPassword, the state unchanged); with both off the
//     transponder answers anyway and any password will do.
//   - In password mode a write or mode change with a wrong password is
//     refused (kWrongPassword) and changes nothing.
//   - A locked block refuses every write (kBlockLocked), the configuration
//     block mode changes too. A write with the lock flag set locks the block
//     after writing it, for good.
//   - Block numbers above 7 are refused (status::kBadParameter).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "sim/firmware.h"
#include "sim/reader_state.h"

namespace kulve::sim {

// Reader statuses of the e5550 commands, beside those of firmware.h.
namespace e5550_status {
inline constexpr std::uint8_t kNoTransponder = 0xD0;  // nothing in the RF field
inline constexpr std::uint8_t kAsleep = 0xD1;         // answer on request: wake it first
inline constexpr std::uint8_t kWrongPassword = 0xD2;
inline constexpr std::uint8_t kBlockLocked = 0xD3;
inline constexpr std::uint8_t kBlockHidden = 0xD4;    // above the highest readable block, or the password
}  // namespace e5550_status

class E5550Transponder {
 public:
  static constexpr std::size_t kBlockCount = 8;
  static constexpr std::size_t kBlockSize = 4;
  static constexpr std::uint8_t kConfigBlock = 0;
  static constexpr std::uint8_t kPasswordBlock = 7;
  static constexpr std::uint8_t kNewMode = 0xE7;
  using Block = std::array<std::uint8_t, kBlockSize>;

  // Mode byte bits.
  static constexpr std::uint8_t kAnswerOnRequest = 0x10;
  static constexpr std::uint8_t kPasswordMode = 0x08;
  static constexpr unsigned kHighestBlockShift = 5;

  E5550Transponder();

  // The transponder's side of the reader's commands; replies follow
  // rf5550_commands.h.
  Reply Read(std::uint8_t block) const;
  Reply Write(std::uint8_t block, const Block& password, const Block& data, bool lock);
  Reply SetMode(const Block& password, std::uint8_t mode, bool lockConfiguration);
  Reply Wake(const Block& password);

  // Out of the field and back: forgets a wake.
  void LeaveField() { awake_ = false; }

  // Direct access for setting up and checking a transponder; no rules applied.
  Block& BlockAt(std::uint8_t block) { return blocks_.at(block); }
  const Block& BlockAt(std::uint8_t block) const { return blocks_.at(block); }
  bool Locked(std::uint8_t block) const { return locked_.at(block); }
  void SetLocked(std::uint8_t block, bool locked) { locked_.at(block) = locked; }
  std::uint8_t Mode() const { return blocks_[kConfigBlock][0]; }
  bool Awake() const { return awake_; }

 private:
  bool Silent() const { return (Mode() & kAnswerOnRequest) != 0 && !awake_; }
  bool PasswordMode() const { return (Mode() & kPasswordMode) != 0; }
  bool PasswordMatches(const Block& password) const { return password == blocks_[kPasswordBlock]; }
  // kOk, or the status refusing a write of block with password.
  std::uint8_t WriteCheck(std::uint8_t block, const Block& password) const;
  void Store(std::uint8_t block, const Block& data, bool lock);

  std::array<Block, kBlockCount> blocks_{};
  std::array<bool, kBlockCount> locked_{};
  bool awake_ = false;
};

// Puts a new transponder into the reader's RF field (replacing any), or takes
// it away.
void PlaceTransponder(ReaderState& state);
void RemoveTransponder(ReaderState& state);

}  // namespace kulve::sim

// SPDX-License-Identifier: MIT
// An AT88SC1608 secure-memory card in the simulated reader's contact slot,
// with the rules the card applies.
//
// Memory: eight user zones of 256 bytes (zones 0..7, 0xFF when new) and the
// configuration zone (zone 8) of 128 bytes:
//   0..7     identification, read-only          4B 31 36 30 38 00 00 01
//   8..15    issuer bytes, free for the card's owner
//   16..23   access byte of user zones 0..7:
//              bit 0  reading the zone needs a password of set z
//              bit 1  writing the zone needs the write password of set z
//            a new card has 02 for zones 0..6 and 03 for zone 7
//   32       authentication attempts byte
//   40..47   cryptogram, renewed by every successful authentication
//   48..55   secret seed, always read as 00
//   64..127  sixteen password records of 4 bytes, record i at 64 + 4 i:
//            the password's attempts byte, then its 3 bytes, which read as
//            00 until the write password of set 7 has been presented
// Other bytes are free and 0xFF when new.
//
// Passwords: index i names set i & 7; bit 3 set is the set's read
// password, clear its write password. The write password of set z opens
// zone z for reading and writing, its read password for reading only; the
// write password of set 7 also opens the configuration zone for writing
// (identification bytes excepted). New passwords are FF FF FF.
//
// Attempts bytes: n one-bits from the top stand for n attempts left. A new
// card has 0xFF (8) everywhere. A wrong password or host answer clears the
// lowest one-bit; a right one restores 0xFF. At 0x00 the card refuses
// everything, the right password or answer included.
//
// Authentication: the card derives from its cryptogram, its secret seed and
// the host's challenge the answer it expects from the host and its own
// answer (sim/cards/at1608_keystream.h). A right host answer makes its own
// answer the new cryptogram, so the same exchange is never accepted twice.
//
// Fuses: the fuse byte reads 07 on a new card; no command of the simulated
// reader blows a fuse (a card image may bring other fuses).
//
// Reset() (the reset command, and power off) forgets every password presented.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "sim/cards/at1608_keystream.h"
#include "sim/firmware.h"
#include "sim/reader_state.h"

namespace kulve::sim {

// Reader statuses of the AT88SC1608 commands, beside those of firmware.h.
namespace at1608_status {
inline constexpr std::uint8_t kNeedsPassword = 0xB0;  // the zone needs a password presented first
inline constexpr std::uint8_t kWrongPassword = 0xB1;  // refused; the reply carries the attempts byte
inline constexpr std::uint8_t kLocked = 0xB2;         // no attempts left; the reply carries 0x00
}  // namespace at1608_status

class At1608Card {
 public:
  static constexpr std::size_t kUserZones = 8;
  static constexpr std::size_t kUserZoneSize = 256;
  static constexpr std::uint8_t kConfigZone = 8;
  static constexpr std::size_t kConfigSize = 128;
  static constexpr std::size_t kPasswordCount = 16;
  static constexpr std::size_t kPasswordLength = 3;
  static constexpr std::uint8_t kFullAttempts = 0xFF;
  static constexpr std::uint8_t kFuses = 0x07;

  // Layout of the configuration zone (see above).
  static constexpr std::size_t kIdentification = 0;
  static constexpr std::size_t kAccessBytes = 16;
  static constexpr std::size_t kAuthAttempts = 32;
  static constexpr std::size_t kCryptogram = 40;
  static constexpr std::size_t kSeed = 48;
  static constexpr std::size_t kPasswords = 64;

  // A new card with this secret seed.
  explicit At1608Card(const At1608Block& seed);

  // The reader's operations; replies follow sim/at1608_commands.h.
  Reply Read(std::uint8_t zone, std::size_t address, std::size_t n) const;
  Reply Write(std::uint8_t zone, std::size_t address, std::span<const std::uint8_t> bytes);
  Reply PresentPassword(std::uint8_t index, std::span<const std::uint8_t, kPasswordLength> password);
  Reply Authenticate(const At1608Block& challenge, const At1608Block& hostAnswer);
  Reply ReadFuses() const { return Ok({fuses_}); }
  void Reset() { presented_.fill(false); }

  // Direct access for setting up and checking a card; no rules applied.
  At1608Block Cryptogram() const { return Block(kCryptogram); }
  void SetCryptogram(const At1608Block& c) { SetBlock(kCryptogram, c); }
  At1608Block Seed() const { return Block(kSeed); }
  // Zone z (0..7 user zones, 8 the configuration zone) as stored, hidden bytes included.
  std::vector<std::uint8_t>& Zone(std::size_t z) { return zones_.at(z); }
  const std::vector<std::uint8_t>& Zone(std::size_t z) const { return zones_.at(z); }
  std::uint8_t Fuses() const { return fuses_; }
  void SetFuses(std::uint8_t fuses) { fuses_ = fuses; }
  std::uint8_t AuthAttempts() const { return config()[kAuthAttempts]; }
  void SetAuthAttempts(std::uint8_t attemptsByte) { config()[kAuthAttempts] = attemptsByte; }

 private:
  static std::size_t PasswordRecord(std::uint8_t index) { return kPasswords + 4u * index; }
  std::vector<std::uint8_t>& config() { return zones_[kConfigZone]; }
  const std::vector<std::uint8_t>& config() const { return zones_[kConfigZone]; }
  At1608Block Block(std::size_t at) const;
  void SetBlock(std::size_t at, const At1608Block& block);
  bool WriteOpen(std::size_t set) const { return presented_[set]; }
  bool ReadOpen(std::size_t set) const { return presented_[set] || presented_[set + 8]; }
  // kOk, or the status refusing this access to the zone.
  std::uint8_t AccessCheck(std::uint8_t zone, bool write) const;
  bool Hidden(std::size_t configAddress) const;

  std::array<std::vector<std::uint8_t>, kUserZones + 1> zones_;
  std::array<bool, kPasswordCount> presented_{};  // by password index
  std::uint8_t fuses_ = kFuses;
};

// An 8-byte seed written as 16 hex digits, or nullopt.
std::optional<At1608Block> ParseAt1608Seed(std::string_view text);

// Puts a new card with the seed into the slot (replacing any AT88SC1608
// card), or takes it out; the slot state of the Inquire reply follows.
void InsertAt1608Card(ReaderState& state, const At1608Block& seed);
void RemoveAt1608Card(ReaderState& state);

}  // namespace kulve::sim

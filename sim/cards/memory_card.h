// SPDX-License-Identifier: MIT
// A contact memory card in the simulated reader's slot, with the rules the
// reader applies to it.
//
// Every card has 64 KiB of card memory (memory area 18), 0xFF when new. The
// paged commands address the same memory as page * page size + offset, with
// pages of 264 bytes for type 21 and 256 bytes otherwise.
//
// What a new card of each type holds, and how it is protected:
//   types 0..4       identification bytes, read-only: type 0 has B7 A0 at
//                    bytes 0..1; types 1, 2, 3, 4 have 81 05, 81 15, 81 03,
//                    81 13 at bytes 6..7.
//   0, 15, 16, 17    code in card memory: 2-byte code at bytes 8..9 (type 0)
//                    or 10..11 (15..17), attempts counter after it as a
//                    2-byte big-endian number. The code bytes read as 00 00
//                    until the code has been presented.
//   2, 4             security memory (area 2): attempts byte, then the code
//                    (3 bytes for type 2, 2 for type 4), which reads as 00
//                    until presented.
//   25, 26           as 2/4 with a 2-byte code, plus four zones of 16 KiB of
//                    card memory (zone z = bytes z*0x4000 ..), each with a
//                    2-byte zone code and an access byte: bit 0 set = reading
//                    the zone needs its zone code, bit 1 set = writing does.
//   5..9, 18, 27..29 a 2-byte code the card keeps to itself (presentation only).
//   all other types  no code: everything may be read and written.
// New cards have every code, erase key and zone code set to 0xFF bytes, an
// attempts counter of 3 and zone access bytes of 0.
//
// Rules:
//   - A card with a code refuses writes (and erases) until the code has been
//     presented (kNeedsCode). The erase command is also allowed after a right
//     erase key (types 0, 15, 16, 25, 26).
//   - A wrong code takes one attempt off the counter (kWrongCode); a right one
//     restores the counter to 3. With no attempts left every presentation is
//     refused (kNoAttemptsLeft), the right code included.
//   - Wrong erase keys and zone codes are refused (kWrongCode) without
//     touching the counter.
//   - Erasing sets bytes to 0xFF. Writes leave the identification bytes as
//     they are, as a ROM area would.
//   - Lock() (power off) forgets every code, key and zone code presented.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <vector>

#include "sim/firmware.h"
#include "sim/reader_state.h"

namespace kulve::sim {

// Reader statuses of the memory-card commands, beside those of firmware.h.
namespace memcard_status {
inline constexpr std::uint8_t kWrongCode = 0x90;       // a code, erase key or zone code did not match
inline constexpr std::uint8_t kNoAttemptsLeft = 0x91;  // the attempts counter is at 0
inline constexpr std::uint8_t kNeedsCode = 0x92;       // protected: present the code (or key / zone code) first
}  // namespace memcard_status

enum class CardSecurity : std::uint8_t { kNone, kHiddenCode, kCodeInCardMemory, kSecurityMemory, kZoned };

inline constexpr std::uint8_t kCardMemoryArea = 18;
inline constexpr std::uint8_t kSecurityMemoryArea = 2;

class MemoryCard {
 public:
  static constexpr std::size_t kMemorySize = 0x10000;
  static constexpr std::uint8_t kAttempts = 3;
  static constexpr std::size_t kZoneCount = 4;
  static constexpr std::size_t kZoneSize = kMemorySize / kZoneCount;

  // A new card of the type, as described above.
  explicit MemoryCard(std::uint8_t type);

  std::uint8_t Type() const { return type_; }
  CardSecurity Security() const;
  std::size_t PageSize() const;
  std::size_t CodeLength() const;
  // Length of erase key `number`, 0 when the card has no such key.
  std::size_t EraseKeyLength(std::uint8_t number) const;

  // The reader's operations. Replies follow memcard_commands.h.
  Reply Read(std::uint8_t area, std::size_t address, std::size_t n) const;
  Reply Write(std::uint8_t area, std::size_t address, std::span<const std::uint8_t> bytes);
  Reply Erase(std::size_t address, std::size_t n);
  Reply ReadSecurityMemory() const;
  Reply PresentCode(std::span<const std::uint8_t> code);
  Reply ChangeCode(std::span<const std::uint8_t> code);
  Reply PresentEraseKey(std::uint8_t number, std::span<const std::uint8_t> key);
  Reply PresentZoneCode(std::uint8_t zone, std::span<const std::uint8_t> code);
  Reply SetZoneAccess(std::uint8_t zone, std::uint8_t access);
  Reply Fuse(std::uint8_t value);
  void Lock();

  // Direct access for setting up and checking a card; no rules applied.
  std::vector<std::uint8_t>& Memory() { return memory_; }
  const std::vector<std::uint8_t>& Memory() const { return memory_; }
  // The security memory as the card keeps it: the attempts byte, then the
  // code (empty for types whose code sits in card memory or that have none).
  std::vector<std::uint8_t>& SecurityBytes() { return security_; }
  const std::vector<std::uint8_t>& SecurityBytes() const { return security_; }
  std::vector<std::uint8_t> Code() const;
  void SetCode(std::span<const std::uint8_t> code);
  unsigned AttemptsLeft() const;
  void SetAttemptsLeft(unsigned attempts);
  void SetEraseKey(std::uint8_t number, std::span<const std::uint8_t> key);
  void SetZoneCode(std::uint8_t zone, std::array<std::uint8_t, 2> code);
  std::uint8_t ZoneAccess(std::uint8_t zone) const { return zoneAccess_.at(zone); }
  bool CodePresented() const { return codePresented_; }
  // The value of the last fuse command and how many there were.
  std::uint8_t LastFuse() const { return lastFuse_; }
  unsigned FuseCount() const { return fuseCount_; }

 private:
  bool HasCode() const { return Security() != CardSecurity::kNone; }
  bool HasSecurityMemory() const;
  std::uint8_t* CodeBytes();
  const std::uint8_t* CodeBytes() const;
  bool IsIdentification(std::size_t address) const;
  // kOk, or the status refusing access to bytes [address, address + n) of card memory.
  std::uint8_t ZoneCheck(std::size_t address, std::size_t n, std::uint8_t bit) const;
  std::vector<std::uint8_t> Visible(std::uint8_t area, std::size_t address, std::size_t n) const;

  std::uint8_t type_;
  std::vector<std::uint8_t> memory_;
  std::vector<std::uint8_t> security_;  // attempts byte, then the code (types without one in card memory)
  std::map<std::uint8_t, std::vector<std::uint8_t>> eraseKeys_;  // keys not set are 0xFF bytes
  std::array<std::array<std::uint8_t, 2>, kZoneCount> zoneCodes_{};
  std::array<std::uint8_t, kZoneCount> zoneAccess_{};
  std::array<bool, kZoneCount> zoneOpen_{};
  bool codePresented_ = false;
  bool eraseKeyPresented_ = false;
  std::uint8_t lastFuse_ = 0;
  unsigned fuseCount_ = 0;
};

// Puts a new card of the type into the slot (replacing any), or empties it;
// the slot state of the Inquire reply follows.
void InsertMemoryCard(ReaderState& state, std::uint8_t type);
void RemoveMemoryCard(ReaderState& state);

}  // namespace kulve::sim

// SPDX-License-Identifier: MIT
// What the PC/SC driver needs from one reader: chip-slot resets and APDUs,
// the Mifare steps, the slot map, and a raw command for the escape. The driver's slot
// bookkeeping and the storage-card translation sit on this interface only,
// so tests drive them over a fake reader.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace kulve::pcsc {

using Bytes = std::vector<std::uint8_t>;

// How a step ended, as far as the driver must tell outcomes apart.
enum class Outcome : std::uint8_t {
  kOk,
  kNoCard,       // the slot or the field is empty
  kCardChanged,  // a new card sits in the slot since the last reset
  kCardError,    // the card did not answer, or answered what the step cannot use
  kRefused,      // the reader refused the step (a status of its own)
  kTooLong,      // the request exceeds what the reader can carry
  kBadRequest,   // the request is not a well-formed command
  kLinkLost,     // the line failed and could not be linked again
  kUnsupported,  // the memory card's type has no such facility
};

inline constexpr std::size_t kChipSlotCount = 5;  // CPU card, SAM 1..4
inline constexpr std::size_t kMifareUidSize = 4;
inline constexpr std::size_t kMifareKeySize = 6;
inline constexpr std::size_t kMifareBlockSize = 16;

enum class MifareKeyType : std::uint8_t { kA = 0, kB = 1 };

// Which slots hold a card, and which of those cards are in use, from one
// query that touches no card: bit n for chip slot n, bit 5 for the field.
// In use: a chip card reset since it came in, a Mifare card selected.
struct SlotMap {
  std::uint8_t present = 0;
  std::uint8_t inUse = 0;
  bool Present(std::size_t slot) const { return (present >> slot) & 1; }
  bool InUse(std::size_t slot) const { return (inUse >> slot) & 1; }
};

class ReaderBackend {
 public:
  virtual ~ReaderBackend() = default;

  // Chip slots 0..4. Reset: the card's ATR into `atr`.
  virtual Outcome ResetChip(std::size_t slot, Bytes& atr) = 0;
  // One command APDU (ISO/IEC 7816-4 short form); `response` gets the
  // response data followed by SW1 SW2.
  virtual Outcome TransmitChip(std::size_t slot, std::span<const std::uint8_t> apdu, Bytes& response) = 0;

  // The Mifare field. Wake: every card in the field, halted ones too; the
  // ATQA as the card sends it (low byte first).
  virtual Outcome MifareWake(std::array<std::uint8_t, 2>& atqa) = 0;
  virtual Outcome MifareAnticollision(std::array<std::uint8_t, kMifareUidSize>& uid) = 0;
  virtual Outcome MifareSelect(const std::array<std::uint8_t, kMifareUidSize>& uid) = 0;
  // The reader keeps 2 x 16 keys; `number` is 0..15.
  virtual Outcome MifareLoadKey(MifareKeyType type, std::uint8_t number,
                                std::span<const std::uint8_t, kMifareKeySize> key) = 0;
  virtual Outcome MifareAuthenticate(MifareKeyType type, std::uint8_t block, std::uint8_t number) = 0;
  virtual Outcome MifareRead(std::uint8_t block, std::span<std::uint8_t, kMifareBlockSize> out) = 0;
  virtual Outcome MifareWrite(std::uint8_t block, std::span<const std::uint8_t, kMifareBlockSize> data) = 0;
  // Increment or decrement a value block and transfer the result to it.
  virtual Outcome MifareIncrement(std::uint8_t block, std::uint32_t amount) = 0;
  virtual Outcome MifareDecrement(std::uint8_t block, std::uint32_t amount) = 0;

  // One reader command with its data; `reply` gets the status byte, then the
  // reply data (the driver's escape, see docs/pcsc.md).
  virtual Outcome RawCommand(std::uint8_t code, std::span<const std::uint8_t> data, Bytes& reply) = 0;

  // The slot map; kRefused from a reader that refuses it or answers
  // anything but two bytes.
  virtual Outcome QuerySlots(SlotMap&) { return Outcome::kRefused; }

  // The contact slot's memory card, through the library's memory-card
  // calls (addresses and page sizes as the library knows them for the card
  // type selected). Inquire: the card type the reader reports, and whether a
  // card sits in its contact slot (the second value it reports, nonzero).
  virtual Outcome MemoryInquire(std::uint8_t& cardType, bool& present) = 0;
  virtual Outcome MemorySelectType(std::uint8_t cardType) = 0;
  // The reader's power-on of the contact slot, before a memory card is used.
  virtual Outcome MemoryPowerOn() = 0;
  virtual Outcome MemoryRead(std::uint32_t address, std::span<std::uint8_t> out) = 0;
  virtual Outcome MemoryWrite(std::uint32_t address, std::span<const std::uint8_t> data) = 0;
  virtual Outcome MemoryErase(std::uint32_t address, std::size_t count) = 0;
  // The card's security code: presented, changed (once presented), and its
  // attempts counter (two bytes as the library reads them; never the code).
  virtual Outcome MemoryPresentCode(std::span<const std::uint8_t> code) = 0;
  virtual Outcome MemoryChangeCode(std::span<const std::uint8_t> code) = 0;
  virtual Outcome MemoryAttempts(std::array<std::uint8_t, 2>& counter) = 0;

  // The IFSC the block protocol uses for the chip slot's card (as the
  // library reads it from the ATR); 0 when the card speaks T=0.
  virtual std::uint32_t ChipIfsc(std::size_t slot) = 0;
};

// Opens the reader behind a device path (or tcp://, rfc2217://); null with
// `why` filled when no reader answers there.
using BackendFactory = std::unique_ptr<ReaderBackend> (*)(const std::string& device, std::string& why);

}  // namespace kulve::pcsc

// SPDX-License-Identifier: MIT
// The contactless slot: a Mifare Classic card in the reader's field, served
// through the storage-card commands PC/SC readers answer (class FF):
//
//   FF CA 00 00 Le             the UID (Le 00: all of it; larger: 6282;
//                              smaller: 6Cxx); P1 01 (ATS) 6A81
//   FF CA 02 00 Le             the SAK (1 byte): the reader's select answers
//                              none, so it is the one the card type the ATQA
//                              tells answers (1K 08, 4K 18, Ultralight 00);
//                              another ATQA 6A81
//   FF CA 03 00 Le             the ATQA, most significant byte first, as the
//                              card answered the power-up's wake-up
//   (P1 02 SAK and 03 ATQA as libnfc's PC/SC driver reads them; P1 01, the
//   ATS, 6A81: not an ISO/IEC 14443-4 card)
//   FF 82 P1 n 06 key          load key n (0..15) into the driver's memory;
//                              P1 00 or 20 (both volatile here), a reader
//                              key (P1 bit 80) 6983, secured 6985; bad n
//                              6988; Lc not 6 6989
//   FF 86 00 00 05 01 00 b T n general authenticate block b with key n as
//                              key A (T 60) or key B (T 61); 6300 refused
//   FF 88 00 b T n             the same, in the older form
//   FF B0 00 b Le              read block b (Le 00 or 10)
//   FF D6 00 b 10 data         update block b with 16 bytes
//   FF B1 00 b Le              read value block b: 4 bytes, most significant
//                              first (Le 00 or 04); not a value block 6300
//   FF D7 00 b 05 op v(4)      value block b: op 00 store v, 01 increment
//                              by v, 02 decrement by v (v most significant
//                              byte first; increment and decrement are
//                              transferred to b)
//   FF D7 00 s 02 03 t         restore: block t becomes a copy of value block s
//
// Reading or writing a block outside the last authenticated sector is
// refused with 6982 before anything is sent. A refused authentication
// leaves the card halted, so the next one wakes and selects it again.
// Other class FF instructions 6D00; any other class 6E00; wrong P1/P2 6A86;
// wrong length 6700; a card operation the card refused 6300.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "pcsc/backend.h"

namespace kulve::pcsc {

class StorageCardSlot {
 public:
  explicit StorageCardSlot(ReaderBackend& backend) : backend_(backend) {}

  // Wakes, finds and selects the card; its ATR (contactless_atr.h).
  Outcome PowerUp(Bytes& atr);
  // Forgets the card and the authentication; the keys stay.
  void PowerDown();
  // Whether a card answers in the field (wakes it, so only when unpowered).
  Outcome Probe();
  // Whether our card is still the one in the field, for a reader that cannot
  // tell it without talking to the card: a read in the sector authenticated
  // (which only that card answers, and which keeps the authentication), else
  // a wake-up and select of our UID. kNoCard when it left or another took
  // its place.
  Outcome Confirm();
  // A refused key left the card quiet: the reader cannot show it selected.
  bool Quiet() const { return needsReselect_; }

  // One storage-card command; `response` gets data and status word. The
  // outcome is kOk whenever a status word was made; kNoCard when the card
  // left the field, kLinkLost when the reader went away.
  Outcome Transmit(std::span<const std::uint8_t> apdu, Bytes& response);

 private:
  using Uid = std::array<std::uint8_t, kMifareUidSize>;
  using Key = std::array<std::uint8_t, kMifareKeySize>;
  static constexpr std::size_t kKeyCount = 16;

  Outcome GetData(std::span<const std::uint8_t> apdu, Bytes& response);
  Outcome LoadKey(std::span<const std::uint8_t> apdu, Bytes& response);
  Outcome Authenticate(std::uint8_t block, std::uint8_t keyType, std::uint8_t number, Bytes& response);
  Outcome ReadBlocks(std::span<const std::uint8_t> apdu, Bytes& response);
  Outcome UpdateBlock(std::span<const std::uint8_t> apdu, Bytes& response);
  Outcome ReadValue(std::span<const std::uint8_t> apdu, Bytes& response);
  Outcome ValueOperation(std::span<const std::uint8_t> apdu, Bytes& response);
  // Wake, anticollision and select of the card with our UID.
  Outcome Reselect();
  // A card step's outcome as the command's answer.
  Outcome Finish(Outcome step, Bytes& response, std::span<const std::uint8_t> data = {});
  bool Authenticated(std::uint8_t block) const;

  ReaderBackend& backend_;
  std::optional<Uid> uid_;
  std::array<std::uint8_t, 2> atqa_{};
  std::array<std::optional<Key>, kKeyCount> keys_;
  std::optional<int> authenticatedSector_;
  bool needsReselect_ = false;
};

// The sector a block belongs to (Mifare Classic 1K and 4K layout).
constexpr int SectorOf(std::uint8_t block) { return block < 128 ? block / 4 : 32 + (block - 128) / 16; }

}  // namespace kulve::pcsc

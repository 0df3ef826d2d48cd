// SPDX-License-Identifier: MIT
// A contact memory card in the CPU card's slot, served as a storage card
// through class FF commands (docs/pcsc.md has the table):
//
//   FF A4 00 00 01 TT       select the card type TT (the library's codes): a
//                           memory card cannot tell its type
//   FF B0 P1 P2 Le          read Le bytes (00: 256) from address P1 P2
//   FF D6 P1 P2 Lc data     write the Lc bytes at address P1 P2
//   FF 0E P1 P2 01 NN       erase NN bytes (00: 256) from address P1 P2
//   FF 20 00 00 Lc code     present the security code
//   FF 24 00 00 Lc code     change the code (the code presented first)
//   FF B1 00 00 Le          the attempts counter: 2 bytes (Le 00 or 02)
//
// Status words: 9000 done; 6300 the card or reader refused it (a wrong code,
// a write before the code, no attempts left: read the counter); 6A81 the
// card type has no such facility; 6700 wrong length or an address the card
// type does not have; 6A86 wrong P1 P2; 6D00 another instruction; 6E00 any
// other class, so a program sending ISO APDUs to it gets an answer at once.
// A refusal is followed by an Inquire: a card that has left makes the
// command fail with "no card", so the removal of a card held idle shows at
// the next command to it. Codes never leave this class but to the library.
#pragma once

#include <span>

#include "pcsc/backend.h"

namespace kulve::pcsc {

class MemoryCardSlot {
 public:
  explicit MemoryCardSlot(ReaderBackend& backend) : backend_(backend) {}

  // kOk when the reader reports a card in its contact slot.
  Outcome Probe();
  // The reader's power-on, then the storage-card ATR for the card type the
  // reader reports (contactless_atr.h; standard byte 00, card name FF then
  // the type).
  Outcome PowerUp(Bytes& atr);
  // One command; `response` gets data and status word (kOk whenever a
  // status word was made).
  Outcome Transmit(std::span<const std::uint8_t> apdu, Bytes& response);

 private:
  Outcome Finish(Outcome step, Bytes& response, std::span<const std::uint8_t> data = {});

  ReaderBackend& backend_;
};

}  // namespace kulve::pcsc

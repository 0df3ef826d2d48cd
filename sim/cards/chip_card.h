// SPDX-License-Identifier: MIT
// A contact CPU card or SAM in one of the simulated reader's five chip
// slots: its answer-to-reset, its transport protocol and the application
// behind it (card_application.h).
//
// The card speaks the protocol its ATR offers first: T=1 when TD1 is present
// and names T=1, else T=0. It answers commands only after a reset.
//
// T=0: the reader hands over CLA INS P1 P2 P3 and any data. Whether P3 is Lc
// or Le follows from the INS, as on a real card. A command that sends data
// and expects a response (SELECT returning its FCI) is answered 61xx and the
// response waits for GET RESPONSE (00 C0 00 00 Le); any other command drops
// it. A command that expects Le bytes and would answer a different number
// gets 6Cxx (xx = the number it has) instead. Fewer than the 5 header bytes:
// no answer at all.
//
// T=1: the reader hands over the host's block. The card checks it as a
// receiver must: at least NAD PCB LEN LRC, LRC (XOR of all bytes 0), LEN
// equal to the bytes carried, NAD 00, an I-block without the more-data bit
// and without reserved bits, and N(S) alternating from 0 after each reset. A
// good block runs the APDU in it and is answered with the card's own I-block
// (NAD 00, PCB with the card's N(S), alternating from 0, LEN, INF = data SW1
// SW2, LRC). A bad one is logged as a protocol error and answered with an
// R-block (NAD 00, PCB 80 | N(R) << 4 | 1 for an LRC error, 2 for any other,
// LEN 00, LRC) naming the N(S) the card still expects; nothing runs.
// That is the lenient profile: kinder than a real card, which may chain,
// ask for more time, and takes R- and S-blocks. SetStrictT1 switches a T=1
// card to the strict profile (strict_t1.h), which does all that.
#pragma once

#include <array>
#include <memory>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/cards/card_application.h"
#include "sim/cards/strict_t1.h"

namespace kulve::sim {

class ChipCard {
 public:
  ChipCard(std::vector<std::uint8_t> atr, std::array<std::uint8_t, 8> serial);

  // The first protocol an ATR offers, read as the card reads its own ATR.
  static bool OffersT1First(std::span<const std::uint8_t> atr);

  const std::vector<std::uint8_t>& Atr() const { return atr_; }
  bool SpeaksT1() const { return t1_; }
  bool Powered() const { return powered_; }

  // Cold reset: powers the card and returns its ATR.
  const std::vector<std::uint8_t>& Reset();
  // Bytes relayed by the reader to a powered card; the card's answer, or
  // nothing when it stays mute.
  std::optional<std::vector<std::uint8_t>> Receive(std::span<const std::uint8_t> bytes);
  // The reader could not relay the answer just given (longer than its
  // frame). The lenient T=1 profile, kinder than a real card, then keeps
  // both sequence bits as before that block, as the host does after a
  // failed exchange; the strict profile and T=0 are unchanged.
  void AnswerDropped();

  // T=1 protocol errors found in the host's blocks, oldest first.
  const std::vector<std::string>& ProtocolErrors() const { return protocolErrors_; }
  std::vector<std::string> TakeProtocolErrors();

  CardApplication& Application() { return application_; }
  // The strict T=1 profile on or off (off: lenient); starts as after a reset.
  void SetStrictT1(bool strict);
  StrictT1* Strict() { return strict_.get(); }
  // The card's T=1 sequence bits: the host N(S) it expects next, its own next N(S).
  std::uint8_t ExpectedHostSequence() const { return expectedHost_; }
  std::uint8_t OwnSequence() const { return own_; }

 private:
  std::optional<std::vector<std::uint8_t>> ReceiveT0(std::span<const std::uint8_t> command);
  std::vector<std::uint8_t> ReceiveT1(std::span<const std::uint8_t> block);
  std::vector<std::uint8_t> Reject(std::span<const std::uint8_t> block, const std::string& why, bool lrcError);

  std::vector<std::uint8_t> atr_;
  bool t1_;
  bool powered_ = false;
  CardApplication application_;
  std::vector<std::uint8_t> waiting_;  // T=0 response kept for GET RESPONSE
  std::uint8_t expectedHost_ = 0;
  std::uint8_t own_ = 0;
  std::vector<std::string> protocolErrors_;
  std::unique_ptr<StrictT1> strict_;  // null: the lenient profile
};

}  // namespace kulve::sim

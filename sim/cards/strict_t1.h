// SPDX-License-Identifier: MIT
// The strict T=1 profile of a simulated chip card: the block protocol as
// ISO/IEC 7816-3 lets a real card speak it, for hosts that must cope with
// one. The lenient profile (chip_card.h) takes single I-blocks only; this
// one takes everything the standard allows and is exact about it:
//
// - IFSC from the card's own ATR (TAi after the first TD(i-1), i > 2, naming
//   T=1; 32 without one); a host block above it is rejected with an R-block
//   and logged. CRC instead of LRC when TCi says so.
// - IFSD 32 after each reset until the host's S(IFS request), which is
//   answered with S(IFS response); answers longer than IFSD are chained (M
//   bit), each link sent after the host's R-block naming the next N(S).
// - Chained commands: every I-block with the M bit is acknowledged with an
//   R-block; the APDU runs once the last link has come.
// - Its own N(S) and the host N(S) it expects, from 0 after each reset and
//   after S(RESYNCH request), which is answered with S(RESYNCH response).
// - An R-block from the host that acknowledges nothing brings back the
//   card's last block.
// - Slow commands (when told, SetSlow): before answering, S(WTX request)
//   with a multiplier; the card waits for S(WTX response), then works for
//   the given time and answers.
// - Work per command (when told, SetCompute): the card answers after the
//   given time, with no S(WTX) or after S(WTX request) with the given
//   multiplier and its response, asked as many times in a row as told.
// - Slow characters (when told, SetCharacterGap): the card's characters come
//   the given time apart, as the character waiting time allows. The default strict ATR's TB3 (45) gives
//   BWI 4: the card may take 1.6 s at 3.5712 MHz without asking.
// - A lost block (LoseBlock): a block the card sends never arrives; the
//   reader reports the card mute. A mute card (SetMute) answers nothing,
//   S(RESYNCH) included, until its next reset.
// - S(ABORT request) instead of running the next command (AbortNext); the
//   host's S(ABORT response) is answered with an R-block.
// - A dropped block (when told, DropBlock): a block the card sends loses its
//   last byte on the way, as a block lost on the card's line; the card still
//   counts it as sent.
// - Every protocol error in the host's blocks is logged, with the block.
//
// Command APDUs may use short or extended lengths (cases 1 to 4).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "sim/cards/card_application.h"

namespace kulve::sim {

class StrictT1 {
 public:
  explicit StrictT1(std::span<const std::uint8_t> atr);

  void Reset();
  // The card's block; empty when none comes (lost, or the card is mute).
  std::vector<std::uint8_t> Receive(std::span<const std::uint8_t> block, CardApplication& application,
                                    std::vector<std::string>& errors);

  // SetSlow and SetCompute replace each other: the last one set is the card's work.
  void SetSlow(unsigned milliseconds) {
    SetCompute(0, 0);
    slowMs_ = milliseconds;
  }
  // wtx 0: no S(WTX), the answer comes after `milliseconds`; else S(WTX wtx)
  // `repeats` times in a row, each awaiting its response, then the work.
  void SetCompute(unsigned milliseconds, std::uint8_t wtx, unsigned repeats = 1) {
    slowMs_ = 0;
    computeMs_ = milliseconds;
    computeWtx_ = wtx;
    computeRepeats_ = repeats == 0 ? 1 : repeats;
  }
  // Each block the card sends takes `milliseconds` between its characters
  // (the reader relays it once whole).
  void SetCharacterGap(unsigned milliseconds) { gapMs_ = milliseconds; }
  void LoseBlock(unsigned skip = 0) { loseIn_ = skip + 1; }
  void SetMute(bool mute) { mute_ = mute; }
  void AbortNext() { abortNext_ = true; }
  unsigned ResynchsSeen() const { return resynchsSeen_; }
  unsigned AbortsAnswered() const { return abortsAnswered_; }
  // The card's block after the next `skip` blocks it sends is dropped.
  void DropBlock(unsigned skip = 0) { dropIn_ = skip + 1; }
  std::size_t Ifsc() const { return ifsc_; }
  std::size_t Ifsd() const { return ifsd_; }
  bool Crc() const { return crc_; }
  // Blocks seen and sent since the last reset, for tests and the log.
  unsigned WtxSent() const { return wtxSent_; }

 private:
  std::vector<std::uint8_t> Block(std::uint8_t pcb, std::span<const std::uint8_t> inf) const;
  std::vector<std::uint8_t> Send(std::vector<std::uint8_t> block);
  std::vector<std::uint8_t> Reject(std::span<const std::uint8_t> block, const std::string& why, bool edc,
                                   std::vector<std::string>& errors);
  std::vector<std::uint8_t> NextAnswerLink();
  std::vector<std::uint8_t> Run(CardApplication& application);

  std::size_t ifsc_ = 32;
  bool crc_ = false;
  std::size_t ifsd_ = 32;
  std::uint8_t expectedHost_ = 0;  // N(S) of the host's next I-block
  std::uint8_t own_ = 0;           // N(S) of the card's next I-block
  std::vector<std::uint8_t> command_;  // links of a chained command so far
  std::vector<std::uint8_t> answer_;   // what is left to send of the answer
  bool chainingAnswer_ = false;        // links of the answer are still to go
  bool awaitingWtx_ = false;
  std::vector<std::uint8_t> lastSent_;
  unsigned slowMs_ = 0;
  unsigned dropIn_ = 0;  // 1: the next block sent is dropped; 0: none
  unsigned wtxSent_ = 0;
  unsigned computeMs_ = 0;
  std::uint8_t computeWtx_ = 0;
  unsigned computeRepeats_ = 1;
  unsigned wtxLeft_ = 0;  // S(WTX) still to ask before this command's answer
  unsigned gapMs_ = 0;
  std::uint8_t lastWtx_ = 0;  // the multiplier asked for this command
  unsigned workMs_ = 0;   // what the card works after S(WTX response)
  unsigned loseIn_ = 0;   // 1: the next block sent is lost; 0: none
  bool mute_ = false;
  bool abortNext_ = false;
  bool awaitingAbort_ = false;
  unsigned resynchsSeen_ = 0;
  unsigned abortsAnswered_ = 0;
};

}  // namespace kulve::sim

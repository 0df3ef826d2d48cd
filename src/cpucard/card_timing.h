// SPDX-License-Identifier: MIT
// How long the full mode waits for a card: the block and work waiting times
// its ATR names, at the card clock assumed, plus the characters on the
// card's line both ways and the reader's margin; and the bound on a call.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "device/chip_protocol_state.h"
#include "device/reader.h"
#include "link/reply.h"
#include "link/transact.h"

namespace kulve {

// The reader does not say its card clock: the slowest common one, which
// gives the longest waits.
inline constexpr double kAssumedCardClockHz = 3571200.0;
// What the reader may add to the card's time: its turnaround and relaying.
inline constexpr std::uint32_t kReaderMarginMs = 200;
// The longest one call may spend waiting for its card, whatever the card asks.
inline constexpr std::chrono::milliseconds kCallBound{300000};

// Tests shorten the bound of the calls that begin after it (nullopt: back to
// kCallBound); a test's own clock, never a setting of the product.
void SetCallBoundForTests(std::optional<std::chrono::milliseconds> bound);

// T=1: BWT x wtx (11 etu + 2^BWI x 960 x 372 / f), plus `sent` bytes to the
// card at 12 etu each and the card's largest block (IFSD + prologue + CRC)
// back at the character waiting time (11 + 2^CWI etu, at least 12) each:
// the reader shows nothing of a block until its last character.
std::uint32_t T1BlockWaitMs(const ChipSlotProtocol& st, std::size_t sent, std::size_t ifsd, std::uint32_t wtx);
// T=0: the work waiting time (960 x WI x Fi / f) for each of the two
// procedure bytes of a command (after the header, after the data), plus
// `sent` bytes and an answer of 256 data bytes and SW on the line.
std::uint32_t T0CommandWaitMs(const ChipSlotProtocol& st, std::size_t sent);

// One call's clock: each exchange waits for the reader's acknowledgement as
// long as the card may take, but never past the call's bound.
class CardCall {
 public:
  CardCall();
  bool Expired() const { return std::chrono::steady_clock::now() >= deadline_; }
  // The exchange with at least waitMs for the acknowledgement (never less
  // than the link's own wait), the reader's wait restored after it. A wait
  // cut short by the bound that fails on the line is the bound's doing: its
  // status is then result::kCallTimeBound (still a line failure: the call ends).
  ReplyView Exchange(Reader& reader, std::uint8_t code, std::span<const std::uint8_t> send, std::uint32_t waitMs,
                     SecretSpan secret = {}) const;

 private:
  std::chrono::steady_clock::time_point deadline_;
};

}  // namespace kulve

// SPDX-License-Identifier: MIT
// How often a reader that cannot report card presence by itself is asked
// about an idle slot. Such a reader only tells by talking to the card (a
// reset of a chip slot, a wake-up of the field), one exchange a probe, so
// the probes are rationed per reader on a fixed timeline:
//
//   - the CPU card slot and the field, where cards come and go, once every
//     `interval`, the field half an interval after the CPU card;
//   - each SAM slot, where a card rarely changes, once every 4 x `interval`,
//     the four staggered one interval apart (a quarter interval after the
//     CPU card);
//   - slow (to check what a slot map says): every slot at the SAM pace;
//   - a slot is probed at most once per point of its timeline, however
//     often the caller polls, so a reader's idle line carries at most
//     (2 + 4/4) / `interval` probes a second; a slot not probed yet is
//     probed at once (a reader that has just opened tells every slot).
//
// A powered slot is never probed (that would disturb the card in use): its
// card's removal shows at the next command to it. This is the one place the
// rationing lives; a caller that waits for a card (pcscd's presence poll, or
// any other presence wait) asks Due before each probe and reports it with
// Probed.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <optional>

#include "pcsc/backend.h"

namespace kulve::pcsc {

class ProbeSchedule {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::size_t kSlots = kChipSlotCount + 1;  // chip slots, then the field
  static constexpr int kSamFactor = 4;

  // interval 0: every slot may be probed at every poll.
  explicit ProbeSchedule(Clock::duration interval) : interval_(interval) {}

  // Whether the slot may be probed now; slow: every slot at the SAM slots'
  // pace (a check of what another source of presence says).
  bool Due(std::size_t slot, Clock::time_point now, bool slow = false) const;
  void Probed(std::size_t slot, Clock::time_point now);
  // The slot's card left: its next poll probes it at once, as a first one.
  void Forget(std::size_t slot);

 private:
  // The first point of the slot's timeline after `t`.
  Clock::time_point NextAfter(std::size_t slot, Clock::time_point t, bool slow) const;

  Clock::duration interval_;
  std::array<std::optional<Clock::time_point>, kSlots> last_{};
  std::optional<Clock::time_point> origin_;  // the reader's first probe
};

}  // namespace kulve::pcsc

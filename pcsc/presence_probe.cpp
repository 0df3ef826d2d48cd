// SPDX-License-Identifier: MIT
#include "pcsc/presence_probe.h"

namespace kulve::pcsc {

ProbeSchedule::Clock::time_point ProbeSchedule::NextAfter(std::size_t slot, Clock::time_point t, bool slow) const {
  const bool sam = slot >= 1 && slot < kChipSlotCount;
  const Clock::duration period = sam || slow ? interval_ * kSamFactor : interval_;
  Clock::duration offset{0};
  if (slot == kChipSlotCount) offset = interval_ / 2;                                        // the field
  if (sam) offset = interval_ / 4 + interval_ * static_cast<Clock::rep>(slot - 1);  // SAM 1..4
  const Clock::time_point first = *origin_ + offset;
  if (t < first) return first;
  return first + period * ((t - first) / period + 1);
}

bool ProbeSchedule::Due(std::size_t slot, Clock::time_point now, bool slow) const {
  if (slot >= kSlots) return false;
  if (!last_[slot] || interval_ <= Clock::duration::zero()) return true;
  return now >= NextAfter(slot, *last_[slot], slow);
}

void ProbeSchedule::Probed(std::size_t slot, Clock::time_point now) {
  if (slot >= kSlots) return;
  if (!origin_) origin_ = now;
  last_[slot] = now;
}

void ProbeSchedule::Forget(std::size_t slot) {
  if (slot < kSlots) last_[slot].reset();
}

}  // namespace kulve::pcsc

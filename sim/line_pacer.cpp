// SPDX-License-Identifier: MIT
#include "sim/line_pacer.h"

#include <sys/prctl.h>

#include <algorithm>

namespace kulve::sim {

void LinePacer::Start(std::uint32_t bitsPerSecond, Clock::time_point seen) {
  if (bitsPerSecond == 0) {
    byteTime_ = Clock::duration::zero();
    return;
  }
  if (!On()) {
    // A byte lasts 174 us at 57600 bit/s; the default timer slack of 50 us
    // would stretch every wait by a good part of that.
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
  }
  byteTime_ = std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(10'000'000'000LL / bitsPerSecond));
  heard_ = seen + byteTime_;
  sent_ = heard_;
}

void LinePacer::Received(Clock::time_point seen) {
  if (On()) heard_ = std::max(seen, heard_) + byteTime_;
}

void LinePacer::BeginBurst() { sent_ = std::max({Clock::now(), heard_, sent_}); }

LinePacer::Clock::time_point LinePacer::NextSend() {
  sent_ = std::max(heard_, sent_) + byteTime_;
  return sent_;
}

}  // namespace kulve::sim

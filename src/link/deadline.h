// SPDX-License-Identifier: MIT
// A monotonic deadline shared by every wait of one blocking transfer, and
// the time rules of a transfer on any port (serial line or network).
#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>

#include "link/serial_port.h"

namespace kulve {

class Deadline {
 public:
  using Clock = std::chrono::steady_clock;

  explicit Deadline(std::chrono::milliseconds budget) : end_(Clock::now() + budget) {}
  explicit Deadline(Clock::time_point end) : end_(end) {}

  Clock::time_point End() const { return end_; }

  // Milliseconds left, rounded up so a poll never wakes just short of the end.
  int RemainingMs() const {
    const auto left = end_ - Clock::now();
    if (left <= Clock::duration::zero()) return 0;
    return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
  }
  bool Expired() const { return Clock::now() >= end_; }

 private:
  Clock::time_point end_;
};

// The whole time a write of `count` bytes may take.
inline Deadline WriteDeadline(const PortTimeouts& timeouts, std::size_t count) {
  return Deadline(std::chrono::milliseconds(timeouts.writeMultiplierMs * count + timeouts.writeConstantMs));
}

// A read of `count` bytes ends when they have all arrived, when the total
// budget (multiplier * count + constant) is spent, or when the interval
// between two received bytes runs out.
class ReadTimer {
 public:
  ReadTimer(const PortTimeouts& timeouts, std::size_t count)
      : total_(std::chrono::milliseconds(timeouts.readMultiplierMs * count + timeouts.readConstantMs)),
        intervalMs_(timeouts.readIntervalMs) {}

  // How long to wait for the next bytes; 0 when the read is over.
  int WaitMs() const {
    int wait = total_.RemainingMs();
    if (received_ && intervalMs_ > 0) {
      wait = std::min(wait, Deadline(lastByte_ + std::chrono::milliseconds(intervalMs_)).RemainingMs());
    }
    return wait;
  }
  // Some bytes arrived just now.
  void Received() {
    received_ = true;
    lastByte_ = Deadline::Clock::now();
  }

 private:
  Deadline total_;
  std::uint32_t intervalMs_;
  bool received_ = false;
  Deadline::Clock::time_point lastByte_{};
};

}  // namespace kulve

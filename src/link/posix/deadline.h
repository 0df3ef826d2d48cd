// SPDX-License-Identifier: MIT
// A monotonic deadline shared by every wait of one blocking transfer.
#pragma once

#include <chrono>

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

}  // namespace kulve

// SPDX-License-Identifier: MIT
// The timing of a real serial line, for a reader served on a pseudo-terminal
// (where bytes otherwise arrive at once): every byte takes 10 bit times (start
// bit, 8 data bits, stop bit) to cross, bytes in one direction follow each
// other, and the reader cannot answer before the last bit of what it answers
// has arrived.
#pragma once

#include <chrono>
#include <cstdint>

namespace kulve::sim {

class LinePacer {
 public:
  using Clock = std::chrono::steady_clock;

  // A new exchange whose first byte was taken from the line at `seen`, at
  // this line speed; 0 turns pacing off until the next Start.
  void Start(std::uint32_t bitsPerSecond, Clock::time_point seen);
  bool On() const { return byteTime_ != Clock::duration::zero(); }

  // Another byte of the host taken from the line at `seen`: it has arrived in
  // full one byte time after the later of `seen` and the previous byte.
  void Received(Clock::time_point seen);

  // The reader has bytes to send from now on. They follow each other on the
  // line, so a reader that wakes late for one byte does not push the next
  // ones back: the line would have kept sending from its transmit queue.
  void BeginBurst();
  // One more byte of the burst: when its last bit has left, which is when the
  // host may have it. Never before everything received has arrived.
  Clock::time_point NextSend();

 private:
  Clock::duration byteTime_{};
  Clock::time_point heard_{};  // last bit of the last byte received
  Clock::time_point sent_{};   // last bit of the last byte sent
};

}  // namespace kulve::sim

// SPDX-License-Identifier: MIT
// Watching the reader's first answer of each exchange for the delay a
// USB-serial adapter's latency timer adds. The reader answers the start byte
// at once, so what the answer takes beyond its two bytes' line time is the
// line's turnaround. A 1 ms timer keeps it near 1 ms; the common default of
// 16 ms makes it up to 16 ms, four times in every exchange.
#pragma once

#include <cstdint>

namespace kulve {

// A turnaround above this suggests a latency timer left at its default.
inline constexpr double kSlowTurnaroundMs = 4.0;
// Exchanges that must be that slow before the trace says so, once per open.
inline constexpr int kSlowTurnaroundsToTell = 3;

struct LatencyWatch {
  bool adapter = false;  // a device that can hold bytes for a latency timer
  int slowTurns = 0;
  bool told = false;

  void Opened(bool usbAdapter) { *this = LatencyWatch{usbAdapter, 0, false}; }
  // One exchange's start answer: true once, when the trace should say so.
  bool Turnaround(double ms) {
    if (!adapter || told || ms <= kSlowTurnaroundMs) return false;
    told = ++slowTurns >= kSlowTurnaroundsToTell;
    return told;
  }
};

}  // namespace kulve

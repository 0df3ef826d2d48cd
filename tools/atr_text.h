// SPDX-License-Identifier: MIT
// An answer-to-reset explained byte by byte, as ATR tools print it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace kulve::tool {

struct AtrExplanation {
  std::vector<std::string> lines;  // one per byte or group of bytes
  std::vector<int> protocols;      // offered, in the order of the TDi bytes (T=0 when there is none)
  bool complete = false;           // every byte T0 and the TDi announce is there
};

// Reads only the bytes given; a short ATR is explained as far as it goes.
AtrExplanation ExplainAtr(std::span<const std::uint8_t> atr);

}  // namespace kulve::tool

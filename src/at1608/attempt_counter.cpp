// SPDX-License-Identifier: MIT
#include <algorithm>
#include <array>

#include "at1608/at1608.h"

namespace kulve {
namespace {

// Index = the count: the card clears one bit from the low end per attempt used.
constexpr std::array<std::uint8_t, 9> kAttemptBytes{0x00, 0x80, 0xC0, 0xE0, 0xF0, 0xF8, 0xFC, 0xFE, 0xFF};

}  // namespace

std::optional<std::uint8_t> DecodeAttemptCounter(std::uint8_t attemptsByte) {
  const auto found = std::find(kAttemptBytes.begin(), kAttemptBytes.end(), attemptsByte);
  if (found == kAttemptBytes.end()) return std::nullopt;
  return static_cast<std::uint8_t>(found - kAttemptBytes.begin());
}

}  // namespace kulve

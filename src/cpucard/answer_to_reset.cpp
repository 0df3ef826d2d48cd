// SPDX-License-Identifier: MIT
#include "cpucard/answer_to_reset.h"

#include <bit>
#include <cstddef>

namespace kulve {
namespace {

constexpr std::size_t kT0Index = 1;
constexpr std::uint8_t kTd1Present = 0x80;
constexpr std::uint8_t kTa1Tb1Tc1Present = 0x70;
constexpr std::uint8_t kProtocolBits = 0x0F;

}  // namespace

std::uint8_t FirstOfferedProtocol(std::span<const std::uint8_t> atr) {
  if (atr.size() <= kT0Index) return kProtocolT0;
  const std::uint8_t t0 = atr[kT0Index];
  if ((t0 & kTd1Present) == 0) return kProtocolT0;
  // TA1, TB1 and TC1, each present or not, come between T0 and TD1.
  const std::size_t td1 = kT0Index + 1 + static_cast<std::size_t>(std::popcount(static_cast<unsigned>(t0 & kTa1Tb1Tc1Present)));
  if (td1 >= atr.size()) return kProtocolT0;
  return (atr[td1] & kProtocolBits) == 1 ? kProtocolT1 : kProtocolT0;
}

}  // namespace kulve

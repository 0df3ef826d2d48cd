// SPDX-License-Identifier: MIT
#include "cpucard/t1_parameters.h"

#include <algorithm>
#include <array>

#include "cpucard/answer_to_reset.h"

namespace kulve {
namespace {

constexpr std::uint8_t kMaxBwi = 9;

// TA1: the clock rate conversion Fi (high nibble) and the baud rate
// adjustment Di (low nibble); 0 marks a reserved value.
constexpr std::array<std::uint16_t, 16> kFi = {372, 372, 558, 744, 1116, 1488, 1860, 0,
                                              0,   512, 768, 1024, 1536, 2048, 0,   0};
constexpr std::array<std::uint16_t, 16> kDi = {0, 1, 2, 4, 8, 16, 32, 64, 12, 20, 0, 0, 0, 0, 0, 0};

void ReadTa1(std::uint8_t ta1, T1Parameters& p) {
  const std::uint16_t fi = kFi[ta1 >> 4], di = kDi[ta1 & 0x0F];
  if (fi == 0 || di == 0) return;
  p.fi = fi;
  p.clocksPerEtu = std::max<std::uint16_t>(kDefaultClocksPerEtu, static_cast<std::uint16_t>(fi / di));
}

}  // namespace

T1Parameters ReadT1Parameters(std::span<const std::uint8_t> atr) {
  T1Parameters p;
  p.protocol = FirstOfferedProtocol(atr);
  if (atr.size() < 2) return p;
  // at: T0, then each TDi; i: the index of the interface bytes it announces.
  std::size_t at = 1;
  bool afterT1 = false;
  for (unsigned i = 1; at < atr.size(); ++i) {
    const std::uint8_t y = atr[at];
    std::size_t next = at + 1;
    const bool hasA = (y & 0x10) != 0, hasB = (y & 0x20) != 0, hasC = (y & 0x40) != 0, hasD = (y & 0x80) != 0;
    const std::size_t tb = next + (hasA ? 1 : 0);
    const std::size_t tc = tb + (hasB ? 1 : 0);
    // The bytes announced here are TA(i+1)... for a TDi, TA1... for T0.
    if (i == 1 && hasA && next < atr.size()) ReadTa1(atr[next], p);
    if (i == 2 && hasC && tc < atr.size() && atr[tc] != 0x00) p.wi = atr[tc];
    if (afterT1) {
      if (hasA && next < atr.size() && atr[next] != 0x00 && atr[next] != 0xFF) p.ifsc = atr[next];
      if (hasB && tb < atr.size()) {
        p.bwi = std::min<std::uint8_t>(kMaxBwi, atr[tb] >> 4);
        p.cwi = atr[tb] & 0x0F;
      }
      if (hasC && tc < atr.size()) p.crc = (atr[tc] & 0x01) != 0;
      return p;
    }
    next = tc + (hasC ? 1 : 0);
    if (!hasD || next >= atr.size()) return p;
    // TD(i) at next; from TD2 on, the first naming T=1 makes the bytes it
    // announces T=1's own (TD1 names the protocol, not its parameters).
    afterT1 = i >= 2 && (atr[next] & 0x0F) == 1;
    at = next;
  }
  return p;
}

}  // namespace kulve

// SPDX-License-Identifier: MIT
#include "cpucard/t1_parameters.h"

#include "cpucard/answer_to_reset.h"

namespace kulve {

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
    // The bytes announced here are TA(i+1)... for a TDi, TA1... for T0.
    if (afterT1) {
      if (hasA && next < atr.size() && atr[next] != 0x00 && atr[next] != 0xFF) p.ifsc = atr[next];
      const std::size_t tc = next + (hasA ? 1 : 0) + (hasB ? 1 : 0);
      if (hasC && tc < atr.size()) p.crc = (atr[tc] & 0x01) != 0;
      return p;
    }
    next += (hasA ? 1 : 0) + (hasB ? 1 : 0) + (hasC ? 1 : 0);
    if (!hasD || next >= atr.size()) return p;
    // TD(i) at next; from TD2 on, the first naming T=1 makes the bytes it
    // announces T=1's own (TD1 names the protocol, not its parameters).
    afterT1 = i >= 2 && (atr[next] & 0x0F) == 1;
    at = next;
  }
  return p;
}

}  // namespace kulve

// SPDX-License-Identifier: MIT
// What the full protocol takes from a card's answer-to-reset.
#pragma once

#include <cstdint>
#include <span>

namespace kulve {

inline constexpr std::uint8_t kDefaultIfsc = 32;
inline constexpr std::uint8_t kDefaultBwi = 4;
inline constexpr std::uint8_t kDefaultCwi = 13;
inline constexpr std::uint8_t kDefaultWi = 10;
inline constexpr std::uint16_t kDefaultClocksPerEtu = 372;

struct T1Parameters {
  std::uint8_t protocol = 0;  // the first offered (TD1's), as the default mode reads it
  std::uint8_t ifsc = kDefaultIfsc;
  bool crc = false;           // the card checks blocks with a CRC, not an LRC
  std::uint8_t bwi = kDefaultBwi;  // block waiting time integer (T=1)
  std::uint8_t cwi = kDefaultCwi;  // character waiting time integer (T=1)
  std::uint8_t wi = kDefaultWi;    // work waiting time integer (T=0)
  std::uint16_t fi = kDefaultClocksPerEtu;           // Fi of TA1, clocks
  std::uint16_t clocksPerEtu = kDefaultClocksPerEtu; // Fi / Di of TA1, never below 372
};

// TAi, TBi and TCi (i > 2) after the first TD(i-1) naming T=1 give IFSC,
// BWI/CWI and the check: TA 01..FE is the IFSC (00 and FF are not valid and
// keep 32), TB's high nibble BWI (0..9; above 9 reads as 9) and low nibble
// CWI, bit 0 of TC chooses CRC. TC2 is T=0's WI (00 keeps 10); TA1 gives Fi
// and Di (reserved values keep 372 and 1). Never reads past the bytes given;
// what lies past them keeps its default.
T1Parameters ReadT1Parameters(std::span<const std::uint8_t> atr);

}  // namespace kulve

// SPDX-License-Identifier: MIT
// What the full block protocol takes from a card's answer-to-reset.
#pragma once

#include <cstdint>
#include <span>

namespace kulve {

inline constexpr std::uint8_t kDefaultIfsc = 32;

struct T1Parameters {
  std::uint8_t protocol = 0;  // the first offered (TD1's), as the default mode reads it
  std::uint8_t ifsc = kDefaultIfsc;
  bool crc = false;           // the card checks blocks with a CRC, not an LRC
};

// TAi and TCi (i > 2) after the first TD(i-1) naming T=1 give IFSC and the
// check: TA 01..FE is the IFSC (00 and FF are not valid and keep 32), bit 0
// of TC chooses CRC. Never reads past the bytes given; what lies past them
// keeps its default.
T1Parameters ReadT1Parameters(std::span<const std::uint8_t> atr);

}  // namespace kulve

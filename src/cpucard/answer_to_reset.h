// SPDX-License-Identifier: MIT
// The one fact the library takes from a card's answer-to-reset.
#pragma once

#include <cstdint>
#include <span>

namespace kulve {

inline constexpr std::uint8_t kProtocolT0 = 0;
inline constexpr std::uint8_t kProtocolT1 = 1;

// kProtocolT1 when the ATR (TS first) has a TD1 naming T=1, else kProtocolT0.
// Only T0 and TD1 are looked at, and only within the bytes given: an ATR too
// short to hold T0, or one whose TD1 lies past its end, gives T=0, the
// protocol of an ATR without TD1.
std::uint8_t FirstOfferedProtocol(std::span<const std::uint8_t> atr);

}  // namespace kulve

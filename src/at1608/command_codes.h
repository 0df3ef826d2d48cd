// SPDX-License-Identifier: MIT
// The reader's command codes for AT88SC1608 cards.
#pragma once

#include <cstdint>

namespace kulve::at1608_code {

inline constexpr std::uint8_t kWrite = 0x28;
inline constexpr std::uint8_t kRead = 0x29;
inline constexpr std::uint8_t kPassword = 0x2A;
inline constexpr std::uint8_t kAuthenticate = 0x2B;
inline constexpr std::uint8_t kReadFuse = 0x2C;
inline constexpr std::uint8_t kReset = 0x2D;

}  // namespace kulve::at1608_code

// SPDX-License-Identifier: MIT
// The reader's command codes for e5550 transponders.
#pragma once

#include <cstdint>

namespace kulve::rf5550_code {

inline constexpr std::uint8_t kReadBlock = 0x64;
inline constexpr std::uint8_t kWriteBlock = 0x65;
inline constexpr std::uint8_t kInit = 0x66;
inline constexpr std::uint8_t kWake = 0x67;
inline constexpr std::uint8_t kReadAfterWake = 0x68;
inline constexpr std::uint8_t kWriteAfterWake = 0x69;
inline constexpr std::uint8_t kModuleQuery = 0xA1;  // the RF module's two bytes; shared with Mifare

}  // namespace kulve::rf5550_code

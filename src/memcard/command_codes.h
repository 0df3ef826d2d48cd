// SPDX-License-Identifier: MIT
// The reader's command codes for contact memory cards.
#pragma once

#include <cstdint>

namespace kulve::memcard_code {

inline constexpr std::uint8_t kPresentCode = 0x0C;
inline constexpr std::uint8_t kFuse = 0x0E;
inline constexpr std::uint8_t kRead = 0x14;  // also reads the security memory (area 2)
inline constexpr std::uint8_t kWrite = 0x15;  // also writes the security memory
inline constexpr std::uint8_t kPresentZoneCode = 0x18;
inline constexpr std::uint8_t kPresentEraseKey = 0x19;
inline constexpr std::uint8_t kErase = 0x1A;
inline constexpr std::uint8_t kSetZoneAccess = 0x1B;
inline constexpr std::uint8_t kPagedWrite = 0x23;
inline constexpr std::uint8_t kPagedRead = 0x24;

}  // namespace kulve::memcard_code

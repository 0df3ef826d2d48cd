// SPDX-License-Identifier: MIT
// The reader's command codes for Mifare Classic cards: 0xA1..0xB3 are the
// reader's own high-level operations, 0xB4..0xBD the single card steps.
#pragma once

#include <cstdint>

namespace kulve::mifare_code {

inline constexpr std::uint8_t kModuleQuery = 0xA1;  // shared with the e5550 family
inline constexpr std::uint8_t kStoreKey = 0xA4;
inline constexpr std::uint8_t kKeyMode = 0xA9;
inline constexpr std::uint8_t kCardType = 0xAA;
inline constexpr std::uint8_t kSerialNumber = 0xAB;
inline constexpr std::uint8_t kReadBlock = 0xAC;
inline constexpr std::uint8_t kWriteBlock = 0xAD;
inline constexpr std::uint8_t kWriteKey = 0xAE;
inline constexpr std::uint8_t kReadValue = 0xAF;
inline constexpr std::uint8_t kWriteValue = 0xB0;
inline constexpr std::uint8_t kIncrementValue = 0xB1;
inline constexpr std::uint8_t kDecrementValue = 0xB2;
inline constexpr std::uint8_t kReadSector = 0xB3;
inline constexpr std::uint8_t kLoadKey = 0xB4;
inline constexpr std::uint8_t kRequest = 0xB5;
inline constexpr std::uint8_t kAntiCollision = 0xB6;
inline constexpr std::uint8_t kSelect = 0xB7;
inline constexpr std::uint8_t kAuthenticate = 0xB8;
inline constexpr std::uint8_t kRead = 0xB9;
inline constexpr std::uint8_t kWrite = 0xBA;
inline constexpr std::uint8_t kIncrement = 0xBB;
inline constexpr std::uint8_t kDecrement = 0xBC;
inline constexpr std::uint8_t kHalt = 0xBD;

}  // namespace kulve::mifare_code

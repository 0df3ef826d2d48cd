// SPDX-License-Identifier: MIT
// The attendance terminal's command codes.
#pragma once

#include <cstdint>

namespace kulve::attendance_code {

inline constexpr std::uint8_t kEndTransfer = 0x01;
inline constexpr std::uint8_t kGetTime = 0xC1;
inline constexpr std::uint8_t kSetTime = 0xC2;
inline constexpr std::uint8_t kCurrentPosition = 0xC3;
inline constexpr std::uint8_t kStartPosition = 0xC4;
inline constexpr std::uint8_t kEndPosition = 0xC5;
inline constexpr std::uint8_t kReadRecord = 0xC6;
inline constexpr std::uint8_t kSystemInit = 0xC7;
inline constexpr std::uint8_t kDisplay = 0xC8;
inline constexpr std::uint8_t kPassThrough = 0xC9;
inline constexpr std::uint8_t kDownloadPassword = 0xCA;

}  // namespace kulve::attendance_code

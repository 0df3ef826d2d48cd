// SPDX-License-Identifier: MIT
// The status words the driver's storage-card commands answer with, and the
// pieces of a command APDU they look at.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "pcsc/backend.h"

namespace kulve::pcsc {

namespace sw {
inline constexpr std::uint16_t kOk = 0x9000;
inline constexpr std::uint16_t kEndOfData = 0x6282;
inline constexpr std::uint16_t kFailed = 0x6300;
inline constexpr std::uint16_t kWrongLength = 0x6700;
inline constexpr std::uint16_t kSecurityNotSatisfied = 0x6982;
inline constexpr std::uint16_t kReaderKeyNotSupported = 0x6983;
inline constexpr std::uint16_t kSecuredNotSupported = 0x6985;
inline constexpr std::uint16_t kKeyNumberNotValid = 0x6988;
inline constexpr std::uint16_t kKeyLengthNotCorrect = 0x6989;
inline constexpr std::uint16_t kFunctionNotSupported = 0x6A81;
inline constexpr std::uint16_t kWrongP1P2 = 0x6A86;
inline constexpr std::uint16_t kWrongLe = 0x6C00;  // | the right length
inline constexpr std::uint16_t kInsNotSupported = 0x6D00;
inline constexpr std::uint16_t kClaNotSupported = 0x6E00;
}  // namespace sw

inline constexpr std::uint8_t kStorageClass = 0xFF;

// Appends the status word; the command was answered.
inline Outcome Status(Bytes& response, std::uint16_t word) {
  response.push_back(static_cast<std::uint8_t>(word >> 8));
  response.push_back(static_cast<std::uint8_t>(word & 0xFF));
  return Outcome::kOk;
}

// Lc and the bytes after the header; false when the length byte disagrees
// with what came.
inline bool CommandData(std::span<const std::uint8_t> apdu, std::span<const std::uint8_t>& data) {
  if (apdu.size() < 6 || apdu[4] != apdu.size() - 5) return false;
  data = apdu.subspan(5);
  return true;
}

// Le of a command without data: 0 when absent.
inline std::size_t LeOf(std::span<const std::uint8_t> apdu) { return apdu.size() == 5 ? apdu[4] : 0; }

}  // namespace kulve::pcsc

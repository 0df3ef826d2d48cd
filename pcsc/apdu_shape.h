// SPDX-License-Identifier: MIT
// A command APDU taken apart into the four ISO/IEC 7816-4 cases (short
// form only): header, command data and the expected length.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace kulve::pcsc {

struct ShortApdu {
  std::array<std::uint8_t, 4> header{};  // CLA INS P1 P2
  std::span<const std::uint8_t> data;    // Lc bytes (none for cases 1 and 2)
  bool hasLe = false;
  std::uint8_t le = 0;                   // 00 means 256
};

enum class ApduShapeError : std::uint8_t { kNone, kMalformed, kExtended };

// Cases 1, 2, 3 and 4 in the short form. An extended-length APDU (a zero
// byte where Lc or Le would start, followed by more) gives kExtended; a
// length that fits no case, kMalformed.
std::optional<ShortApdu> ParseShortApdu(std::span<const std::uint8_t> apdu, ApduShapeError& error);

// Le as a count of bytes: 256 for 00, 0 when absent.
constexpr std::size_t ExpectedLength(const ShortApdu& apdu) {
  return apdu.hasLe ? (apdu.le == 0 ? 256u : apdu.le) : 0u;
}

}  // namespace kulve::pcsc

// SPDX-License-Identifier: MIT
// Hex text to bytes and back, for the command line.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kulve::tool {

// Accepts "0A1B", "0a 1b", "0A:1B"; nullopt on a stray character or an odd digit count.
std::optional<std::vector<std::uint8_t>> ParseHex(std::string_view text);
// "0A 1B 2C"
std::string FormatHex(std::span<const std::uint8_t> bytes);
// A decimal or 0x-prefixed integer that fits in 32 bits.
std::optional<int> ParseInt(std::string_view text);

}  // namespace kulve::tool

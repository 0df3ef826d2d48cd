// SPDX-License-Identifier: MIT
// Hex bytes as text, for options, control commands and logs.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kulve::sim {

// "3B9A95", "3b 9a 95", "3B:9A:95"; nothing on a stray character or an odd
// number of digits.
std::optional<std::vector<std::uint8_t>> ParseHexText(std::string_view text);
// "3B 9A 95"
std::string HexText(std::span<const std::uint8_t> bytes);

}  // namespace kulve::sim

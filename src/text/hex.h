// SPDX-License-Identifier: MIT
// Hex text to bytes and back: the trace's frames and the command line's
// arguments and output share one reading and one spelling.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kulve {

// Accepts "0A1B", "0a 1b", "0A:1B", "0A-1B"; nullopt on a stray character or
// an odd digit count.
std::optional<std::vector<std::uint8_t>> ParseHex(std::string_view text);
// "0A 1B 2C"; empty for no bytes.
std::string FormatHex(std::span<const std::uint8_t> bytes);

}  // namespace kulve

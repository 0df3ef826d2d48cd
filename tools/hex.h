// SPDX-License-Identifier: MIT
// Hex text to bytes and back, and integers, for the command line.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "text/hex.h"

namespace kulve::tool {

// The library's own hex reading and spelling (text/hex.h).
using kulve::FormatHex;
using kulve::ParseHex;

// A decimal or 0x-prefixed integer that fits in 32 bits.
std::optional<int> ParseInt(std::string_view text);

}  // namespace kulve::tool

// SPDX-License-Identifier: MIT
// Hex text to bytes and back, and integers, for the command line.
#pragma once

#include <cstdint>
#include <cstddef>
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

// Hex of `bytes` with [from, from + count) written "**" unless `show`: the
// tool prints codes, PINs and keys only when asked to (--show-secrets).
std::string SecretHex(std::span<const std::uint8_t> bytes, bool show, std::size_t from = 0,
                      std::size_t count = SIZE_MAX);

// A decimal or 0x-prefixed integer that fits in 32 bits.
std::optional<int> ParseInt(std::string_view text);

}  // namespace kulve::tool

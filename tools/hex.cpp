// SPDX-License-Identifier: MIT
#include "tools/hex.h"

#include <charconv>
#include <cstdint>

namespace kulve::tool {

std::optional<int> ParseInt(std::string_view text) {
  int base = 10;
  bool negative = false;
  if (!text.empty() && text.front() == '-') {
    negative = true;
    text.remove_prefix(1);
  }
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  long long value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (error != std::errc{} || end != text.data() + text.size() || text.empty()) return std::nullopt;
  if (negative) value = -value;
  if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
  return static_cast<int>(value);
}

std::string SecretHex(std::span<const std::uint8_t> bytes, bool show, std::size_t from, std::size_t count) {
  std::string text = FormatHex(bytes);
  for (std::size_t i = from; !show && i < bytes.size() && i - from < count; ++i) text.replace(3 * i, 2, "**");
  return text;
}

}  // namespace kulve::tool

// SPDX-License-Identifier: MIT
#include "tools/apdu_script.h"

#include <cstdio>

#include "tools/hex.h"

namespace kulve::tool {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

std::optional<StatusPattern> ParsePattern(std::string_view text) {
  if (text.size() != 4) return std::nullopt;
  StatusPattern p{0, 0};
  for (char c : text) {
    p.value = static_cast<std::uint16_t>(p.value << 4);
    p.mask = static_cast<std::uint16_t>(p.mask << 4);
    if (c == 'x' || c == 'X') continue;
    const auto digit = ParseHex(std::string{'0', c});
    if (!digit) return std::nullopt;
    p.value = static_cast<std::uint16_t>(p.value | (*digit)[0]);
    p.mask = static_cast<std::uint16_t>(p.mask | 0xF);
  }
  return p;
}

}  // namespace

std::string StatusPattern::Text() const {
  std::string out;
  for (int shift = 12; shift >= 0; shift -= 4) {
    out += ((mask >> shift) & 0xF) == 0 ? 'X' : "0123456789ABCDEF"[(value >> shift) & 0xF];
  }
  return out;
}

std::optional<ApduText> ParseApdu(std::string_view text, std::string& error) {
  auto bytes = ParseHex(text);
  if (!bytes) {
    error = "the APDU must be hex bytes, not \"" + std::string(text) + "\"";
    return std::nullopt;
  }
  ApduText apdu{*bytes};
  const std::size_t n = bytes->size();
  if (n < 4) {
    error = "an APDU has at least CLA INS P1 P2";
    return std::nullopt;
  }
  if (n == 5) apdu.le = (*bytes)[4];
  if (n > 5) {
    const std::size_t lc = (*bytes)[4];
    if (lc == 0) {
      error = "Lc 00 before data: extended lengths are not supported";
      return std::nullopt;
    }
    if (lc > kMaxApduData) {
      error = "at most 128 command data bytes, not " + std::to_string(lc);
      return std::nullopt;
    }
    if (n != 5 + lc && n != 6 + lc) {
      error = "Lc says " + std::to_string(lc) + " data bytes but " + std::to_string(n - 5) + " bytes follow it";
      return std::nullopt;
    }
    apdu.lc = static_cast<std::uint8_t>(lc);
    if (n == 6 + lc) apdu.le = bytes->back();
  }
  return apdu;
}

std::optional<ApduText> ParseFullApdu(std::string_view text, std::string& error) {
  auto bytes = ParseHex(text);
  if (!bytes || bytes->size() < 4 || bytes->size() > 65544) {
    error = "the APDU is 4 to 65,544 hex bytes";
    return std::nullopt;
  }
  return ApduText{std::move(*bytes), 0, std::nullopt};
}

std::optional<std::vector<ScriptStep>> ParseScript(std::string_view text, int firstSlot, std::string& error,
                                                   bool full) {
  std::vector<ScriptStep> steps;
  int number = 0;
  int slot = firstSlot;
  while (!text.empty()) {
    const auto end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    ++number;
    line = Trim(line.substr(0, line.find('#')));
    if (line.empty()) continue;
    auto fail = [&](const std::string& why) {
      error = "line " + std::to_string(number) + ": " + why;
      return std::nullopt;
    };
    ScriptStep step{number, slot};
    if (line.starts_with("reset")) {
      const std::string_view arg = Trim(line.substr(5));
      if (!arg.empty()) {
        const auto value = ParseInt(arg);
        if (!value || *value < 0 || *value >= kChipSlotCount) return fail("reset takes a slot 0..4");
        slot = step.slot = *value;
      }
      step.reset = true;
      steps.push_back(std::move(step));
      continue;
    }
    const auto equals = line.find('=');
    if (equals != std::string_view::npos) {
      const auto pattern = ParsePattern(Trim(line.substr(equals + 1)));
      if (!pattern) return fail("the expected status word is four hex digits (X for any), e.g. 9000 or 61XX");
      step.expected = pattern;
    }
    std::string why;
    const std::string_view hex = Trim(line.substr(0, equals));
    auto apdu = full ? ParseFullApdu(hex, why) : ParseApdu(hex, why);
    if (!apdu) return fail(why);
    step.apdu = std::move(*apdu);
    steps.push_back(std::move(step));
  }
  return steps;
}

std::string ApduEcho(const std::vector<std::uint8_t>& apdu, bool showSecrets) {
  std::string text = FormatHex(apdu);
  const std::size_t n = apdu.size();
  const bool secret = n > 5 && (apdu[1] == 0x20 || apdu[1] == 0x24 || apdu[1] == 0x2C) && !showSecrets;
  if (!secret) return text;
  // Short Lc in byte 4; an extended one in bytes 5..6 after a zero.
  const std::size_t from = apdu[4] != 0 ? 5 : 7;
  const std::size_t lc = apdu[4] != 0 ? apdu[4] : n > 7 ? static_cast<std::size_t>(apdu[5]) << 8 | apdu[6] : 0;
  for (std::size_t i = from; i < n && i - from < lc; ++i) text.replace(3 * i, 2, "**");
  return text;
}

}  // namespace kulve::tool

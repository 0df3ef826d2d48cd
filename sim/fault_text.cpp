// SPDX-License-Identifier: MIT
#include "sim/fault_text.h"

#include <charconv>
#include <cstdint>
#include <utility>

namespace kulve::sim {

namespace {

bool Fail(std::string& error, std::string message) {
  error = std::move(message);
  return false;
}

bool ParseNumber(std::string_view text, std::uint32_t max, std::uint32_t& out) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    base = 16;
  }
  if (text.empty()) return false;
  std::uint32_t value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (ec != std::errc() || end != text.data() + text.size() || value > max) return false;
  out = value;
  return true;
}

// Splits "name=value"; value empty when there is no '='.
void SplitAssign(std::string_view text, std::string_view& name, std::string_view& value) {
  const auto eq = text.find('=');
  name = text.substr(0, eq);
  value = eq == std::string_view::npos ? std::string_view{} : text.substr(eq + 1);
}

bool ParseByte(std::string_view text, ReaderByte& out) {
  static constexpr std::pair<std::string_view, ReaderByte> kNames[] = {
      {"start", ReaderByte::kStart},   {"ack", ReaderByte::kAck},   {"status", ReaderByte::kStatus},
      {"length", ReaderByte::kLength}, {"data", ReaderByte::kData}, {"checksum", ReaderByte::kChecksum}};
  for (const auto& [name, value] : kNames)
    if (text == name) {
      out = value;
      return true;
    }
  return false;
}

bool ParseKind(std::string_view text, Fault& fault, std::string& error) {
  std::string_view name, value;
  SplitAssign(text, name, value);
  const bool hasValue = text.find('=') != std::string_view::npos;
  std::uint32_t n = 0;
  if (name == "silent" && !hasValue) {
    fault.kind = FaultKind::kSilent;
  } else if (name == "vanish" && !hasValue) {
    fault.kind = FaultKind::kVanish;
  } else if (name == "wrong") {
    fault.kind = FaultKind::kWrongByte;
    if (hasValue) {
      if (!ParseNumber(value, 255, n)) return Fail(error, "wrong=N takes a byte 0..255");
      fault.replacement = static_cast<std::uint8_t>(n);
    }
  } else if (name == "delay") {
    if (!ParseNumber(value, 60000, n)) return Fail(error, "delay=MS takes 0..60000 ms");
    fault.kind = FaultKind::kDelay;
    fault.delayMs = n;
  } else {
    return Fail(error, "unknown fault kind '" + std::string(text) + "'");
  }
  return true;
}

bool ParseTrigger(std::string_view text, FaultTrigger& trigger, std::string& error) {
  if (text == "every" || text == "next") {
    trigger = text == "next" ? FaultTrigger::Next() : FaultTrigger::EveryExchange();
    return true;
  }
  trigger = FaultTrigger::EveryExchange();
  for (bool more = true; more;) {
    const auto comma = text.find(',');
    const std::string_view item = text.substr(0, comma);
    more = comma != std::string_view::npos;
    if (more) text.remove_prefix(comma + 1);
    if (item.empty()) return Fail(error, "empty trigger");
    std::string_view name, value;
    SplitAssign(item, name, value);
    std::uint32_t n = 0;
    if (name == "nth") {
      if (!ParseNumber(value, UINT32_MAX, n) || n == 0) return Fail(error, "nth=N takes N >= 1");
      trigger = FaultTrigger::NthFromNow(n);
    } else if (name == "code") {
      if (!ParseNumber(value, 255, n)) return Fail(error, "code=C takes a byte 0..255");
      trigger.code = static_cast<std::uint8_t>(n);
    } else if (name == "skip") {
      if (!ParseNumber(value, UINT32_MAX, n)) return Fail(error, "skip=N takes a count");
      trigger.skip = n;
    } else if (name == "times") {
      if (!ParseNumber(value, UINT32_MAX, n)) return Fail(error, "times=N takes a count");
      trigger.times = n;
    } else {
      return Fail(error, "unknown trigger '" + std::string(item) + "'");
    }
  }
  return true;
}

}  // namespace

std::optional<ScheduledFault> ParseFault(std::string_view text, std::string& error) {
  ScheduledFault parsed;
  parsed.trigger = FaultTrigger::EveryExchange();
  const auto at = text.find('@');
  if (at != std::string_view::npos) {
    if (!ParseTrigger(text.substr(at + 1), parsed.trigger, error)) return std::nullopt;
    text = text.substr(0, at);
  }
  const auto colon = text.find(':');
  if (colon == std::string_view::npos) {
    error = "expected BYTE:KIND";
    return std::nullopt;
  }
  if (!ParseByte(text.substr(0, colon), parsed.fault.at)) {
    error = "unknown reader byte '" + std::string(text.substr(0, colon)) + "'";
    return std::nullopt;
  }
  if (!ParseKind(text.substr(colon + 1), parsed.fault, error)) return std::nullopt;
  if (parsed.trigger.code && parsed.fault.at == ReaderByte::kStart) {
    error = "a code cannot select a fault at 'start': the code arrives later";
    return std::nullopt;
  }
  return parsed;
}

}  // namespace kulve::sim

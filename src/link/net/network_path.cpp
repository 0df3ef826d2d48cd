// SPDX-License-Identifier: MIT
#include "link/net/network_path.h"

#include <cctype>
#include <cstring>
#include <string_view>

namespace kulve::net {
namespace {

struct Scheme {
  std::string_view prefix;
  Protocol protocol;
};

constexpr Scheme kSchemes[] = {
    {"tcp://", Protocol::kRawTcp},
    {"rfc2217://", Protocol::kRfc2217},
};

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  }
  return true;
}

const Scheme* SchemeOf(std::string_view path) {
  for (const Scheme& scheme : kSchemes) {
    if (StartsWithNoCase(path, scheme.prefix)) return &scheme;
  }
  return nullptr;
}

bool ValidPort(std::string_view port) {
  if (port.empty() || port.size() > 5) return false;
  unsigned value = 0;
  for (char c : port) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  return value >= 1 && value <= 65535;
}

bool ValidHost(std::string_view host, bool bracketed) {
  if (host.empty()) return false;
  for (char c : host) {
    const auto u = static_cast<unsigned char>(c);
    if (std::isspace(u) || std::iscntrl(u) || c == '/' || c == '[' || c == ']') return false;
    if (c == ':' && !bracketed) return false;
  }
  return true;
}

// "delay=MS" with MS in 0..kMaxDelayMs, as decimal digits.
bool ParseQuery(std::string_view query, std::uint32_t& delayMs) {
  constexpr std::string_view kDelay = "delay=";
  if (query.substr(0, kDelay.size()) != kDelay) return false;
  const std::string_view digits = query.substr(kDelay.size());
  if (digits.empty() || digits.size() > 5) return false;
  std::uint32_t value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<std::uint32_t>(c - '0');
  }
  if (value > kMaxDelayMs) return false;
  delayMs = value;
  return true;
}

}  // namespace

bool IsNetworkPath(const char* path) { return path != nullptr && SchemeOf(path) != nullptr; }

bool ParseNetworkPath(const char* path, NetworkPath& out) {
  if (path == nullptr) return false;
  const Scheme* scheme = SchemeOf(path);
  if (scheme == nullptr) return false;
  std::string_view rest(path + scheme->prefix.size());
  std::uint32_t delayMs = kDefaultDelayMs;
  if (const std::size_t mark = rest.find('?'); mark != std::string_view::npos) {
    if (!ParseQuery(rest.substr(mark + 1), delayMs)) return false;
    rest = rest.substr(0, mark);
  }
  std::string_view host;
  bool bracketed = false;
  if (!rest.empty() && rest.front() == '[') {  // [IPv6]:PORT
    const std::size_t close = rest.find(']');
    if (close == std::string_view::npos || close + 1 >= rest.size() || rest[close + 1] != ':') return false;
    host = rest.substr(1, close - 1);
    rest.remove_prefix(close + 2);
    bracketed = true;
  } else {
    const std::size_t colon = rest.rfind(':');
    if (colon == std::string_view::npos) return false;
    host = rest.substr(0, colon);
    rest.remove_prefix(colon + 1);
  }
  if (!ValidHost(host, bracketed) || !ValidPort(rest)) return false;
  out.protocol = scheme->protocol;
  out.host.assign(host);
  out.port.assign(rest);
  out.delayMs = delayMs;
  return true;
}

}  // namespace kulve::net

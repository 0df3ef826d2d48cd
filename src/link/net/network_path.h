// SPDX-License-Identifier: MIT
// Network port paths: tcp://HOST:PORT (a raw byte stream) and
// rfc2217://HOST:PORT (Telnet with the COM port control option), each with
// an optional ?delay=MS.
#pragma once

#include <cstdint>
#include <string>

namespace kulve::net {

enum class Protocol : std::uint8_t { kRawTcp, kRfc2217 };

// How much later than on a local line a reply may arrive, added once to each
// wait of an exchange: the default suits a LAN, ?delay=MS a slower path.
inline constexpr std::uint32_t kDefaultDelayMs = 100;
inline constexpr std::uint32_t kMaxDelayMs = 30000;

struct NetworkPath {
  Protocol protocol = Protocol::kRawTcp;
  std::string host;  // a name or an address; an IPv6 address without its brackets
  std::string port;  // decimal, 1..65535
  std::uint32_t delayMs = kDefaultDelayMs;
};

// True when the path starts with tcp:// or rfc2217:// (in any letter case),
// i.e. it is for the network backend even if the rest is malformed.
bool IsNetworkPath(const char* path);

// Splits SCHEME://HOST:PORT[?delay=MS]. False when the host is empty, holds
// a space, a slash or (outside [brackets]) a colon, the port is not
// 1..65535, or what follows '?' is not delay= with 0..kMaxDelayMs in digits.
bool ParseNetworkPath(const char* path, NetworkPath& out);

}  // namespace kulve::net

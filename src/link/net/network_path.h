// SPDX-License-Identifier: MIT
// Network port paths: tcp://HOST:PORT (a raw byte stream) and
// rfc2217://HOST:PORT (Telnet with the COM port control option).
#pragma once

#include <cstdint>
#include <string>

namespace kulve::net {

enum class Protocol : std::uint8_t { kRawTcp, kRfc2217 };

struct NetworkPath {
  Protocol protocol = Protocol::kRawTcp;
  std::string host;  // a name or an address; an IPv6 address without its brackets
  std::string port;  // decimal, 1..65535
};

// True when the path starts with tcp:// or rfc2217:// (in any letter case),
// i.e. it is for the network backend even if the rest is malformed.
bool IsNetworkPath(const char* path);

// Splits SCHEME://HOST:PORT. False when the host is empty, holds a space,
// a slash or (outside [brackets]) a colon, or the port is not 1..65535.
bool ParseNetworkPath(const char* path, NetworkPath& out);

}  // namespace kulve::net

// SPDX-License-Identifier: MIT
// The network backend: a reader (or terminal) behind a serial device server,
// reached as tcp://HOST:PORT (the raw byte stream of the serial line) or
// rfc2217://HOST:PORT (Telnet, with the line settings and purges passed to
// the server). Both keep the timeout rules of a local port; each wait of an
// exchange may take the path's delay allowance (?delay=MS) once more.
#pragma once

#include <memory>

#include "link/net/network_path.h"
#include "link/serial_port.h"

namespace kulve::net {

class StreamSocket;

// A wrong host fails within this, whatever its address count.
inline constexpr int kConnectTimeoutMs = 3000;
// How long an rfc2217:// open waits for the server to agree to the COM port
// option and to confirm the speed; a server that never answers gets this
// once per open, then the link probe decides.
inline constexpr int kNegotiationMs = 1000;

// Opens a path for which IsNetworkPath() holds, configured for one link
// speed. Null with `why` set when the path is malformed (NOT_FOUND), the
// name does not resolve, the connection is refused or times out, or the
// server hangs up during the negotiation.
std::unique_ptr<SerialPort> OpenNetworkPort(const char* path, const LineSettings& settings, OpenFailure& why);

// The same over a connection already made (tests hand in their own socket).
std::unique_ptr<SerialPort> OpenNetworkPortOn(std::unique_ptr<StreamSocket> socket, Protocol protocol,
                                              const LineSettings& settings, OpenFailure& why,
                                              std::uint32_t delayMs = kDefaultDelayMs);

}  // namespace kulve::net

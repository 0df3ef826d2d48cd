// SPDX-License-Identifier: MIT
// A connected TCP stream in non-blocking mode: the little the network port
// needs from the system's sockets (POSIX sockets, Winsock).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "link/serial_port.h"

namespace kulve::net {

enum class IoEnd : std::uint8_t {
  kMoved,       // bytes were sent or received (possibly fewer than asked)
  kWouldBlock,  // nothing could move right now
  kClosed,      // the server closed the connection (end of stream, reset)
  kFailed,      // another system error
};

struct IoResult {
  std::size_t bytes = 0;
  IoEnd end = IoEnd::kMoved;
  int osError = 0;
};

enum class Readiness : std::uint8_t { kReady, kTimeout, kFailed };

class StreamSocket {
 public:
  virtual ~StreamSocket() = default;
  // Move what the system takes or has right now; never wait.
  virtual IoResult Send(const std::uint8_t* data, std::size_t count) = 0;
  virtual IoResult Receive(std::uint8_t* buffer, std::size_t count) = 0;
  // Waits up to timeoutMs until a Receive (or, forSending, a Send) would not
  // block; an ended connection counts as ready, Receive then tells.
  virtual Readiness Wait(bool forSending, int timeoutMs, int& osError) = 0;
  // Closes the connection; false when the system refuses.
  virtual bool Close() = 0;
};

// Resolves host and connects to port, trying each address the name has,
// all within timeoutMs; with TCP_NODELAY. Null on failure, with `why` set:
// KULVE_LINK_ERROR_UNRESOLVED (step "resolve"), _REFUSED, _TIMEOUT, or
// _SYSTEM (step "connect"), and `detail` in words when the system's error
// number does not say it.
std::unique_ptr<StreamSocket> Connect(const std::string& host, const std::string& port, int timeoutMs,
                                      OpenFailure& why);

}  // namespace kulve::net

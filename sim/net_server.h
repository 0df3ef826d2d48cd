// SPDX-License-Identifier: MIT
// The reader served over the network, as a serial device server does it:
// a listening TCP socket whose one client is joined to the host side of the
// simulator's pseudo-terminal. Raw TCP passes the bytes as they are; RFC
// 2217 speaks Telnet and sets the pty's line speed as the client asks, so
// the reader's speed rules hold over the network as on the pty. A new
// connection replaces the old one.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace kulve::sim {

enum class NetProtocol : std::uint8_t { kNone, kTcp, kRfc2217 };

struct NetListen {
  NetProtocol protocol = NetProtocol::kNone;
  std::string host = "127.0.0.1";
  std::uint16_t port = 0;  // 0: a free port, chosen when it starts listening
};

// "HOST:PORT" or "[IPv6]:PORT", port 0..65535; false when malformed.
bool ParseListenAddress(const std::string& text, std::string& host, std::uint16_t& port);

// What the server needs from the simulator, called on the server's thread.
class NetLineAccess {
 public:
  virtual ~NetLineAccess() = default;
  // The pty slave a new client is joined to; empty while no line is served.
  virtual std::string LineForClient() = 0;
  // The line speed a new client starts at.
  virtual std::uint32_t ClientStartSpeed() = 0;
  virtual void NetTrace(const std::string& line) = 0;
};

class NetServer {
 public:
  // Binds and listens at once. Throws std::system_error.
  NetServer(const NetListen& listen, NetLineAccess& line);
  ~NetServer();  // stops
  NetServer(const NetServer&) = delete;
  NetServer& operator=(const NetServer&) = delete;

  // Serves on a thread of its own until the destructor; returns once that
  // thread runs. Idempotent.
  void Start();
  std::uint16_t Port() const { return port_; }
  // tcp://HOST:PORT or rfc2217://HOST:PORT.
  std::string Url() const;

 private:
  class Session;
  void Run();

  NetListen listen_;
  NetLineAccess& line_;
  std::uint16_t port_ = 0;
  int listenFd_ = -1;
  int wakeRead_ = -1;
  int wakeWrite_ = -1;
  std::mutex startMutex_;
  std::thread thread_;
};

}  // namespace kulve::sim

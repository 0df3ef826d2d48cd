// SPDX-License-Identifier: MIT
// TCP streams over Winsock for the network port. Waits use select(): one
// socket per wait, and unlike WSAPoll it reports a refused connect.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <winsock2.h>
#include <ws2tcpip.h>

#include <limits>
#include <string>

#include "kulve32.h"
#include "link/deadline.h"
#include "link/net/socket.h"

namespace kulve::net {
namespace {

// Started on the first connect and left running: like an open port, nothing
// is torn down when the library unloads.
int StartWinsock() {
  static const int started = [] {
    WSADATA data;
    return ::WSAStartup(MAKEWORD(2, 2), &data);
  }();
  return started;
}

int ClampCount(std::size_t count) {
  constexpr std::size_t kMax = static_cast<std::size_t>(std::numeric_limits<int>::max());
  return static_cast<int>(count < kMax ? count : kMax);
}

bool ConnectionLost(int error) {
  return error == WSAECONNRESET || error == WSAECONNABORTED || error == WSAENOTCONN || error == WSAESHUTDOWN ||
         error == WSAETIMEDOUT || error == WSAENETRESET || error == WSAEHOSTUNREACH || error == WSAENETUNREACH;
}

IoResult Outcome(int n) {
  if (n != SOCKET_ERROR) return {static_cast<std::size_t>(n), IoEnd::kMoved, 0};
  const int error = ::WSAGetLastError();
  if (error == WSAEWOULDBLOCK) return {0, IoEnd::kWouldBlock, 0};
  return {0, ConnectionLost(error) ? IoEnd::kClosed : IoEnd::kFailed, error};
}

// select() on one socket: > 0 ready, 0 timed out, SOCKET_ERROR failed.
// `failed` tells whether the socket landed in the exception set.
int SelectOne(SOCKET s, bool forSending, int timeoutMs, bool& failed) {
  fd_set ready;
  fd_set exceptions;
  FD_ZERO(&ready);
  FD_ZERO(&exceptions);
  FD_SET(s, &ready);
  FD_SET(s, &exceptions);
  timeval wait{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
  const int n = ::select(0, forSending ? nullptr : &ready, forSending ? &ready : nullptr, &exceptions, &wait);
  failed = n > 0 && FD_ISSET(s, &exceptions);
  return n;
}

class WinSocket final : public StreamSocket {
 public:
  explicit WinSocket(SOCKET s) : socket_(s) {}
  ~WinSocket() override { Close(); }
  WinSocket(const WinSocket&) = delete;
  WinSocket& operator=(const WinSocket&) = delete;

  IoResult Send(const std::uint8_t* data, std::size_t count) override {
    return Outcome(::send(socket_, reinterpret_cast<const char*>(data), ClampCount(count), 0));
  }

  IoResult Receive(std::uint8_t* buffer, std::size_t count) override {
    const int n = ::recv(socket_, reinterpret_cast<char*>(buffer), ClampCount(count), 0);
    if (n == 0 && count > 0) return {0, IoEnd::kClosed, 0};
    return Outcome(n);
  }

  Readiness Wait(bool forSending, int timeoutMs, int& osError) override {
    bool failed = false;
    const int n = SelectOne(socket_, forSending, timeoutMs, failed);
    if (n > 0) return Readiness::kReady;
    if (n == 0) return Readiness::kTimeout;
    osError = ::WSAGetLastError();
    return Readiness::kFailed;
  }

  bool Close() override {
    if (socket_ == INVALID_SOCKET) return false;
    const int result = ::closesocket(socket_);
    socket_ = INVALID_SOCKET;
    return result == 0;
  }

 private:
  SOCKET socket_;
};

// Connects s to one address within the deadline: 0, or the Winsock error.
int ConnectOne(SOCKET s, const addrinfo& address, const Deadline& deadline) {
  u_long nonBlocking = 1;
  if (::ioctlsocket(s, FIONBIO, &nonBlocking) != 0) return ::WSAGetLastError();
  if (::connect(s, address.ai_addr, static_cast<int>(address.ai_addrlen)) == 0) return 0;
  const int started = ::WSAGetLastError();
  if (started != WSAEWOULDBLOCK && started != WSAEINPROGRESS) return started;
  bool failed = false;
  const int n = SelectOne(s, true, deadline.RemainingMs(), failed);
  if (n == 0) return WSAETIMEDOUT;
  if (n == SOCKET_ERROR) return ::WSAGetLastError();
  int error = 0;
  int size = sizeof error;
  if (::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) != 0) return ::WSAGetLastError();
  if (error == 0 && failed) error = WSAECONNREFUSED;
  return error;
}

int ConnectErrorCode(int error) {
  switch (error) {
    case WSAECONNREFUSED: return KULVE_LINK_ERROR_REFUSED;
    case WSAETIMEDOUT: return KULVE_LINK_ERROR_TIMEOUT;
    case WSAEACCES: return KULVE_LINK_ERROR_PERMISSION;
    default: return KULVE_LINK_ERROR_SYSTEM;
  }
}

}  // namespace

std::unique_ptr<StreamSocket> Connect(const std::string& host, const std::string& port, int timeoutMs,
                                      OpenFailure& why) {
  if (const int error = StartWinsock(); error != 0) {
    why.code = KULVE_LINK_ERROR_SYSTEM;
    why.step = "start Winsock";
    why.osError = error;
    return nullptr;
  }
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* addresses = nullptr;
  if (const int error = ::getaddrinfo(host.c_str(), port.c_str(), &hints, &addresses); error != 0) {
    why.code = KULVE_LINK_ERROR_UNRESOLVED;
    why.step = "resolve";
    why.osError = error;  // a Winsock error number, which the system can put in words
    return nullptr;
  }

  const Deadline deadline(std::chrono::milliseconds{timeoutMs});
  int lastError = WSAETIMEDOUT;
  for (const addrinfo* a = addresses; a != nullptr && !deadline.Expired(); a = a->ai_next) {
    const SOCKET s = ::socket(a->ai_family, a->ai_socktype, a->ai_protocol);
    if (s == INVALID_SOCKET) {
      lastError = ::WSAGetLastError();
      continue;
    }
    auto socket = std::make_unique<WinSocket>(s);
    lastError = ConnectOne(s, *a, deadline);
    if (lastError == 0) {
      ::freeaddrinfo(addresses);
      // Every request byte goes out on its own; Nagle's algorithm would hold
      // each one back for the acknowledgement of the last.
      const BOOL on = TRUE;
      ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
      return socket;
    }
  }
  ::freeaddrinfo(addresses);
  why.code = ConnectErrorCode(lastError);
  why.step = "connect";
  why.osError = lastError;
  if (lastError == WSAETIMEDOUT) why.detail = "no connection within " + std::to_string(timeoutMs / 1000) + " s";
  return nullptr;
}

}  // namespace kulve::net

// SPDX-License-Identifier: MIT
// TCP streams over POSIX sockets for the network port.
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "kulve32.h"
#include "link/deadline.h"
#include "link/net/socket.h"

namespace kulve::net {
namespace {

// Errors that mean the connection is gone rather than the system failing.
bool ConnectionLost(int error) {
  return error == EPIPE || error == ECONNRESET || error == ECONNABORTED || error == ENOTCONN ||
         error == ESHUTDOWN || error == ETIMEDOUT || error == EHOSTUNREACH || error == ENETUNREACH;
}

IoResult Outcome(ssize_t n, int error) {
  if (n >= 0) return {static_cast<std::size_t>(n), IoEnd::kMoved, 0};
  if (error == EAGAIN || error == EWOULDBLOCK) return {0, IoEnd::kWouldBlock, 0};
  return {0, ConnectionLost(error) ? IoEnd::kClosed : IoEnd::kFailed, error};
}

class PosixSocket final : public StreamSocket {
 public:
  explicit PosixSocket(int fd) : fd_(fd) {}
  ~PosixSocket() override { Close(); }
  PosixSocket(const PosixSocket&) = delete;
  PosixSocket& operator=(const PosixSocket&) = delete;

  IoResult Send(const std::uint8_t* data, std::size_t count) override {
    for (;;) {
      // MSG_NOSIGNAL: a closed connection is an error to report, not a
      // SIGPIPE that ends the application.
      const ssize_t n = ::send(fd_, data, count, MSG_NOSIGNAL);
      if (n < 0 && errno == EINTR) continue;
      return Outcome(n, errno);
    }
  }

  IoResult Receive(std::uint8_t* buffer, std::size_t count) override {
    for (;;) {
      const ssize_t n = ::recv(fd_, buffer, count, 0);
      if (n < 0 && errno == EINTR) continue;
      if (n == 0 && count > 0) return {0, IoEnd::kClosed, 0};
      return Outcome(n, errno);
    }
  }

  Readiness Wait(bool forSending, int timeoutMs, int& osError) override {
    const Deadline deadline(std::chrono::milliseconds{timeoutMs});
    for (;;) {
      pollfd entry{fd_, static_cast<short>(forSending ? POLLOUT : POLLIN), 0};
      const int ready = ::poll(&entry, 1, deadline.RemainingMs());
      if (ready > 0) return Readiness::kReady;
      if (ready == 0) return Readiness::kTimeout;
      if (errno != EINTR) {
        osError = errno;
        return Readiness::kFailed;
      }
    }
  }

  bool Close() override {
    if (fd_ < 0) return false;
    const int result = ::close(fd_);
    fd_ = -1;
    return result == 0 || errno == EINTR;
  }

 private:
  int fd_;
};

// Connects fd to one address within the deadline: 0, or the error number.
int ConnectOne(int fd, const addrinfo& address, const Deadline& deadline) {
  if (::connect(fd, address.ai_addr, address.ai_addrlen) == 0) return 0;
  if (errno != EINPROGRESS && errno != EINTR) return errno;
  for (;;) {
    pollfd entry{fd, POLLOUT, 0};
    const int ready = ::poll(&entry, 1, deadline.RemainingMs());
    if (ready == 0) return ETIMEDOUT;
    if (ready < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) return errno;
    return error;
  }
}

int ConnectErrorCode(int error) {
  switch (error) {
    case ECONNREFUSED: return KULVE_LINK_ERROR_REFUSED;
    case ETIMEDOUT: return KULVE_LINK_ERROR_TIMEOUT;
    case EACCES:
    case EPERM: return KULVE_LINK_ERROR_PERMISSION;
    default: return KULVE_LINK_ERROR_SYSTEM;
  }
}

}  // namespace

std::unique_ptr<StreamSocket> Connect(const std::string& host, const std::string& port, int timeoutMs,
                                      OpenFailure& why) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* addresses = nullptr;
  const int resolved = ::getaddrinfo(host.c_str(), port.c_str(), &hints, &addresses);
  if (resolved != 0) {
    why.code = KULVE_LINK_ERROR_UNRESOLVED;
    why.step = "resolve";
    why.osError = resolved == EAI_SYSTEM ? errno : 0;
    why.detail = resolved == EAI_SYSTEM ? OsErrorText(errno) : ::gai_strerror(resolved);
    return nullptr;
  }

  const Deadline deadline(std::chrono::milliseconds{timeoutMs});
  int lastError = ETIMEDOUT;
  for (const addrinfo* a = addresses; a != nullptr && !deadline.Expired(); a = a->ai_next) {
    const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) {
      lastError = errno;
      continue;
    }
    auto socket = std::make_unique<PosixSocket>(fd);
    lastError = ConnectOne(fd, *a, deadline);
    if (lastError == 0) {
      ::freeaddrinfo(addresses);
      // Every request byte goes out on its own; Nagle's algorithm would hold
      // each one back for the acknowledgement of the last.
      const int on = 1;
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
      return socket;
    }
  }
  ::freeaddrinfo(addresses);
  why.code = ConnectErrorCode(lastError);
  why.step = "connect";
  why.osError = lastError;
  if (lastError == ETIMEDOUT) why.detail = "no connection within " + std::to_string(timeoutMs / 1000) + " s";
  return nullptr;
}

}  // namespace kulve::net

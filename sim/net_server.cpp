// SPDX-License-Identifier: MIT
#include "sim/net_server.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#include "sim/hardware_priority.h"
#include "sim/telnet_server.h"

namespace kulve::sim {
namespace {

// A client that does not read its replies is dropped once this much waits.
constexpr std::size_t kMaxPendingToClient = 1 << 20;

struct SpeedCode {
  std::uint32_t bps;
  speed_t code;
};
constexpr SpeedCode kSpeeds[] = {{1200, B1200},   {2400, B2400},   {4800, B4800},   {9600, B9600},
                                 {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200}};

speed_t CodeFor(std::uint32_t bps) {
  for (const SpeedCode& s : kSpeeds) {
    if (s.bps == bps) return s.code;
  }
  return B0;
}

std::uint32_t BpsFor(speed_t code) {
  for (const SpeedCode& s : kSpeeds) {
    if (s.code == code) return s.bps;
  }
  return 0;
}

[[noreturn]] void Fail(int error, const std::string& what) {
  throw std::system_error(error, std::generic_category(), what);
}

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// The host's side of the line in raw mode, 8N1, at `bps`; as a host opens it.
bool MakeRaw(int fd, std::uint32_t bps) {
  termios t{};
  if (::tcgetattr(fd, &t) != 0) return false;
  ::cfmakeraw(&t);
  t.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CRTSCTS);
  t.c_cflag |= CLOCAL | CREAD | CS8;
  const speed_t code = CodeFor(bps) != B0 ? CodeFor(bps) : B57600;
  ::cfsetispeed(&t, code);
  ::cfsetospeed(&t, code);
  if (::tcsetattr(fd, TCSANOW, &t) != 0) return false;
  ::tcflush(fd, TCIOFLUSH);
  return true;
}

}  // namespace

bool ParseListenAddress(const std::string& text, std::string& host, std::uint16_t& port) {
  std::string name;
  std::string number;
  if (!text.empty() && text.front() == '[') {
    const std::size_t close = text.find(']');
    if (close == std::string::npos || close + 1 >= text.size() || text[close + 1] != ':') return false;
    name = text.substr(1, close - 1);
    number = text.substr(close + 2);
  } else {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos) return false;
    name = text.substr(0, colon);
    number = text.substr(colon + 1);
    if (name.find(':') != std::string::npos) return false;
  }
  if (name.empty() || number.empty() || number.size() > 5) return false;
  unsigned value = 0;
  for (char c : number) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value > 65535) return false;
  host = name;
  port = static_cast<std::uint16_t>(value);
  return true;
}

// One connected client joined to the pty's host side.
class NetServer::Session final : public ComPortLine {
 public:
  Session(int client, int slave, bool telnet, NetLineAccess& line)
      : client_(client), slave_(slave), telnet_(telnet), line_(line) {
    if (telnet_) protocol_.Greet(toClient_);
  }
  ~Session() override {
    CloseFd(client_);
    CloseFd(slave_);
  }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  int ClientFd() const { return client_; }
  int SlaveFd() const { return slave_; }
  short ClientEvents() const { return static_cast<short>(POLLIN | (toClient_.empty() ? 0 : POLLOUT)); }
  short SlaveEvents() const { return static_cast<short>(POLLIN | (toSlave_.empty() ? 0 : POLLOUT)); }
  const std::string& Why() const { return why_; }

  // Moves what is ready each way; false when the session is over (Why()).
  bool Serve(short clientEvents, short slaveEvents) {
    if ((clientEvents & (POLLIN | POLLHUP | POLLERR)) != 0 && !FromClient()) return false;
    if ((slaveEvents & POLLIN) != 0) {
      if (!FromSlave()) return false;
    } else if ((slaveEvents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
      return End("the line is gone");
    }
    if (!Flush(slave_, toSlave_, "the line") || !Flush(client_, toClient_, "the client")) return false;
    if (toClient_.size() > kMaxPendingToClient) return End("the client takes no data");
    return true;
  }

  std::uint32_t SetSpeed(std::uint32_t bps) override {
    termios t{};
    if (::tcgetattr(slave_, &t) != 0) return 0;
    const speed_t code = CodeFor(bps);
    if (bps != 0 && code != B0 && (::cfsetispeed(&t, code) != 0 || ::cfsetospeed(&t, code) != 0 ||
                                   ::tcsetattr(slave_, TCSANOW, &t) != 0)) {
      ::tcgetattr(slave_, &t);
    }
    const std::uint32_t now = BpsFor(::cfgetospeed(&t));
    line_.NetTrace("rfc2217: the client asks for " + std::to_string(bps) + " bit/s; the line runs at " +
                   std::to_string(now));
    return now;
  }

  void Purge(std::uint8_t which) override {
    if ((which & 1) != 0) ::tcflush(slave_, TCIFLUSH);  // from the reader, not yet sent on
    if ((which & 2) != 0) {                              // for the reader, not yet on the line
      ::tcflush(slave_, TCOFLUSH);
      toSlave_.clear();
    }
  }

 private:
  bool FromClient() {
    std::uint8_t buffer[4096];
    const ssize_t n = ::read(client_, buffer, sizeof buffer);
    if (n == 0) return End("the client closed the connection");
    if (n < 0) return errno == EAGAIN || errno == EINTR ? true : End(std::strerror(errno));
    const std::span<const std::uint8_t> in(buffer, static_cast<std::size_t>(n));
    if (telnet_) {
      protocol_.Receive(in, toSlave_, toClient_, *this);
    } else {
      toSlave_.insert(toSlave_.end(), in.begin(), in.end());
    }
    return true;
  }

  bool FromSlave() {
    std::uint8_t buffer[4096];
    const ssize_t n = ::read(slave_, buffer, sizeof buffer);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return true;
    if (n <= 0) return End("the line is gone");
    const std::span<const std::uint8_t> out(buffer, static_cast<std::size_t>(n));
    if (telnet_) {
      TelnetServer::Escape(out, toClient_);
    } else {
      toClient_.insert(toClient_.end(), out.begin(), out.end());
    }
    return true;
  }

  bool Flush(int fd, Bytes& pending, const char* who) {
    std::size_t done = 0;
    while (done < pending.size()) {
      const ssize_t n = fd == client_ ? ::send(fd, pending.data() + done, pending.size() - done, MSG_NOSIGNAL)
                                      : ::write(fd, pending.data() + done, pending.size() - done);
      if (n > 0) {
        done += static_cast<std::size_t>(n);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno != EAGAIN) return End(std::string(who) + ": " + std::strerror(errno));
      break;
    }
    pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(done));
    return true;
  }

  bool End(const std::string& why) {
    why_ = why;
    return false;
  }

  int client_;
  int slave_;
  bool telnet_;
  NetLineAccess& line_;
  TelnetServer protocol_;
  Bytes toClient_;
  Bytes toSlave_;
  std::string why_;
};

NetServer::NetServer(const NetListen& listen, NetLineAccess& line) : listen_(listen), line_(line) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const std::string where = listen_.host + ":" + std::to_string(listen_.port);
  const int resolved = ::getaddrinfo(listen_.host.c_str(), std::to_string(listen_.port).c_str(), &hints, &found);
  if (resolved != 0) Fail(EINVAL, "listen " + where + ": " + ::gai_strerror(resolved));
  listenFd_ = ::socket(found->ai_family, found->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, found->ai_protocol);
  const int on = 1;
  if (listenFd_ < 0 || ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
      ::bind(listenFd_, found->ai_addr, found->ai_addrlen) != 0 || ::listen(listenFd_, 4) != 0) {
    const int error = errno;
    ::freeaddrinfo(found);
    CloseFd(listenFd_);
    Fail(error, "listen " + where);
  }
  ::freeaddrinfo(found);
  sockaddr_storage bound{};
  socklen_t size = sizeof bound;
  ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&bound), &size);
  port_ = ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port
                                            : reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
    const int error = errno;
    CloseFd(listenFd_);
    Fail(error, "pipe2");
  }
  wakeRead_ = pipeFds[0];
  wakeWrite_ = pipeFds[1];
}

NetServer::~NetServer() {
  {
    std::lock_guard lock(startMutex_);
    if (thread_.joinable()) {
      if (::write(wakeWrite_, "w", 1) < 0) {
        // A wake-up is already pending.
      }
      thread_.join();
    }
  }
  CloseFd(listenFd_);
  CloseFd(wakeRead_);
  CloseFd(wakeWrite_);
}

void NetServer::Start() {
  std::lock_guard lock(startMutex_);
  if (!thread_.joinable()) thread_ = StartServingThread([this] { Run(); });
}

std::string NetServer::Url() const {
  const char* scheme = listen_.protocol == NetProtocol::kRfc2217 ? "rfc2217://" : "tcp://";
  const bool v6 = listen_.host.find(':') != std::string::npos;
  return scheme + (v6 ? "[" + listen_.host + "]" : listen_.host) + ":" + std::to_string(port_);
}

void NetServer::Run() {
  std::unique_ptr<Session> session;
  for (;;) {
    pollfd fds[4] = {{wakeRead_, POLLIN, 0}, {listenFd_, POLLIN, 0}, {-1, 0, 0}, {-1, 0, 0}};
    if (session) {
      fds[2] = {session->ClientFd(), session->ClientEvents(), 0};
      fds[3] = {session->SlaveFd(), session->SlaveEvents(), 0};
    }
    if (::poll(fds, 4, -1) < 0) {
      if (errno == EINTR) continue;
      line_.NetTrace(std::string("network: poll: ") + std::strerror(errno));
      return;
    }
    if (fds[0].revents != 0) return;
    if (session && !session->Serve(fds[2].revents, fds[3].revents)) {
      line_.NetTrace("network: client dropped: " + session->Why());
      session.reset();
    }
    if ((fds[1].revents & POLLIN) == 0) continue;
    const int client = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (client < 0) continue;
    if (session) line_.NetTrace("network: a new connection replaces the client");
    session.reset();
    const std::string path = line_.LineForClient();
    const int slave = path.empty() ? -1 : ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave < 0 || !MakeRaw(slave, line_.ClientStartSpeed())) {
      line_.NetTrace("network: no line to serve; connection closed");
      if (slave >= 0) ::close(slave);
      ::close(client);
      continue;
    }
    const int on = 1;
    ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    session = std::make_unique<Session>(client, slave, listen_.protocol == NetProtocol::kRfc2217, line_);
    line_.NetTrace(std::string("network: client connected (") +
                   (listen_.protocol == NetProtocol::kRfc2217 ? "rfc2217" : "raw tcp") + ")");
  }
}

}  // namespace kulve::sim

// SPDX-License-Identifier: MIT
// The exported functions with tcp:// and rfc2217:// port paths, on loopback
// addresses only: what each way of not reaching a reader reports, a
// connection the server drops, the wire trace, and the Telnet side of an
// rfc2217:// link against a device server scripted here.
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "support/sim_fixture.h"

namespace kulve::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A TCP socket listening on a free loopback port; connections complete in
// the kernel and are never accepted, so a client finds a server that stays
// silent. With kRefuses it is bound without listening: every connection is
// refused, and no other test can take the port while it is held (it is bound
// without SO_REUSEADDR), as it could take a port closed just before.
class Listener {
 public:
  static constexpr int kRefuses = -1;
  explicit Listener(int backlog = 8) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
        (backlog == kRefuses || ::listen(fd_, backlog) == 0) &&
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
      port_ = ntohs(address.sin_port);
    }
  }
  ~Listener() { Close(); }
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;

  int Fd() const { return fd_; }
  int Port() const { return port_; }
  std::string Url(const char* scheme) const { return std::string(scheme) + "://127.0.0.1:" + std::to_string(port_); }
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
  int port_ = 0;
};

// Connects without waiting longer than ms; true when the connection completed.
bool ConnectsWithin(int port, int ms, std::vector<int>& keep) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  keep.push_back(fd);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return true;
  pollfd entry{fd, POLLOUT, 0};
  return ::poll(&entry, 1, ms) == 1;
}

struct LinkFailure {
  int result;
  int code;
  std::string text;
  long ms;
};

LinkFailure LinkTo(const std::string& path) {
  PointAllPortsNowhere();
  EXPECT_EQ(SetComPortPath(0, path.c_str()), 0);
  LinkFailure f{};
  f.ms = TimedMs([&] { f.result = LinkCom(0); });
  char text[256];
  f.code = GetLinkError(text, sizeof text);
  f.text = text;
  UnLinkCom();
  return f;
}

TEST(NetworkLinkErrors, EachWayOfNotReachingAReaderHasItsCodeAndWordsInBoundedTime) {
  Listener silent;
  ASSERT_NE(silent.Port(), 0);
  const Listener closed(Listener::kRefuses);
  ASSERT_NE(closed.Port(), 0);
  const std::string refused = closed.Url("tcp");
  struct Case {
    std::string path;
    int code;
    std::string text;  // the start of it
  };
  const Case cases[] = {
      {refused, KULVE_LINK_ERROR_REFUSED, "connect " + refused + ": Connection refused"},
      {"tcp://kulve-no-such-host.invalid:7000", KULVE_LINK_ERROR_UNRESOLVED,
       "resolve tcp://kulve-no-such-host.invalid:7000: "},
      {"rfc2217://127.0.0.1", KULVE_LINK_ERROR_NOT_FOUND, "open rfc2217://127.0.0.1: not a network port"},
      // Accepted, then nothing: the probe goes unanswered at both speeds.
      {silent.Url("tcp"), KULVE_LINK_ERROR_NO_ANSWER,
       "no answer at 57600 or 9600 on " + silent.Url("tcp") + " (link failure 'f'"},
      // The same behind Telnet: each open also waits out the negotiation.
      {silent.Url("rfc2217"), KULVE_LINK_ERROR_NO_ANSWER,
       "no answer at 57600 or 9600 on " + silent.Url("rfc2217") + " (link failure 'f'"},
  };
  for (const Case& c : cases) {
    const LinkFailure f = LinkTo(c.path);
    EXPECT_EQ(f.result, 1) << c.path;
    EXPECT_EQ(f.code, c.code) << c.path;
    EXPECT_EQ(f.text.rfind(c.text, 0), 0u) << f.text;
    EXPECT_LT(f.ms, kHangMs) << c.path;
    EXPECT_EQ(ComBaudRate(), 0) << c.path;
  }
}

TEST(NetworkLinkErrors, HostThatTakesNoConnectionTimesOutOnce) {
  // A full accept queue makes the kernel drop further connection requests,
  // as a host that never answers does.
  Listener full(0);
  std::vector<int> pending;
  bool filled = false;
  for (int i = 0; i < 8 && !filled; ++i) filled = !ConnectsWithin(full.Port(), 500, pending);
  if (!filled) GTEST_SKIP() << "this system completes every loopback connection";
  // One connect timeout, not one per speed: the opens are counted in the
  // frames trace rather than timed, as a loaded machine stretches wall time.
  std::vector<std::string> opens;
  const auto keepOpens = [](int, const char* line, void* context) {
    if (std::strncmp(line, "open ", 5) == 0) static_cast<std::vector<std::string>*>(context)->push_back(line);
  };
  ASSERT_EQ(SetTrace(2, keepOpens, &opens), 0);
  const LinkFailure f = LinkTo(full.Url("tcp"));
  SetTrace(0, nullptr, nullptr);
  for (int fd : pending) ::close(fd);
  EXPECT_EQ(f.code, KULVE_LINK_ERROR_TIMEOUT);
  EXPECT_EQ(f.text, "connect " + full.Url("tcp") + ": no connection within 3 s");
  EXPECT_GE(f.ms, 2900);
  ASSERT_EQ(opens.size(), 1u);
  EXPECT_NE(opens[0].find(" at 57600: "), std::string::npos) << opens[0];
}

sim::SimulatorOptions Served(sim::NetProtocol protocol) {
  sim::SimulatorOptions options;
  options.network.protocol = protocol;
  return options;
}

// A connection the server drops behaves as an unplugged adapter: the
// exchange fails with its letter, and the next LinkCom connects again.
TEST(NetworkLink, DroppedConnectionFailsTheExchangeAndLinkComReconnects) {
  for (sim::NetProtocol protocol : {sim::NetProtocol::kTcp, sim::NetProtocol::kRfc2217}) {
    sim::Simulator reader(Served(protocol));
    reader.Start();
    PointAllPortsNowhere();
    ASSERT_EQ(SetComPortPath(0, LinkPath(reader).c_str()), 0);
    ASSERT_EQ(LinkCom(0), 0);
    reader.Vanish();  // the server closes its end with the line
    int result = 0;
    const long ms = TimedMs([&] { result = PowerOn(); });
    EXPECT_TRUE(result >= 'e' && result <= 's') << result;
    EXPECT_LT(ms, kHangMs);
    char text[256];
    EXPECT_EQ(GetLinkError(text, sizeof text), KULVE_LINK_ERROR_HANGUP);
    EXPECT_NE(std::string(text).find("the server closed the connection"), std::string::npos) << text;
    EXPECT_EQ(PowerOn(), KULVE_LINK_HASH_NOT_WRITTEN);  // nothing goes out on a closed connection

    reader.Start();
    EXPECT_EQ(LinkCom(0), 0);
    EXPECT_EQ(PowerOn(), 0);
    UnLinkCom();
  }
}

// The frame lines of the trace read the same whatever carries the frames.
std::vector<std::string> FrameTrace(sim::NetProtocol protocol) {
  sim::Simulator reader(Served(protocol));
  reader.Start();
  PointAllPortsNowhere();
  SetComPortPath(0, LinkPath(reader).c_str());
  std::vector<std::string> lines;
  SetTrace(
      2, [](int, const char* line, void* context) { static_cast<std::vector<std::string>*>(context)->push_back(line); },
      &lines);
  EXPECT_EQ(LinkCom(0), 0);
  unsigned char number[8];
  EXPECT_EQ(GetDeviceNumber(number), 0);
  reader.InjectFault({sim::FaultKind::kSilent, sim::ReaderByte::kAck});
  EXPECT_EQ(PowerOn(), KULVE_LINK_NO_ACK);
  SetTrace(0, nullptr, nullptr);
  UnLinkCom();
  // Frames only, without their durations: what else the trace says (a hint
  // about late answers, say) may depend on how busy the machine is.
  const std::regex frame(R"(^(request code|reply status|failed:|open |closed the port))");
  const std::regex timing(R"( \(\d+\.\d ms\)$)");
  std::vector<std::string> frames;
  for (const std::string& line : lines) {
    if (!std::regex_search(line, frame)) continue;
    std::string kept = std::regex_replace(line, timing, "");
    if (kept.rfind("open ", 0) == 0) kept = "open PORT" + kept.substr(kept.find(" at "));
    frames.push_back(kept);
  }
  return frames;
}

TEST(NetworkLink, TraceShowsTheSameFramesAsOnAPty) {
  const std::vector<std::string> pty = FrameTrace(sim::NetProtocol::kNone);
  ASSERT_GE(pty.size(), 6u);
  EXPECT_EQ(FrameTrace(sim::NetProtocol::kTcp), pty);
  EXPECT_EQ(FrameTrace(sim::NetProtocol::kRfc2217), pty);
}

// A device server written here from the protocol's side, with a reader
// behind it that answers every request with status 0 and eight bytes
// holding 0xFF. It pads everything it sends with Telnet commands and
// notifications, and records the COM port commands, the option answers
// and the request data it receives.
class ScriptedDeviceServer {
 public:
  static constexpr std::uint8_t kIac = 255;
  static constexpr std::uint8_t kNop = 241;
  static constexpr std::uint8_t kSb = 250;
  static constexpr std::uint8_t kSe = 240;
  static constexpr std::uint8_t kReply[8] = {0xFF, 0x01, 0xFF, 0xFF, 0x02, 0x03, 0x04, 0xFF};

  struct Seen {
    std::vector<Bytes> comPort;   // command and value of each COM port command
    std::vector<Bytes> options;   // each WILL/WONT/DO/DONT with its option
    std::vector<Bytes> requests;  // command code and data of each request
  };

  ScriptedDeviceServer() : listener_() {
    if (::pipe2(wake_, O_CLOEXEC) != 0) wake_[0] = wake_[1] = -1;
    thread_ = std::thread([this] { Run(); });
  }
  ~ScriptedDeviceServer() {
    (void)!::write(wake_[1], "x", 1);
    thread_.join();
    ::close(wake_[0]);
    ::close(wake_[1]);
  }

  std::string Url() const { return listener_.Url("rfc2217"); }
  Seen Take() {
    std::lock_guard lock(mutex_);
    return std::exchange(seen_, {});
  }

 private:
  enum class State { kData, kIac, kOption, kSub, kSubIac };
  enum class Frame { kIdle, kCode, kLength, kData, kCheck, kGo };

  void Run() {
    for (;;) {
      pollfd fds[2] = {{wake_[0], POLLIN, 0}, {listener_.Fd(), POLLIN, 0}};
      if (::poll(fds, 2, -1) < 0 || fds[0].revents != 0) return;
      const int client = ::accept4(listener_.Fd(), nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0) continue;
      const bool woken = Serve(client);
      ::close(client);
      if (woken) return;
    }
  }

  // True when woken to stop.
  bool Serve(int client) {
    state_ = State::kData;
    frame_ = Frame::kIdle;
    // DO COM-PORT-OPTION, WILL ECHO, DO TERMINAL-TYPE, NOP.
    Send(client, {kIac, 253, 44, kIac, 251, 1, kIac, 253, 24, kIac, kNop});
    for (;;) {
      pollfd fds[2] = {{wake_[0], POLLIN, 0}, {client, POLLIN, 0}};
      if (::poll(fds, 2, -1) < 0) return false;
      if (fds[0].revents != 0) return true;
      std::uint8_t buffer[512];
      const ssize_t n = ::read(client, buffer, sizeof buffer);
      if (n <= 0) return false;
      for (ssize_t i = 0; i < n; ++i) Take(client, buffer[i]);
    }
  }

  void Take(int client, std::uint8_t b) {
    switch (state_) {
      case State::kData:
        if (b == kIac) state_ = State::kIac;
        else Data(client, b);
        break;
      case State::kIac:
        state_ = State::kData;
        if (b == kIac) Data(client, b);
        else if (b >= 251 && b <= 254) verb_ = b, state_ = State::kOption;
        else if (b == kSb) sub_.clear(), state_ = State::kSub;
        break;
      case State::kOption:
        Record([&](Seen& s) { s.options.push_back({verb_, b}); });
        state_ = State::kData;
        break;
      case State::kSub:
        if (b == kIac) state_ = State::kSubIac;
        else sub_.push_back(b);
        break;
      case State::kSubIac:
        if (b == kIac) {
          sub_.push_back(b);
          state_ = State::kSub;
          break;
        }
        state_ = State::kData;
        if (sub_.size() >= 2 && sub_[0] == 44) {
          Record([&](Seen& s) { s.comPort.emplace_back(sub_.begin() + 1, sub_.end()); });
          Bytes answer{kIac, kSb, 44, static_cast<std::uint8_t>(sub_[1] + 100)};
          for (std::size_t i = 2; i < sub_.size(); ++i) {
            answer.push_back(sub_[i]);
            if (sub_[i] == kIac) answer.push_back(kIac);
          }
          answer.insert(answer.end(), {kIac, kSe});
          Send(client, answer);
        }
        break;
    }
  }

  void Data(int client, std::uint8_t b) {
    switch (frame_) {
      case Frame::kIdle:
        if (b == '#') {
          Send(client, {kIac, kNop, 'E'});
          frame_ = Frame::kCode;
        }
        break;
      case Frame::kCode:
        request_ = {b};
        frame_ = Frame::kLength;
        break;
      case Frame::kLength:
        remaining_ = b;
        frame_ = b == 0 ? Frame::kCheck : Frame::kData;
        break;
      case Frame::kData:
        request_.push_back(b);
        if (--remaining_ == 0) frame_ = Frame::kCheck;
        break;
      case Frame::kCheck:
        Record([&](Seen& s) { s.requests.push_back(request_); });
        // A modem-state notification before the acknowledgement.
        Send(client, {kIac, kSb, 44, 107, 0x30, kIac, kSe, 'g'});
        frame_ = Frame::kGo;
        break;
      case Frame::kGo: {
        frame_ = Frame::kIdle;
        Bytes reply{0x00, kIac, kNop, sizeof kReply};
        std::uint8_t check = sizeof kReply;
        for (std::uint8_t r : kReply) {
          reply.push_back(r);
          if (r == kIac) reply.insert(reply.end(), {kIac, kIac, kNop});
          check ^= r;
        }
        reply.push_back(check);
        Send(client, reply);
        break;
      }
    }
  }

  static void Send(int client, const Bytes& bytes) { (void)!::send(client, bytes.data(), bytes.size(), MSG_NOSIGNAL); }

  template <class F>
  void Record(F&& f) {
    std::lock_guard lock(mutex_);
    f(seen_);
  }

  Listener listener_;
  int wake_[2] = {-1, -1};
  std::thread thread_;
  std::mutex mutex_;
  Seen seen_;
  State state_ = State::kData;
  Frame frame_ = Frame::kIdle;
  std::uint8_t verb_ = 0;
  Bytes sub_;
  Bytes request_;
  std::size_t remaining_ = 0;
};

TEST(NetworkLink, Rfc2217SetsTheLinePurgesAndCarriesEveryByteValue) {
  ScriptedDeviceServer server;
  PointAllPortsNowhere();
  ASSERT_EQ(SetComPortPath(0, server.Url().c_str()), 0);
  ASSERT_EQ(LinkCom(0), 0);
  EXPECT_EQ(ComBaudRate(), 57600);
  unsigned char number[8] = {};
  EXPECT_EQ(GetDeviceNumber(number), 0);
  const auto& reply = ScriptedDeviceServer::kReply;
  EXPECT_EQ(Bytes(number, number + 8), Bytes(std::begin(reply), std::end(reply)));
  EXPECT_EQ(ALARM(1, 0xFF, 0x1FF, 0x7F), 0);  // 0xFF data bytes in a request
  EXPECT_EQ(UnLinkCom(), 0);

  const ScriptedDeviceServer::Seen seen = server.Take();
  const std::vector<Bytes> settings = {
      {1, 0x00, 0x00, 0xE1, 0x00},  // 57600 bit/s
      {2, 8},                        // 8 data bits
      {3, 1},                        // no parity
      {4, 1},                        // one stop bit
      {5, 1},                        // no flow control
      {12, 3},                       // purge both buffers, as the open of a local port does
      {12, 3},                       // and as UnLinkCom does
  };
  EXPECT_EQ(seen.comPort, settings);
  EXPECT_EQ(seen.requests, (std::vector<Bytes>{{0x00}, {0x20}, {0x7A, 1, 0xFF, 0xFF, 0x7F}}));
  // Echo and terminal type declined; binary, go-ahead and COM port offered.
  const std::vector<Bytes> expectedOptions = {{251, 0}, {253, 0}, {251, 3}, {253, 3}, {251, 44}, {254, 1}, {252, 24}};
  EXPECT_EQ(seen.options, expectedOptions);
}

}  // namespace
}  // namespace kulve::test

// SPDX-License-Identifier: MIT
// The simulator served over the network, driven by raw sockets written here
// (no library code): one client at a time, Telnet with RFC 2217 line
// control, and the reader's speed rules over it.
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "sim/simulator.h"

namespace kulve::sim {
namespace {

// How long a reply may take to arrive: generous, since a loaded machine can
// stall the simulator for seconds; a reply that comes ends the wait at once.
constexpr int kReplyMs = 20000;

using Bytes = std::vector<std::uint8_t>;

const Bytes kProbe = {0x23, 0x00, 0x00, 0x00, 0x89};
const Bytes kProbeAnswer = {'E', 'g', 0x00, 0x00, 0x00};

class Client {
 public:
  explicit Client(std::uint16_t port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  }
  ~Client() { ::close(fd_); }
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  bool Connected() const { return connected_; }
  void Send(const Bytes& bytes) {
    ASSERT_EQ(::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
  }

  // What arrives within ms, until `enough` bytes; closed() tells whether the
  // server ended the connection.
  Bytes Receive(std::size_t enough, int ms) {
    Bytes got;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (got.size() < enough) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
      pollfd entry{fd_, POLLIN, 0};
      if (left.count() <= 0 || ::poll(&entry, 1, static_cast<int>(left.count())) <= 0) break;
      std::uint8_t buffer[256];
      const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
      if (n <= 0) {
        closed_ = true;
        break;
      }
      got.insert(got.end(), buffer, buffer + n);
    }
    return got;
  }
  bool Closed() const { return closed_; }

 private:
  int fd_ = -1;
  bool connected_ = false;
  bool closed_ = false;
};

bool Contains(const Bytes& haystack, const Bytes& needle) {
  return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) != haystack.end();
}

std::uint16_t PortOf(const Simulator& sim) {
  const std::string url = sim.HostPath();
  return static_cast<std::uint16_t>(std::stoi(url.substr(url.rfind(':') + 1)));
}

TEST(SimNetTest, ListenAddressesParse) {
  std::string host;
  std::uint16_t port = 1;
  EXPECT_TRUE(ParseListenAddress("127.0.0.1:0", host, port));
  EXPECT_EQ(host, "127.0.0.1");
  EXPECT_EQ(port, 0);
  EXPECT_TRUE(ParseListenAddress("[::1]:7000", host, port));
  EXPECT_EQ(host, "::1");
  EXPECT_EQ(port, 7000);
  for (const char* bad : {"", "7000", ":7000", "127.0.0.1:", "127.0.0.1:65536", "::1:7000", "[::1]7000", "h:7x"}) {
    EXPECT_FALSE(ParseListenAddress(bad, host, port)) << bad;
  }
}

TEST(SimNetTest, NewConnectionReplacesTheOldAndNoLineTurnsClientsAway) {
  SimulatorOptions options;
  options.network.protocol = NetProtocol::kTcp;
  Simulator sim(options);
  sim.Start();
  EXPECT_EQ(sim.HostPath(), "tcp://127.0.0.1:" + std::to_string(PortOf(sim)));

  Client first(PortOf(sim));
  ASSERT_TRUE(first.Connected());
  first.Send(kProbe);
  EXPECT_EQ(first.Receive(5, kReplyMs), kProbeAnswer);

  Client second(PortOf(sim));
  ASSERT_TRUE(second.Connected());
  first.Receive(1, kReplyMs);
  EXPECT_TRUE(first.Closed());
  second.Send(kProbe);
  EXPECT_EQ(second.Receive(5, kReplyMs), kProbeAnswer);

  sim.Stop();  // the listener stays; with no line, a client is let go at once
  second.Receive(1, kReplyMs);
  EXPECT_TRUE(second.Closed());
  Client third(PortOf(sim));
  third.Receive(1, kReplyMs);
  EXPECT_TRUE(third.Closed());
}

TEST(SimNetTest, Rfc2217SpeedIsTheSpeedTheReaderSees) {
  SimulatorOptions options;
  options.network.protocol = NetProtocol::kRfc2217;
  options.speeds = SpeedSet::k9600Only;
  Simulator sim(options);
  sim.Start();
  Client client(PortOf(sim));
  ASSERT_TRUE(client.Connected());
  const Bytes greeting = client.Receive(3, kReplyMs);
  EXPECT_TRUE(Contains(greeting, {0xFF, 0xFD, 44})) << "DO COM-PORT-OPTION";

  struct Case {
    std::uint32_t bps;
    bool answered;
  };
  for (const Case c : {Case{57600, false}, Case{9600, true}, Case{57600, false}}) {
    const Bytes speed = {static_cast<std::uint8_t>(c.bps >> 24), static_cast<std::uint8_t>(c.bps >> 16),
                         static_cast<std::uint8_t>(c.bps >> 8), static_cast<std::uint8_t>(c.bps)};
    Bytes set = {0xFF, 0xFB, 44, 0xFF, 0xFA, 44, 1};
    set.insert(set.end(), speed.begin(), speed.end());
    set.insert(set.end(), {0xFF, 0xF0});
    client.Send(set);
    Bytes confirmation = {0xFF, 0xFA, 44, 101};
    confirmation.insert(confirmation.end(), speed.begin(), speed.end());
    confirmation.insert(confirmation.end(), {0xFF, 0xF0});
    EXPECT_TRUE(Contains(client.Receive(10, kReplyMs), confirmation)) << c.bps;
    client.Send(kProbe);
    EXPECT_EQ(client.Receive(5, c.answered ? kReplyMs : 300), c.answered ? kProbeAnswer : Bytes{}) << c.bps;
  }
}

}  // namespace
}  // namespace kulve::sim

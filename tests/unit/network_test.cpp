// SPDX-License-Identifier: MIT
// Network port paths, the client's side of Telnet with the COM port option,
// and how LinkCom treats a network address it cannot reach.
#include <gtest/gtest.h>

#include <chrono>
#include <limits>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "link/link.h"
#include "link/net/network_path.h"
#include "link/net/network_port.h"
#include "link/net/socket.h"
#include "link/net/telnet.h"
#include "link/transact.h"
#include "support/fake_reader.h"

namespace kulve::test {
namespace {

using Bytes = std::vector<std::uint8_t>;
using net::Protocol;
namespace tn = telnet;

TEST(NetworkPathTest, SplitsGoodPathsAndRefusesMalformedOnes) {
  struct Case {
    const char* path;
    bool network;  // IsNetworkPath
    bool parses;
    Protocol protocol;
    const char* host;
    const char* port;
    std::uint32_t delayMs = net::kDefaultDelayMs;
  };
  const Case cases[] = {
      {"tcp://127.0.0.1:7000", true, true, Protocol::kRawTcp, "127.0.0.1", "7000"},
      {"rfc2217://reader-7.example:2217", true, true, Protocol::kRfc2217, "reader-7.example", "2217"},
      {"TCP://[::1]:65535", true, true, Protocol::kRawTcp, "::1", "65535"},
      {"RFC2217://host:1", true, true, Protocol::kRfc2217, "host", "1"},
      {"rfc2217://host:2217?delay=30000", true, true, Protocol::kRfc2217, "host", "2217", 30000},
      {"tcp://[::1]:7000?delay=0", true, true, Protocol::kRawTcp, "::1", "7000", 0},
      {"tcp://host:7000?delay=30001", true, false},
      {"tcp://host:7000?delay=", true, false},
      {"tcp://host:7000?delay=-5", true, false},
      {"tcp://host:7000?wait=5", true, false},
      {"tcp://host:7000?delay=5&delay=6", true, false},
      {"tcp://127.0.0.1", true, false},
      {"tcp://127.0.0.1:", true, false},
      {"tcp://:7000", true, false},
      {"tcp://127.0.0.1:0", true, false},
      {"tcp://127.0.0.1:65536", true, false},
      {"tcp://127.0.0.1:70x", true, false},
      {"tcp://127.0.0.1:7000/", true, false},
      {"tcp://::1:7000", true, false},  // an IPv6 address needs its brackets
      {"tcp://[::1]7000", true, false},
      {"tcp://my host:7000", true, false},
      {"tcp://a/b:7000", true, false},
      {"/dev/ttyUSB0", false, false},
      {"\\\\.\\COM3", false, false},
      {"tcp:/127.0.0.1:7000", false, false},
      {"udp://127.0.0.1:7000", false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(net::IsNetworkPath(c.path), c.network) << c.path;
    net::NetworkPath parsed;
    ASSERT_EQ(net::ParseNetworkPath(c.path, parsed), c.parses) << c.path;
    if (!c.parses) continue;
    EXPECT_EQ(parsed.protocol, c.protocol) << c.path;
    EXPECT_EQ(parsed.host, c.host) << c.path;
    EXPECT_EQ(parsed.port, c.port) << c.path;
    EXPECT_EQ(parsed.delayMs, c.delayMs) << c.path;
  }
  EXPECT_FALSE(net::IsNetworkPath(nullptr));
}

TEST(TelnetTest, CommandsAreFramedAndEscaped) {
  Bytes out;
  tn::AppendLineSettings(57600, out);
  tn::AppendPurgeBoth(out);
  EXPECT_EQ(out, (Bytes{255, 250, 44, 1, 0x00, 0x00, 0xE1, 0x00, 255, 240,  // speed, high byte first
                        255, 250, 44, 2, 8, 255, 240,                        // 8 data bits
                        255, 250, 44, 3, 1, 255, 240,                        // no parity
                        255, 250, 44, 4, 1, 255, 240,                        // one stop bit
                        255, 250, 44, 5, 1, 255, 240,                        // no flow control
                        255, 250, 44, 12, 3, 255, 240}));                    // purge both buffers
  out.clear();
  tn::AppendComPortCommand(1, Bytes{0x00, 0x00, 0xFF, 0x00}, out);
  EXPECT_EQ(out, (Bytes{255, 250, 44, 1, 0x00, 0x00, 0xFF, 0xFF, 0x00, 255, 240}));
  out.clear();
  tn::AppendEscaped(Bytes{0x23, 0xFF, 0xFF, 0x00}, out);
  EXPECT_EQ(out, (Bytes{0x23, 0xFF, 0xFF, 0xFF, 0xFF, 0x00}));
}

// What the client answers to each thing a server may say after the client's
// opening offers (WILL/DO BINARY, WILL/DO SUPPRESS-GO-AHEAD, WILL COM-PORT).
TEST(TelnetTest, AnswersOptionNegotiationWithoutLoops) {
  using CP = tn::Client::ComPort;
  struct Case {
    const char* what;
    Bytes server;
    Bytes answer;
    CP comPort;
  };
  const Case cases[] = {
      {"agreements to our offers need no answer", {255, 253, 0, 255, 251, 0, 255, 253, 3, 255, 251, 3}, {}, CP::kAsked},
      {"DO COM-PORT agrees", {255, 253, 44}, {}, CP::kAgreed},
      {"DONT COM-PORT refuses", {255, 254, 44}, {}, CP::kRefused},
      {"the server's echo is declined", {255, 251, 1}, {255, 254, 1}, CP::kAsked},
      {"we echo nothing", {255, 253, 1}, {255, 252, 1}, CP::kAsked},
      {"unknown options are declined both ways", {255, 253, 24, 255, 251, 31}, {255, 252, 24, 255, 254, 31}, CP::kAsked},
      {"the server may not do COM-PORT itself", {255, 251, 44}, {255, 254, 44}, CP::kAsked},
      {"a refusal of our offer needs no answer", {255, 254, 0, 255, 252, 0}, {}, CP::kAsked},
      {"a repeated agreement is not answered again", {255, 253, 44, 255, 253, 44}, {}, CP::kAgreed},
      {"withdrawing an agreed option is confirmed", {255, 251, 3, 255, 252, 3}, {255, 254, 3}, CP::kAsked},
      {"stopping an agreed option is confirmed", {255, 253, 0, 255, 254, 0}, {255, 252, 0}, CP::kAsked},
      {"asked again after stopping, we agree again", {255, 253, 0, 255, 254, 0, 255, 253, 0},
       {255, 252, 0, 255, 251, 0}, CP::kAsked},
  };
  for (const Case& c : cases) {
    tn::Client client;
    Bytes opening;
    client.Start(opening);
    ASSERT_EQ(opening, (Bytes{255, 251, 0, 255, 253, 0, 255, 251, 3, 255, 253, 3, 255, 251, 44}));
    Bytes data, answer;
    client.Receive(c.server, data, answer);
    EXPECT_EQ(answer, c.answer) << c.what;
    EXPECT_TRUE(data.empty()) << c.what;
    EXPECT_EQ(client.ComPortState(), c.comPort) << c.what;
  }
}

// Data passes with only IAC IAC undone, whatever commands come between its
// bytes, and whether the stream arrives in one piece or byte by byte.
TEST(TelnetTest, DataSurvivesInterleavedCommandsInAnySplit) {
  struct Case {
    const char* what;
    Bytes server;
    Bytes data;
    Bytes answer;
    std::optional<std::uint32_t> baud;
  };
  const Case cases[] = {
      {"plain", {0x45, 0x67, 0x00}, {0x45, 0x67, 0x00}, {}, {}},
      {"doubled IAC is one 0xFF", {0x00, 255, 255, 0x02}, {0x00, 0xFF, 0x02}, {}, {}},
      {"NOP, go-ahead, data mark carry nothing", {0x45, 255, 241, 0x67, 255, 249, 255, 242, 0x00}, {0x45, 0x67, 0x00}, {}, {}},
      {"notifications are skipped", {0x45, 255, 250, 44, 107, 0x30, 255, 240, 0x67}, {0x45, 0x67}, {}, {}},
      {"the speed confirmation is read", {255, 250, 44, 101, 0x00, 0x00, 0x25, 0x80, 255, 240, 0x45}, {0x45}, {}, 9600u},
      {"an escaped 0xFF inside a confirmation", {255, 250, 44, 101, 0x00, 0x00, 255, 255, 0x00, 255, 240}, {}, {}, 0xFF00u},
      {"a broken-off subnegotiation gives way to the command",
       {255, 250, 44, 101, 0x00, 255, 253, 1, 0x45}, {0x45}, {255, 252, 1}, {}},
      {"an overlong subnegotiation is skipped whole",
       [] {
         Bytes b{255, 250, 44, 101};
         b.insert(b.end(), 200, 0x11);
         b.insert(b.end(), {255, 240, 0x45});
         return b;
       }(),
       {0x45}, {}, {}},
  };
  for (const Case& c : cases) {
    for (bool split : {false, true}) {
      tn::Client client;
      Bytes data, answer;
      if (split) {
        for (std::uint8_t b : c.server) client.Receive({&b, 1}, data, answer);
      } else {
        client.Receive(c.server, data, answer);
      }
      EXPECT_EQ(data, c.data) << c.what << (split ? " (byte by byte)" : "");
      EXPECT_EQ(answer, c.answer) << c.what << (split ? " (byte by byte)" : "");
      EXPECT_EQ(client.ConfirmedBaudRate(), c.baud) << c.what << (split ? " (byte by byte)" : "");
    }
  }
}

// A network address that cannot be reached at the fast speed is not tried
// again at the slow one; a device path still is.
TEST(NetworkLinkTest, UnreachableAddressIsTriedOnce) {
  struct Case {
    int code;
    int opens;
  };
  const Case cases[] = {
      {KULVE_LINK_ERROR_UNRESOLVED, 1},
      {KULVE_LINK_ERROR_REFUSED, 1},
      {KULVE_LINK_ERROR_TIMEOUT, 1},
      {KULVE_LINK_ERROR_NOT_FOUND, 2},
      {KULVE_LINK_ERROR_BUSY, 2},
  };
  for (const Case& c : cases) {
    FakeReaderFixture f;
    f.peer.failAllOpens = true;
    f.peer.openFailure = {c.code, 0, "connect", "no"};
    std::vector<std::string> lines;
    f.reader.trace.Set(
        2, [](int, const char* line, void* context) { static_cast<std::vector<std::string>*>(context)->push_back(line); },
        &lines);
    EXPECT_EQ(LinkCom(f.reader, 0), 1);
    int opens = 0;
    for (const std::string& line : lines) opens += line.rfind("open fake0 at ", 0) == 0;
    EXPECT_EQ(opens, c.opens) << "code " << c.code;
    char text[kLinkErrorTextSize];
    EXPECT_EQ(GetLinkError(f.reader, text, sizeof text), c.code);
    if (c.opens == 1) {
      EXPECT_EQ(std::string(text), "connect fake0: no");
    }
  }
}

// A server's end as the network port sees it: it takes at most `room` more
// bytes (a send beyond that would block, and waiting to send times out),
// and hands over `toReceive` at the first receive.
struct ScriptedServer {
  std::size_t room = std::numeric_limits<std::size_t>::max();
  std::vector<std::uint8_t> toReceive;
  std::vector<std::uint8_t> received;  // everything the port sent
  std::vector<int> readWaits;          // how long each wait for bytes might take
};

class ScriptedSocket final : public net::StreamSocket {
 public:
  explicit ScriptedSocket(std::shared_ptr<ScriptedServer> server) : server_(std::move(server)) {}
  net::IoResult Send(const std::uint8_t* data, std::size_t count) override {
    const std::size_t n = std::min(count, server_->room);
    if (n == 0) return {.end = net::IoEnd::kWouldBlock};
    server_->room -= n;
    server_->received.insert(server_->received.end(), data, data + n);
    return {.bytes = n};
  }
  net::IoResult Receive(std::uint8_t* buffer, std::size_t count) override {
    const std::size_t n = std::min(count, server_->toReceive.size());
    if (n == 0) return {.end = net::IoEnd::kWouldBlock};
    std::copy_n(server_->toReceive.begin(), n, buffer);
    server_->toReceive.erase(server_->toReceive.begin(), server_->toReceive.begin() + static_cast<std::ptrdiff_t>(n));
    return {.bytes = n};
  }
  net::Readiness Wait(bool forSending, int timeoutMs, int&) override {
    if (!forSending) server_->readWaits.push_back(timeoutMs);
    if (!forSending && !server_->toReceive.empty()) return net::Readiness::kReady;
    // A silent server: the wait runs its course, as the system's would.
    if (!forSending) std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
    return net::Readiness::kTimeout;
  }
  bool Close() override { return true; }

 private:
  std::shared_ptr<ScriptedServer> server_;
};

std::unique_ptr<SerialPort> OpenScripted(std::shared_ptr<ScriptedServer> server, net::Protocol protocol,
                                         PortTimeouts timeouts = {.writeConstantMs = 50}) {
  OpenFailure why;
  auto port = net::OpenNetworkPortOn(std::make_unique<ScriptedSocket>(server), protocol,
                                     {.baudRate = 56000, .timeouts = timeouts}, why);
  server->received.clear();
  return port;
}

constexpr std::uint8_t kIac = 255, kDo = 253, kDont = 254, kSb = 250, kSe = 240, kComPort = 44;

// Write returns the data bytes wholly on the wire; an escaped 0xFF whose
// first half went out is counted and its second half leads the next write.
TEST(NetworkPortTest, ShortSendCountsEscapedBytesByTheirWireWidth) {
  struct Case {
    std::size_t room;
    std::size_t written;
    std::vector<std::uint8_t> wire;  // after a second write of 03
  };
  const Case cases[] = {
      {4, 3, {0x01, 0xFF, 0xFF, 0x02, 0x03}},
      {3, 2, {0x01, 0xFF, 0xFF, 0x03}},
      {2, 2, {0x01, 0xFF, 0xFF, 0x03}},
      {1, 1, {0x01, 0x03}},
      {0, 0, {0x03}},
  };
  for (const Case& c : cases) {
    auto server = std::make_shared<ScriptedServer>();
    server->toReceive = {kIac, kDont, kComPort};
    auto port = OpenScripted(server, net::Protocol::kRfc2217);
    ASSERT_NE(port, nullptr);
    const std::uint8_t data[] = {0x01, 0xFF, 0x02};
    server->room = c.room;
    EXPECT_EQ(port->Write(data, sizeof data), c.written) << "room " << c.room;
    server->room = std::numeric_limits<std::size_t>::max();
    const std::uint8_t next = 0x03;
    port->Write(&next, 1);
    EXPECT_EQ(server->received, c.wire) << "room " << c.room;
  }
}

// The server's buffers are purged only through a COM port option it agreed
// to: a server that refused it or never answered is sent no purge.
TEST(NetworkPortTest, PurgeGoesOnlyToAServerThatAgreed) {
  const std::vector<std::uint8_t> purgeBoth = {kIac, kSb, kComPort, 12, 3, kIac, kSe};
  struct Case {
    const char* server;
    std::vector<std::uint8_t> answer;
    bool purged;
  };
  const Case cases[] = {
      // DO, then the server's reply to SET-BAUDRATE: 57600 = 00 00 E1 00.
      {"agrees", {kIac, kDo, kComPort, kIac, kSb, kComPort, 101, 0x00, 0x00, 0xE1, 0x00, kIac, kSe}, true},
      {"refuses", {kIac, kDont, kComPort}, false},
      {"never answers", {}, false},
  };
  for (const Case& c : cases) {
    auto server = std::make_shared<ScriptedServer>();
    server->toReceive = c.answer;
    auto port = OpenScripted(server, net::Protocol::kRfc2217);
    ASSERT_NE(port, nullptr);
    EXPECT_TRUE(port->Purge());
    EXPECT_EQ(server->received == purgeBoth, c.purged) << c.server;
    if (!c.purged) {
      EXPECT_TRUE(server->received.empty()) << c.server;
    }
  }
}

// The ports of a reader behind a scripted rfc2217:// server.
class ScriptedPorts final : public PortSystem {
 public:
  std::shared_ptr<ScriptedServer> server = std::make_shared<ScriptedServer>();
  std::unique_ptr<SerialPort> Open(int, const char* device, const LineSettings& settings, OpenFailure& why) override {
    net::NetworkPath path;
    if (!net::ParseNetworkPath(device, path)) return nullptr;
    server->toReceive = {kIac, kDont, kComPort};  // a quick open
    return net::OpenNetworkPortOn(std::make_unique<ScriptedSocket>(server), path.protocol, settings, why,
                                  path.delayMs);
  }
  void Sleep(std::uint32_t) override {}
  void DefaultDevicePath(int, char* out, std::size_t size) const override { out[size - 1] = '\0'; }
};

// A silent reader behind a network server is found out within 1.5 s per
// command at the default allowance: it is given once to each wait (the
// answer to '#', the acknowledgement as a whole), not to every read. The
// bound is on the waits asked of the socket, whatever the machine's load.
TEST(NetworkPortTest, TheDelayAllowanceIsGivenOncePerWait) {
  struct Case {
    const char* reader;
    std::vector<std::uint8_t> answers;  // what the server relays, then silence
    bool reopen;
    int letter;
  };
  const Case cases[] = {
      {"silent", {}, true, 'f'},
      {"answers the start byte only", {'E'}, true, 'l'},
      {"silent again, after a failure", {}, false, 'f'},
  };
  ScriptedPorts ports;
  Reader reader{ports};
  ASSERT_EQ(SetComPortPath(reader, 0, "rfc2217://reader:2217"), 0);
  for (const Case& c : cases) {
    if (c.reopen) {
      ASSERT_EQ(OpenPort(reader, 0, kFastSpeed), 0) << c.reader;
    }
    ports.server->toReceive = c.answers;
    ports.server->readWaits.clear();
    EXPECT_EQ(Exchange(reader, 0x02, {}).status, c.letter) << c.reader;
    int waitedMs = 0;
    for (const int ms : ports.server->readWaits) waitedMs += ms;
    EXPECT_LE(waitedMs, 1500) << c.reader;
  }
}

}  // namespace
}  // namespace kulve::test

// SPDX-License-Identifier: MIT
// Network port paths, the client's side of Telnet with the COM port option,
// and how LinkCom treats a network address it cannot reach.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/link.h"
#include "link/net/network_path.h"
#include "link/net/telnet.h"
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
  };
  const Case cases[] = {
      {"tcp://127.0.0.1:7000", true, true, Protocol::kRawTcp, "127.0.0.1", "7000"},
      {"rfc2217://reader-7.example:2217", true, true, Protocol::kRfc2217, "reader-7.example", "2217"},
      {"TCP://[::1]:65535", true, true, Protocol::kRawTcp, "::1", "65535"},
      {"RFC2217://host:1", true, true, Protocol::kRfc2217, "host", "1"},
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

}  // namespace
}  // namespace kulve::test

// SPDX-License-Identifier: MIT
// A reader behind a USB-serial adapter that holds its bytes 16 ms (kulvesim's
// adapter): the trace says once that the latency timer is the likely cause,
// on a serial line; over a network address the delay is the network's and it
// says nothing. The adapter never hands bytes over early, so the first case
// cannot pass or fail by timing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/sim_fixture.h"

namespace kulve::test {
namespace {

void KULVE_CALL Collect(int, const char* line, void* context) {
  static_cast<std::vector<std::string>*>(context)->push_back(line);
}

TEST(AdapterLatency, TraceNamesTheLatencyTimerOnASerialLine) {
  struct Case {
    const char* what;
    sim::NetProtocol protocol;
    std::size_t hints;
  };
  const Case cases[] = {
      {"pty", sim::NetProtocol::kNone, 1},
      {"tcp://", sim::NetProtocol::kTcp, 0},
  };
  for (const Case& c : cases) {
    PointAllPortsNowhere();
    sim::SimulatorOptions options;
    options.adapterLatencyMs = 16;
    if (c.protocol != sim::NetProtocol::kNone) options.network = {c.protocol, "127.0.0.1", 0};
    sim::Simulator reader(options);
    reader.Start();
    ASSERT_EQ(SetComPortPath(0, reader.HostPath().c_str()), 0);
    std::vector<std::string> lines;
    SetTrace(1, &Collect, &lines);
    ASSERT_EQ(LinkCom(0), 0) << c.what;
    unsigned char number[8];
    for (int i = 0; i < 4; ++i) EXPECT_EQ(GetDeviceNumber(number), 0) << c.what;
    SetTrace(0, nullptr, nullptr);
    UnLinkCom();
    std::size_t hints = 0;
    for (const std::string& line : lines) hints += line.find("latency timer") != std::string::npos ? 1u : 0u;
    EXPECT_EQ(hints, c.hints) << c.what;
  }
}

}  // namespace
}  // namespace kulve::test

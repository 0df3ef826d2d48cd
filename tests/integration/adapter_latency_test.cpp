// SPDX-License-Identifier: MIT
// A reader behind a USB-serial adapter that holds its bytes 16 ms (kulvesim's
// adapter): the trace says once that the latency timer is the likely cause
// when the device sits on the usb-serial bus (a pty made one through a sysfs
// tree of the test's own). A plain pty or a network address is no such
// adapter, and however late the answers come it says nothing. The adapter
// never hands bytes over early, so no case can pass or fail by timing.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "support/fake_sysfs.h"
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
    bool onUsbSerialBus;
    std::size_t hints;
  };
  const Case cases[] = {
      {"pty as a USB-serial adapter", sim::NetProtocol::kNone, true, 1},
      {"plain pty", sim::NetProtocol::kNone, false, 0},
      {"tcp://", sim::NetProtocol::kTcp, false, 0},
  };
  for (const Case& c : cases) {
    PointAllPortsNowhere();
    sim::SimulatorOptions options;
    options.adapterLatencyMs = 16;
    if (c.protocol != sim::NetProtocol::kNone) options.network = {c.protocol, "127.0.0.1", 0};
    sim::Simulator reader(options);
    reader.Start();
    ASSERT_EQ(SetComPortPath(0, LinkPath(reader).c_str()), 0);
    std::optional<FakeSysfs> sysfs;
    if (c.onUsbSerialBus) sysfs.emplace(reader.HostPath(), "usb-serial", "ftdi_sio", true);
    std::vector<std::string> lines;
    SetTrace(1, &Collect, &lines);
    ASSERT_EQ(LinkCom(0), 0) << c.what;
    unsigned char number[8];
    for (int i = 0; i < 4; ++i) EXPECT_EQ(GetDeviceNumber(number), 0) << c.what;
    SetTrace(0, nullptr, nullptr);
    UnLinkCom();
    std::size_t hints = 0;
    for (const std::string& line : lines) {
      if (line.find("keep coming late") == std::string::npos) continue;  // any warning, with advice or without
      ++hints;
      EXPECT_NE(line.find("/sys/bus/usb-serial/devices/ttyUSB7/latency_timer"), std::string::npos) << line;
    }
    EXPECT_EQ(hints, c.hints) << c.what;
  }
}

}  // namespace
}  // namespace kulve::test

// SPDX-License-Identifier: MIT
// Integration fixture: the simulator on a pty, port index 0 pointed at it and
// every other index at a path that does not exist, so no test can ever open
// a real serial port.
//
// The same suites can run with the simulator behind a loopback network
// address instead: ctest runs the suites listed in tests/CMakeLists.txt
// (KULVE_NETWORK_SUITES) once more over tcp:// and once over rfc2217://,
// telling them so through KULVE_TEST_TRANSPORT. A suite takes part by
// building its simulators with OverCurrentTransport() (SimulatorTest does).
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>

#include "kulve32.h"
#include "sim/simulator.h"

namespace kulve::test {

inline constexpr const char* kMissingPort = "/nonexistent/kulve-test-port";

inline void PointAllPortsNowhere() {
  for (int index = 0; index < 10; ++index) SetComPortPath(index, kMissingPort);
}

enum class Transport { kPty, kTcp, kRfc2217 };

// KULVE_TEST_TRANSPORT=tcp or rfc2217, else the pty itself.
inline Transport CurrentTransport() {
  const char* name = std::getenv("KULVE_TEST_TRANSPORT");
  const std::string transport = name != nullptr ? name : "";
  if (transport == "tcp") return Transport::kTcp;
  if (transport == "rfc2217") return Transport::kRfc2217;
  return Transport::kPty;
}

// The options, with the simulator served over the current transport on a
// free loopback port; its HostPath() is then the address to open.
inline sim::SimulatorOptions OverCurrentTransport(sim::SimulatorOptions options = {}) {
  switch (CurrentTransport()) {
    case Transport::kPty: break;
    case Transport::kTcp: options.network = {sim::NetProtocol::kTcp, "127.0.0.1", 0}; break;
    case Transport::kRfc2217: options.network = {sim::NetProtocol::kRfc2217, "127.0.0.1", 0}; break;
  }
  return options;
}

// The delay allowance a test gives a network address: far above what loopback
// needs, so that a loaded machine cannot fail an exchange by it. The library's
// own default stays small.
inline constexpr const char* kTestNetworkDelay = "?delay=1500";

// The path a test opens for a simulator: its HostPath(), and for a network
// address with the test's delay allowance.
inline std::string LinkPath(const sim::Simulator& sim) {
  const std::string path = sim.HostPath();
  const bool network = path.rfind("tcp://", 0) == 0 || path.rfind("rfc2217://", 0) == 0;
  return network ? path + kTestNetworkDelay : path;
}

// Whether the speed the library opens at reaches the reader: not through
// raw TCP, where the line speed is the server's business.
inline bool SpeedReachesReader() { return CurrentTransport() != Transport::kTcp; }

class SimulatorTest : public ::testing::Test {
 protected:
  void SetUp() override { StartReader(sim::SpeedSet::k57600Only); }
  void TearDown() override {
    UnLinkCom();
    reader.reset();
  }

  // Replaces the simulated reader and points index 0 at it.
  void StartReader(sim::SpeedSet speeds) {
    PointAllPortsNowhere();
    sim::SimulatorOptions options;
    options.speeds = speeds;
    reader = std::make_unique<sim::Simulator>(OverCurrentTransport(options));
    reader->Start();
    ASSERT_EQ(SetComPortPath(0, LinkPath(*reader).c_str()), 0);
  }

  std::unique_ptr<sim::Simulator> reader;
};

// A suite that links once to one simulated reader (over the current
// transport) for all its tests: every relink costs the 1 s pause of
// UnLinkCom. A suite that could not link fails each of its tests rather than
// skipping them. A suite's own SetUp calls LinkedReaderSuite::SetUp() first.
class LinkedReaderSuite : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    PointAllPortsNowhere();
    reader_ = new sim::Simulator(OverCurrentTransport());
    reader_->Start();
    linked_ = SetComPortPath(0, LinkPath(*reader_).c_str()) == 0 && LinkCom(0) == 0;
  }
  static void TearDownTestSuite() {
    UnLinkCom();
    delete reader_;
    reader_ = nullptr;
    linked_ = false;
  }
  void SetUp() override { ASSERT_TRUE(linked_) << "could not link to the simulated reader"; }

  inline static sim::Simulator* reader_ = nullptr;
  inline static bool linked_ = false;
};

// The upper bound of the "fails promptly" checks. It tells a call that ended
// by its own short waits from one that hangs or waits out something long;
// it is far above the short waits because a shared, loaded machine can stall
// a call for seconds. Where two outcomes are closer than that, tests count
// the transfers in the trace instead of timing them.
inline constexpr long kHangMs = 30000;

// Milliseconds a call takes.
template <class F>
long TimedMs(F&& f) {
  const auto start = std::chrono::steady_clock::now();
  f();
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::steady_clock::now() - start).count());
}

}  // namespace kulve::test

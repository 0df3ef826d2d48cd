// SPDX-License-Identifier: MIT
// Integration fixture: the simulator on a pty, port index 0 pointed at it and
// every other index at a path that does not exist, so no test can ever open
// a real serial port.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

#include "kulve32.h"
#include "sim/simulator.h"

namespace kulve::test {

inline constexpr const char* kMissingPort = "/nonexistent/kulve-test-port";

inline void PointAllPortsNowhere() {
  for (int index = 0; index < 10; ++index) SetComPortPath(index, kMissingPort);
}

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
    reader = std::make_unique<sim::Simulator>(options);
    reader->Start();
    ASSERT_EQ(SetComPortPath(0, reader->HostPath().c_str()), 0);
  }

  std::unique_ptr<sim::Simulator> reader;
};

// Milliseconds a call takes.
template <class F>
long TimedMs(F&& f) {
  const auto start = std::chrono::steady_clock::now();
  f();
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::steady_clock::now() - start).count());
}

}  // namespace kulve::test

// SPDX-License-Identifier: MIT
// The presence wait: each slot kind in and out through the simulator's control
// channel, KULVE_NO_CHANGE when quiet, bad arguments unsent.
#include <gtest/gtest.h>

#include <string>

#include "kulve32.h"
#include "sim/control.h"
#include "support/sim_fixture.h"

namespace kulve::test {
namespace {

TEST(PresenceWait, EachSlotKindInAndOut) {
  sim::Simulator sim(OverCurrentTransport());
  const auto control = [&](const std::string& line) { ASSERT_EQ(sim::RunControlCommand(sim, line), "ok") << line; };
  for (int slot = 0; slot < 5; ++slot) control("chip " + std::to_string(slot) + " none");
  sim.Start();
  kulve_reader* handle = nullptr;
  ASSERT_EQ(kulve_open(sim.HostPath().c_str(), &handle), 0);
  const struct {
    int slot;
    const char *in, *out;
  } rows[] = {{KULVE_SLOT_MEMORY, "insert 1", "remove"},
              {KULVE_SLOT_CPU, "chip 0 3B00", "chip 0 none"},
              {KULVE_SLOT_SAM3, "chip 3 3B00", "chip 3 none"},
              {KULVE_SLOT_FIELD, "mifare add 01020304", "mifare clear"}};
  constexpr int kWatched = KULVE_SLOT_MEMORY | KULVE_SLOT_CPU | KULVE_SLOT_SAM3 | KULVE_SLOT_FIELD;
  int known = 0, present = -1;
  for (const bool in : {true, false}) {
    for (const auto& row : rows) {
      SCOPED_TRACE(in ? row.in : row.out);
      control(in ? row.in : row.out);
      ASSERT_EQ(kulve_wait_presence(handle, kWatched, known, kHangMs, &present), 0);
      EXPECT_EQ(present, in ? known | row.slot : known & ~row.slot);
      known = present;
    }
  }
  EXPECT_EQ(kulve_wait_presence(handle, kWatched, 0, 0, &present), KULVE_NO_CHANGE);
  EXPECT_EQ(present, 0);

  const std::uint64_t before = sim.ExchangeCount();
  for (const auto& [slots, timeout] : {std::pair{0, 0}, {0x80, 0}, {KULVE_SLOT_CPU, -1}, {KULVE_SLOT_CPU, 86400001}}) {
    EXPECT_EQ(kulve_wait_presence(handle, slots, 0, timeout, &present), KULVE_BAD_ARGUMENT);
  }
  EXPECT_EQ(kulve_wait_presence(handle, KULVE_SLOT_CPU, 0, 0, nullptr), KULVE_BAD_ARGUMENT);
  EXPECT_EQ(sim.ExchangeCount(), before);
  kulve_close(handle);
}

}  // namespace
}  // namespace kulve::test

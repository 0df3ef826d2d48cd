// SPDX-License-Identifier: MIT
// The presence wait against the simulated reader: a card put in or taken
// out of each kind of slot through the simulator's control channel is
// reported, a quiet reader gives KULVE_NO_CHANGE, and the line stays within
// the policy's pace while nothing changes.
#include <gtest/gtest.h>

#include <string>

#include "kulve32.h"
#include "sim/control.h"
#include "support/sim_fixture.h"

namespace kulve::test {
namespace {

class PresenceWaitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim_ = std::make_unique<sim::Simulator>(OverCurrentTransport());
    for (int slot = 0; slot < 5; ++slot) Control("chip " + std::to_string(slot) + " none");
    sim_->Start();
    ASSERT_EQ(kulve_open(sim_->HostPath().c_str(), &handle_), 0);
  }
  void TearDown() override { kulve_close(handle_); }
  void Control(const std::string& line) { ASSERT_EQ(sim::RunControlCommand(*sim_, line), "ok") << line; }

  std::unique_ptr<sim::Simulator> sim_;
  kulve_reader* handle_ = nullptr;
};

TEST_F(PresenceWaitTest, EachSlotKindReportsInsertionAndRemoval) {
  struct Row {
    int slot;
    const char* insert;
    const char* remove;
  };
  const Row rows[] = {
      {KULVE_SLOT_MEMORY, "insert 1", "remove"},
      {KULVE_SLOT_CPU, "chip 0 3B00", "chip 0 none"},
      {KULVE_SLOT_SAM3, "chip 3 3B00", "chip 3 none"},
      {KULVE_SLOT_FIELD, "mifare add 01020304", "mifare clear"},
  };
  constexpr int kWatched = KULVE_SLOT_MEMORY | KULVE_SLOT_CPU | KULVE_SLOT_SAM3 | KULVE_SLOT_FIELD;
  int known = kWatched;  // as if all were there: the first wait reports them gone
  int present = -1;
  ASSERT_EQ(kulve_wait_presence(handle_, kWatched, known, kHangMs, &present), 0);
  // Slots not yet probed keep the bits given; wait until every one was.
  while (present != 0) {
    known = present;
    ASSERT_EQ(kulve_wait_presence(handle_, kWatched, known, kHangMs, &present), 0);
  }
  known = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.insert);
    Control(row.insert);
    ASSERT_EQ(kulve_wait_presence(handle_, kWatched, known, kHangMs, &present), 0);
    EXPECT_EQ(present, known | row.slot);
    known = present;
  }
  for (const Row& row : rows) {
    SCOPED_TRACE(row.remove);
    Control(row.remove);
    ASSERT_EQ(kulve_wait_presence(handle_, kWatched, known, kHangMs, &present), 0);
    EXPECT_EQ(present, known & ~row.slot);
    known = present;
  }
  EXPECT_EQ(kulve_wait_presence(handle_, kWatched, 0, 0, &present), KULVE_NO_CHANGE);
  EXPECT_EQ(present, 0);
  EXPECT_STREQ(kulve_result_text(handle_, KULVE_NO_CHANGE),
               "no card came or went in the slots watched before the timeout");
}

// Nothing changes for 2 s: at most one exchange per 500 ms turn of the
// time that passed (the clock the policy uses), whatever the slots.
TEST_F(PresenceWaitTest, IdleTrafficKeepsThePace) {
  int present = 0;
  const std::uint64_t before = sim_->ExchangeCount();
  const long ms = TimedMs([&] {
    EXPECT_EQ(kulve_wait_presence(handle_, KULVE_SLOT_ALL, 0, 2000, &present), KULVE_NO_CHANGE);
  });
  const std::uint64_t exchanges = sim_->ExchangeCount() - before;
  EXPECT_GE(exchanges, 1u);
  EXPECT_LE(exchanges, static_cast<std::uint64_t>(ms / 500 + 1));
}

TEST_F(PresenceWaitTest, ArgumentsRefusedUnsent) {
  int present = 7;
  const std::uint64_t before = sim_->ExchangeCount();
  for (const auto& [slots, timeout] : {std::pair{0, 0}, {0x80, 0}, {KULVE_SLOT_CPU, -1}, {KULVE_SLOT_CPU, 86400001}}) {
    EXPECT_EQ(kulve_wait_presence(handle_, slots, 0, timeout, &present), KULVE_BAD_ARGUMENT);
    EXPECT_EQ(present, 0);
  }
  EXPECT_EQ(kulve_wait_presence(handle_, KULVE_SLOT_CPU, 0, 0, nullptr), KULVE_BAD_ARGUMENT);
  EXPECT_EQ(kulve_wait_presence(nullptr, KULVE_SLOT_CPU, 0, 0, &present), KULVE_BAD_ARGUMENT);
  EXPECT_EQ(sim_->ExchangeCount(), before);
}

}  // namespace
}  // namespace kulve::test

// SPDX-License-Identifier: MIT
// The probing policy over a minute of made-up time: no two probes closer
// than a turn, SAM probes 2 s apart, and every slot asked again within the
// bound kulve32.h promises for the slots named.
#include <gtest/gtest.h>

#include <map>

#include "device/presence_policy.h"
#include "kulve32.h"

namespace kulve::test {
namespace {

using Clock = PresencePolicy::Clock;
using std::chrono::milliseconds;

TEST(PresencePolicy, PaceAndLongestGapPerSlot) {
  struct Case {
    int slots;
    milliseconds frequentBound, samBound;
  };
  const Case cases[] = {
      {KULVE_SLOT_MEMORY, milliseconds(500), {}},
      {KULVE_SLOT_MEMORY | KULVE_SLOT_SAM1, milliseconds(1000), milliseconds(2000)},
      {KULVE_SLOT_FIELD | KULVE_SLOT_CPU | KULVE_SLOT_SAM2, milliseconds(1500), milliseconds(2000)},
      {KULVE_SLOT_ALL, milliseconds(2000), milliseconds(8000)},
      {KULVE_SLOT_SAMS, {}, milliseconds(8000)},
  };
  for (const Case& c : cases) {
    PresencePolicy policy;
    std::map<int, Clock::time_point> last;
    std::map<int, Clock::duration> longest;
    Clock::time_point lastProbe{}, lastSam{};
    const Clock::time_point start{};
    for (Clock::time_point now = start; now < start + std::chrono::minutes(1);) {
      Clock::duration wait{};
      const int slot = policy.Next(c.slots, now, wait);
      if (slot != 0) {
        ASSERT_NE(slot & c.slots, 0) << c.slots;
        if (now != start) {
          EXPECT_GE(now - lastProbe, PresencePolicy::kTurn) << c.slots;
        }
        if ((slot & KULVE_SLOT_SAMS) != 0 && lastSam != start) {
          EXPECT_GE(now - lastSam, milliseconds(2000)) << c.slots;
        }
        if (last.count(slot) != 0) longest[slot] = std::max(longest[slot], now - last[slot]);
        last[slot] = lastProbe = now;
        if ((slot & KULVE_SLOT_SAMS) != 0) lastSam = now;
      }
      now += wait;
    }
    for (int bit = 1; bit <= KULVE_SLOT_ALL; bit <<= 1) {
      if ((bit & c.slots) == 0) continue;
      const milliseconds bound = (bit & KULVE_SLOT_SAMS) != 0 ? c.samBound : c.frequentBound;
      ASSERT_NE(longest.count(bit), 0u) << c.slots << " slot " << bit << " never probed";
      EXPECT_LE(longest[bit], bound) << c.slots << " slot " << bit;
    }
  }
}

TEST(PresencePolicy, SeenKeepsTheCallersBitsUntilProbed) {
  PresencePolicy policy;
  policy.Record(KULVE_SLOT_FIELD, true);
  policy.Record(KULVE_SLOT_SAM1, false);
  EXPECT_EQ(policy.Seen(KULVE_SLOT_ALL, KULVE_SLOT_SAM1 | KULVE_SLOT_CPU),
            KULVE_SLOT_FIELD | KULVE_SLOT_CPU);
  EXPECT_EQ(policy.Seen(KULVE_SLOT_SAM1, KULVE_SLOT_ALL), 0);
}

}  // namespace
}  // namespace kulve::test

// SPDX-License-Identifier: MIT
// The probing policy over a minute of made-up time: its pace, and the longest
// gap per slot against what kulve32.h promises.
#include <gtest/gtest.h>

#include <map>

#include "device/presence_policy.h"
#include "kulve32.h"

namespace kulve::test {
namespace {

using std::chrono::milliseconds;

TEST(PresencePolicy, PaceAndLongestGapPerSlot) {
  const struct {
    int slots;
    milliseconds frequentBound, samBound;
  } cases[] = {{KULVE_SLOT_MEMORY, milliseconds(500), {}},
               {KULVE_SLOT_MEMORY | KULVE_SLOT_SAM1, milliseconds(1000), milliseconds(2000)},
               {KULVE_SLOT_FIELD | KULVE_SLOT_CPU | KULVE_SLOT_SAM2, milliseconds(1500), milliseconds(2000)},
               {KULVE_SLOT_ALL, milliseconds(2000), milliseconds(8000)},
               {KULVE_SLOT_SAMS, {}, milliseconds(8000)}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.slots);
    PresencePolicy policy;
    std::map<int, PresencePolicy::Clock::time_point> last;
    std::map<int, PresencePolicy::Clock::duration> longest;
    for (PresencePolicy::Clock::time_point now{}; now.time_since_epoch() < std::chrono::minutes(1);) {
      PresencePolicy::Clock::duration wait{};
      const int slot = policy.Next(c.slots, now, wait);
      if (slot != 0) {
        ASSERT_NE(slot & c.slots, 0);
        for (const auto& [other, at] : last) {
          const bool sams = (slot & KULVE_SLOT_SAMS) != 0 && (other & KULVE_SLOT_SAMS) != 0;
          EXPECT_GE(now - at, sams ? milliseconds(2000) : PresencePolicy::kTurn);
        }
        if (last.count(slot) != 0) longest[slot] = std::max(longest[slot], now - last[slot]);
        last[slot] = now;
      }
      now += wait;
    }
    for (int bit = 1; bit <= KULVE_SLOT_ALL; bit <<= 1) {
      if ((bit & c.slots) == 0) continue;
      ASSERT_NE(longest.count(bit), 0u) << "slot " << bit << " never probed";
      EXPECT_LE(longest[bit], (bit & KULVE_SLOT_SAMS) != 0 ? c.samBound : c.frequentBound) << "slot " << bit;
    }
  }
}

TEST(PresencePolicy, SeenKeepsTheCallersBitsUntilProbed) {
  PresencePolicy policy;
  policy.Record(KULVE_SLOT_FIELD, true);
  policy.Record(KULVE_SLOT_SAM1, false);
  EXPECT_EQ(policy.Seen(KULVE_SLOT_ALL, KULVE_SLOT_SAM1 | KULVE_SLOT_CPU), KULVE_SLOT_FIELD | KULVE_SLOT_CPU);
}

}  // namespace
}  // namespace kulve::test

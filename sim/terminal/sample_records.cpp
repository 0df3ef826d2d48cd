// SPDX-License-Identifier: MIT
#include "sim/terminal/sample_records.h"

#include <algorithm>
#include <tuple>
#include <vector>

namespace kulve::sim {
namespace {

// A small deterministic generator (splitmix64), seeded by day and badge.
class Dice {
 public:
  explicit Dice(std::uint64_t seed) : state_(seed) {}
  std::uint32_t Below(std::uint32_t n) { return static_cast<std::uint32_t>(Next() % n); }

 private:
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  std::uint64_t state_;
};

// One punch of a working day: the earliest minute of the day and how many
// minutes later it may come.
struct Punch {
  PunchKind kind;
  std::uint32_t earliest;
  std::uint32_t spread;
};
constexpr Punch kWorkingDay[] = {
    {PunchKind::kIn, 7 * 60 + 40, 50},
    {PunchKind::kOut, 12 * 60, 20},
    {PunchKind::kIn, 12 * 60 + 40, 30},
    {PunchKind::kOut, 16 * 60 + 30, 90},
};
constexpr std::uint32_t kAwayOneDayIn = 12;

AttendanceRecord At(std::uint32_t badge, std::uint16_t dayIndex, std::uint32_t minute, std::uint32_t second,
                    PunchKind kind) {
  return {badge, dayIndex, static_cast<std::uint8_t>(minute / 60), static_cast<std::uint8_t>(minute % 60),
          static_cast<std::uint8_t>(second), kind};
}

}  // namespace

void FillWithSampleRecords(AttendanceTerminal& terminal, int days) {
  terminal.EraseRecords();
  const std::uint32_t today = terminal.Today();
  for (int back = days; back >= 1; --back) {
    if (today <= static_cast<std::uint32_t>(back)) continue;  // before day 1
    const std::uint32_t dayNumber = today - static_cast<std::uint32_t>(back);
    const std::uint32_t dayIndex = dayNumber + kDayIndexOffset;
    if (dayIndex > kLastDayIndex || WeekdayOf(dayNumber) > 5) continue;
    std::vector<AttendanceRecord> day;
    for (std::uint32_t badge = kFirstSampleBadge; badge < kFirstSampleBadge + kSampleBadges; ++badge) {
      Dice dice(std::uint64_t{dayNumber} << 32 | badge);
      if (dice.Below(kAwayOneDayIn) == 0) continue;
      for (const Punch& punch : kWorkingDay) {
        const std::uint32_t minute = punch.earliest + dice.Below(punch.spread);
        day.push_back(At(badge, static_cast<std::uint16_t>(dayIndex), minute, dice.Below(60), punch.kind));
      }
    }
    std::stable_sort(day.begin(), day.end(), [](const AttendanceRecord& a, const AttendanceRecord& b) {
      return std::tie(a.hour, a.minute, a.second) < std::tie(b.hour, b.minute, b.second);
    });
    for (const AttendanceRecord& record : day) terminal.Add(record);
  }
}

}  // namespace kulve::sim

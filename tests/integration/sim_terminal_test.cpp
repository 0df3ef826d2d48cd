// SPDX-License-Identifier: MIT
// The simulated attendance terminal on its own: its calendar against the
// library's, its clock, its record store and its control commands.
#include <gtest/gtest.h>

#include <algorithm>

#include "attendance/dates.h"
#include "sim/attendance_commands.h"
#include "sim/control.h"
#include "sim/terminal/attendance_terminal.h"
#include "sim/terminal/sample_records.h"

namespace kulve::sim {
namespace {

// Two calendars written apart (closed form here, day loops in the library)
// must agree on every date and on the day index.
TEST(SimTerminalTest, CalendarAgreesWithTheLibraryOnEveryDate) {
  for (unsigned year = 0; year <= 255; ++year) {
    for (std::uint8_t month = 1; month <= 12; ++month) {
      const auto y = static_cast<std::uint8_t>(year);
      for (std::uint8_t day = 1; day <= DaysIn(y, month); ++day) {
        const TerminalDate date{y, month, day};
        const std::uint32_t n = DayNumberOf(date);
        ASSERT_EQ(n, kulve::DateToDayNumber(KqDate{y, month, day})) << year << "-" << int{month} << "-" << int{day};
        ASSERT_EQ(DateOfDayNumber(n), date) << n;
      }
    }
  }
  EXPECT_EQ(DaysIn(0, 2), kulve::DaysInMonth(0, 2));
  EXPECT_EQ(WeekdayOf(DayNumberOf({24, 6, 13})), 4);  // a Thursday
}

TEST(SimTerminalTest, ClockRunsWithTimeAndWrapsAfter256Years) {
  AttendanceTerminal::Clock::time_point now{};
  AttendanceTerminal terminal([&] { return now; });
  ASSERT_TRUE(terminal.SetTime({{255, 12, 31}, 23, 59, 58}));
  now += std::chrono::seconds(1);
  EXPECT_EQ(terminal.Time(), (TerminalTime{{255, 12, 31}, 23, 59, 59}));
  now += std::chrono::seconds(1);
  EXPECT_EQ(terminal.Time(), (TerminalTime{{0, 1, 1}, 0, 0, 0}));
  now += std::chrono::hours(24 * 59);
  EXPECT_EQ(terminal.Time().date, (TerminalDate{0, 2, 29}));

  for (const TerminalTime bad : {TerminalTime{{1, 2, 29}, 0, 0, 0}, TerminalTime{{0, 0, 1}, 0, 0, 0},
                                 TerminalTime{{0, 1, 0}, 0, 0, 0}, TerminalTime{{0, 1, 1}, 0, 60, 0}}) {
    EXPECT_FALSE(terminal.SetTime(bad));
  }
  EXPECT_EQ(terminal.Time().date, (TerminalDate{0, 2, 29}));
}

TEST(SimTerminalTest, DayPositionsAndReadsStayInsideTheStore) {
  AttendanceTerminal t;
  for (const std::uint16_t day : std::initializer_list<std::uint16_t>{100, 100, 102, 102, 102, 105}) {
    ASSERT_TRUE(t.Add({day, day, 8, 0, 0, PunchKind::kIn}));
  }
  EXPECT_FALSE(t.Add({1, 101, 8, 0, 0, PunchKind::kIn}));  // would go back in time
  struct Case {
    std::uint16_t day;
    std::uint32_t start, end;
  };
  for (const Case c : {Case{99, 0, 0}, Case{100, 0, 2}, Case{101, 2, 2}, Case{102, 2, 5}, Case{105, 5, 6},
                       Case{200, 6, 6}}) {
    EXPECT_EQ(t.StartOfDay(c.day), c.start) << c.day;
    EXPECT_EQ(t.EndOfDay(c.day), c.end) << c.day;
  }
  EXPECT_EQ(t.ReadRecords(4, 31).size(), 2 * AttendanceTerminal::kRecordSize);
  EXPECT_TRUE(t.ReadRecords(6, 1).empty());
  EXPECT_TRUE(t.ReadRecords(0xFFFFFF, 31).empty());
}

TEST(SimTerminalTest, SampleRecordsAreWorkingDaysInOrderAndRepeatable) {
  AttendanceTerminal::Clock::time_point now{};
  AttendanceTerminal a([&] { return now; }), b([&] { return now; });
  for (AttendanceTerminal* t : {&a, &b}) {
    t->SetTime({{24, 6, 14}, 9, 0, 0});
    FillWithSampleRecords(*t);
  }
  ASSERT_FALSE(a.Records().empty());
  EXPECT_EQ(a.Records(), b.Records());
  const std::uint32_t today = DayNumberOf({24, 6, 14});
  for (const AttendanceRecord& r : a.Records()) {
    const std::uint32_t day = r.dayIndex - kDayIndexOffset;
    EXPECT_LE(WeekdayOf(day), 5u);
    EXPECT_TRUE(day < today && day >= today - kSampleDays);
  }
  EXPECT_TRUE(std::is_sorted(a.Records().begin(), a.Records().end(), [](const auto& x, const auto& y) {
    return std::tie(x.dayIndex, x.hour, x.minute, x.second) < std::tie(y.dayIndex, y.hour, y.minute, y.second);
  }));
}

TEST(SimTerminalTest, ControlCommandsShowAndPunch) {
  Simulator sim;
  sim.WithState([](ReaderState& s) { TerminalOf(s).SetTime({{24, 6, 13}, 8, 0, 0}); });
  EXPECT_EQ(RunControlCommand(sim, "clock").rfind("clock 2024-06-13 08:0", 0), 0u);
  EXPECT_EQ(RunControlCommand(sim, "display"), "display \"READY           \"");
  EXPECT_EQ(RunControlCommand(sim, "punch 1042 in"), "ok");
  EXPECT_EQ(RunControlCommand(sim, "terminal"), "terminal records=1 transfer=0 ended=0");
  for (const char* bad : {"punch", "punch 1042", "punch x in", "punch -1 out", "punch 4294967296 in", "punch 1 up"}) {
    EXPECT_EQ(RunControlCommand(sim, bad).rfind("error:", 0), 0u) << bad;
  }
  EXPECT_EQ(RunControlCommand(sim, "fill"), "ok");
  EXPECT_NE(RunControlCommand(sim, "terminal"), "terminal records=1 transfer=0 ended=0");
}

}  // namespace
}  // namespace kulve::sim

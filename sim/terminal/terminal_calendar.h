// SPDX-License-Identifier: MIT
// The terminal's own calendar, worked out from the terminal's side.
//
// Dates are a year byte (year 0 = 2000), a month and a day; every fourth year
// byte is a leap year, with no century rule. Day number 1 is year 0, month 1,
// day 1 (a Saturday); the terminal files records under the day index
// day number + 365, a 16-bit value. The clock counts seconds from the start
// of day number 1 and wraps after 256 years.
#pragma once

#include <cstdint>

namespace kulve::sim {

struct TerminalDate {
  std::uint8_t year = 0;   // 0 = 2000
  std::uint8_t month = 1;  // 1..12
  std::uint8_t day = 1;    // 1..31
  bool operator==(const TerminalDate&) const = default;
};

struct TerminalTime {
  TerminalDate date;
  std::uint8_t hour = 0;
  std::uint8_t minute = 0;
  std::uint8_t second = 0;
  bool operator==(const TerminalTime&) const = default;
};

inline constexpr int kFirstCalendarYear = 2000;
inline constexpr std::uint32_t kDaysIn256Years = 93504;
inline constexpr std::uint32_t kSecondsPerDay = 86400;
inline constexpr std::uint32_t kDayIndexOffset = 365;
inline constexpr std::uint32_t kLastDayIndex = 0xFFFF;

std::uint8_t DaysIn(std::uint8_t year, std::uint8_t month);  // 0 for a month outside 1..12
bool IsRealDate(const TerminalDate& date);
bool IsRealTime(const TerminalTime& time);

// Day number of a real date (1 .. kDaysIn256Years).
std::uint32_t DayNumberOf(const TerminalDate& date);
// The date of day number n (1 .. kDaysIn256Years; larger numbers wrap).
TerminalDate DateOfDayNumber(std::uint32_t n);
// 1 = Monday .. 7 = Sunday.
std::uint8_t WeekdayOf(std::uint32_t dayNumber);

// Seconds since the start of day number 1, and back.
std::uint64_t SecondsOf(const TerminalTime& time);
TerminalTime TimeOfSeconds(std::uint64_t seconds);

}  // namespace kulve::sim

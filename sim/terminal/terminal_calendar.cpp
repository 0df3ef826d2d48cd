// SPDX-License-Identifier: MIT
// Closed-form arithmetic over four-year cycles (1461 days), independent of
// the host library's day-by-day loops, so each checks the other.
#include "sim/terminal/terminal_calendar.h"

#include <array>

namespace kulve::sim {
namespace {

constexpr std::uint32_t kDaysPerCycle = 4 * 365 + 1;
constexpr std::uint32_t kLeapYearDays = 366;
constexpr std::uint32_t kCommonYearDays = 365;
// Days before each month in a common year.
constexpr std::array<std::uint16_t, 13> kDaysBefore{0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365};
constexpr std::uint32_t kSaturday = 6;

bool IsLeap(std::uint8_t year) { return (year & 3) == 0; }

}  // namespace

std::uint8_t DaysIn(std::uint8_t year, std::uint8_t month) {
  if (month < 1 || month > 12) return 0;
  const auto days = static_cast<std::uint8_t>(kDaysBefore[month] - kDaysBefore[month - 1u]);
  return month == 2 && IsLeap(year) ? static_cast<std::uint8_t>(days + 1) : days;
}

bool IsRealDate(const TerminalDate& date) { return date.day >= 1 && date.day <= DaysIn(date.year, date.month); }

bool IsRealTime(const TerminalTime& time) {
  return IsRealDate(time.date) && time.hour < 24 && time.minute < 60 && time.second < 60;
}

std::uint32_t DayNumberOf(const TerminalDate& date) {
  const std::uint32_t year = date.year;
  const std::uint32_t leapDaysBefore = (year + 3) / 4;  // year 0 is the first leap year
  const std::uint32_t leapFebruary = IsLeap(date.year) && date.month > 2 ? 1 : 0;
  return year * kCommonYearDays + leapDaysBefore + kDaysBefore[date.month - 1u] + leapFebruary + date.day;
}

TerminalDate DateOfDayNumber(std::uint32_t n) {
  const std::uint32_t zeroBased = (n - 1) % kDaysIn256Years;
  const std::uint32_t cycle = zeroBased / kDaysPerCycle;
  std::uint32_t dayOfYear = zeroBased % kDaysPerCycle;  // of the cycle, until the year is known
  std::uint32_t yearOfCycle = 0;
  if (dayOfYear >= kLeapYearDays) {
    yearOfCycle = 1 + (dayOfYear - kLeapYearDays) / kCommonYearDays;
    dayOfYear = (dayOfYear - kLeapYearDays) % kCommonYearDays;
  }
  TerminalDate date;
  date.year = static_cast<std::uint8_t>(cycle * 4 + yearOfCycle);
  const auto firstDayOf = [&](std::uint32_t month) {
    return kDaysBefore[month - 1] + (IsLeap(date.year) && month > 2 ? 1u : 0u);
  };
  std::uint32_t month = 1;
  while (month < 12 && dayOfYear >= firstDayOf(month + 1)) ++month;
  date.month = static_cast<std::uint8_t>(month);
  date.day = static_cast<std::uint8_t>(dayOfYear - firstDayOf(month) + 1);
  return date;
}

std::uint8_t WeekdayOf(std::uint32_t dayNumber) {
  return static_cast<std::uint8_t>((dayNumber - 1 + kSaturday - 1) % 7 + 1);
}

std::uint64_t SecondsOf(const TerminalTime& time) {
  return std::uint64_t{DayNumberOf(time.date) - 1} * kSecondsPerDay + time.hour * 3600u + time.minute * 60u +
         time.second;
}

TerminalTime TimeOfSeconds(std::uint64_t seconds) {
  seconds %= std::uint64_t{kDaysIn256Years} * kSecondsPerDay;
  TerminalTime time;
  time.date = DateOfDayNumber(static_cast<std::uint32_t>(seconds / kSecondsPerDay) + 1);
  const auto ofDay = static_cast<std::uint32_t>(seconds % kSecondsPerDay);
  time.hour = static_cast<std::uint8_t>(ofDay / 3600);
  time.minute = static_cast<std::uint8_t>(ofDay / 60 % 60);
  time.second = static_cast<std::uint8_t>(ofDay % 60);
  return time;
}

}  // namespace kulve::sim

// SPDX-License-Identifier: MIT
#include "attendance/dates.h"

#include <array>

namespace kulve {
namespace {

constexpr std::array<std::uint8_t, 12> kMonthLengths{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
constexpr std::uint8_t kFebruary = 2;
constexpr std::uint32_t kIndexOffset = 365;  // the terminal's index starts a (common) year before day 1

constexpr bool IsLeap(std::uint8_t year) { return year % 4 == 0; }

}  // namespace

std::uint8_t DaysInMonth(std::uint8_t year, std::uint8_t month) {
  if (month == 0 || month > kMonthLengths.size()) return 1;
  if (month == kFebruary) return IsLeap(year) ? 29 : 28;
  return kMonthLengths[month - 1u];
}

std::uint32_t DaysInYear(std::uint8_t year) { return IsLeap(year) ? 366 : 365; }

std::uint32_t DateToDayNumber(const KqDate& date) {
  std::uint32_t days = 0;
  for (unsigned year = 0; year < date.year; ++year) days += DaysInYear(static_cast<std::uint8_t>(year));
  for (unsigned month = 1; month < date.month; ++month) {
    days += DaysInMonth(date.year, static_cast<std::uint8_t>(month));
  }
  return days + date.day;
}

KqDate DayNumberToDate(std::uint32_t dayNumber) {
  KqDate date{0, 1, 0};
  for (std::uint32_t length = DaysInYear(date.year); dayNumber > length; length = DaysInYear(date.year)) {
    dayNumber -= length;
    ++date.year;  // a byte: after 255 comes 0
  }
  // What is left is at most the year's length, which the twelve months add
  // up to exactly, so this stops by month 12.
  for (std::uint32_t length = DaysInMonth(date.year, date.month); dayNumber > length;
       length = DaysInMonth(date.year, date.month)) {
    dayNumber -= length;
    ++date.month;
  }
  date.day = static_cast<std::uint8_t>(dayNumber);
  return date;
}

std::uint16_t TerminalDayIndex(const KqDate& date) {
  return static_cast<std::uint16_t>((DateToDayNumber(date) + kIndexOffset) & 0xFFFF);
}

int KqDaysbyte(const KqDate* date) {
  if (date == nullptr) return 0;
  return static_cast<int>(DateToDayNumber(*date));
}

int KqDatebyte(std::int32_t dayNumber, KqDate* date) {
  if (date == nullptr) return KULVE_BAD_ARGUMENT;
  *date = DayNumberToDate(static_cast<std::uint32_t>(dayNumber));
  return 0;
}

}  // namespace kulve

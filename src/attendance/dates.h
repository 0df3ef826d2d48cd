// SPDX-License-Identifier: MIT
// The terminal's calendar: dates as year byte, month and day, day numbers
// counted from year 0, month 1, day 1 (day 1), and the 16-bit day index the
// terminal files its records under. Every fourth year byte (0, 4, .. 252) is
// a leap year; there is no century rule. Pure arithmetic, no state.
#pragma once

#include <cstdint>

#include "kulve32.h"

namespace kulve {

// Days in the month: the length from the month list (February 29 in leap
// years), and 1 for a month of 0 or above 12.
std::uint8_t DaysInMonth(std::uint8_t year, std::uint8_t month);

// 366 for leap years, else 365.
std::uint32_t DaysInYear(std::uint8_t year);

// Days from year 0, month 1, day 1 (= 1) to the date. No field is checked:
// month 0 counts as month 1, months above 12 add one day each beyond the
// year, and a day past its month's end is simply added.
std::uint32_t DateToDayNumber(const KqDate& date);

// The inverse for every real date; day number 0 gives year 0, month 1, day 0.
// The year byte wraps after 255, so the result repeats every 93504 days.
KqDate DayNumberToDate(std::uint32_t dayNumber);

// The index the terminal files a day's records under: day number + 365,
// of which only the low 16 bits go on the wire.
std::uint16_t TerminalDayIndex(const KqDate& date);

// The exported forms: KQ_Daysbyte (0 for a null date) and KQ_Datebyte
// (0, or 4 for a null date).
int KqDaysbyte(const KqDate* date);
int KqDatebyte(std::int32_t dayNumber, KqDate* date);

}  // namespace kulve

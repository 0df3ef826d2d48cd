// SPDX-License-Identifier: MIT
// The terminal's calendar from any date and day number. The day number of
// a date is fixed by how it changes from one date to the next (the rules in
// kulve32.h, unchecked fields included); a day number's date must be a real
// date that counts back to the same day number within the year byte's cycle.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>

#include "attendance/dates.h"
#include "fuzz/fuzz_session.h"

namespace {

constexpr std::uint32_t kCycleDays = 93504;  // 256 years of which 64 are leap years

std::uint32_t Days(std::uint8_t year, std::uint8_t month, std::uint8_t day) {
  return kulve::DateToDayNumber(KqDate{year, month, day});
}

bool Leap(std::uint8_t year) { return year % 4 == 0; }

std::uint32_t MonthLength(std::uint8_t year, std::uint8_t month) {
  constexpr std::uint8_t kLengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month == 2 && Leap(year)) return 29;
  return kLengths[month - 1];
}

void DateSteps(std::uint8_t y, std::uint8_t m, std::uint8_t d) {
  FUZZ_CHECK(Days(0, 1, 1) == 1);
  if (d < 255) FUZZ_CHECK(Days(y, m, d + 1) == Days(y, m, d) + 1);
  if (y < 255) FUZZ_CHECK(Days(y + 1, 1, d) == Days(y, 1, d) + (Leap(y) ? 366 : 365));
  FUZZ_CHECK(Days(y, 0, d) == Days(y, 1, d));  // month 0 counts as January
  if (m >= 1 && m <= 12) FUZZ_CHECK(Days(y, m + 1, d) == Days(y, m, d) + MonthLength(y, m));
  if (m > 12 && m < 255) FUZZ_CHECK(Days(y, m + 1, d) == Days(y, m, d) + 1);  // one day per month past December
  const KqDate date{y, m, d};
  FUZZ_CHECK(kulve::TerminalDayIndex(date) == ((kulve::DateToDayNumber(date) + 365) & 0xFFFF));
}

void DayNumber(std::uint32_t n) {
  const KqDate date = kulve::DayNumberToDate(n);
  if (n == 0) {
    FUZZ_CHECK(date.year == 0 && date.month == 1 && date.day == 0);
    return;
  }
  FUZZ_CHECK(date.month >= 1 && date.month <= 12 && date.day >= 1 && date.day <= MonthLength(date.year, date.month));
  FUZZ_CHECK(kulve::DateToDayNumber(date) == (n - 1) % kCycleDays + 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const auto y = input.ConsumeIntegral<std::uint8_t>();
  const auto m = input.ConsumeIntegral<std::uint8_t>();
  const auto d = input.ConsumeIntegral<std::uint8_t>();
  DateSteps(y, m, d);
  // Mostly within a few cycles: a far day number takes milliseconds (the
  // years are counted one by one), and a few of them show the wrap as well.
  const bool far = input.ConsumeIntegralInRange<int>(0, 255) == 0;
  const auto n = far ? input.ConsumeIntegral<std::uint32_t>() : input.ConsumeIntegralInRange<std::uint32_t>(0, 3 * kCycleDays);
  DayNumber(n);
  return 0;
}

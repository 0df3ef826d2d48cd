// SPDX-License-Identifier: MIT
// The terminal's calendar: day numbers, their inverse, the day index, and the
// two exported date functions.
#include <gtest/gtest.h>

#include <cstdint>

#include "attendance/dates.h"
#include "kulve32.h"

namespace kulve::test {
namespace {

bool operator==(const KqDate& a, const KqDate& b) { return a.year == b.year && a.month == b.month && a.day == b.day; }

std::string Text(const KqDate& d) {
  return std::to_string(d.year) + "-" + std::to_string(d.month) + "-" + std::to_string(d.day);
}

TEST(AttendanceDatesTest, WorkedValuesAndTheirIndexBytes) {
  struct Case {
    KqDate date;
    std::uint32_t dayNumber;
    std::uint8_t low, high;
  };
  const Case cases[] = {
      {{0, 1, 1}, 1, 0x6E, 0x01},      {{0, 2, 29}, 60, 0xA9, 0x01},   {{0, 12, 31}, 366, 0xDB, 0x02},
      {{1, 1, 1}, 367, 0xDC, 0x02},    {{3, 12, 31}, 1461, 0x22, 0x07}, {{4, 3, 1}, 1522, 0x5F, 0x07},
      {{4, 6, 13}, 1626, 0xC7, 0x07},
      {{255, 12, 31}, 93504, 0xAD, 0x6E},  // index 93869: only its low 16 bits go out
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DateToDayNumber(c.date), c.dayNumber) << Text(c.date);
    EXPECT_EQ(KQ_Daysbyte(&c.date), static_cast<int>(c.dayNumber)) << Text(c.date);
    const std::uint16_t index = TerminalDayIndex(c.date);
    EXPECT_EQ(index & 0xFF, c.low) << Text(c.date);
    EXPECT_EQ(index >> 8, c.high) << Text(c.date);
  }
}

TEST(AttendanceDatesTest, UncheckedFieldsCountAsTheyFall) {
  const std::pair<KqDate, int> cases[] = {
      {{0, 1, 0}, 0}, {{0, 0, 5}, 5}, {{0, 13, 1}, 367}, {{0, 14, 1}, 368}, {{1, 2, 31}, 366 + 31 + 31},
  };
  for (const auto& [date, days] : cases) EXPECT_EQ(KQ_Daysbyte(&date), days) << Text(date);
}

TEST(AttendanceDatesTest, MonthLengthsFollowTheYearByte) {
  const std::uint8_t common[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  for (std::uint8_t month = 1; month <= 12; ++month) {
    EXPECT_EQ(DaysInMonth(3, month), common[month - 1]) << int{month};
    EXPECT_EQ(DaysInMonth(252, month), month == 2 ? 29 : common[month - 1]) << int{month};
  }
  for (int month : {0, 13, 200, 255}) EXPECT_EQ(DaysInMonth(0, static_cast<std::uint8_t>(month)), 1) << month;
  // No century rule: year bytes 100 and 200 are leap years like any fourth one.
  for (int year : {0, 4, 100, 200, 252}) EXPECT_EQ(DaysInYear(static_cast<std::uint8_t>(year)), 366u) << year;
  for (int year : {1, 2, 3, 99, 255}) EXPECT_EQ(DaysInYear(static_cast<std::uint8_t>(year)), 365u) << year;
}

TEST(AttendanceDatesTest, DayNumbersBackToDatesWithTheYearByteWrapping) {
  const std::pair<std::uint32_t, KqDate> cases[] = {
      {0, {0, 1, 0}},       {60, {0, 2, 29}},       {61, {0, 3, 1}},   {366, {0, 12, 31}},
      {425, {1, 2, 28}},    {426, {1, 3, 1}},       {93504, {255, 12, 31}}, {93505, {0, 1, 1}},
      {93504 + 60, {0, 2, 29}},
  };
  for (const auto& [n, date] : cases) {
    KqDate out{9, 9, 9};
    EXPECT_EQ(KQ_Datebyte(static_cast<int>(n), &out), 0) << n;
    EXPECT_TRUE(out == date) << n << " gave " << Text(out);
  }
  // A negative day number is a large unsigned one: whole 256-year spans drop out.
  for (const int n : {-1, -93504, INT32_MIN}) {
    KqDate out{};
    EXPECT_EQ(KQ_Datebyte(n, &out), 0);
    const std::uint32_t u = static_cast<std::uint32_t>(n);
    EXPECT_TRUE(out == DayNumberToDate((u - 1) % 93504 + 1)) << n << " gave " << Text(out);
  }
}

// Every real date converts to the next day number after the date before it,
// and back to itself.
TEST(AttendanceDatesTest, EveryDateRoundTrips) {
  std::uint32_t expected = 1;
  for (unsigned year = 0; year <= 255; ++year) {
    for (std::uint8_t month = 1; month <= 12; ++month) {
      const auto y = static_cast<std::uint8_t>(year);
      for (std::uint8_t day = 1; day <= DaysInMonth(y, month); ++day, ++expected) {
        const KqDate date{y, month, day};
        ASSERT_EQ(DateToDayNumber(date), expected) << Text(date);
        ASSERT_TRUE(DayNumberToDate(expected) == date) << expected;
      }
    }
  }
  EXPECT_EQ(expected - 1, 93504u);
}

TEST(AttendanceDatesTest, NullDatesAreHandled) {
  EXPECT_EQ(KQ_Daysbyte(nullptr), 0);
  EXPECT_EQ(KQ_Datebyte(5, nullptr), KULVE_BAD_ARGUMENT);
}

}  // namespace
}  // namespace kulve::test

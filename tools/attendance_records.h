// SPDX-License-Identifier: MIT
// The attendance terminal as the kulve tool reads it: calendar dates for the
// year bytes (year byte 0 = 2000), the clock's seven bytes, and records read
// day by day through the day's start and end positions.
//
// The terminal's bytes are read as the simulated terminal lays them out (see
// the attendance section of kulve32.h): clock bytes year, month, day, hour,
// minute, second, weekday; positions of 24 bits; records of 8 bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kulve32.h"

namespace kulve::tool {

inline constexpr int kYearOfYearByteZero = 2000;
inline constexpr std::size_t kRecordBytes = 8;
inline constexpr int kRecordsPerRead = 31;

// "2024-06-13" for year byte 24; nullopt unless a real date of 2000..2255
// (in the terminal's calendar, where every fourth year is a leap year).
std::optional<KqDate> ParseDate(std::string_view text);
std::string FormatDate(const KqDate& date);
// "08:02:11" to hour, minute and second.
std::optional<KqTime> ParseTimeOfDay(std::string_view text, KqTime time);

// A clock value from its seven bytes: "2024-06-13 08:02:11 Thursday".
std::string FormatClock(const KqTime& time);
// The clock bytes for a date and time of day, with the weekday worked out.
KqTime ClockBytes(const KqDate& date, int hour, int minute, int second);

struct RecordRow {
  KqDate date;
  std::uint32_t badge;
  std::uint8_t hour, minute, second;
  std::uint8_t kind;  // 1 in, 2 out
};

// Reads the records of every day from `from` to `to` (inclusive); returns the
// result of the first exchange that failed, else 0.
int ReadRecordsOfDays(const KqDate& from, const KqDate& to, std::vector<RecordRow>& rows);

// A table with a header line, or CSV ("date,time,badge,kind").
std::string FormatRecords(const std::vector<RecordRow>& rows, bool csv);

}  // namespace kulve::tool

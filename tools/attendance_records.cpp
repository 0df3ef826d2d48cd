// SPDX-License-Identifier: MIT
#include "tools/attendance_records.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>

namespace kulve::tool {
namespace {

constexpr std::array<const char*, 7> kWeekdays{"Monday", "Tuesday", "Wednesday", "Thursday",
                                               "Friday", "Saturday", "Sunday"};
constexpr int kSaturday = 6;  // the weekday of year byte 0, month 1, day 1 (2000-01-01)

std::optional<int> Number(std::string_view text, std::size_t digits) {
  int value = 0;
  if (text.size() != digits) return std::nullopt;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  return value;
}

int WeekdayOf(const KqDate& date) { return (KQ_Daysbyte(&date) - 1 + kSaturday - 1) % 7 + 1; }

int Position(int first, const unsigned char* low) { return first << 16 | low[1] << 8 | low[0]; }

}  // namespace

std::optional<KqDate> ParseDate(std::string_view text) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
  const auto year = Number(text.substr(0, 4), 4);
  const auto month = Number(text.substr(5, 2), 2);
  const auto day = Number(text.substr(8, 2), 2);
  if (!year || !month || !day || *year < kYearOfYearByteZero || *year > kYearOfYearByteZero + 255) return std::nullopt;
  if (*month < 1 || *month > 12 || *day < 1 || *day > 31) return std::nullopt;
  const KqDate date{static_cast<unsigned char>(*year - kYearOfYearByteZero), static_cast<unsigned char>(*month),
                    static_cast<unsigned char>(*day)};
  // A real date comes back from its day number unchanged; 2023-02-29 does not.
  KqDate back{};
  KQ_Datebyte(KQ_Daysbyte(&date), &back);
  if (back.year != date.year || back.month != date.month || back.day != date.day) return std::nullopt;
  return date;
}

std::string FormatDate(const KqDate& date) {
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", kYearOfYearByteZero + date.year, date.month, date.day);
  return text;
}

std::optional<KqTime> ParseTimeOfDay(std::string_view text, KqTime time) {
  if (text.size() != 8 || text[2] != ':' || text[5] != ':') return std::nullopt;
  const auto hour = Number(text.substr(0, 2), 2);
  const auto minute = Number(text.substr(3, 2), 2);
  const auto second = Number(text.substr(6, 2), 2);
  if (!hour || !minute || !second || *hour > 23 || *minute > 59 || *second > 59) return std::nullopt;
  time.field[3] = *hour;
  time.field[4] = *minute;
  time.field[5] = *second;
  return time;
}

std::string FormatClock(const KqTime& t) {
  char text[80];
  const int weekday = t.field[6];
  const std::string day = weekday >= 1 && weekday <= 7 ? kWeekdays[static_cast<std::size_t>(weekday - 1)]
                                                       : "weekday " + std::to_string(weekday);
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d %s", kYearOfYearByteZero + t.field[0], t.field[1],
                t.field[2], t.field[3], t.field[4], t.field[5], day.c_str());
  return text;
}

KqTime ClockBytes(const KqDate& date, int hour, int minute, int second) {
  return KqTime{{date.year, date.month, date.day, hour, minute, second, WeekdayOf(date)}};
}

int ReadRecordsOfDays(const KqDate& from, const KqDate& to, std::vector<RecordRow>& rows) {
  std::array<unsigned char, 255> buffer{};
  for (int dayNumber = KQ_Daysbyte(&from); dayNumber <= KQ_Daysbyte(&to); ++dayNumber) {
    KqDate date{};
    KQ_Datebyte(dayNumber, &date);
    const int day[3] = {date.year, date.month, date.day};
    int startFirst = 0, endFirst = 0;
    unsigned char startLow[4] = {}, endLow[4] = {};
    if (const int r = KQ_GetStartPos(day, &startFirst, startLow); r != 0) return r;
    if (const int r = KQ_GetEndPos(day, &endFirst, endLow); r != 0) return r;
    const int end = Position(endFirst, endLow);
    for (int at = Position(startFirst, startLow); at < end;) {
      const int n = std::min(end - at, kRecordsPerRead);
      // The export does not say how many bytes came; a kind of 0 marks a
      // record the terminal did not send.
      buffer.fill(0);
      if (const int r = KQ_ReadRecord(at >> 16, at & 0xFFFF, n, buffer.data()); r != 0) return r;
      for (std::size_t i = 0; i < static_cast<std::size_t>(n); ++i) {
        const unsigned char* b = buffer.data() + i * kRecordBytes;
        if (b[7] == 0) {
          std::fprintf(stderr, "kulve: the terminal sent %zu of %d records at position %d\n", i, n, at);
          break;
        }
        rows.push_back({date, static_cast<std::uint32_t>(b[0] | b[1] << 8 | b[2] << 16) | std::uint32_t{b[3]} << 24,
                        b[4], b[5], b[6], b[7]});
      }
      at += n;
    }
  }
  return 0;
}

std::string FormatRecords(const std::vector<RecordRow>& rows, bool csv) {
  std::string out = csv ? "date,time,badge,kind\n" : "date        time          badge  kind\n";
  for (const RecordRow& r : rows) {
    const char* kind = r.kind == 1 ? "in" : r.kind == 2 ? "out" : "?";
    char line[96];
    std::snprintf(line, sizeof line, csv ? "%s,%02d:%02d:%02d,%u,%s\n" : "%s  %02d:%02d:%02d  %10u  %s\n",
                  FormatDate(r.date).c_str(), r.hour, r.minute, r.second, r.badge, kind);
    out += line;
  }
  return out;
}

}  // namespace kulve::tool

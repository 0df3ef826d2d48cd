// SPDX-License-Identifier: MIT
#include "sim/terminal/attendance_terminal.h"

#include <algorithm>
#include <ctime>
#include <tuple>

namespace kulve::sim {
namespace {

TerminalTime HostLocalTime() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  if (::localtime_r(&now, &local) == nullptr) return {};
  const int year = local.tm_year + 1900 - kFirstCalendarYear;
  if (year < 0 || year > 255) return {};
  TerminalTime time;
  time.date = {static_cast<std::uint8_t>(year), static_cast<std::uint8_t>(local.tm_mon + 1),
               static_cast<std::uint8_t>(local.tm_mday)};
  time.hour = static_cast<std::uint8_t>(local.tm_hour);
  time.minute = static_cast<std::uint8_t>(local.tm_min);
  time.second = static_cast<std::uint8_t>(std::min(local.tm_sec, 59));  // a leap second shows as :59
  return time;
}

auto Key(const AttendanceRecord& r) { return std::tuple(r.dayIndex, r.hour, r.minute, r.second); }

}  // namespace

AttendanceTerminal::AttendanceTerminal(Now now) : now_(std::move(now)) {
  secondsAtSet_ = SecondsOf(HostLocalTime());
  setAt_ = now_();
}

TerminalTime AttendanceTerminal::Time() const {
  const auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(now_() - setAt_).count();
  return TimeOfSeconds(secondsAtSet_ + static_cast<std::uint64_t>(std::max<std::int64_t>(elapsed, 0)));
}

std::uint32_t AttendanceTerminal::Today() const { return DayNumberOf(Time().date); }

bool AttendanceTerminal::SetTime(const TerminalTime& time) {
  if (!IsRealTime(time)) return false;
  secondsAtSet_ = SecondsOf(time);
  setAt_ = now_();
  return true;
}

bool AttendanceTerminal::Add(const AttendanceRecord& record) {
  if (record.dayIndex == 0 || records_.size() >= kCapacity) return false;
  if (!records_.empty() && Key(record) < Key(records_.back())) return false;
  records_.push_back(record);
  return true;
}

bool AttendanceTerminal::Punch(std::uint32_t badge, PunchKind kind) {
  const TerminalTime time = Time();
  const std::uint32_t index = DayNumberOf(time.date) + kDayIndexOffset;
  if (index > kLastDayIndex) return false;
  return Add({badge, static_cast<std::uint16_t>(index), time.hour, time.minute, time.second, kind});
}

std::uint32_t AttendanceTerminal::StartOfDay(std::uint16_t dayIndex) const {
  const auto it = std::partition_point(records_.begin(), records_.end(),
                                       [&](const AttendanceRecord& r) { return r.dayIndex < dayIndex; });
  return static_cast<std::uint32_t>(it - records_.begin());
}

std::uint32_t AttendanceTerminal::EndOfDay(std::uint16_t dayIndex) const {
  const auto it = std::partition_point(records_.begin(), records_.end(),
                                       [&](const AttendanceRecord& r) { return r.dayIndex <= dayIndex; });
  return static_cast<std::uint32_t>(it - records_.begin());
}

std::vector<std::uint8_t> AttendanceTerminal::ReadRecords(std::uint32_t position, std::size_t count) const {
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = position; i < records_.size() && i < position + count; ++i) {
    const AttendanceRecord& r = records_[i];
    bytes.insert(bytes.end(), {static_cast<std::uint8_t>(r.badge), static_cast<std::uint8_t>(r.badge >> 8),
                               static_cast<std::uint8_t>(r.badge >> 16), static_cast<std::uint8_t>(r.badge >> 24),
                               r.hour, r.minute, r.second, static_cast<std::uint8_t>(r.kind)});
  }
  return bytes;
}

}  // namespace kulve::sim

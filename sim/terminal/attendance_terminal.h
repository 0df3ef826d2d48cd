// SPDX-License-Identifier: MIT
// The attendance terminal that answers on the simulated reader's link: a
// clock that runs, a store of attendance records filed by day, a 16-character
// display, passwords by kind, and the state of a record transfer. The wire
// layouts of its commands are in sim/attendance_commands.h.
//
// Records are kept in the order they were made, which is day and time order.
// A record's position is its number in the store (0 = the oldest), 24 bits
// on the wire. Each record goes out as 8 bytes:
//   badge number (4 bytes, least significant first), hour, minute, second,
//   kind (1 = in, 2 = out).
// The day a record belongs to is not in those bytes: the host finds a day's
// records through the day's start and end positions.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <vector>

#include "sim/terminal/terminal_calendar.h"

namespace kulve::sim {

enum class PunchKind : std::uint8_t { kIn = 1, kOut = 2 };

struct AttendanceRecord {
  std::uint32_t badge = 0;
  std::uint16_t dayIndex = 0;  // day number + 365
  std::uint8_t hour = 0;
  std::uint8_t minute = 0;
  std::uint8_t second = 0;
  PunchKind kind = PunchKind::kIn;
  bool operator==(const AttendanceRecord&) const = default;
};

class AttendanceTerminal {
 public:
  using Clock = std::chrono::steady_clock;
  using Now = std::function<Clock::time_point()>;

  static constexpr std::size_t kRecordSize = 8;
  static constexpr std::size_t kMaxRecordsPerRead = 31;  // 248 bytes, inside one reply
  static constexpr std::uint32_t kCapacity = 1u << 24;   // positions are 24 bits on the wire
  static constexpr std::size_t kDisplaySize = 16;
  static constexpr std::array<std::uint8_t, kDisplaySize> kIdleText{'R', 'E', 'A', 'D', 'Y', ' ', ' ', ' ',
                                                                    ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};

  // The clock starts at the host's local time (2000-01-01 if the host's year
  // is outside 2000..2255) and runs with `now`.
  explicit AttendanceTerminal(Now now = Clock::now);

  // Clock.
  TerminalTime Time() const;
  std::uint32_t Today() const;  // the clock's day number
  // False (and no change) unless the time is a real date and time of day.
  bool SetTime(const TerminalTime& time);

  // Record store.
  const std::vector<AttendanceRecord>& Records() const { return records_; }
  std::uint32_t CurrentPosition() const { return static_cast<std::uint32_t>(records_.size()); }
  // Appends a record; false when it would go before the last one in time,
  // its day index is 0 or the store is full.
  bool Add(const AttendanceRecord& record);
  // A record at the clock's time; false when it cannot be filed.
  bool Punch(std::uint32_t badge, PunchKind kind);
  // The first record of the day with this index, or of a later day (the
  // current position when there is none).
  std::uint32_t StartOfDay(std::uint16_t dayIndex) const;
  // One past the last record of the day with this index or an earlier day.
  std::uint32_t EndOfDay(std::uint16_t dayIndex) const;
  // Up to `count` records from `position`, 8 bytes each; fewer at the end of
  // the store, none past it.
  std::vector<std::uint8_t> ReadRecords(std::uint32_t position, std::size_t count) const;
  void EraseRecords() { records_.clear(); }

  // Display, passwords and transfers.
  std::array<std::uint8_t, kDisplaySize> display = kIdleText;
  std::map<std::uint8_t, std::vector<std::uint8_t>> passwords;
  bool transferOpen = false;       // records read since the last end of transfer
  std::uint32_t transfersEnded = 0;

 private:
  Now now_;
  std::uint64_t secondsAtSet_ = 0;  // terminal seconds when last set
  Clock::time_point setAt_;
  std::vector<AttendanceRecord> records_;
};

}  // namespace kulve::sim

// SPDX-License-Identifier: MIT
// A few weeks of made-up attendance for the simulated terminal.
#pragma once

#include <cstdint>

#include "sim/terminal/attendance_terminal.h"

namespace kulve::sim {

inline constexpr int kSampleDays = 21;
inline constexpr std::uint32_t kFirstSampleBadge = 1001;
inline constexpr std::uint32_t kSampleBadges = 12;

// Empties the store and files records for the `days` days before the
// terminal's current date: on working days (Monday to Friday) each of
// twelve badges (1001..1012) comes in, leaves for lunch, comes back and
// leaves, and now and then a badge is away all day. The records depend only
// on the dates, so the same days always get the same records.
void FillWithSampleRecords(AttendanceTerminal& terminal, int days = kSampleDays);

}  // namespace kulve::sim

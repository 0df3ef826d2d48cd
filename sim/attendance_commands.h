// SPDX-License-Identifier: MIT
// The attendance terminal's commands, served by the terminal on the reader's
// link (sim/terminal/attendance_terminal.h has the terminal, its clock and
// its record store). They need no card and no power.
//
// A request whose data does not fit its layout is refused with kBadLength, a
// value the terminal cannot take with kBadParameter. 16-bit values are least
// significant byte first. A position is 3 bytes: bits 16..23 of the record
// number, then bits 0..7 and 8..15. Refusals carry no data.
//
// Code  Request data                       Reply data (status 0)
// 0x01  none                               none; ends a record transfer
// 0xC1  none                               7 clock bytes: year (0 = 2000), month, day,
//                                          hour, minute, second, weekday (1 Monday .. 7 Sunday)
// 0xC2  the 7 clock bytes                  none; the weekday byte is not used (the
//                                          terminal works it out); kBadParameter
//                                          unless a real date and time of day
// 0xC3  none                               the current position (where the next record goes)
// 0xC4  day index (2 bytes)                the position of the day's first record; with
//                                          none that day, of the next later record
// 0xC5  day index (2 bytes)                the position after the day's last record
//                                          (equal to 0xC4's answer for a day without records)
// 0xC6  position (3 bytes), count 1..31    up to count records of 8 bytes from the
//                                          position; fewer at the end of the store,
//                                          none from the current position on; opens a transfer
// 0xC7  none                               none; empties the record store
// 0xC8  16 display bytes                   none; the display shows them
// 0xC9  sub, request bytes                 sub 0: the request bytes back;
//                                          sub 1: the terminal's 8-byte identity;
//                                          other subs: kUnknownSub
// 0xCA  kind, password                     none; kind 1 takes 4 bytes, kinds 2..4
//                                          take 6; other kinds kBadParameter
#pragma once

#include "sim/firmware.h"

namespace kulve::sim {

class AttendanceTerminal;

namespace terminal_code {
inline constexpr std::uint8_t kEndTransfer = 0x01;
inline constexpr std::uint8_t kGetTime = 0xC1;
inline constexpr std::uint8_t kSetTime = 0xC2;
inline constexpr std::uint8_t kCurrentPosition = 0xC3;
inline constexpr std::uint8_t kStartPosition = 0xC4;
inline constexpr std::uint8_t kEndPosition = 0xC5;
inline constexpr std::uint8_t kReadRecords = 0xC6;
inline constexpr std::uint8_t kSystemInit = 0xC7;
inline constexpr std::uint8_t kDisplay = 0xC8;
inline constexpr std::uint8_t kPassThrough = 0xC9;
inline constexpr std::uint8_t kDownloadPassword = 0xCA;
}  // namespace terminal_code

// Reader statuses of the terminal, beside those of firmware.h.
namespace terminal_status {
inline constexpr std::uint8_t kUnknownSub = 0xE0;  // a pass-through sub the terminal does not know
}  // namespace terminal_status

// Pass-through subs and what the identity sub answers.
namespace terminal_sub {
inline constexpr std::uint8_t kEcho = 0x00;
inline constexpr std::uint8_t kIdentity = 0x01;
}  // namespace terminal_sub
inline constexpr char kTerminalIdentity[] = "KQSIM1.0";

void RegisterAttendanceCommands(Firmware& firmware);

// The terminal on the link, made on first use.
AttendanceTerminal& TerminalOf(ReaderState& state);

}  // namespace kulve::sim

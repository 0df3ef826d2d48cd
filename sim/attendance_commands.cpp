// SPDX-License-Identifier: MIT
#include "sim/attendance_commands.h"

#include <cstring>
#include <memory>
#include <utility>

#include "sim/terminal/attendance_terminal.h"

namespace kulve::sim {
namespace {

using Data = std::span<const std::uint8_t>;
using TerminalHandler = Reply (*)(AttendanceTerminal&, Data);

constexpr std::size_t kClockBytes = 7;
constexpr std::size_t kShortPasswordKind = 1;
constexpr std::uint8_t kLastPasswordKind = 4;
constexpr std::size_t kShortPassword = 4;
constexpr std::size_t kLongPassword = 6;

std::uint32_t Word(Data d, std::size_t at) { return d[at] | (std::uint32_t{d[at + 1]} << 8); }

Reply Position(std::uint32_t position) {
  return Ok({static_cast<std::uint8_t>(position >> 16), static_cast<std::uint8_t>(position),
             static_cast<std::uint8_t>(position >> 8)});
}

Handler OnTerminal(TerminalHandler handle) {
  return [handle](ReaderState& state, Data data) { return handle(TerminalOf(state), data); };
}

Reply EndTransfer(AttendanceTerminal& t, Data d) {
  if (!d.empty()) return Refuse(status::kBadLength);
  t.transferOpen = false;
  ++t.transfersEnded;
  return Ok();
}

Reply GetTime(AttendanceTerminal& t, Data d) {
  if (!d.empty()) return Refuse(status::kBadLength);
  const TerminalTime now = t.Time();
  return Ok({now.date.year, now.date.month, now.date.day, now.hour, now.minute, now.second,
             WeekdayOf(DayNumberOf(now.date))});
}

Reply SetTime(AttendanceTerminal& t, Data d) {
  if (d.size() != kClockBytes) return Refuse(status::kBadLength);
  const TerminalTime time{{d[0], d[1], d[2]}, d[3], d[4], d[5]};
  return t.SetTime(time) ? Ok() : Refuse(status::kBadParameter);
}

Reply CurrentPosition(AttendanceTerminal& t, Data d) {
  if (!d.empty()) return Refuse(status::kBadLength);
  return Position(t.CurrentPosition());
}

Reply StartPosition(AttendanceTerminal& t, Data d) {
  if (d.size() != 2) return Refuse(status::kBadLength);
  return Position(t.StartOfDay(static_cast<std::uint16_t>(Word(d, 0))));
}

Reply EndPosition(AttendanceTerminal& t, Data d) {
  if (d.size() != 2) return Refuse(status::kBadLength);
  return Position(t.EndOfDay(static_cast<std::uint16_t>(Word(d, 0))));
}

Reply ReadRecords(AttendanceTerminal& t, Data d) {
  if (d.size() != 4) return Refuse(status::kBadLength);
  const std::size_t count = d[3];
  if (count < 1 || count > AttendanceTerminal::kMaxRecordsPerRead) return Refuse(status::kBadParameter);
  t.transferOpen = true;
  return Ok(t.ReadRecords((std::uint32_t{d[0]} << 16) | Word(d, 1), count));
}

Reply SystemInit(AttendanceTerminal& t, Data d) {
  if (!d.empty()) return Refuse(status::kBadLength);
  t.EraseRecords();
  return Ok();
}

Reply Display(AttendanceTerminal& t, Data d) {
  if (d.size() != AttendanceTerminal::kDisplaySize) return Refuse(status::kBadLength);
  std::copy(d.begin(), d.end(), t.display.begin());
  return Ok();
}

Reply PassThrough(AttendanceTerminal&, Data d) {
  if (d.empty()) return Refuse(status::kBadLength);
  switch (d[0]) {
    case terminal_sub::kEcho:
      return Ok({d.begin() + 1, d.end()});
    case terminal_sub::kIdentity:
      return Ok({kTerminalIdentity, kTerminalIdentity + std::strlen(kTerminalIdentity)});
    default:
      return Refuse(terminal_status::kUnknownSub);
  }
}

Reply DownloadPassword(AttendanceTerminal& t, Data d) {
  if (d.empty()) return Refuse(status::kBadLength);
  const std::uint8_t kind = d[0];
  if (kind < 1 || kind > kLastPasswordKind) return Refuse(status::kBadParameter);
  const std::size_t size = kind == kShortPasswordKind ? kShortPassword : kLongPassword;
  if (d.size() != 1 + size) return Refuse(status::kBadLength);
  t.passwords[kind].assign(d.begin() + 1, d.end());
  return Ok();
}

}  // namespace

AttendanceTerminal& TerminalOf(ReaderState& state) {
  if (!state.terminal) state.terminal = std::make_unique<AttendanceTerminal>();
  return *state.terminal;
}

void RegisterAttendanceCommands(Firmware& firmware) {
  const std::pair<std::uint8_t, TerminalHandler> handlers[] = {
      {terminal_code::kEndTransfer, EndTransfer},
      {terminal_code::kGetTime, GetTime},
      {terminal_code::kSetTime, SetTime},
      {terminal_code::kCurrentPosition, CurrentPosition},
      {terminal_code::kStartPosition, StartPosition},
      {terminal_code::kEndPosition, EndPosition},
      {terminal_code::kReadRecords, ReadRecords},
      {terminal_code::kSystemInit, SystemInit},
      {terminal_code::kDisplay, Display},
      {terminal_code::kPassThrough, PassThrough},
      {terminal_code::kDownloadPassword, DownloadPassword},
  };
  for (const auto& [c, handle] : handlers) firmware.Register(c, OnTerminal(handle));
}

}  // namespace kulve::sim

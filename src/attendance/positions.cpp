// SPDX-License-Identifier: MIT
// Record positions (the current one, and the start and end of a day) and the
// read-out of records.
#include <algorithm>
#include <array>

#include "attendance/attendance.h"
#include "attendance/command_codes.h"
#include "attendance/dates.h"
#include "link/transact.h"

namespace kulve {
namespace {

// A position pair: reply byte 0 in the integer, bytes 1 and 2 then two zeros
// in the 4-byte buffer (so it reads as a little-endian 32-bit number).
int PositionPair(const ReplyView& reply, std::int32_t* first, std::uint8_t* position) {
  if (!reply.Ok()) return reply.status;
  *first = reply.Byte(0);
  const std::array<std::uint8_t, kKqPositionBufferSize> pair{reply.Byte(1), reply.Byte(2), 0, 0};
  std::copy(pair.begin(), pair.end(), position);
  return 0;
}

int DayPosition(Reader& reader, std::uint8_t code, const std::int32_t* date, std::int32_t* first,
                std::uint8_t* position) {
  if (date == nullptr || first == nullptr || position == nullptr) return result::kBadArgument;
  const KqDate day{LowByte(date[0]), LowByte(date[1]), LowByte(date[2])};
  const std::uint16_t index = TerminalDayIndex(day);
  const std::array<std::uint8_t, 2> send{static_cast<std::uint8_t>(index & 0xFF), static_cast<std::uint8_t>(index >> 8)};
  return PositionPair(Exchange(reader, code, send), first, position);
}

}  // namespace

int KQ_GetCurrentPos(Reader& reader, std::int32_t* first, std::uint8_t* position) {
  if (first == nullptr || position == nullptr) return result::kBadArgument;
  return PositionPair(Exchange(reader, attendance_code::kCurrentPosition, {}), first, position);
}

int KQ_GetStartPos(Reader& reader, const std::int32_t* date, std::int32_t* first, std::uint8_t* position) {
  return DayPosition(reader, attendance_code::kStartPosition, date, first, position);
}

int KQ_GetEndPos(Reader& reader, const std::int32_t* date, std::int32_t* first, std::uint8_t* position) {
  return DayPosition(reader, attendance_code::kEndPosition, date, first, position);
}

int KQ_ReadRecord(Reader& reader, std::int32_t first, std::int32_t position, std::int32_t third,
                  std::uint8_t* record) {
  if (record == nullptr) return result::kBadArgument;
  const std::array<std::uint8_t, 4> send{LowByte(first), LowByte(position), LowByte(position >> 8), LowByte(third)};
  const ReplyView reply = Exchange(reader, attendance_code::kReadRecord, send);
  if (!reply.Ok()) return reply.status;
  reply.CopyTo(record, kKqRecordBufferSize);
  return 0;
}

}  // namespace kulve

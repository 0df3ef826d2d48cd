// SPDX-License-Identifier: MIT
// The terminal's clock, display, initialisation, passwords and end of transfer.
#include <algorithm>
#include <array>

#include "attendance/attendance.h"
#include "attendance/command_codes.h"
#include "link/transact.h"

namespace kulve {
namespace {

constexpr std::int32_t kShortPasswordKind = 1;
constexpr std::size_t kShortPasswordSize = 4;
constexpr std::size_t kLongPasswordSize = 6;

}  // namespace

int KQ_EndTrans(Reader& reader) { return Exchange(reader, attendance_code::kEndTransfer, {}).status; }

int KQ_SysInit(Reader& reader) { return Exchange(reader, attendance_code::kSystemInit, {}).status; }

int KQ_GetTime(Reader& reader, KqTime* time) {
  if (time == nullptr) return result::kBadArgument;
  const ReplyView reply = Exchange(reader, attendance_code::kGetTime, {});
  if (!reply.Ok()) return reply.status;
  for (std::size_t k = 0; k < kKqTimeFields; ++k) time->field[k] = reply.Byte(k);
  return 0;
}

int KQ_SetTime(Reader& reader, const KqTime* time) {
  if (time == nullptr) return result::kBadArgument;
  std::array<std::uint8_t, kKqTimeFields> send{};
  for (std::size_t k = 0; k < kKqTimeFields; ++k) send[k] = LowByte(time->field[k]);
  return Exchange(reader, attendance_code::kSetTime, send).status;
}

int KQ_Display(Reader& reader, const char* text) {
  if (text == nullptr) return result::kBadArgument;
  // Sixteen bytes as they are: a zero byte is a character like any other.
  std::array<std::uint8_t, kKqDisplaySize> send{};
  for (std::size_t i = 0; i < send.size(); ++i) send[i] = static_cast<std::uint8_t>(text[i]);
  return Exchange(reader, attendance_code::kDisplay, send).status;
}

int KQ_DownloadPSW(Reader& reader, std::int32_t kind, const std::uint8_t* password) {
  if (password == nullptr) return result::kBadArgument;
  // The whole kind decides the size, so 257 (low byte 1) sends six bytes.
  const std::size_t size = kind == kShortPasswordKind ? kShortPasswordSize : kLongPasswordSize;
  std::array<std::uint8_t, 1 + kLongPasswordSize> send{LowByte(kind)};
  std::copy_n(password, size, send.begin() + 1);
  return Exchange(reader, attendance_code::kDownloadPassword, std::span(send.data(), 1 + size), {1, size}).status;
}

}  // namespace kulve

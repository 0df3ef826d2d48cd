// SPDX-License-Identifier: MIT
// KQ_TransCmd: a command of the caller's own, passed through to the terminal.
#include <algorithm>
#include <array>

#include "attendance/attendance.h"
#include "attendance/command_codes.h"
#include "link/transact.h"

namespace kulve {
namespace {

// The count covers the sub byte and the request bytes after it, and it is
// the frame's one-byte send length.
constexpr std::int32_t kMinCount = 1;
constexpr std::int32_t kMaxCount = 255;

}  // namespace

int KQ_TransCmd(Reader& reader, std::int32_t sub, std::int32_t count, std::uint8_t* buffer) {
  if (count < kMinCount || count > kMaxCount || buffer == nullptr) return result::kBadArgument;
  std::array<std::uint8_t, kMaxCount> send{LowByte(sub)};
  const auto length = static_cast<std::size_t>(count);
  std::copy_n(buffer, length - 1, send.begin() + 1);
  const ReplyView reply = Exchange(reader, attendance_code::kPassThrough, std::span(send.data(), length));
  if (!reply.Ok()) return reply.status;
  buffer[0] = static_cast<std::uint8_t>(reply.CopyTo(buffer + 1, kKqPassThroughBufferSize - 1));
  return 0;
}

}  // namespace kulve

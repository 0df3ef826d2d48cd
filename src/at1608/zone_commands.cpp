// SPDX-License-Identifier: MIT
// Zone read and write, password presentation, fuse read and reset.
#include <algorithm>
#include <array>

#include "at1608/at1608.h"
#include "at1608/command_codes.h"
#include "at1608/reply_rules.h"
#include "link/transact.h"

namespace kulve {
namespace {

constexpr std::size_t kZoneHeader = 3;  // zone, address, length
constexpr std::size_t kPasswordBytes = 3;

// Negative lengths are refused too: their low byte would go out as a length
// the caller never asked for.
bool ZoneRequestValid(std::int32_t zone, std::int32_t address, std::int32_t length, const void* bytes) {
  if (zone < 0 || zone > kAt1608LastZone) return false;
  if (address < 0 || address > kAt1608LastAddress) return false;
  if (length < 0 || length > kAt1608MaxLength) return false;
  return length == 0 || bytes != nullptr;
}

std::array<std::uint8_t, kZoneHeader> ZoneHeader(std::int32_t zone, std::int32_t address, std::int32_t length) {
  return {LowByte(zone), LowByte(address), LowByte(length)};
}

}  // namespace

int AT1608_Write(Reader& reader, std::int32_t zone, std::int32_t address, std::int32_t length,
                 const std::uint8_t* data) {
  if (!ZoneRequestValid(zone, address, length, data)) return result::kBadArgument;
  std::array<std::uint8_t, kZoneHeader + kAt1608MaxLength> send{};
  const auto header = ZoneHeader(zone, address, length);
  std::copy(header.begin(), header.end(), send.begin());
  const auto count = static_cast<std::size_t>(length);
  if (count != 0) std::copy_n(data, count, send.begin() + kZoneHeader);
  return Exchange(reader, at1608_code::kWrite, std::span(send.data(), kZoneHeader + count)).status;
}

int AT1608_Read(Reader& reader, std::int32_t zone, std::int32_t address, std::int32_t length, std::uint8_t* buffer) {
  if (!ZoneRequestValid(zone, address, length, buffer)) return result::kBadArgument;
  const ReplyView reply = Exchange(reader, at1608_code::kRead, ZoneHeader(zone, address, length));
  // Exactly the requested count; bytes a short reply lacked read as 0 rather
  // than as whatever an earlier reply (perhaps of another zone) left behind.
  if (reply.Ok() && length != 0) reply.CopyPadded(buffer, static_cast<std::size_t>(length));
  return reply.status;
}

SecretSpan At1608Secrets(std::uint8_t code) {
  return code == at1608_code::kPassword ? SecretSpan{1, kPasswordBytes, true} : SecretSpan{};
}

int AT1608_Psw(Reader& reader, std::int32_t index, std::uint8_t* password) {
  if (index < 0 || index > kAt1608LastPassword || password == nullptr) return result::kBadArgument;
  const std::array<std::uint8_t, 1 + kPasswordBytes> send{LowByte(index), password[0], password[1], password[2]};
  // The reply echoes the password too.
  const ReplyView reply = Exchange(reader, at1608_code::kPassword, send, At1608Secrets(at1608_code::kPassword));
  if (const auto count = AttemptsCarried(reply)) password[0] = *count;
  for (std::size_t i = 1; i <= kPasswordBytes; ++i) password[i] = reply.Ok() ? reply.Byte(i) : std::uint8_t{0};
  return reply.status;
}

int AT1608_ReadFuse(Reader& reader, std::uint8_t* fuse) {
  if (fuse == nullptr) return result::kBadArgument;
  const ReplyView reply = Exchange(reader, at1608_code::kReadFuse, {});
  if (reply.Ok() && reply.data.size() == 1) *fuse = reply.data[0];
  return reply.status;
}

int AT1608_Reset(Reader& reader) { return Exchange(reader, at1608_code::kReset, {}).status; }

}  // namespace kulve

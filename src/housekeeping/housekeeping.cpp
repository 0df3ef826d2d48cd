// SPDX-License-Identifier: MIT
#include "housekeeping/housekeeping.h"

#include <algorithm>
#include <array>

#include "link/transact.h"

namespace kulve {
namespace {

constexpr std::uint8_t kPowerOn = 0x02;
constexpr std::uint8_t kPowerOff = 0x03;
constexpr std::uint8_t kSelectCard = 0x0A;
constexpr std::uint8_t kInquire = 0x0D;
constexpr std::uint8_t kStandby = 0x1C;
constexpr std::uint8_t kDeviceNumber = 0x20;
constexpr std::uint8_t kDeviceVersion = 0x22;
constexpr std::uint8_t kAlarm = 0x7A;

ReplyView Simple(Reader& reader, std::uint8_t code) { return Exchange(reader, code, {}); }

// The reader's 8-byte answers are taken whole; bytes a short reply lacked
// read as 0, never as an earlier exchange's leftovers.
int CopyIdentity(Reader& reader, std::uint8_t code, std::uint8_t* out) {
  const ReplyView reply = Simple(reader, code);
  if (reply.Ok() && out != nullptr) reply.CopyPadded(out, kIdentityBytes);
  return reply.status;
}

}  // namespace

int PowerOn(Reader& reader) { return Simple(reader, kPowerOn).status; }
int PowerOff(Reader& reader) { return Simple(reader, kPowerOff).status; }
int SetStandby(Reader& reader) { return Simple(reader, kStandby).status; }

int SelectCard(Reader& reader, std::int32_t cardType) {
  const std::array<std::uint8_t, 1> send{LowByte(cardType)};
  const ReplyView reply = Exchange(reader, kSelectCard, send);
  if (reply.Ok()) reader.cardType = cardType;
  return reply.status;
}

int Inquire(Reader& reader, std::int32_t* cardType, std::int32_t* state, std::int32_t* power) {
  const ReplyView reply = Simple(reader, kInquire);
  if (!reply.Ok()) return reply.status;
  if (cardType != nullptr) *cardType = reply.Byte(0);
  if (state != nullptr) *state = reply.Byte(1);
  if (power != nullptr) *power = reply.Byte(2);
  reader.cardType = reply.Byte(0);
  return reply.status;
}

int InquireState(Reader& reader, std::int32_t* state) {
  const ReplyView reply = Simple(reader, kInquire);
  if (reply.Ok()) *state = reply.Byte(1);
  return reply.status;
}

int GetDeviceNumber(Reader& reader, std::uint8_t* number) {
  if (number != nullptr) std::fill_n(number, kIdentityBytes, std::uint8_t{0});
  return CopyIdentity(reader, kDeviceNumber, number);
}

int DEVVER(Reader& reader, std::uint8_t* version) { return CopyIdentity(reader, kDeviceVersion, version); }

int ALARM(Reader& reader, std::int32_t mode, std::int32_t a, std::int32_t b, std::int32_t c) {
  if (mode < 1 || mode > 7) return result::kBadArgument;
  const std::array<std::uint8_t, 4> send{LowByte(mode), LowByte(a), LowByte(b), LowByte(c)};
  return Exchange(reader, kAlarm, send).status;
}

}  // namespace kulve

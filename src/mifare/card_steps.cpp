// SPDX-License-Identifier: MIT
// The single Mifare Classic steps (codes 0xB4..0xBD), in the order a card
// session runs them: load key, request, anticollision, select,
// authentication, read / write / increment / decrement, halt. The reader
// keeps the card's state; the library forwards each step as it is.
#include "results/results.h"
#include "mifare/command_codes.h"
#include "mifare/mifare.h"
#include "mifare/mifare_transact.h"
#include "mifare/wire_format.h"

namespace kulve {

int RFMifare_LoadKey(Reader& reader, std::int32_t first, std::int32_t second, const std::uint8_t* key) {
  if (key == nullptr) return result::kBadArgument;
  return MifareExchange(reader, mifare_code::kLoadKey, SendData().Byte(first).Byte(second).Bytes(key, kMifareKeySize))
      .status;
}

int RFMifare_Request(Reader& reader, std::int32_t mode, std::uint8_t* answer) {
  if (answer == nullptr) return result::kBadArgument;
  const ReplyView reply = MifareExchange(reader, mifare_code::kRequest, SendData().Byte(mode));
  CopyTwoByteAnswer(reply, answer);
  return reply.status;
}

int RFMifare_AntiColl(Reader& reader, std::uint8_t* serial) {
  if (serial == nullptr) return result::kBadArgument;
  const ReplyView reply = MifareExchange(reader, mifare_code::kAntiCollision, {});
  reply.CopyPadded(serial, kMifareSerialSize);
  return reply.status;
}

int RFMifare_Select(Reader& reader, std::uint32_t serial) {
  return MifareExchange(reader, mifare_code::kSelect, SendData().Le32(serial)).status;
}

int RFMifare_Authentication(Reader& reader, std::int32_t first, std::int32_t second, std::int32_t third) {
  return MifareExchange(reader, mifare_code::kAuthenticate, SendData().Byte(first).Byte(second).Byte(third)).status;
}

int RFMifare_Read(Reader& reader, std::int32_t block, std::uint8_t* out) {
  if (out == nullptr) return result::kBadArgument;
  const ReplyView reply = MifareExchange(reader, mifare_code::kRead, SendData().Byte(block));
  reply.CopyPadded(out, kMifareBlockSize);
  return reply.status;
}

int RFMifare_Write(Reader& reader, std::int32_t block, const std::uint8_t* data) {
  if (data == nullptr) return result::kBadArgument;
  return MifareExchange(reader, mifare_code::kWrite, SendData().Byte(block).Bytes(data, kMifareBlockSize)).status;
}

int RFMifare_Increment(Reader& reader, std::int32_t block, std::uint32_t amount) {
  return MifareExchange(reader, mifare_code::kIncrement, SendData().Byte(block).Le32(amount)).status;
}

int RFMifare_Decrment(Reader& reader, std::int32_t block, std::uint32_t amount) {
  return MifareExchange(reader, mifare_code::kDecrement, SendData().Byte(block).Le32(amount)).status;
}

int RFMifare_Halt(Reader& reader) { return MifareExchange(reader, mifare_code::kHalt, {}).status; }

}  // namespace kulve

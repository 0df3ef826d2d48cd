// SPDX-License-Identifier: MIT
// The reader's high-level Mifare operations (codes 0xA1..0xB3): key slots and
// key mode, card type and serial number, block, key and value operations.
#include "results/results.h"
#include "mifare/command_codes.h"
#include "mifare/mifare.h"
#include "mifare/mifare_transact.h"
#include "mifare/wire_format.h"

namespace kulve {
namespace {

// Block, param and `inSize` caller bytes go out; `outSize` reply bytes come
// back into out whatever the result (zeros where this exchange carried none).
int BlockOperation(Reader& reader, std::uint8_t code, std::int32_t block, std::uint32_t param,
                   const std::uint8_t* in, std::size_t inSize, std::uint8_t* out, std::size_t outSize) {
  if (out == nullptr) return result::kBadArgument;
  const ReplyView reply = MifareExchange(reader, code, SendData().Byte(block).Le32(param).Bytes(in, inSize));
  reply.CopyPadded(out, outSize);
  return reply.status;
}

}  // namespace

int RFMifare_Mcmno(Reader& reader, std::uint8_t* answer) {
  if (answer == nullptr) return result::kBadArgument;
  const ReplyView reply = MifareExchange(reader, mifare_code::kModuleQuery, {});
  CopyTwoByteAnswer(reply, answer);
  return reply.status;
}

int RFMifare_TransKey(Reader& reader, std::int32_t slot, const std::uint8_t* key) {
  if (slot < 0 || slot >= kMifareKeySlots || key == nullptr) return result::kBadArgument;
  return MifareExchange(reader, mifare_code::kStoreKey, SendData().Byte(slot).Bytes(key, kMifareKeySize))
      .status;
}

int RFMifare_Authmode(Reader& reader, std::int32_t mode) {
  if (mode != 0 && mode != 1) return result::kBadArgument;
  return MifareExchange(reader, mifare_code::kKeyMode, SendData().Byte(mode)).status;
}

int RFMifare_GetType(Reader& reader, std::uint8_t* answer) {
  if (answer == nullptr) return result::kBadArgument;
  const ReplyView reply = MifareExchange(reader, mifare_code::kCardType, {});
  CopyTwoByteAnswer(reply, answer);
  return reply.status;
}

int RFMifare_GetSnr(Reader& reader, std::uint8_t* serial) {
  if (serial == nullptr) return result::kBadArgument;
  const ReplyView reply = MifareExchange(reader, mifare_code::kSerialNumber, {});
  reply.CopyPadded(serial, kMifareSerialSize);
  return reply.status;
}

int RFMifare_ReadBlock(Reader& reader, std::int32_t block, std::uint32_t param, std::uint8_t* out) {
  return BlockOperation(reader, mifare_code::kReadBlock, block, param, nullptr, 0, out, kMifareBlockSize);
}

int RFMifare_WriteBlock(Reader& reader, std::int32_t block, std::uint32_t param, std::uint8_t* data) {
  return BlockOperation(reader, mifare_code::kWriteBlock, block, param, data, kMifareBlockSize, data,
                        kMifareBlockSize);
}

int RFMifare_WriteKey(Reader& reader, std::int32_t selector, std::uint32_t param, const std::uint8_t* key,
                      std::int32_t flag) {
  if (key == nullptr) return result::kBadArgument;
  const SendData send = SendData().Byte(selector).Le32(param).Bytes(key, kMifareKeySize).Byte(flag);
  return MifareExchange(reader, mifare_code::kWriteKey, send).status;
}

int RFMifare_ReadValue(Reader& reader, std::int32_t block, std::uint32_t param, std::uint8_t* value) {
  return BlockOperation(reader, mifare_code::kReadValue, block, param, nullptr, 0, value, kMifareValueSize);
}

int RFMifare_WriteValue(Reader& reader, std::int32_t block, std::uint32_t param, std::uint8_t* value) {
  return BlockOperation(reader, mifare_code::kWriteValue, block, param, value, kMifareValueSize, value,
                        kMifareValueSize);
}

int RFMifare_IncrementValue(Reader& reader, std::int32_t block, std::uint32_t param, std::uint8_t* value) {
  return BlockOperation(reader, mifare_code::kIncrementValue, block, param, value, kMifareValueSize, value,
                        kMifareValueSize);
}

int RFMifare_DecrementValue(Reader& reader, std::int32_t block, std::uint32_t param, std::uint8_t* value) {
  return BlockOperation(reader, mifare_code::kDecrementValue, block, param, value, kMifareValueSize, value,
                        kMifareValueSize);
}

// Reads the three data blocks of each sector in turn. Status 1 stops at once.
// A link failure that survived MifareTransact's relinking also stops, so a
// reader that has gone away costs one sector's rounds, not sixteen. Any other
// refusal leaves the loop running, and the result is the sixteenth sector's.
int RFMifare_ReadBloca(Reader& reader, std::int32_t /*first*/, std::uint32_t param, std::uint8_t* out) {
  if (out == nullptr) return result::kBadArgument;
  std::uint8_t last = 0;
  for (std::size_t sector = 0; sector < kMifareSectorCount; ++sector) {
    const auto firstBlock = static_cast<std::int32_t>(sector * 4);
    const ReplyView reply = MifareExchange(reader, mifare_code::kReadSector, SendData().Byte(firstBlock).Le32(param));
    reply.CopyPadded(out + sector * kMifareSectorDataSize, kMifareSectorDataSize);
    if (reply.status == kMifareStopStatus || IsLinkFailure(reply.status)) return reply.status;
    last = reply.status;
  }
  // Another sector's refusal is not reported: applications read the whole
  // card this way and judge the sectors by their bytes.
  return last;
}

}  // namespace kulve

// SPDX-License-Identifier: MIT
#include "link/transact.h"

#include <algorithm>

#include "link/link.h"

namespace kulve {
namespace {

constexpr std::uint8_t kStart = '#';
constexpr std::uint8_t kStartAnswer = 'E';
constexpr std::uint8_t kAck = 'g';
constexpr std::uint8_t kGo = 0x89;

std::uint8_t Fail(CommandBlock& block, std::uint8_t letter) {
  block.status = letter;
  return block.status;
}

// Writes one byte, trying `tries` times.
bool WriteByteTrying(Reader& reader, std::uint8_t byte, int tries) {
  for (int i = 0; i < tries; ++i) {
    if (PortWriteByte(reader, byte) == 0) return true;
  }
  return false;
}

// Reads one byte, giving up after `tries` empty reads.
bool ReadByteTrying(Reader& reader, std::uint8_t& byte, int tries) {
  for (int i = 0; i < tries; ++i) {
    if (PortRead(reader, &byte, 1) == 1) return true;
  }
  return false;
}

}  // namespace

std::uint8_t Transact(Reader& reader) {
  CommandBlock& block = reader.block;
  block.status = 0;
  block.received = 0;

  if (!WriteByteTrying(reader, kStart, 2)) return Fail(block, link_failure::kHashNotWritten);
  std::uint8_t answer = 0;
  if (!ReadByteTrying(reader, answer, 2)) return Fail(block, link_failure::kNoAnswer);
  if (answer != kStartAnswer) return Fail(block, link_failure::kBadAnswer);

  if (PortWriteByte(reader, block.code) != 0) return Fail(block, link_failure::kCodeNotWritten);
  if (PortWriteByte(reader, block.sendLength) != 0) return Fail(block, link_failure::kLengthNotWritten);
  if (block.sendLength != 0 &&
      PortWrite(reader, block.sendData.data(), block.sendLength) < block.sendLength) {
    return Fail(block, link_failure::kDataNotWritten);
  }
  std::uint8_t requestCheck = block.code ^ block.sendLength;
  for (std::size_t i = 0; i < block.sendLength; ++i) requestCheck ^= block.sendData[i];
  if (!WriteByteTrying(reader, requestCheck, 2)) return Fail(block, link_failure::kCheckNotWritten);

  const std::int32_t tries =
      block.code == 0 ? reader.context.probeAckTries : reader.context.commandAckTries;
  if (tries < 1) return Fail(block, link_failure::kNoAck);
  std::uint8_t ack = 0;
  if (!ReadByteTrying(reader, ack, tries)) return Fail(block, link_failure::kNoAck);
  if (ack != kAck) return Fail(block, link_failure::kBadAck);
  if (PortWriteByte(reader, kGo) != 0) return Fail(block, link_failure::kGoNotWritten);

  std::uint8_t status = 0;
  if (PortRead(reader, &status, 1) != 1) return Fail(block, link_failure::kNoStatus);
  block.status = status;
  std::uint8_t replyCheck = status;

  std::uint8_t length = 0;
  if (PortRead(reader, &length, 1) != 1) return Fail(block, link_failure::kNoLength);
  block.replyLength = length;
  replyCheck ^= length;

  if (length != 0) {
    const std::size_t got = PortRead(reader, block.replyData.data(), length);
    block.received = static_cast<std::uint8_t>(got);
    for (std::size_t i = 0; i < got; ++i) replyCheck ^= block.replyData[i];
    if (got < length) return Fail(block, link_failure::kShortReply);
  }

  std::uint8_t check = 0;
  if (PortRead(reader, &check, 1) != 1) return Fail(block, link_failure::kNoChecksum);
  if (check != replyCheck) return Fail(block, link_failure::kBadChecksum);
  return block.status;
}

void LoadRequest(Reader& reader, std::uint8_t code, std::span<const std::uint8_t> send) {
  CommandBlock& block = reader.block;
  const std::size_t length = std::min<std::size_t>(send.size(), 255);
  block.code = code;
  block.sendLength = static_cast<std::uint8_t>(length);
  std::copy_n(send.begin(), length, block.sendData.begin());
}

ReplyView Exchange(Reader& reader, std::uint8_t code, std::span<const std::uint8_t> send) {
  LoadRequest(reader, code, send);
  Transact(reader);
  return LastReply(reader);
}

}  // namespace kulve

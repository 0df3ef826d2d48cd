#include "link/transact.h"

#include <algorithm>

#include "link/link.h"

namespace kulve {
namespace {

constexpr std::uint8_t kStart = '#';
constexpr std::uint8_t kStartAnswer = 'E';
constexpr std::uint8_t kAck = 'g';
constexpr std::uint8_t kGo = 0x89;

std::uint8_t Fail(CommandBlock& block, char letter) {
  block.status = static_cast<std::uint8_t>(letter);
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

  if (!WriteByteTrying(reader, kStart, 2)) return Fail(block, 'e');
  std::uint8_t answer = 0;
  if (!ReadByteTrying(reader, answer, 2)) return Fail(block, 'f');
  if (answer != kStartAnswer) return Fail(block, 'g');

  if (PortWriteByte(reader, block.code) != 0) return Fail(block, 'h');
  if (PortWriteByte(reader, block.sendLength) != 0) return Fail(block, 'i');
  if (block.sendLength != 0 &&
      PortWrite(reader, block.sendData.data(), block.sendLength) < block.sendLength) {
    return Fail(block, 'j');
  }
  std::uint8_t requestCheck = block.code ^ block.sendLength;
  for (std::size_t i = 0; i < block.sendLength; ++i) requestCheck ^= block.sendData[i];
  if (!WriteByteTrying(reader, requestCheck, 2)) return Fail(block, 'k');

  const std::int32_t tries =
      block.code == 0 ? reader.context.probeAckTries : reader.context.commandAckTries;
  if (tries < 1) return Fail(block, 'l');
  std::uint8_t ack = 0;
  if (!ReadByteTrying(reader, ack, tries)) return Fail(block, 'l');
  if (ack != kAck) return Fail(block, 'm');
  if (PortWriteByte(reader, kGo) != 0) return Fail(block, 'n');

  std::uint8_t status = 0;
  if (PortRead(reader, &status, 1) != 1) return Fail(block, 'o');
  block.status = status;
  std::uint8_t replyCheck = status;

  std::uint8_t length = 0;
  if (PortRead(reader, &length, 1) != 1) return Fail(block, 'p');
  block.replyLength = length;
  replyCheck ^= length;

  if (length != 0) {
    const std::size_t got = PortRead(reader, block.replyData.data(), length);
    for (std::size_t i = 0; i < got; ++i) replyCheck ^= block.replyData[i];
    if (got < length) return Fail(block, 'q');
  }

  std::uint8_t check = 0;
  if (PortRead(reader, &check, 1) != 1) return Fail(block, 'r');
  if (check != replyCheck) return Fail(block, 's');
  return block.status;
}

std::uint8_t Exchange(Reader& reader, std::uint8_t code, std::span<const std::uint8_t> send) {
  CommandBlock& block = reader.block;
  const std::size_t length = std::min<std::size_t>(send.size(), 255);
  block.code = code;
  block.sendLength = static_cast<std::uint8_t>(length);
  std::copy_n(send.begin(), length, block.sendData.begin());
  return Transact(reader);
}

}  // namespace kulve

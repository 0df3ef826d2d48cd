// SPDX-License-Identifier: MIT
// Reading and writing one transponder block, directly or after a wake.
#include <algorithm>
#include <array>
#include <optional>

#include "link/transact.h"
#include "rf5550/command_codes.h"
#include "rf5550/rf5550.h"

namespace kulve {
namespace {

constexpr std::int32_t kBlockZeroAlias = -1;

// The block byte a write sends, or nullopt when the guard refuses: block 0
// holds the transponder's configuration, so a plain 0 (the value an
// uninitialised variable most often has) is refused and block 0 is written
// only when asked for as -1. Other values go as their low byte, unchecked,
// except those whose low byte is 0 (256, -256, ...): sent, they would write
// block 0 past the guard.
std::optional<std::uint8_t> GuardedWriteBlock(std::int32_t block) {
  if (block == kBlockZeroAlias) return std::uint8_t{0};
  if (LowByte(block) == 0) return std::nullopt;
  return LowByte(block);
}

// On success copies the reply into the caller's block: at most one block, so
// a reader answering more can never write past the caller's four bytes.
int CopiedIfOk(const ReplyView& reply, std::uint8_t* data) {
  if (reply.Ok()) reply.CopyTo(data, kRf5550BlockSize);
  return reply.status;
}

int WriteBlock(Reader& reader, std::uint8_t code, std::int32_t block, const std::uint8_t* password,
               std::uint8_t* data, std::int32_t lock) {
  const auto blockByte = GuardedWriteBlock(block);
  if (!blockByte || password == nullptr || data == nullptr) return result::kBadArgument;
  // password[0..3], block, data[0..3], lock flag
  std::array<std::uint8_t, kRf5550PasswordSize + 1 + kRf5550BlockSize + 1> send{};
  auto at = std::copy_n(password, kRf5550PasswordSize, send.begin());
  *at++ = *blockByte;
  at = std::copy_n(data, kRf5550BlockSize, at);
  *at = LowByte(lock);
  return CopiedIfOk(Exchange(reader, code, send, Rf5550Secrets(code)), data);
}

}  // namespace

int RF5550_ReadBlk(Reader& reader, std::int32_t block, std::uint8_t* data) {
  if (data == nullptr) return result::kBadArgument;
  const std::array<std::uint8_t, 1> send{LowByte(block)};
  return CopiedIfOk(Exchange(reader, rf5550_code::kReadBlock, send), data);
}

int RF5550_ReadAfterWake(Reader& reader, std::int32_t block, const std::uint8_t* password, std::uint8_t* data) {
  if (password == nullptr || data == nullptr) return result::kBadArgument;
  std::array<std::uint8_t, kRf5550PasswordSize + 1> send{};
  std::copy_n(password, kRf5550PasswordSize, send.begin());
  send.back() = LowByte(block);
  return CopiedIfOk(Exchange(reader, rf5550_code::kReadAfterWake, send, Rf5550Secrets(rf5550_code::kReadAfterWake)), data);
}

int RF5550_WriteBlk(Reader& reader, std::int32_t block, const std::uint8_t* password, std::uint8_t* data,
                    std::int32_t lock) {
  return WriteBlock(reader, rf5550_code::kWriteBlock, block, password, data, lock);
}

int RF5550_WriteAfterWake(Reader& reader, std::int32_t block, const std::uint8_t* password, std::uint8_t* data,
                          std::int32_t lock) {
  return WriteBlock(reader, rf5550_code::kWriteAfterWake, block, password, data, lock);
}

}  // namespace kulve

// SPDX-License-Identifier: MIT
#include "mifare/secret_bytes.h"

#include "mifare/command_codes.h"
#include "mifare/mifare.h"

namespace kulve {
namespace {

constexpr std::uint8_t kFirstLargeSectorBlock = 128;
constexpr std::size_t kKeyBBytesAt = 10;  // key A, four access bytes, key B

// Key A and key B of a trailer: a read's reply is the block; a write carries
// it at `at`, and what the reader answers to a write is its own, so all of
// that reply is masked.
SecretSpan TrailerKeys(std::size_t at, bool written) {
  if (!written) return SecretSpan{}.Reply(0, kMifareKeySize).Reply(kKeyBBytesAt, kMifareKeySize);
  return SecretSpan{at, kMifareKeySize, true}.Send(at + kKeyBBytesAt, kMifareKeySize);
}

}  // namespace

bool IsSectorTrailer(std::uint8_t block) {
  return block < kFirstLargeSectorBlock ? block % 4 == 3 : block % 16 == 15;
}

SecretSpan MifareSecrets(std::uint8_t code, std::span<const std::uint8_t> send) {
  constexpr std::size_t kAfterBlockAndParam = 5;  // block, then a 32-bit parameter
  switch (code) {
    case mifare_code::kStoreKey: return {1, kMifareKeySize};
    case mifare_code::kWriteKey: return {kAfterBlockAndParam, kMifareKeySize};
    case mifare_code::kLoadKey: return {2, kMifareKeySize};
    case mifare_code::kReadBlock:
    case mifare_code::kWriteBlock:
      if (send.empty() || !IsSectorTrailer(send[0])) return {};
      return TrailerKeys(kAfterBlockAndParam, code == mifare_code::kWriteBlock);
    case mifare_code::kRead:
    case mifare_code::kWrite:
      if (send.empty() || !IsSectorTrailer(send[0])) return {};
      return TrailerKeys(1, code == mifare_code::kWrite);
    default: return {};
  }
}

}  // namespace kulve

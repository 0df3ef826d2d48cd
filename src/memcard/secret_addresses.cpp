// SPDX-License-Identifier: MIT
#include "memcard/secret_addresses.h"

#include <algorithm>
#include <cstdint>

#include "memcard/command_codes.h"
#include "memcard/memcard.h"

namespace kulve {
namespace {

constexpr std::size_t kCodeLength = 2;  // the code kept in card memory
constexpr std::int64_t kSecurityCodeStart = 1;  // after the counter byte of the security memory
constexpr std::int64_t kNoEnd = INT64_MAX;

// Card bytes [address, address + n) travel as request bytes from dataAt on
// (a write) or as reply bytes from 0 on (a read).
SecretSpan SecretAddresses(const CardTypeTraits& traits, bool securityMemory, std::int64_t address, std::int64_t n,
                           std::size_t dataAt, bool carriesData) {
  std::int64_t first = 0;
  std::int64_t end = 0;
  if (securityMemory) {
    if (traits.security != SecurityModel::kSecurityMemory && traits.security != SecurityModel::kZoned) return {};
    first = kSecurityCodeStart;
    end = kNoEnd;
  } else {
    if (traits.security != SecurityModel::kCardMemory) return {};
    first = traits.codeAddress;
    end = first + static_cast<std::int64_t>(kCodeLength);
  }
  const std::int64_t from = std::max(first, address);
  const std::int64_t to = std::min(end, address + n);
  if (from >= to) return {};
  const auto at = static_cast<std::size_t>(from - address);
  const auto count = static_cast<std::size_t>(to - from);
  // What a reader answers to a write is its own (the library copies it back
  // as the bytes written): the whole reply of a write over the code is masked.
  if (carriesData) return SecretSpan{dataAt + at, count, true};
  return SecretSpan{}.Reply(at, count);
}

std::int64_t Word(std::span<const std::uint8_t> send, std::size_t at) { return send[at] << 8 | send[at + 1]; }

}  // namespace

SecretSpan MemcardSecrets(const CardTypeTraits& traits, std::uint8_t code, std::span<const std::uint8_t> send) {
  switch (code) {
    case memcard_code::kPresentCode:
      return {0, send.size(), true};
    case memcard_code::kPresentZoneCode:
    case memcard_code::kPresentEraseKey:
      return {1, send.size(), true};
    case memcard_code::kRead:
      // The area alone reads the whole security memory.
      if (send.size() == 1) return SecretAddresses(traits, send[0] == kSecurityMemoryArea, 0, kNoEnd, 0, false);
      [[fallthrough]];
    case memcard_code::kWrite:
    case memcard_code::kErase: {
      const bool security = !send.empty() && send[0] == kSecurityMemoryArea && code != memcard_code::kErase;
      // ModifySecret writes the security memory with the area alone before
      // the code, as a WriteCard there has its address: everything after the
      // area byte is masked, and the whole reply.
      if (security && code == memcard_code::kWrite) {
        return SecretAddresses(traits, true, 0, kNoEnd, 0, false).AnyInReply() ? SecretSpan{1, send.size(), true}
                                                                                : SecretSpan{};
      }
      if (send.size() < 4) return {};
      return SecretAddresses(traits, security, Word(send, 1), send[3], 4, code != memcard_code::kRead);
    }
    case memcard_code::kPagedRead:
    case memcard_code::kPagedWrite: {
      if (send.size() < 5) return {};
      const std::int64_t address = Word(send, 0) * traits.pageSize + Word(send, 2);
      return SecretAddresses(traits, false, address, send[4], 5, code == memcard_code::kPagedWrite);
    }
    default:
      return {};
  }
}

}  // namespace kulve

// SPDX-License-Identifier: MIT
// The card-type table: everything the memory-card functions do differently
// for each CardType code lives in one row here, so no other file branches on
// type numbers.
#pragma once

#include <array>
#include <cstdint>

namespace kulve {

// How VerifyIC decides whether the inserted card matches the selected type.
enum class IdentifyRule : std::uint8_t {
  kAcceptUnread,  // 0 without any exchange
  kRefuse,        // 19 without any exchange
  kReadOnce,      // read the identification bytes once and compare
  kReadTwice,     // read them twice; the second read decides
};

// How EraseCard clears card bytes.
enum class EraseMethod : std::uint8_t {
  kEraseCommand,  // the reader's erase command, always in the card memory
  kWriteFF,       // an ordinary write of 0xFF bytes
};

// Where a type keeps its security code, which decides the security functions.
enum class SecurityModel : std::uint8_t {
  kNone,              // every security function refuses with 3
  kPresentationOnly,  // CheckSecret sends the caller's code; the rest refuse
  kCardMemory,        // code and attempts counter in ordinary card bytes
  kSecurityMemory,    // code after the counter byte of the security memory
  kZoned,             // as kSecurityMemory, with 2-byte codes, zone codes and erase keys
};

// An erase key accepted by CheckEraseSecret: the key number and its length.
inline constexpr std::int32_t kAnyKeyNumber = -1;
struct EraseKeyRule {
  std::int32_t number = kAnyKeyNumber;
  std::uint8_t length = 0;  // 0: this rule is unused
};

struct CardTypeTraits {
  IdentifyRule identify = IdentifyRule::kRefuse;
  std::uint8_t idAddress = 0;  // card-memory address of the two identification bytes
  std::array<std::array<std::uint8_t, 2>, 2> idAccepted{};  // accepted byte pairs
  std::uint8_t idAcceptedCount = 0;

  EraseMethod erase = EraseMethod::kWriteFF;
  std::int32_t pageSize = 256;  // page size of the paged functions

  SecurityModel security = SecurityModel::kPresentationOnly;
  std::uint8_t codeAddress = 0;      // kCardMemory: the 2-byte code; the counter follows it
  std::uint8_t secretReadLength = 0;  // kCardMemory: bytes ReadSecret reads from codeAddress
  std::array<EraseKeyRule, 2> eraseKeys{};  // first matching rule wins; none: no erase keys

  // The two counter bytes follow the code in the card memory.
  constexpr std::uint8_t CounterAddress() const { return static_cast<std::uint8_t>(codeAddress + 2); }
};

// The row for a card type; values outside the table get the row of "any other value".
const CardTypeTraits& TraitsOf(std::int32_t cardType);

// Length of erase key `keyNumber` for the type, or 0 when the type refuses it.
std::uint8_t EraseKeyLength(const CardTypeTraits& traits, std::int32_t keyNumber);

}  // namespace kulve

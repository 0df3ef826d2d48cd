// SPDX-License-Identifier: MIT
// Every card type against the table as users read it, one letter code per
// column, so an edge row (a range's first or last type, the row after it)
// that slips is caught.
#include <gtest/gtest.h>

#include <string>

#include "memcard/card_types.h"

namespace kulve::test {
namespace {

// Identification: V = VerifyIC reads once, W = reads twice, A = accepts
// unread, R = refuses unread. Erase: E = erase command, F = write of 0xFF.
// Pages: 6 = 256, 4 = 264. Security: - none, P presentation only, C card
// memory, S security memory, Z zoned.
std::string Expected(std::int32_t type) {
  if (type == 0) return "WE6C";
  if (type == 1 || type == 3) return "VF6-";
  if (type == 2 || type == 4) return "VF6S";
  if (type >= 5 && type <= 9) return "RF6P";
  if (type >= 10 && type <= 14) return "AF6-";
  if (type >= 15 && type <= 17) return "AE6C";
  if (type == 18) return "RF6P";
  if (type == 19 || type == 20 || (type >= 22 && type <= 24) || type == 30) return "AF6-";
  if (type == 21) return "AF4-";
  if (type == 25 || type == 26) return "AE6Z";
  if (type == 27) return "AF6P";
  if (type == 28 || type == 29) return "RF6P";
  if (type == 255) return "RF6-";
  return "RF6P";  // any other value
}

std::string Actual(const CardTypeTraits& t) {
  std::string s;
  switch (t.identify) {
    case IdentifyRule::kReadOnce: s += 'V'; break;
    case IdentifyRule::kReadTwice: s += 'W'; break;
    case IdentifyRule::kAcceptUnread: s += 'A'; break;
    case IdentifyRule::kRefuse: s += 'R'; break;
  }
  s += t.erase == EraseMethod::kEraseCommand ? 'E' : 'F';
  s += t.pageSize == 264 ? '4' : (t.pageSize == 256 ? '6' : '?');
  switch (t.security) {
    case SecurityModel::kNone: s += '-'; break;
    case SecurityModel::kPresentationOnly: s += 'P'; break;
    case SecurityModel::kCardMemory: s += 'C'; break;
    case SecurityModel::kSecurityMemory: s += 'S'; break;
    case SecurityModel::kZoned: s += 'Z'; break;
  }
  return s;
}

TEST(CardTypeTable, EveryTypeHasItsRow) {
  for (std::int32_t type = -2; type <= 300; ++type) {
    EXPECT_EQ(Actual(TraitsOf(type)), Expected(type)) << "card type " << type;
  }
  for (std::int32_t type : {INT32_MIN, 0x100, 0x1FF, INT32_MAX}) {
    EXPECT_EQ(Actual(TraitsOf(type)), "RF6P") << "card type " << type;
  }
}

TEST(CardTypeTable, CodeAddressesAndEraseKeys) {
  struct Case {
    std::int32_t type;
    int codeAddress;
    std::vector<std::pair<int, int>> keys;  // key number -> length (0 = refused)
  };
  const Case cases[] = {
      {0, 8, {{0, 4}, {4, 4}, {9, 4}}},
      {15, 10, {{1, 4}, {4, 4}}},
      {16, 10, {{4, 6}, {5, 4}, {3, 0}, {6, 0}}},
      {17, 10, {{4, 0}, {5, 0}}},
      {25, -1, {{0, 2}, {7, 2}}},
      {2, -1, {{4, 0}}},
      {14, -1, {{4, 0}}},
  };
  for (const Case& c : cases) {
    const CardTypeTraits& t = TraitsOf(c.type);
    if (c.codeAddress >= 0) {
      EXPECT_EQ(t.codeAddress, c.codeAddress) << "type " << c.type;
      EXPECT_EQ(t.CounterAddress(), c.codeAddress + 2) << "type " << c.type;
    }
    for (auto [number, length] : c.keys) {
      EXPECT_EQ(EraseKeyLength(t, number), length) << "type " << c.type << " key " << number;
    }
  }
}

}  // namespace
}  // namespace kulve::test

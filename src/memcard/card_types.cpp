// SPDX-License-Identifier: MIT
#include "memcard/card_types.h"

namespace kulve {
namespace {

struct Row {
  std::int32_t first;
  std::int32_t last;
  CardTypeTraits traits;
};

constexpr CardTypeTraits Identified(std::uint8_t second) {
  CardTypeTraits t;
  t.identify = IdentifyRule::kReadOnce;
  t.idAddress = 6;
  t.idAccepted = {{{0x81, second}, {}}};
  t.idAcceptedCount = 1;
  return t;
}

constexpr CardTypeTraits WithSecurity(CardTypeTraits t, SecurityModel model) {
  t.security = model;
  return t;
}

constexpr CardTypeTraits Unread(SecurityModel model) {
  CardTypeTraits t;
  t.identify = IdentifyRule::kAcceptUnread;
  t.security = model;
  return t;
}

constexpr CardTypeTraits Unidentified(SecurityModel model) {
  CardTypeTraits t;
  t.identify = IdentifyRule::kRefuse;
  t.security = model;
  return t;
}

// Types with the code and counter in ordinary card bytes and an erase command.
constexpr CardTypeTraits CodeInCardMemory(std::uint8_t codeAddress, std::uint8_t readLength,
                                          std::array<EraseKeyRule, 2> keys) {
  CardTypeTraits t = Unread(SecurityModel::kCardMemory);
  t.erase = EraseMethod::kEraseCommand;
  t.codeAddress = codeAddress;
  t.secretReadLength = readLength;
  t.eraseKeys = keys;
  return t;
}

constexpr CardTypeTraits Type0() {
  CardTypeTraits t = CodeInCardMemory(8, 6, {{{kAnyKeyNumber, 4}, {}}});
  t.identify = IdentifyRule::kReadTwice;
  t.idAddress = 0;
  t.idAccepted = {{{0xB7, 0xA0}, {0x37, 0xA0}}};
  t.idAcceptedCount = 2;
  return t;
}

constexpr CardTypeTraits Zoned() {
  CardTypeTraits t = Unread(SecurityModel::kZoned);
  t.erase = EraseMethod::kEraseCommand;
  t.eraseKeys = {{{kAnyKeyNumber, 2}, {}}};
  return t;
}

constexpr CardTypeTraits LongPages() {
  CardTypeTraits t = Unread(SecurityModel::kNone);
  t.pageSize = 264;
  return t;
}

using enum SecurityModel;

constexpr std::array kRows{
    Row{0, 0, Type0()},
    Row{1, 1, WithSecurity(Identified(0x05), kNone)},
    Row{2, 2, WithSecurity(Identified(0x15), kSecurityMemory)},
    Row{3, 3, WithSecurity(Identified(0x03), kNone)},
    Row{4, 4, WithSecurity(Identified(0x13), kSecurityMemory)},
    Row{5, 9, Unidentified(kPresentationOnly)},
    Row{10, 14, Unread(kNone)},
    Row{15, 15, CodeInCardMemory(10, 4, {{{kAnyKeyNumber, 4}, {}}})},
    Row{16, 16, CodeInCardMemory(10, 4, {{{4, 6}, {5, 4}}})},
    Row{17, 17, CodeInCardMemory(10, 4, {})},
    Row{18, 18, Unidentified(kPresentationOnly)},
    Row{19, 20, Unread(kNone)},
    Row{21, 21, LongPages()},
    Row{22, 24, Unread(kNone)},
    Row{25, 26, Zoned()},
    Row{27, 27, Unread(kPresentationOnly)},
    Row{28, 29, Unidentified(kPresentationOnly)},
    Row{30, 30, Unread(kNone)},
    Row{255, 255, Unidentified(kNone)},  // none selected
};

constexpr CardTypeTraits kAnyOther = Unidentified(kPresentationOnly);

}  // namespace

const CardTypeTraits& TraitsOf(std::int32_t cardType) {
  for (const Row& row : kRows) {
    if (cardType >= row.first && cardType <= row.last) return row.traits;
  }
  return kAnyOther;
}

std::uint8_t EraseKeyLength(const CardTypeTraits& traits, std::int32_t keyNumber) {
  for (const EraseKeyRule& rule : traits.eraseKeys) {
    if (rule.length != 0 && (rule.number == kAnyKeyNumber || rule.number == keyNumber)) return rule.length;
  }
  return 0;
}

}  // namespace kulve

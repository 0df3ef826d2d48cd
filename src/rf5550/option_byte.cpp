// SPDX-License-Identifier: MIT
// The option byte of RF5550_Init: three fields of the caller's record packed
// into one byte. The record's other seven values are not sent.
#include "rf5550/rf5550.h"

namespace kulve {
namespace {

std::uint8_t Flag(std::int32_t value) { return value != 0 ? 1 : 0; }

// 0..7 as it is; anything else (negative values included) saturates to 7.
std::uint8_t ThreeBits(std::int32_t value) {
  const auto asUnsigned = static_cast<std::uint32_t>(value);
  return static_cast<std::uint8_t>(asUnsigned <= 7 ? asUnsigned : 7);
}

struct OptionField {
  std::size_t recordIndex;
  unsigned shift;
  std::uint8_t (*encode)(std::int32_t);
};

constexpr OptionField kOptionFields[] = {
    {0, 3, Flag},       // bit 3
    {3, 4, Flag},       // bit 4
    {9, 5, ThreeBits},  // bits 7..5
};
constexpr std::uint8_t kAlwaysSet = 0x07;  // bits 2..0

}  // namespace

std::uint8_t Rf5550OptionByte(const Rf5550InitRecord& record) {
  std::uint8_t option = kAlwaysSet;
  for (const OptionField& field : kOptionFields) {
    option = static_cast<std::uint8_t>(option | (field.encode(record.value[field.recordIndex]) << field.shift));
  }
  return option;
}

}  // namespace kulve

// SPDX-License-Identifier: MIT
#include "sim/cards/mifare_access.h"

namespace kulve::sim {
namespace {

// Which keys an operation takes: bit 0 key A, bit 1 key B.
constexpr std::uint8_t kNever = 0, kA = 1, kB = 2, kAB = 3;

// Rows by condition C1 C2 C3: read, write, increment, decrement/transfer/restore.
constexpr std::uint8_t kDataRules[8][4] = {
    {kAB, kAB, kAB, kAB},        // 000
    {kAB, kNever, kNever, kAB},  // 001
    {kAB, kNever, kNever, kNever},  // 010
    {kB, kB, kNever, kNever},    // 011
    {kAB, kB, kNever, kNever},   // 100
    {kB, kNever, kNever, kNever},  // 101
    {kAB, kB, kB, kAB},          // 110
    {kNever, kNever, kNever, kNever},  // 111
};

// Rows by condition: write key A, read access bits, write access bits,
// read key B, write key B. Key A is never readable.
constexpr std::uint8_t kTrailerRules[8][5] = {
    {kA, kA, kNever, kA, kA},              // 000
    {kA, kA, kA, kA, kA},                  // 001
    {kNever, kA, kNever, kA, kNever},      // 010
    {kB, kAB, kB, kNever, kB},             // 011
    {kB, kAB, kNever, kNever, kB},         // 100
    {kNever, kAB, kB, kNever, kNever},     // 101
    {kNever, kAB, kNever, kNever, kNever},  // 110
    {kNever, kAB, kNever, kNever, kNever},  // 111
};

std::uint8_t KeyBit(KeyType key) { return key == KeyType::kA ? kA : kB; }
int Bit(std::uint8_t byte, int position) { return (byte >> position) & 1; }

}  // namespace

std::optional<AccessConditions> DecodeAccess(const AccessBytes& b) {
  AccessConditions conditions{};
  for (int block = 0; block < 4; ++block) {
    const int c1 = Bit(b[1], 4 + block), c2 = Bit(b[2], block), c3 = Bit(b[2], 4 + block);
    if (Bit(b[0], block) == c1 || Bit(b[0], 4 + block) == c2 || Bit(b[1], block) == c3) return std::nullopt;
    conditions[static_cast<std::size_t>(block)] = static_cast<std::uint8_t>(c1 << 2 | c2 << 1 | c3);
  }
  return conditions;
}

AccessBytes EncodeAccess(const AccessConditions& conditions) {
  unsigned c1 = 0, c2 = 0, c3 = 0;
  for (unsigned block = 0; block < 4; ++block) {
    c1 |= ((conditions[block] >> 2) & 1u) << block;
    c2 |= ((conditions[block] >> 1) & 1u) << block;
    c3 |= (conditions[block] & 1u) << block;
  }
  return {static_cast<std::uint8_t>(((~c2 & 0xFu) << 4) | (~c1 & 0xFu)),
          static_cast<std::uint8_t>((c1 << 4) | (~c3 & 0xFu)), static_cast<std::uint8_t>((c3 << 4) | c2)};
}

bool DataBlockAllows(std::uint8_t condition, DataOp op, KeyType key) {
  return (kDataRules[condition & 7][static_cast<int>(op)] & KeyBit(key)) != 0;
}

bool TrailerAllows(std::uint8_t condition, TrailerOp op, KeyType key) {
  return (kTrailerRules[condition & 7][static_cast<int>(op)] & KeyBit(key)) != 0;
}

}  // namespace kulve::sim

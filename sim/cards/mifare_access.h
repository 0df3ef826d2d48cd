// SPDX-License-Identifier: MIT
// Mifare Classic access conditions: the three access bytes of a sector
// trailer, and what each block's condition allows with key A and key B.
//
// Each block of a sector has a 3-bit condition C1 C2 C3 (block 3 is the
// trailer). The access bytes hold every bit twice, once inverted:
//   byte 6: ~C2 of blocks 3..0 (bits 7..4), ~C1 of blocks 3..0 (bits 3..0)
//   byte 7:  C1 of blocks 3..0 (bits 7..4), ~C3 of blocks 3..0 (bits 3..0)
//   byte 8:  C3 of blocks 3..0 (bits 7..4),  C2 of blocks 3..0 (bits 3..0)
// A new card holds FF 07 80: data blocks 000, trailer 001.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace kulve::sim {

enum class KeyType : std::uint8_t { kA = 0, kB = 1 };

// Condition C1 C2 C3 as the number C1*4 + C2*2 + C3.
using AccessConditions = std::array<std::uint8_t, 4>;  // blocks 0, 1, 2 and the trailer
using AccessBytes = std::array<std::uint8_t, 3>;

inline constexpr AccessConditions kTransportConditions{0, 0, 0, 1};

// Nullopt when a bit and its inverted copy disagree.
std::optional<AccessConditions> DecodeAccess(const AccessBytes& bytes);
AccessBytes EncodeAccess(const AccessConditions& conditions);

enum class DataOp : std::uint8_t { kRead, kWrite, kIncrement, kDecrement };  // kDecrement: also transfer, restore
enum class TrailerOp : std::uint8_t { kWriteKeyA, kReadAccess, kWriteAccess, kReadKeyB, kWriteKeyB };

bool DataBlockAllows(std::uint8_t condition, DataOp op, KeyType key);
bool TrailerAllows(std::uint8_t condition, TrailerOp op, KeyType key);
// Key B that may be read is plain data: it opens nothing.
inline bool KeyBIsData(std::uint8_t trailerCondition) {
  return TrailerAllows(trailerCondition, TrailerOp::kReadKeyB, KeyType::kA);
}

}  // namespace kulve::sim

// SPDX-License-Identifier: MIT
// ISO/IEC 7816-3 T=1 blocks: building them and reading the card's. Pure
// functions over bytes: no reader, no state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace kulve {

inline constexpr std::size_t kT1Prologue = 3;  // NAD PCB LEN
inline constexpr std::uint8_t kT1MoreData = 0x20;  // M bit of an I-block

enum class T1Kind : std::uint8_t { kInformation, kReceiveReady, kSupervisory };

// S-block functions (the low six bits of the PCB without the response bit).
namespace t1_s {
inline constexpr std::uint8_t kResynch = 0x00;
inline constexpr std::uint8_t kIfs = 0x01;
inline constexpr std::uint8_t kAbort = 0x02;
inline constexpr std::uint8_t kWtx = 0x03;
inline constexpr std::uint8_t kResponse = 0x20;
}  // namespace t1_s

constexpr T1Kind KindOf(std::uint8_t pcb) {
  if ((pcb & 0x80) == 0) return T1Kind::kInformation;
  return (pcb & 0x40) == 0 ? T1Kind::kReceiveReady : T1Kind::kSupervisory;
}
// N(S) of an I-block, N(R) of an R-block.
constexpr std::uint8_t SequenceOf(std::uint8_t pcb) {
  return KindOf(pcb) == T1Kind::kInformation ? (pcb >> 6) & 1 : (pcb >> 4) & 1;
}

std::uint8_t T1Lrc(std::span<const std::uint8_t> bytes);
// CRC of ISO/IEC 13239 as T=1 uses it: reflected polynomial 0x8408, initial
// value FFFF, no final inversion; sent high byte first.
std::uint16_t T1Crc(std::span<const std::uint8_t> bytes);

// NAD 00, pcb, LEN, inf (at most 254 bytes), then LRC or CRC.
std::vector<std::uint8_t> BuildT1Block(std::uint8_t pcb, std::span<const std::uint8_t> inf, bool crc);

struct T1Block {
  std::uint8_t nad = 0;
  std::uint8_t pcb = 0;
  std::span<const std::uint8_t> inf;
};

// The block when it is whole: NAD PCB LEN, LEN information bytes and the
// check (LRC, or CRC when crc), nothing more or less; checkEdc also demands
// a matching check. NAD is returned, not judged.
std::optional<T1Block> ParseT1Block(std::span<const std::uint8_t> bytes, bool crc, bool checkEdc);

}  // namespace kulve

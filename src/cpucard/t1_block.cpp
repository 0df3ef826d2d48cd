// SPDX-License-Identifier: MIT
#include "cpucard/t1_block.h"

namespace kulve {

std::uint8_t T1Lrc(std::span<const std::uint8_t> bytes) {
  std::uint8_t lrc = 0;
  for (std::uint8_t b : bytes) lrc ^= b;
  return lrc;
}

std::uint16_t T1Crc(std::span<const std::uint8_t> bytes) {
  std::uint16_t crc = 0xFFFF;
  for (std::uint8_t b : bytes) {
    crc ^= b;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) != 0 ? static_cast<std::uint16_t>(crc >> 1 ^ 0x8408) : crc >> 1;
  }
  return crc;
}

std::vector<std::uint8_t> BuildT1Block(std::uint8_t pcb, std::span<const std::uint8_t> inf, bool crc) {
  std::vector<std::uint8_t> block;
  block.reserve(kT1Prologue + inf.size() + 2);
  block.push_back(0x00);
  block.push_back(pcb);
  block.push_back(static_cast<std::uint8_t>(inf.size()));
  block.insert(block.end(), inf.begin(), inf.end());
  if (crc) {
    const std::uint16_t value = T1Crc(block);
    block.push_back(static_cast<std::uint8_t>(value >> 8));
    block.push_back(static_cast<std::uint8_t>(value));
  } else {
    block.push_back(T1Lrc(block));
  }
  return block;
}

std::optional<T1Block> ParseT1Block(std::span<const std::uint8_t> bytes, bool crc, bool checkEdc) {
  const std::size_t edc = crc ? 2 : 1;
  if (bytes.size() < kT1Prologue + edc) return std::nullopt;
  const std::size_t carried = bytes.size() - kT1Prologue - edc;
  if (bytes[2] != carried) return std::nullopt;
  const auto body = bytes.first(kT1Prologue + carried);
  if (checkEdc) {
    if (crc) {
      const std::uint16_t value = T1Crc(body);
      if (bytes[body.size()] != (value >> 8) || bytes[body.size() + 1] != (value & 0xFF)) return std::nullopt;
    } else if (T1Lrc(body) != bytes.back()) {
      return std::nullopt;
    }
  }
  return T1Block{bytes[0], bytes[1], bytes.subspan(kT1Prologue, carried)};
}

}  // namespace kulve

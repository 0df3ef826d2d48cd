// SPDX-License-Identifier: MIT
// The five microprocessor-card slots of the reader and their command codes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace kulve {

enum class ChipSlot : std::uint8_t { kCpuCard, kSam1, kSam2, kSam3, kSam4 };

struct ChipSlotCodes {
  std::uint8_t reset;  // answers with the card's answer-to-reset
  std::uint8_t apdu;   // relays one framed command to the card
};

inline constexpr std::array<ChipSlotCodes, 5> kChipSlotCodes{{
    {0x32, 0x33},  // CPU card
    {0x3C, 0x3D},  // SAM 1
    {0x46, 0x47},  // SAM 2
    {0x50, 0x51},  // SAM 3
    {0x5A, 0x5B},  // SAM 4
}};

constexpr const ChipSlotCodes& CodesOf(ChipSlot slot) { return kChipSlotCodes[static_cast<std::size_t>(slot)]; }

}  // namespace kulve

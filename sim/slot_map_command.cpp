// SPDX-License-Identifier: MIT
#include "sim/slot_map_command.h"

#include "sim/cards/chip_card.h"
#include "sim/mifare_reader.h"

namespace kulve::sim {

void RegisterSlotMapCommand(Firmware& firmware) {
  firmware.Register(code::kSlotMap, [](ReaderState& s, std::span<const std::uint8_t> data) -> Reply {
    if (!data.empty()) return Refuse(status::kBadLength);
    std::uint8_t present = 0;
    std::uint8_t inUse = 0;
    for (std::size_t slot = 0; slot < kChipSlots; ++slot) {
      const ChipCard* card = s.chipCards[slot].get();
      if (card == nullptr) continue;
      present |= static_cast<std::uint8_t>(1u << slot);
      if (card->Powered()) inUse |= static_cast<std::uint8_t>(1u << slot);
    }
    constexpr std::uint8_t kField = 1u << kChipSlots;
    if (s.mifare && !s.mifare->field.empty()) present |= kField;
    if (s.mifare && s.mifare->ActiveCard() != nullptr) inUse |= kField;
    return Ok({present, inUse});
  });
}

}  // namespace kulve::sim

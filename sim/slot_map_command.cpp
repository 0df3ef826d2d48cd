// SPDX-License-Identifier: MIT
#include "sim/slot_map_command.h"

#include <random>

#include "sim/cards/chip_card.h"
#include "sim/mifare_reader.h"

namespace kulve::sim {
namespace {

Reply TrueMap(const ReaderState& s) {
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
}

}  // namespace

std::optional<SlotMapMode> ParseSlotMapMode(std::string_view text) {
  if (text == "off") return SlotMapMode::kOff;
  if (text == "on") return SlotMapMode::kOn;
  if (text == "ffff") return SlotMapMode::kAllSet;
  if (text == "zeros") return SlotMapMode::kAllClear;
  if (text == "empty") return SlotMapMode::kNoData;
  if (text == "random") return SlotMapMode::kRandom;
  return std::nullopt;
}

void RegisterSlotMapCommand(Firmware& firmware, SlotMapMode mode) {
  if (mode == SlotMapMode::kOff) return;
  firmware.Register(code::kSlotMap, [mode](ReaderState& s, std::span<const std::uint8_t> data) -> Reply {
    if (!data.empty()) return Refuse(status::kBadLength);
    switch (mode) {
      case SlotMapMode::kAllSet: return Ok({0xFF, 0xFF});
      case SlotMapMode::kAllClear: return Ok({0x00, 0x00});
      case SlotMapMode::kNoData: return Ok();
      case SlotMapMode::kRandom: {
        static thread_local std::minstd_rand random{std::random_device{}()};
        return Ok({static_cast<std::uint8_t>(random()), static_cast<std::uint8_t>(random())});
      }
      default: return TrueMap(s);
    }
  });
}

}  // namespace kulve::sim

// SPDX-License-Identifier: MIT
#include "sim/cpucard_commands.h"

#include <stdexcept>

#include "sim/cards/chip_card.h"

namespace kulve::sim {
namespace {

using Data = std::span<const std::uint8_t>;

std::vector<std::uint8_t> WithCheckCharacter(std::vector<std::uint8_t> atr) {
  std::uint8_t tck = 0;
  for (std::size_t i = 1; i < atr.size(); ++i) tck ^= atr[i];  // T0 up to the last historical byte
  atr.push_back(tck);
  return atr;
}

std::array<std::uint8_t, 8> SerialOf(std::size_t slot) { return {'K', 'V', 0, 0, 0x20, 0x26, 0x00, static_cast<std::uint8_t>(slot + 1)}; }

Handler ResetSlot(std::size_t slot) {
  return [slot](ReaderState& state, Data data) -> Reply {
    if (!data.empty()) return Refuse(status::kBadLength);
    ChipCard* card = state.chipCards[slot].get();
    if (card == nullptr) return Refuse(chip_status::kNoChipCard);
    return Ok(card->Reset());
  };
}

Handler RelayToSlot(std::size_t slot) {
  return [slot](ReaderState& state, Data data) -> Reply {
    if (data.empty()) return Refuse(status::kBadLength);
    ChipCard* card = state.chipCards[slot].get();
    if (card == nullptr) return Refuse(chip_status::kNoChipCard);
    if (!card->Powered()) return Refuse(chip_status::kChipNotReset);
    auto answer = card->Receive(data);
    if (!answer) return Refuse(chip_status::kChipMute);
    if (answer->size() > kMaxFrameData) {
      card->AnswerDropped();
      return Refuse(chip_status::kAnswerTooLong);
    }
    return Ok(std::move(*answer));
  };
}

}  // namespace

const std::vector<std::uint8_t>& DefaultCpuAtr() {
  static const std::vector<std::uint8_t> atr =
      WithCheckCharacter({0x3B, 0x9A, 0x95, 0x81, 0x31, 0xFE, 0x45, 'K', 'U', 'L', 'V', 'E', '-', 'C', 'P', 'U', '1'});
  return atr;
}

const std::vector<std::uint8_t>& DefaultStrictCpuAtr() {
  static const std::vector<std::uint8_t> atr =
      WithCheckCharacter({0x3B, 0x8A, 0x81, 0x31, 0x20, 0x45, 'K', 'U', 'L', 'V', 'E', '-', 'S', 'T', 'R', '1'});
  return atr;
}

bool SetChipStrict(ReaderState& state, std::size_t slot, bool strict) {
  ChipCard* card = slot < kChipSlots ? state.chipCards[slot].get() : nullptr;
  if (card == nullptr || !card->SpeaksT1()) return false;
  card->SetStrictT1(strict);
  return true;
}

const std::vector<std::uint8_t>& DefaultSamAtr() {
  static const std::vector<std::uint8_t> atr = {0x3B, 0x6A, 0x00, 0x00, 'K', 'U', 'L', 'V', 'E', '-', 'S', 'A', 'M', '1'};
  return atr;
}

void RegisterChipCardCommands(Firmware& firmware) {
  for (std::size_t slot = 0; slot < kChipSlots; ++slot) {
    firmware.Register(kChipSlotCodes[slot].reset, ResetSlot(slot));
    firmware.Register(kChipSlotCodes[slot].apdu, RelayToSlot(slot));
  }
}

void InsertChipCard(ReaderState& state, std::size_t slot, std::vector<std::uint8_t> atr) {
  if (slot >= kChipSlots) throw std::out_of_range("no such chip slot");
  if (atr.empty() || atr.size() > kMaxAtrSize) throw std::invalid_argument("an ATR has 1 to 33 bytes");
  state.chipCards[slot] = std::make_unique<ChipCard>(std::move(atr), SerialOf(slot));
}

void RemoveChipCard(ReaderState& state, std::size_t slot) { state.chipCards.at(slot).reset(); }

void InsertDefaultChipCards(ReaderState& state) {
  InsertChipCard(state, 0, DefaultCpuAtr());
  for (std::size_t slot = 1; slot < kChipSlots; ++slot) {
    std::vector<std::uint8_t> atr = DefaultSamAtr();
    atr.back() = static_cast<std::uint8_t>('0' + slot);
    InsertChipCard(state, slot, std::move(atr));
  }
}

std::vector<std::string> TakeChipProtocolErrors(ReaderState& state) {
  std::vector<std::string> all;
  for (std::size_t slot = 0; slot < kChipSlots; ++slot) {
    if (!state.chipCards[slot]) continue;
    for (std::string& e : state.chipCards[slot]->TakeProtocolErrors()) all.push_back(ChipSlotName(slot) + ": " + e);
  }
  return all;
}

std::string ChipSlotName(std::size_t slot) { return slot == 0 ? "CPU card" : "SAM " + std::to_string(slot); }

}  // namespace kulve::sim

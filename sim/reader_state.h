// SPDX-License-Identifier: MIT
// Everything the simulated reader remembers between commands.
//
// Card families add the model of their card here, one member each, e.g.
//   std::unique_ptr<MemoryCard> memoryCard;   // null = contact slot empty
// with a forward declaration below. Construction and destruction live in
// reader_state.cpp so such members may hold incomplete types in this header.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

namespace kulve::sim {

class MemoryCard;  // sim/cards/memory_card.h
struct MifareReader;  // sim/mifare_reader.h

enum class PowerState : std::uint8_t { kOff = 0, kOn = 1 };

struct ReaderState {
  ReaderState();
  ~ReaderState();
  ReaderState(ReaderState&&) noexcept;
  ReaderState& operator=(ReaderState&&) noexcept;
  ReaderState(const ReaderState&) = delete;
  ReaderState& operator=(const ReaderState&) = delete;

  // Card type chosen with command 10; 255 = none chosen since power-up.
  std::uint8_t selectedCard = 255;
  // Second byte of the Inquire reply: 1 while a card sits in the contact
  // slot, 0 while it is empty. Families that model insertion keep it in step.
  std::uint8_t slotState = 0;
  PowerState power = PowerState::kOff;
  // Set by command 28; any other command wakes the reader again.
  bool standby = false;

  std::array<std::uint8_t, 8> deviceNumber{'K', 'S', '2', '6', '0', '0', '0', '1'};
  std::array<std::uint8_t, 8> version{'K', 'V', 'S', 'I', 'M', '1', '.', '0'};

  // The four bytes of the last command 122 and how many were accepted.
  std::array<std::uint8_t, 4> lastAlarm{};
  std::uint32_t alarmCount = 0;

  // The contact memory card in the slot; null = none (see InsertMemoryCard).
  std::unique_ptr<MemoryCard> memoryCard;

  // The RF module's Mifare side: cards in the field, keys; made on first use
  // (see MifareOf).
  std::unique_ptr<MifareReader> mifare;
};

}  // namespace kulve::sim

// SPDX-License-Identifier: MIT
// Everything the simulated reader remembers between commands.
//
// Card families add the model of their card here, one member each, e.g.
//   std::unique_ptr<MemoryCard> memoryCard;   // null = contact slot empty
// with a forward declaration below. Construction and destruction live in
// reader_state.cpp so such members may hold incomplete types in this header.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace kulve::sim {

class MemoryCard;  // sim/cards/memory_card.h
class AttendanceTerminal;  // sim/terminal/attendance_terminal.h
class At1608Card;  // sim/cards/at1608_card.h
class E5550Transponder;  // sim/cards/e5550_transponder.h
class ChipCard;    // sim/cards/chip_card.h

// The CPU card slot (0) and the four SAM slots (1..4).
inline constexpr std::size_t kChipSlots = 5;
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

  // The attendance terminal on the link; made on first use (TerminalOf in
  // sim/attendance_commands.h).
  std::unique_ptr<AttendanceTerminal> terminal;
  // The AT88SC1608 card in the slot; null = none (see InsertAt1608Card).
  std::unique_ptr<At1608Card> at1608Card;
  // The e5550 transponder in the RF field; null = none (see PlaceTransponder).
  std::unique_ptr<E5550Transponder> transponder;
  // The two bytes of the RF module query (layout in rf_module_commands.h):
  // both modules fitted, revision 1.2.
  std::array<std::uint8_t, 2> rfModule{0x03, 0x12};
  // The chip cards, indexed by slot; null = empty. A new reader has a card
  // in every slot (see InsertDefaultChipCards in sim/cpucard_commands.h).
  std::array<std::unique_ptr<ChipCard>, kChipSlots> chipCards;
  // The RF module's Mifare side: cards in the field, keys; made on first use
  // (see MifareOf).
  std::unique_ptr<MifareReader> mifare;
};

}  // namespace kulve::sim

// SPDX-License-Identifier: MIT
// The reader's RF module as far as Mifare Classic goes: the cards in its
// field, the key slots and key mode of its high-level commands, and the keys
// loaded for the single card steps (mifare_commands.h has the commands).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "sim/cards/mifare_classic.h"
#include "sim/reader_state.h"

namespace kulve::sim {

struct MifareReader {
  static constexpr std::size_t kSlots = 16;

  MifareReader();

  std::vector<MifareClassicCard> field;  // in the order they came into the field
  std::array<MifareKey, kSlots> slots;   // one per sector for the high-level commands
  KeyType keyMode = KeyType::kA;
  std::array<std::array<MifareKey, kSlots>, 2> loadedKeys;  // [key type][number], for the single steps

  // The card a select made active, or null.
  MifareClassicCard* ActiveCard();
  // The cards that answer a request; the one active before goes back to idle.
  bool Request(bool wakeHalted);
  // Anticollision among the ready cards: at each UID bit where they differ
  // (bytes in order, least significant bit first) the cards with a 1 go on.
  MifareClassicCard* AntiCollision();
  // Selects the ready card with this UID; the other ready cards go back to idle.
  MifareClassicCard* Select(const MifareUid& uid);
  // What the high-level commands start with: wakes every card (halted ones
  // too) and selects the one with this serial number, or for 0 the one
  // anticollision finds. Null when no card answers.
  MifareClassicCard* FindCard(std::uint32_t serial);
};

// The module of this reader, made on first use.
MifareReader& MifareOf(ReaderState& state);
// Puts a new card (see mifare_classic.h) into the field; returns it.
MifareClassicCard& PutMifareCard(ReaderState& state, const MifareUid& uid);
void ClearMifareField(ReaderState& state);

// The sample card of the tool and the demo: UID 4B 56 33 32, transport keys
// and access bytes everywhere, some text in blocks 1, 2 and 8, and a value
// block holding 100 in block 4.
inline constexpr MifareUid kSampleUid{0x4B, 0x56, 0x33, 0x32};
MifareClassicCard& PutSampleMifareCard(ReaderState& state);

// The serial number as the wire carries it: UID bytes in order, read as a
// little-endian number.
MifareUid UidFromSerial(std::uint32_t serial);
// Eight hex digits, e.g. "4B563332"; nullopt for anything else.
std::optional<MifareUid> ParseUid(std::string_view text);

}  // namespace kulve::sim

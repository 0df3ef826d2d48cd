// SPDX-License-Identifier: MIT
// The reader's commands for the five chip slots: the CPU card slot (slot 0)
// and SAM 1..4 (slots 1..4), each with a card of sim/cards/chip_card.h.
//
// Code (CPU, SAM 1..4)        Request data        Reply data (status 0)
// 0x32 0x3C 0x46 0x50 0x5A    none                the card's ATR (reset)
// 0x33 0x3D 0x47 0x51 0x5B    T=0 command or      the card's answer: T=0 data
//                             T=1 block           SW1 SW2, T=1 its block
//
// The reader relays the bytes to the card unchanged, whatever protocol the
// card speaks, and hands back what the card answered.
// Reader statuses:
//   kNoChipCard     0xA0  no card in that slot
//   kChipNotReset   0xA1  the card has not been reset since it was inserted
//   kChipMute       0xA2  the card gave no answer (a T=0 command shorter than
//                         its 5-byte header)
//   kAnswerTooLong  0xA3  the card answered more than one reply frame holds
//                         (255 bytes, e.g. 255 data bytes and SW under T=0):
//                         the card ran the command, its answer is dropped
//                         (a lenient T=1 card keeps its sequence bits)
//   kBadLength      (firmware.h) a reset with data, or an empty APDU command
//
// A new reader has a card in every slot: the CPU card answers with
// DefaultCpuAtr() (T=1), each SAM with DefaultSamAtr() (T=0).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "sim/firmware.h"
#include "sim/reader_state.h"

namespace kulve::sim {

namespace chip_status {
inline constexpr std::uint8_t kNoChipCard = 0xA0;
inline constexpr std::uint8_t kChipNotReset = 0xA1;
inline constexpr std::uint8_t kChipMute = 0xA2;
inline constexpr std::uint8_t kAnswerTooLong = 0xA3;
}  // namespace chip_status

struct ChipSlotCode {
  std::uint8_t reset;
  std::uint8_t apdu;
};
inline constexpr std::array<ChipSlotCode, kChipSlots> kChipSlotCodes{{
    {0x32, 0x33}, {0x3C, 0x3D}, {0x46, 0x47}, {0x50, 0x51}, {0x5A, 0x5B},
}};

// TA1 95, TD1 81 (T=1), TD2 31 (T=1), TA3 FE (IFSC), TB3 45 (BWI, CWI),
// ten historical bytes, TCK.
const std::vector<std::uint8_t>& DefaultCpuAtr();
// The strict card's: TD1 81 (T=1), TD2 31 (T=1), TA3 20 (IFSC 32), TB3 45,
// ten historical bytes "KULVE-STR1", TCK.
const std::vector<std::uint8_t>& DefaultStrictCpuAtr();
// TB1 00, TC1 00, ten historical bytes; T=0 only, so no TCK.
const std::vector<std::uint8_t>& DefaultSamAtr();

// Longest ATR a card may be given (ISO/IEC 7816-3 allows 33 bytes).
inline constexpr std::size_t kMaxAtrSize = 33;

void RegisterChipCardCommands(Firmware& firmware);

// Puts a new card answering with `atr` (1..kMaxAtrSize bytes) into the slot,
// replacing any; it must be reset before it answers commands.
void InsertChipCard(ReaderState& state, std::size_t slot, std::vector<std::uint8_t> atr);
void RemoveChipCard(ReaderState& state, std::size_t slot);
// The card in the slot speaks the strict T=1 profile (sim/cards/strict_t1.h)
// or the lenient one; false when the slot is empty or its card speaks T=0.
bool SetChipStrict(ReaderState& state, std::size_t slot, bool strict);
// The default cards in every slot.
void InsertDefaultChipCards(ReaderState& state);

// Every T=1 protocol error any card logged, as "CPU card: ..." or "SAM 2: ...",
// and the logs
// emptied: tests take them at the end of each test.
std::vector<std::string> TakeChipProtocolErrors(ReaderState& state);

// Slot 0 .. 4 as a user names them: "CPU card", "SAM 1" .. "SAM 4".
std::string ChipSlotName(std::size_t slot);

}  // namespace kulve::sim

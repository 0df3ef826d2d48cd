// SPDX-License-Identifier: MIT
// The full protocol of one slot: ISO/IEC 7816-3 T=1 with chaining, waiting
// time extension, retransmission and resynchronisation, and T=0 with GET
// RESPONSE and the repeat after a wrong Le. Works on the slot's own state in
// reader.chipProtocol.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "cpucard/slots.h"
#include "device/reader.h"

namespace kulve {

// The largest answer (data and SW1 SW2) either transport collects.
inline constexpr std::size_t kMaxFullAnswer = 65536 + 2;
// The largest command APDU: extended case 4.
inline constexpr std::size_t kMaxFullCommand = 4 + 3 + 65535 + 2;
// Every block travels in one reader frame of at most 255 bytes.
inline constexpr std::size_t kReaderFrameLimit = 255;

struct FullAnswer {
  int result = 0;                  // SW1 * 256 + SW2, or a failure (1..255)
  std::vector<std::uint8_t> bytes; // data then SW1 SW2 when result is a status word
  std::vector<std::uint8_t> firstSent;  // the first block (T=1) or command (T=0) sent
};

// One command APDU (any ISO/IEC 7816-4 case, short or extended for T=1;
// short for T=0) to the card in the slot.
FullAnswer TransmitFull(Reader& reader, ChipSlot slot, std::span<const std::uint8_t> apdu);

// Called by every reset, in either mode: the slot's parameters from its ATR
// (nothing when the reset failed but the sequence numbers) and fresh
// sequence numbers.
void NoteSlotReset(Reader& reader, ChipSlot slot, std::span<const std::uint8_t> atr, bool succeeded);
// The IFSC the slot's T=1 card takes now; 0 for a T=0 card or before a reset.
int CurrentIfsc(const Reader& reader, ChipSlot slot);

}  // namespace kulve

// SPDX-License-Identifier: MIT
// Command 15, the slot map: which slots hold a card and which of those cards
// are in use, in one exchange that touches no card. It is no command of the
// reader's documented set, so the simulator answers it only when asked to
// (kulvesim --slot-map MODE); a documented reader refuses it as any unknown
// code (0x80).
//
//   15  slot map  none / 2 bytes:
//       byte 0  a card is there: bit n for chip slot n (0 = CPU card,
//               1..4 = SAM 1..4), bit 5 for a Mifare card in the field
//       byte 1  in use: bit n when chip slot n's card has been reset since
//               it came in, bit 5 when a Mifare card is selected
//   (a request with data is refused with kBadLength)
//
// The other modes play readers whose firmware does something else with the
// code, for testing hosts that name the map: a constant FF FF or 00 00,
// status 0 with no data, or two random bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "sim/firmware.h"

namespace kulve::sim {

namespace code {
inline constexpr std::uint8_t kSlotMap = 15;
}  // namespace code

enum class SlotMapMode : std::uint8_t { kOff, kOn, kAllSet, kAllClear, kNoData, kRandom };

// "off", "on", "ffff", "zeros", "empty", "random"; nothing for other text.
std::optional<SlotMapMode> ParseSlotMapMode(std::string_view text);

// Nothing for kOff: the code stays unknown.
void RegisterSlotMapCommand(Firmware& firmware, SlotMapMode mode = SlotMapMode::kOn);

}  // namespace kulve::sim

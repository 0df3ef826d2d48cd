// SPDX-License-Identifier: MIT
// Command 15, the slot map: which slots hold a card and which of those cards
// are in use, in one exchange that touches no card.
//
//   15  slot map  none / 2 bytes:
//       byte 0  a card is there: bit n for chip slot n (0 = CPU card,
//               1..4 = SAM 1..4), bit 5 for a Mifare card in the field
//       byte 1  in use: bit n when chip slot n's card has been reset since
//               it came in, bit 5 when a Mifare card is selected
//   (a request with data is refused with kBadLength)
#pragma once

#include <cstdint>

#include "sim/firmware.h"

namespace kulve::sim {

namespace code {
inline constexpr std::uint8_t kSlotMap = 15;
}  // namespace code

void RegisterSlotMapCommand(Firmware& firmware);

}  // namespace kulve::sim

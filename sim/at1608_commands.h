// SPDX-License-Identifier: MIT
// The reader's AT88SC1608 commands, served by the card in the slot
// (sim/cards/at1608_card.h has the card, its memory and its rules).
//
// Every command needs an AT88SC1608 card in the slot (else kNoCard) and the
// power on (else kNotPowered; a command that finds the power off also makes
// the card forget the passwords presented). A request whose data does not
// fit its layout is refused with kBadLength; a zone, address range or
// password index the card does not have with kBadParameter.
//
// Code  Request data                        Reply data (status 0)
// 40    zone, address, n, n bytes           none; kNeedsPassword when the zone is protected
// 41    zone, address, n                    the n bytes; kNeedsPassword as for 40
// 42    index, 3 password bytes             the attempts byte (0xFF)
//                                           kWrongPassword with the attempts byte left
//                                           kLocked with 0x00
// 43    8 challenge bytes, 8 answer bytes   the attempts byte, then the 8-byte cryptogram
//                                           as it stands afterwards (status 0 whether or
//                                           not the answer was right)
// 44    none                                the fuse byte
// 45    none                                none; the card forgets the passwords presented
#pragma once

#include "sim/firmware.h"

namespace kulve::sim {

namespace code {
inline constexpr std::uint8_t kAt1608Write = 40;
inline constexpr std::uint8_t kAt1608Read = 41;
inline constexpr std::uint8_t kAt1608Password = 42;
inline constexpr std::uint8_t kAt1608Authenticate = 43;
inline constexpr std::uint8_t kAt1608ReadFuse = 44;
inline constexpr std::uint8_t kAt1608Reset = 45;
}  // namespace code

void RegisterAt1608Commands(Firmware& firmware);

}  // namespace kulve::sim

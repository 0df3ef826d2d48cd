// SPDX-License-Identifier: MIT
// The reader's contact memory-card commands, served by the card in the slot
// (sim/cards/memory_card.h has the card, its memory and its rules).
//
// Every command needs a card in the slot (else kNoCard) and the power on
// (else kNotPowered; a command that finds the power off also makes the card
// forget every code and key presented). A request whose data does not fit
// its layout is refused with kBadLength; an area, address, page, zone or key
// number the card does not have with kBadParameter. Addresses and page
// numbers are big-endian. Refusals carry no data unless said.
//
// Code  Request data                          Reply data (status 0)
// 20    area, addr hi, addr lo, n             the n bytes (area 18 card memory, area 2 security memory)
// 20    2                                     the whole security memory: attempts byte, code bytes
// 21    area, addr hi, addr lo, n, n bytes    none
// 21    2, the new code (code length bytes)   none; replaces the code (needs the code presented)
// 26    18, addr hi, addr lo, n, n x 0xFF     the n bytes as they now read (0xFF)
// 36    page hi, page lo, off hi, off lo, n   the n bytes; off + n must not pass the page's end
// 35    page hi, page lo, off hi, off lo, n,  none
//       n bytes
// 12    the code                              types 0, 15..17: 4 bytes, code then attempts
//                                             counter as now stored; other types none
//                                             kWrongCode with 1 byte: attempts left
//                                             kNoAttemptsLeft with 1 byte: 0
//                                             kCardRefused for cards without a code
// 25    key number, key bytes                 none (kWrongCode for a wrong key)
// 24    zone, 2 code bytes                    none (kWrongCode for a wrong code; types 25, 26)
// 27    zone, access byte                     none (needs the code presented; types 25, 26)
// 14    value                                 none; the card records the value
//
// The two forms of 20 and of 21 are told apart by their length: the short
// forms are 1 byte (20) and 1 + code length <= 4 bytes (21); the addressed
// forms are 4 bytes (20) and at least 5 bytes (21).
#pragma once

#include "sim/firmware.h"

namespace kulve::sim {

namespace code {
inline constexpr std::uint8_t kPresentCode = 12;
inline constexpr std::uint8_t kFuse = 14;
inline constexpr std::uint8_t kReadCard = 20;
inline constexpr std::uint8_t kWriteCard = 21;
inline constexpr std::uint8_t kPresentZoneCode = 24;
inline constexpr std::uint8_t kPresentEraseKey = 25;
inline constexpr std::uint8_t kEraseCard = 26;
inline constexpr std::uint8_t kSetZoneAccess = 27;
inline constexpr std::uint8_t kPagedWrite = 35;
inline constexpr std::uint8_t kPagedRead = 36;
}  // namespace code

void RegisterMemoryCardCommands(Firmware& firmware);

}  // namespace kulve::sim

// SPDX-License-Identifier: MIT
// The reader's Mifare Classic commands (sim/mifare_reader.h has the field
// and the keys, sim/cards/mifare_classic.h the card and its rules).
//
// The field holds any number of cards, none at power-up. The reader has 16
// key slots and a key mode (key A) for its high-level commands, and 2 x 16
// loaded keys for the single steps; every key starts as FF FF FF FF FF FF.
//
// Statuses: 0 done; 1 (mifare_status::kNoCard) no card answered: the field
// is empty, or no card is in the state the step needs, or none has the serial
// number asked for; kBadLength for data that does not fit the layout below;
// kBadParameter for a block above 63, a slot or key number above 15, a key
// type or mode other than 0 and 1, or a sector start that is not 4 * sector;
// and the card's statuses of mifare_status. Refusals carry no data.
//
// High-level commands. param is 4 bytes, least significant first: the serial
// number of the card to use (as AB returns it, read as a little-endian
// number), or 0 for whichever card anticollision finds. The reader wakes
// every card in the field (halted ones too), selects that card and
// authenticates the block's sector with key slot <sector>, as key A or key B
// by the key mode; then:
//
// Code  Request data                       Reply data (status 0)
// A4    slot 0..15, key (6)                none; the slot takes the key
// A9    mode: 0 key A, 1 key B             none
// AA    none                               ATQA (2): 04 00
// AB    none                               UID (4)
// AC    block, param                       the block (16); a trailer as the card shows it
// AD    block, param, data (16)            the block as it reads back after the write (16)
// AE    sector, param, key (6), which:     none; that key of the sector's trailer becomes
//       0 key A, 1 key B                   key, the access bytes stay; the other key is
//                                          kept: the reader knows it when it is the key
//                                          it authenticated with, or a readable key B;
//                                          else kKeyUnknown (nothing written) when the
//                                          write could change it
// AF    block, param                       the value (4, little-endian)
// B0    block, param, value (4)            the block becomes a value block with that value
//                                          and its own number as address; the value (4)
// B1    block, param, amount (4)           increment, transfer to the same block; the new value (4)
// B2    block, param, amount (4)           decrement, transfer; the new value (4)
// B3    4 * sector, param                  the sector's three data blocks (48)
//
// Single steps, on the card the last B7 selected:
// B4    key type 0/1, number 0..15, key (6)  none; loaded key [type][number] takes the key
// B5    mode: 0 idle cards, 1 idle and     ATQA (2); the card selected before goes back
//       halted cards (a wake-up)           to idle first
// B6    none                               UID (4) of a ready card (anticollision, see
//                                          MifareReader::AntiCollision)
// B7    UID (4)                            SAK (1): 08; the other ready cards go back to idle
// B8    key type 0/1, block, number 0..15  none; authenticates the block's sector with
//                                          loaded key [type][number]
// B9    block                              the block (16)
// BA    block, data (16)                   none
// BB    block, amount (4)                  none; increment, transfer to the same block
// BC    block, amount (4)                  none; decrement, transfer
// BD    none                               none; the selected card halts
//
// Code A1 (the RF module query) belongs to the reader's module commands.
#pragma once

#include "sim/firmware.h"

namespace kulve::sim {

namespace code {
inline constexpr std::uint8_t kMifareStoreKey = 0xA4;
inline constexpr std::uint8_t kMifareKeyMode = 0xA9;
inline constexpr std::uint8_t kMifareCardType = 0xAA;
inline constexpr std::uint8_t kMifareSerialNumber = 0xAB;
inline constexpr std::uint8_t kMifareReadBlock = 0xAC;
inline constexpr std::uint8_t kMifareWriteBlock = 0xAD;
inline constexpr std::uint8_t kMifareWriteKey = 0xAE;
inline constexpr std::uint8_t kMifareReadValue = 0xAF;
inline constexpr std::uint8_t kMifareWriteValue = 0xB0;
inline constexpr std::uint8_t kMifareIncrementValue = 0xB1;
inline constexpr std::uint8_t kMifareDecrementValue = 0xB2;
inline constexpr std::uint8_t kMifareReadSector = 0xB3;
inline constexpr std::uint8_t kMifareLoadKey = 0xB4;
inline constexpr std::uint8_t kMifareRequest = 0xB5;
inline constexpr std::uint8_t kMifareAntiCollision = 0xB6;
inline constexpr std::uint8_t kMifareSelect = 0xB7;
inline constexpr std::uint8_t kMifareAuthenticate = 0xB8;
inline constexpr std::uint8_t kMifareRead = 0xB9;
inline constexpr std::uint8_t kMifareWrite = 0xBA;
inline constexpr std::uint8_t kMifareIncrement = 0xBB;
inline constexpr std::uint8_t kMifareDecrement = 0xBC;
inline constexpr std::uint8_t kMifareHalt = 0xBD;
}  // namespace code

void RegisterMifareCommands(Firmware& firmware);

}  // namespace kulve::sim

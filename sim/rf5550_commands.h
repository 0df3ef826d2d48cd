// SPDX-License-Identifier: MIT
// The reader's e5550 transponder commands, served by the transponder in the
// RF field (sim/cards/e5550_transponder.h has the transponder and its rules).
//
// Every command needs a transponder in the field (else kNoTransponder); the
// contact slot's power plays no part. A request whose data does not fit its
// layout is refused with kBadLength. Passwords and blocks are 4 bytes; a
// lock or flag byte other than 0 means "lock".
//
// Code  Request data                              Reply data (status 0)
// 0x64  block                                     the block's 4 bytes
// 0x65  password(4), block, data(4), lock         the block's 4 bytes as now stored
// 0x66  password(4), mode byte, lock              none; block 0 byte 0 := mode byte,
//                                                 lock != 0 locks block 0
// 0x67  password(4)                               none; wakes the transponder
// 0x68  password(4), block                        as 0x64, after a wake with the password
// 0x69  password(4), block, data(4), lock         as 0x65, after a wake with the password
//
// The after-wake commands refuse with the wake's status when the wake fails.
#pragma once

#include <cstdint>

#include "sim/firmware.h"

namespace kulve::sim {

namespace code {
inline constexpr std::uint8_t kE5550Read = 0x64;
inline constexpr std::uint8_t kE5550Write = 0x65;
inline constexpr std::uint8_t kE5550Init = 0x66;
inline constexpr std::uint8_t kE5550Wake = 0x67;
inline constexpr std::uint8_t kE5550ReadAfterWake = 0x68;
inline constexpr std::uint8_t kE5550WriteAfterWake = 0x69;
}  // namespace code

void RegisterE5550Commands(Firmware& firmware);

}  // namespace kulve::sim

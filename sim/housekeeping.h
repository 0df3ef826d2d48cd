// SPDX-License-Identifier: MIT
// The reader's own commands: link probe, power, card type, state, standby,
// device number, version and alarm.
//
// Request data / reply data of each (status 0 unless said otherwise; a
// request with any other amount of data is refused with kBadLength):
//   0   link probe     none / none
//   2   power on       none / none                       power := on
//   3   power off      none / none                       power := off
//   10  select card    1 byte: card type / none          selectedCard := byte
//   13  inquire        none / 3 bytes: selectedCard, slotState, power (1 = on)
//   28  standby        none / none                       standby := true
//   32  device number  none / 8 bytes: deviceNumber
//   34  version        none / 8 bytes: version
//   122 alarm          4 bytes: count 1..7 (else kBadParameter), then three
//                      bytes of tone settings kept as they are / none
//                      lastAlarm := the 4 bytes, alarmCount += 1
#pragma once

#include <cstdint>

#include "sim/firmware.h"

namespace kulve::sim {

namespace code {
inline constexpr std::uint8_t kProbe = 0;
inline constexpr std::uint8_t kPowerOn = 2;
inline constexpr std::uint8_t kPowerOff = 3;
inline constexpr std::uint8_t kSelectCard = 10;
inline constexpr std::uint8_t kInquire = 13;
inline constexpr std::uint8_t kStandby = 28;
inline constexpr std::uint8_t kDeviceNumber = 32;
inline constexpr std::uint8_t kVersion = 34;
inline constexpr std::uint8_t kAlarm = 122;
}  // namespace code

void RegisterHousekeepingCommands(Firmware& firmware);

}  // namespace kulve::sim

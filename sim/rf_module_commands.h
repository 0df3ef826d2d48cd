// SPDX-License-Identifier: MIT
// The reader's RF module query, sent by both contactless families.
//
// Code  Request data   Reply data (status 0)
// 0xA1  none           2 bytes: ReaderState::rfModule
//   byte 0  the modules fitted: bit 0 = 125 kHz (e5550 transponders),
//           bit 1 = 13.56 MHz (Mifare cards); other bits 0
//   byte 1  the RF module's firmware revision, two BCD digits (0x12 = 1.2)
// A request with data is refused with kBadLength. The answer does not depend
// on what is in the field.
#pragma once

#include <cstdint>

#include "sim/firmware.h"

namespace kulve::sim {

namespace code {
inline constexpr std::uint8_t kRfModuleQuery = 0xA1;
}  // namespace code

namespace rf_module {
inline constexpr std::uint8_t k125kHz = 0x01;
inline constexpr std::uint8_t k13MHz = 0x02;
}  // namespace rf_module

void RegisterRfModuleCommands(Firmware& firmware);

}  // namespace kulve::sim

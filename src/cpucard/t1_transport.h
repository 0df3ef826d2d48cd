// SPDX-License-Identifier: MIT
// T=1 in the full mode (ISO/IEC 7816-3, 11.6 ff.).
#pragma once

#include <span>

#include "cpucard/full_protocol.h"

namespace kulve {

// The IFSD the library announces: the largest information field whose block
// still fits one reader frame (255 bytes): 251 with an LRC, 250 with a CRC.
constexpr std::uint8_t AnnouncedIfsd(bool crc) { return crc ? 250 : 251; }

FullAnswer TransmitT1(Reader& reader, ChipSlot slot, std::span<const std::uint8_t> apdu);

}  // namespace kulve

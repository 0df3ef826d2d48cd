// SPDX-License-Identifier: MIT
// CPU card and SAM slots: reset with answer-to-reset, and command APDUs
// framed for T=0 or T=1. Buffer layouts and results are described next to
// the exported functions in kulve32.h.
#pragma once

#include <cstddef>
#include <cstdint>

#include "cpucard/slots.h"
#include "device/reader.h"

namespace kulve {

inline constexpr std::size_t kApduRequestSize = 134;  // fixed layout of the Cmd form
inline constexpr std::size_t kApduRequestLeOffset = 133;

int ResetChip(Reader& reader, ChipSlot slot, std::uint8_t* atr);
int CpuCardProtocolType(const Reader& reader);

// request: the fixed 134-byte layout (CLA INS P1 P2 Lc, 128 data bytes, Le).
int SendApduRequest(Reader& reader, ChipSlot slot, const std::uint8_t* request, std::uint8_t* response);
// request: CLA INS P1 P2 Lc, Lc data bytes, Le; replaced by the block sent.
int SendPackedApdu(Reader& reader, ChipSlot slot, std::uint8_t* request, std::uint8_t* response);

}  // namespace kulve

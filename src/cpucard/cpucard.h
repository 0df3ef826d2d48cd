// SPDX-License-Identifier: MIT
// CPU card and SAM slots: reset with answer-to-reset, and command APDUs
// framed for T=0 or T=1. Buffer layouts and results are described next to
// the exported functions in kulve32.h.
#pragma once

#include <cstddef>
#include <cstdint>

#include "device/chip_protocol_state.h"
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

// The mode of the APDU calls above (kChipModeDefault or kChipModeFull); 4
// for any other value.
int SetChipProtocolMode(Reader& reader, int mode);
int ChipProtocolMode(const Reader& reader);
// One APDU in the full protocol, whatever the mode; slot 0 = CPU card, 1..4
// = SAM. The response gets data and SW1 SW2; *responseLength their count
// (also when they do not fit, with KULVE_RESPONSE_TOO_LONG).
int ChipTransmit(Reader& reader, int slot, const std::uint8_t* apdu, std::size_t apduLength, std::uint8_t* response,
                 std::size_t responseSize, std::size_t* responseLength);
// The same with the 32-bit sizes of the classic calling convention.
int ChipTransmit32(Reader& reader, int slot, const std::uint8_t* apdu, int apduLength, std::uint8_t* response,
                   int responseSize, int* responseLength);

}  // namespace kulve

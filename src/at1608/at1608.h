// SPDX-License-Identifier: MIT
// AT88SC1608 secure-memory cards: zone access, passwords, fuses, reset and
// the host side of the mutual authentication. Results and buffer sizes are
// described next to the exported functions in kulve32.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "device/reader.h"
#include "link/command_block.h"

namespace kulve {

// Card-level limits the reader takes.
inline constexpr std::int32_t kAt1608LastZone = 8;  // 0..7 user zones, 8 the configuration zone
inline constexpr std::int32_t kAt1608LastAddress = 255;
inline constexpr std::int32_t kAt1608MaxLength = 160;
inline constexpr std::int32_t kAt1608LastPassword = 15;

// Where the card keeps its current cryptogram.
inline constexpr std::uint8_t kAt1608ConfigZone = 8;
inline constexpr std::uint8_t kAt1608CryptogramAddress = 40;
inline constexpr std::size_t kAt1608BlockSize = 8;  // cryptogram, seed, challenge and both answers

// The attempts count an attempts byte stands for: n one-bits from the top
// followed by zero-bits give n (0..8); any other byte gives none.
std::optional<std::uint8_t> DecodeAttemptCounter(std::uint8_t attemptsByte);

// The secret bytes of a request `code` (the password presented, and the
// reply that echoes it), for the trace; empty for other commands.
SecretSpan At1608Secrets(std::uint8_t code);

int AT1608_Write(Reader& reader, std::int32_t zone, std::int32_t address, std::int32_t length,
                 const std::uint8_t* data);
int AT1608_Read(Reader& reader, std::int32_t zone, std::int32_t address, std::int32_t length, std::uint8_t* buffer);
int AT1608_Psw(Reader& reader, std::int32_t index, std::uint8_t* password);
int AT1608_ReadFuse(Reader& reader, std::uint8_t* fuse);
int AT1608_Reset(Reader& reader);
int AT1608_Authentic(Reader& reader, std::uint8_t* challenge, const std::uint8_t* seed);

}  // namespace kulve

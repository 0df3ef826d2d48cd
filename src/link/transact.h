// The one request/reply exchange with the reader.
#pragma once

#include <cstdint>
#include <span>

#include "link/reader.h"

namespace kulve {

// Sends the request held in reader.block and returns its LinkStatus, which
// also stays in reader.block.status.
std::uint8_t Transact(Reader& reader);

// Fills the command block with code and send data (at most 255 bytes) and
// runs Transact.
std::uint8_t Exchange(Reader& reader, std::uint8_t code, std::span<const std::uint8_t> send);

// True for the statuses 'e'..'s' that name a failed step of the frame.
constexpr bool IsLinkFailure(std::uint8_t status) { return status >= 'e' && status <= 's'; }

// The low 8 bits of a caller's 32-bit argument, as it goes on the wire.
constexpr std::uint8_t LowByte(std::int32_t value) { return static_cast<std::uint8_t>(value & 0xFF); }

}  // namespace kulve

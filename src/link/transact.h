// SPDX-License-Identifier: MIT
// The one request/reply exchange with the reader.
#pragma once

#include <cstdint>
#include <span>

#include "link/link_state.h"
#include "link/reply.h"
#include "results/results.h"

namespace kulve {

// Sends the request held in reader.block and returns its LinkStatus, which
// also stays in reader.block.status.
std::uint8_t Transact(Link& reader);

inline constexpr std::size_t kMaxRequestBytes = 255;  // the one-byte send length

// Puts code and send data into the command block, ready for Transact. The
// send data must not exceed kMaxRequestBytes (asserted in debug and fuzz
// builds; elsewhere the excess is not sent).
void LoadRequest(Link& reader, std::uint8_t code, std::span<const std::uint8_t> send, SecretSpan secret = {});

// LoadRequest, Transact, and the view of the reply.
ReplyView Exchange(Link& reader, std::uint8_t code, std::span<const std::uint8_t> send, SecretSpan secret = {});

// The low 8 bits of a caller's 32-bit argument, as it goes on the wire.
constexpr std::uint8_t LowByte(std::int32_t value) { return static_cast<std::uint8_t>(value & 0xFF); }

}  // namespace kulve

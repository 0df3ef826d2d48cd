// SPDX-License-Identifier: MIT
// The exports fuzzer's calls, one table per family. Each call takes its
// arguments and the reader's replies from the session's fuzz input, gives
// every pointer argument a heap buffer of exactly its documented size, and
// checks the result and every output against what kulve32.h promises for
// the exchanges that took place.
#pragma once

#include <span>

#include "fuzz/fuzz_session.h"

namespace kulve::fuzz {

using Call = void (*)(FuzzSession&);

std::span<const Call> LinkCalls();        // link, housekeeping, DES, the extensions
std::span<const Call> MemoryCardCalls();  // addressed and paged access, identification, security codes
std::span<const Call> CpuCardCalls();     // resets and APDUs of the five slots
std::span<const Call> At1608Calls();
std::span<const Call> Rf5550Calls();
std::span<const Call> MifareCalls();
std::span<const Call> AttendanceCalls();

// A count-sized buffer the fuzzer can afford; a count beyond that gets one
// byte, which is only safe if the library refuses the count (ASan says so).
inline std::size_t Affordable(std::int32_t count) {
  return count > 0 && count <= (1 << 20) ? static_cast<std::size_t>(count) : 1;
}

inline std::uint8_t Low(std::int32_t value) { return static_cast<std::uint8_t>(value & 0xFF); }

// A 32-bit value as it goes on the wire, least significant byte first.
inline void PutLe32(Bytes& out, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

inline void PutBytes(Bytes& out, const CallerBuffer& buffer) {
  out.insert(out.end(), buffer.before().begin(), buffer.before().end());
}

}  // namespace kulve::fuzz

// SPDX-License-Identifier: MIT
// The Mifare family's exchange: a request that fails on the line is repeated
// on a freshly linked port, a bounded number of times.
#pragma once

#include <cstdint>
#include <span>

#include "device/reader.h"
#include "link/reply.h"
#include "link/transact.h"

namespace kulve {

// Relink-and-repeat rounds after the first try: at most 1 + 2 exchanges of
// the same request. With a silent reader one round costs about 2.6 s (the
// 1 s pause of each close, two unanswered probes, the repeated exchange), so
// a reader that has gone away gives the caller its answer within about 6 s.
inline constexpr int kMifareRelinkRounds = 2;

// Runs the request held in reader.block through the exchange's relink and
// repeat (link/relink.h), kMifareRelinkRounds rounds at most. Returns the
// last try's status.
std::uint8_t MifareTransact(Reader& reader);

// LoadRequest, MifareTransact, and the view of the last try's reply.
// Keys in the request or the reply are marked for the trace (secret_bytes.h).
ReplyView MifareExchange(Reader& reader, std::uint8_t code, std::span<const std::uint8_t> send);

}  // namespace kulve

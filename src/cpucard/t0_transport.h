// SPDX-License-Identifier: MIT
// T=0 in the full mode: a short APDU as its case needs it, then GET
// RESPONSE while the card says 61xx and one repeat with Le = xx after 6Cxx.
#pragma once

#include <span>

#include "cpucard/full_protocol.h"

namespace kulve {

FullAnswer TransmitT0(Reader& reader, ChipSlot slot, std::span<const std::uint8_t> apdu);

}  // namespace kulve

// SPDX-License-Identifier: MIT
// One reader command as the caller words it, its secrets masked in the trace
// by what the families know of the command's bytes.
#pragma once

#include <cstdint>
#include <span>

#include "device/reader.h"
#include "link/reply.h"

namespace kulve {

ReplyView RawCommand(Reader& reader, std::uint8_t code, std::span<const std::uint8_t> send);

}  // namespace kulve

// SPDX-License-Identifier: MIT
// Which card bytes of a memory-card type are its security code, so that any
// request touching them (a read, a write, an erase, a code presentation, or
// the same bytes sent as a raw reader command) is masked in the trace.
#pragma once

#include <cstdint>
#include <span>

#include "link/command_block.h"
#include "memcard/card_types.h"

namespace kulve {

// The secret bytes of a memory-card request with `code` and `send` to a card
// of type `traits`, and of its reply: the code bytes of the card memory
// (type 0: 8..9, types 15..17: 10..11) whatever area selector other than the
// security memory's is named; the security memory from its second byte on
// (types 2, 4, 25, 26); every byte a code presentation sends, and its reply.
// The attempts counter stays visible. Empty for other commands.
SecretSpan MemcardSecrets(const CardTypeTraits& traits, std::uint8_t code, std::span<const std::uint8_t> send);

}  // namespace kulve

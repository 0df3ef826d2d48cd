// SPDX-License-Identifier: MIT
// Which bytes of a Mifare request and its reply are keys, so that any call
// carrying them is masked in the trace: the key of a key slot or a load, and
// key A and key B of a sector trailer read or written as a block.
#pragma once

#include <cstdint>
#include <span>

#include "link/command_block.h"

namespace kulve {

// True for a sector trailer: block 3 of each 4-block sector, and on a 4K
// card the last block of each 16-block sector (blocks 128 and up).
bool IsSectorTrailer(std::uint8_t block);

// The key bytes of the request `code` with `send`, and of its reply. Empty
// for a request that carries none.
SecretSpan MifareSecrets(std::uint8_t code, std::span<const std::uint8_t> send);

}  // namespace kulve

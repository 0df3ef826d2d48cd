// Bitsliced DES for long buffers: a batch of blocks is turned sideways so that
// one machine word holds the same bit of every block, and the S-boxes become
// logic on whole words. With SSE2 (always there on x86-64) a word is 128 bits
// and a batch is 128 blocks; elsewhere it is 64 bits and 64 blocks.
#pragma once

#include <cstddef>
#include <cstdint>

#include "des/des.h"

namespace kulve::des {

// Blocks per batch.
std::size_t BitslicedBatch();

// `blocks` blocks, in batches; a short last batch costs as much as a full one.
// Each batch is read whole before any of it is written, so `out` may equal
// `in` but must not start inside the input after it.
void CryptBitsliced(const std::uint8_t key[8], Direction direction, const std::uint8_t* in, std::uint8_t* out,
                    std::size_t blocks);

}  // namespace kulve::des

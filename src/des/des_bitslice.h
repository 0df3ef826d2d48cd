// SPDX-License-Identifier: MIT
// Bitsliced DES for long buffers: a batch of blocks is turned sideways so that
// one machine word holds the same bit of every block, and the S-boxes become
// logic on whole words. Where SSE2 is there a word is 128 bits and a batch is
// 128 blocks; on other 64-bit machines it is 64 bits and 64 blocks. On 32-bit
// machines without SSE2 it would be slower than the table-driven code, and is
// not used.
#pragma once

#include <cstddef>
#include <cstdint>

#include "des/des.h"

namespace kulve::des {

// Blocks per batch, or 0 where this machine has no bitsliced code worth using.
std::size_t BitslicedBatch();

// `blocks` blocks, in batches; a short last batch costs as much as a full one.
// Each batch is read whole before any of it is written, so `out` may equal
// `in` but must not start inside the input after it. Only when
// BitslicedBatch() is not 0.
void CryptBitsliced(const std::uint8_t key[8], Direction direction, const std::uint8_t* in, std::uint8_t* out,
                    std::size_t blocks);

// 32-bit x86 built by GCC for any processor: the 128-bit code is compiled
// apart and used on processors found to have SSE2 when the program runs.
#if defined(__GNUC__) && !defined(__clang__) && defined(__i386__) && !defined(__SSE2__)
#define KULVE_DES_SSE2_AT_RUN_TIME 1
#else
#define KULVE_DES_SSE2_AT_RUN_TIME 0
#endif

#if KULVE_DES_SSE2_AT_RUN_TIME
void CryptBitslicedSse2(const std::uint8_t key[8], Direction direction, const std::uint8_t* in,
                        std::uint8_t* out, std::size_t blocks);
#endif

}  // namespace kulve::des

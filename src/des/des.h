// SPDX-License-Identifier: MIT
// Single-length DES in electronic-codebook mode on caller buffers.
//
// Keys are 8 raw bytes in the standard bit order; the low bit of each byte is
// a parity bit that takes no part in the key schedule. Everything here works on
// its arguments and the stack only, so any thread may call it at any time.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kulve::des {

enum class Direction { kEncipher, kDecipher };

// The sixteen round keys in the order one direction uses them.
struct RoundKeys {
  std::uint32_t words[32];
};

RoundKeys ExpandKey(const std::uint8_t key[8], Direction direction);

// One 8-byte block. `in` and `out` may be the same bytes.
void CryptBlock(const RoundKeys& keys, const std::uint8_t in[8], std::uint8_t out[8]);

// `blocks` consecutive 8-byte blocks, each with the same key. The result is
// that of running the blocks one after another, each read whole before its
// result is written, so `out == in` works, and so does any other overlap.
void CryptEcb(const std::uint8_t key[8], Direction direction, const std::uint8_t* in, std::uint8_t* out,
              std::size_t blocks);

// EnDesData / UnDesData: a length that is not a multiple of 8 gives 4, zero
// or a negative multiple of 8 gives 0, and a null pointer with a positive
// length gives 4; none of these writes anything. Otherwise the blocks are
// processed and the result is 0.
int CryptExported(const unsigned char* input, const unsigned char* key, unsigned char* output, int length,
                  Direction direction);

}  // namespace kulve::des

// SPDX-License-Identifier: MIT
#include "des/des.h"
#include "results/results.h"

#include "des/des_bitslice.h"
#include "des/des_tables.h"

namespace kulve::des {
namespace {

using tables::kKeyGroups;
using tables::kSp;
using tables::kTotalShifts;

inline std::uint32_t Load32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

inline void Store32(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 24);
  p[1] = static_cast<std::uint8_t>(v >> 16);
  p[2] = static_cast<std::uint8_t>(v >> 8);
  p[3] = static_cast<std::uint8_t>(v);
}

inline std::uint32_t Rotl(std::uint32_t x, unsigned n) { return (x << n) | (x >> (32 - n)); }

// Exchanges the bits of `a` selected by `mask << shift` with the bits of `b`
// selected by `mask`.
inline void SwapMove(std::uint32_t& a, std::uint32_t& b, unsigned shift, std::uint32_t mask) {
  std::uint32_t t = ((a >> shift) ^ b) & mask;
  b ^= t;
  a ^= t << shift;
}

inline std::uint64_t SwapMove64(std::uint64_t x, unsigned shift, std::uint64_t mask) {
  std::uint64_t t = (x ^ (x >> shift)) & mask;
  return x ^ t ^ (t << shift);
}

// The f function of one round on a half held rotated left by one.
inline std::uint32_t F(std::uint32_t r, std::uint32_t odd, std::uint32_t even) {
  std::uint32_t u = Rotl(r, 28) ^ odd;
  std::uint32_t t = r ^ even;
  return kSp[0][(u >> 24) & 63] ^ kSp[2][(u >> 16) & 63] ^ kSp[4][(u >> 8) & 63] ^ kSp[6][u & 63] ^
         kSp[1][(t >> 24) & 63] ^ kSp[3][(t >> 16) & 63] ^ kSp[5][(t >> 8) & 63] ^ kSp[7][t & 63];
}

// C and D of the key, each written twice in a row (56 bits), so that the
// register rotated left by n is the 28 bits that start n places further on.
struct KeyRegisters {
  std::uint64_t c;
  std::uint64_t d;
};

inline KeyRegisters LoadKey(const std::uint8_t key[8]) {
  // Permuted choice 1 takes the key bits column by column from the 8x8 bit
  // matrix of the key bytes (last byte first): after reversing the byte order
  // and transposing, column n is byte n of the result.
  std::uint64_t m = 0;
  for (int i = 7; i >= 0; --i) m = (m << 8) | key[i];
  m = SwapMove64(m, 7, 0x00AA00AA00AA00AAull);
  m = SwapMove64(m, 14, 0x0000CCCC0000CCCCull);
  m = SwapMove64(m, 28, 0x00000000F0F0F0F0ull);
  // Columns 1, 2, 3 and the upper half of column 4 form C; columns 7, 6, 5
  // and the lower half of column 4 form D. Column 8 holds the parity bits.
  std::uint64_t c = (m >> 36) & 0x0FFFFFFFu;
  std::uint64_t d = (((m >> 8) & 0xFF) << 20) | (((m >> 16) & 0xFF) << 12) | (((m >> 24) & 0xFF) << 4) |
                    ((m >> 32) & 0x0F);
  return {c | (c << 28), d | (d << 28)};
}

// The key of round r (0..15) as its two words; no round depends on another.
inline void RoundKey(const KeyRegisters& reg, unsigned r, std::uint32_t& odd, std::uint32_t& even) {
  const unsigned shift = 49u - kTotalShifts[r];
  const std::uint64_t c = reg.c;
  const std::uint64_t d = reg.d;
  std::uint32_t cw = kKeyGroups[0][(c >> shift) & 127] | kKeyGroups[1][(c >> (shift - 7)) & 127] |
                     kKeyGroups[2][(c >> (shift - 14)) & 127] | kKeyGroups[3][(c >> (shift - 21)) & 127];
  std::uint32_t dw = kKeyGroups[4][(d >> shift) & 127] | kKeyGroups[5][(d >> (shift - 7)) & 127] |
                     kKeyGroups[6][(d >> (shift - 14)) & 127] | kKeyGroups[7][(d >> (shift - 21)) & 127];
  odd = (cw & 0xFFFF0000u) | (dw >> 16);
  even = (cw << 16) | (dw & 0xFFFFu);
}

// From this many blocks on, a bitsliced batch (even a short one) is faster
// than the table-driven code; 32-bit code has fewer registers for it.
constexpr std::size_t kBitslicedFrom = sizeof(void*) >= 8 ? 24 : 64;

}  // namespace

RoundKeys ExpandKey(const std::uint8_t key[8], Direction direction) {
  const KeyRegisters reg = LoadKey(key);
  RoundKeys keys;
  for (unsigned r = 0; r < 16; ++r) {
    unsigned slot = direction == Direction::kEncipher ? r : 15 - r;
    RoundKey(reg, r, keys.words[2 * slot], keys.words[2 * slot + 1]);
  }
  return keys;
}

namespace {

// Loads a block and applies the initial permutation; the halves come out
// rotated left by one, as the rounds want them.
inline void Begin(const std::uint8_t* in, std::uint32_t& left, std::uint32_t& right) {
  std::uint32_t l = Load32(in);
  std::uint32_t r = Load32(in + 4);
  SwapMove(l, r, 4, 0x0F0F0F0Fu);
  SwapMove(l, r, 16, 0x0000FFFFu);
  SwapMove(r, l, 2, 0x33333333u);
  SwapMove(r, l, 8, 0x00FF00FFu);
  r = Rotl(r, 1);
  std::uint32_t t = (l ^ r) & 0xAAAAAAAAu;
  left = Rotl(l ^ t, 1);
  right = r ^ t;
}

// Applies the final permutation, with the halves trading places after the
// last round, and stores the block.
inline void End(std::uint32_t left, std::uint32_t right, std::uint8_t* out) {
  std::uint32_t r = Rotl(right, 31);
  std::uint32_t t = (left ^ r) & 0xAAAAAAAAu;
  std::uint32_t l = Rotl(left ^ t, 31);
  r ^= t;
  SwapMove(l, r, 8, 0x00FF00FFu);
  SwapMove(l, r, 2, 0x33333333u);
  SwapMove(r, l, 16, 0x0000FFFFu);
  SwapMove(r, l, 4, 0x0F0F0F0Fu);
  Store32(out, r);
  Store32(out + 4, l);
}

// Runs `n` independent blocks through the rounds side by side, so that the
// table lookups of one block fill the wait for those of another.
template <std::size_t n>
inline void CryptBlocks(const RoundKeys& keys, const std::uint8_t* in, std::uint8_t* out) {
  std::uint32_t left[n];
  std::uint32_t right[n];
  for (std::size_t b = 0; b < n; ++b) Begin(in + 8 * b, left[b], right[b]);
  const std::uint32_t* k = keys.words;
  for (unsigned round = 0; round < 16; round += 2, k += 4) {
    for (std::size_t b = 0; b < n; ++b) left[b] ^= F(right[b], k[0], k[1]);
    for (std::size_t b = 0; b < n; ++b) right[b] ^= F(left[b], k[2], k[3]);
  }
  for (std::size_t b = 0; b < n; ++b) End(left[b], right[b], out + 8 * b);
}

// One or two blocks with the round keys made as the rounds need them: the
// key lookups then run in the shadow of the block's own.
template <std::size_t n, Direction direction>
inline void CryptFew(const std::uint8_t key[8], const std::uint8_t* in, std::uint8_t* out) {
  const KeyRegisters reg = LoadKey(key);
  std::uint32_t left[n];
  std::uint32_t right[n];
  for (std::size_t b = 0; b < n; ++b) Begin(in + 8 * b, left[b], right[b]);
  for (unsigned round = 0; round < 16; round += 2) {
    std::uint32_t odd;
    std::uint32_t even;
    RoundKey(reg, direction == Direction::kEncipher ? round : 15 - round, odd, even);
    for (std::size_t b = 0; b < n; ++b) left[b] ^= F(right[b], odd, even);
    RoundKey(reg, direction == Direction::kEncipher ? round + 1 : 14 - round, odd, even);
    for (std::size_t b = 0; b < n; ++b) right[b] ^= F(left[b], odd, even);
  }
  for (std::size_t b = 0; b < n; ++b) End(left[b], right[b], out + 8 * b);
}

}  // namespace

void CryptBlock(const RoundKeys& keys, const std::uint8_t in[8], std::uint8_t out[8]) {
  CryptBlocks<1>(keys, in, out);
}

void CryptEcb(const std::uint8_t key[8], Direction direction, const std::uint8_t* in, std::uint8_t* out,
              std::size_t blocks) {
  // Blocks taken together are all read before any is written. That changes
  // nothing unless the output starts inside the input after its first byte:
  // then a block's result may be the input of a later block, so go one by one.
  const auto in_at = reinterpret_cast<std::uintptr_t>(in);
  const auto out_at = reinterpret_cast<std::uintptr_t>(out);
  const bool grouping_safe = out_at <= in_at || out_at - in_at >= 8 * blocks;

  // One or two blocks are the common case (a MAC, a key diversification).
  if (blocks == 1 || (blocks == 2 && grouping_safe)) {
    const bool one = blocks == 1;
    if (direction == Direction::kEncipher) {
      one ? CryptFew<1, Direction::kEncipher>(key, in, out) : CryptFew<2, Direction::kEncipher>(key, in, out);
    } else {
      one ? CryptFew<1, Direction::kDecipher>(key, in, out) : CryptFew<2, Direction::kDecipher>(key, in, out);
    }
    return;
  }

  std::size_t i = 0;
  const std::size_t batch = BitslicedBatch();
  if (grouping_safe && batch != 0 && blocks >= kBitslicedFrom) {
    // Whole batches, and a short last batch when it is long enough to pay.
    const std::size_t rest = blocks % batch;
    i = rest >= kBitslicedFrom ? blocks : blocks - rest;
    CryptBitsliced(key, direction, in, out, i);
    if (i == blocks) return;
  }

  const RoundKeys keys = ExpandKey(key, direction);
  if (grouping_safe) {
    for (; blocks - i >= 4; i += 4) CryptBlocks<4>(keys, in + 8 * i, out + 8 * i);
  }
  for (; i < blocks; ++i) CryptBlocks<1>(keys, in + 8 * i, out + 8 * i);
}

int CryptExported(const unsigned char* input, const unsigned char* key, unsigned char* output, int length,
                  Direction direction) {
  if (length % 8 != 0) return result::kBadArgument;
  if (length <= 0) return 0;
  if (input == nullptr || key == nullptr || output == nullptr) return result::kBadArgument;
  CryptEcb(key, direction, input, output, static_cast<std::size_t>(length) / 8);
  return 0;
}

}  // namespace kulve::des

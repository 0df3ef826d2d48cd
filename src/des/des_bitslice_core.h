// SPDX-License-Identifier: MIT
// The bitsliced block code, for any word type `Slice` that has &, |, ^, ~
// and shifts, and holds one or more 64-bit lanes (a plain 64-bit integer, or
// a compiler vector of them).
//
// Everything here has internal linkage: each file that includes it gets its
// own copy, compiled for that file's instruction set.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "des/des.h"
#include "des/des_sbox_circuits.h"
#include "des/des_tables.h"

namespace kulve::des {
namespace {

inline std::uint64_t Load64(const std::uint8_t* p) {
  std::uint64_t v = 0;
  for (int i = 0; i < 8; ++i) v = (v << 8) | p[i];
  return v;
}

inline void Store64(std::uint8_t* p, std::uint64_t v) {
  for (int i = 7; i >= 0; --i) {
    p[i] = static_cast<std::uint8_t>(v);
    v >>= 8;
  }
}

// Transposes the 64x64 bit matrix in each lane: bit i of word j trades places
// with bit j of word i. Its own inverse.
template <class Slice>
inline void Transpose(Slice* w) {
  std::uint64_t mask = 0x00000000FFFFFFFFull;
  for (unsigned j = 32; j != 0; j >>= 1, mask ^= mask << j) {
    for (unsigned k = 0; k < 64; k = ((k | j) + 1) & ~j) {
      const Slice t = ((w[k] >> j) ^ w[k | j]) & mask;
      w[k | j] ^= t;
      w[k] ^= t << j;
    }
  }
}

// Bit n (1..64) of a block lives in word 64 - n after the transpose.
constexpr unsigned WordOf(unsigned bit) { return 64 - bit; }

// Index tables as plain arrays: the code below then calls no library
// function, which matters for the copy built for another instruction set.
template <std::size_t n>
struct Indexes {
  std::uint8_t at[n];
};

// For the initial permutation: the word that becomes bit n of L (n = 0..31)
// and of R (n = 32..63).
constexpr Indexes<64> MakeIpSource() {
  Indexes<64> source{};
  for (unsigned n = 0; n < 64; ++n) source.at[n] = static_cast<std::uint8_t>(WordOf(tables::kIp[n]));
  return source;
}
constexpr auto kIpSource = MakeIpSource();

// For the final permutation: which of the 64 pre-output bits (R16 then L16,
// numbered from 0) goes to each output word.
constexpr Indexes<64> MakeFpSource() {
  Indexes<64> source{};
  for (unsigned n = 0; n < 64; ++n) source.at[WordOf(tables::kIp[n])] = static_cast<std::uint8_t>(n);
  return source;
}
constexpr auto kFpSource = MakeFpSource();

// The half-block bit (0..31) behind each of the 48 S-box inputs.
constexpr Indexes<48> MakeExpansion() {
  Indexes<48> source{};
  for (unsigned b = 0; b < 48; ++b) source.at[b] = static_cast<std::uint8_t>(tables::kE[b] - 1u);
  return source;
}
constexpr auto kExpansion = MakeExpansion();

// Where the f function's output bit b (0..31, before P) lands after P.
constexpr Indexes<32> MakePTarget() {
  Indexes<32> target{};
  for (unsigned m = 0; m < 32; ++m) target.at[tables::kP[m] - 1] = static_cast<std::uint8_t>(m);
  return target;
}
constexpr auto kPTarget = MakePTarget();

// The key bit (0..63) behind each of the 48 bits of each round key.
constexpr Indexes<16 * 48> MakeRoundKeyBits() {
  Indexes<16 * 48> bits{};
  for (unsigned r = 0; r < 16; ++r) {
    const unsigned shift = tables::kTotalShifts[r];
    for (unsigned b = 0; b < 48; ++b) {
      const unsigned reg = tables::kPc2[b] - 1u;  // 0..55 within C || D
      const unsigned half = reg / 28;
      const unsigned before = half * 28 + (reg % 28 + shift) % 28;  // position before the rotations
      bits.at[48 * r + b] = static_cast<std::uint8_t>(tables::kPc1[before] - 1u);
    }
  }
  return bits;
}
constexpr auto kRoundKeyBits = MakeRoundKeyBits();

// One round: l ^= f(r, round key).
template <class Slice>
inline void Round(Slice* l, const Slice* r, const Slice* key_bits, const std::uint8_t* round_bits) {
  auto in = [&](unsigned box, unsigned k) {
    const unsigned b = 6 * box + k;
    return r[kExpansion.at[b]] ^ key_bits[round_bits[b]];
  };
  auto out = [&](unsigned box, unsigned j) -> Slice& { return l[kPTarget.at[4 * box + j]]; };
  using namespace sbox_circuits;
  S1(in(0, 0), in(0, 1), in(0, 2), in(0, 3), in(0, 4), in(0, 5), out(0, 0), out(0, 1), out(0, 2), out(0, 3));
  S2(in(1, 0), in(1, 1), in(1, 2), in(1, 3), in(1, 4), in(1, 5), out(1, 0), out(1, 1), out(1, 2), out(1, 3));
  S3(in(2, 0), in(2, 1), in(2, 2), in(2, 3), in(2, 4), in(2, 5), out(2, 0), out(2, 1), out(2, 2), out(2, 3));
  S4(in(3, 0), in(3, 1), in(3, 2), in(3, 3), in(3, 4), in(3, 5), out(3, 0), out(3, 1), out(3, 2), out(3, 3));
  S5(in(4, 0), in(4, 1), in(4, 2), in(4, 3), in(4, 4), in(4, 5), out(4, 0), out(4, 1), out(4, 2), out(4, 3));
  S6(in(5, 0), in(5, 1), in(5, 2), in(5, 3), in(5, 4), in(5, 5), out(5, 0), out(5, 1), out(5, 2), out(5, 3));
  S7(in(6, 0), in(6, 1), in(6, 2), in(6, 3), in(6, 4), in(6, 5), out(6, 0), out(6, 1), out(6, 2), out(6, 3));
  S8(in(7, 0), in(7, 1), in(7, 2), in(7, 3), in(7, 4), in(7, 5), out(7, 0), out(7, 1), out(7, 2), out(7, 3));
}

// Up to 64 * (words per slice) blocks; missing blocks of a short batch are
// zeros and are not stored.
template <class Slice>
void CryptBatch(const Slice* key_bits, Direction direction, const std::uint8_t* in, std::uint8_t* out,
                std::size_t blocks) {
  constexpr std::size_t kLanes = sizeof(Slice) / sizeof(std::uint64_t);
  Slice words[64];
  for (unsigned j = 0; j < 64; ++j) {
    std::uint64_t lanes[kLanes];
    for (std::size_t g = 0; g < kLanes; ++g) {
      const std::size_t block = 64 * g + j;
      lanes[g] = block < blocks ? Load64(in + 8 * block) : 0;
    }
    std::memcpy(&words[j], lanes, sizeof words[j]);
  }
  Transpose(words);

  Slice halves[64];  // L then R, after the initial permutation
  for (unsigned n = 0; n < 64; ++n) halves[n] = words[kIpSource.at[n]];
  Slice* a = halves;
  Slice* b = halves + 32;
  for (unsigned r = 0; r < 16; r += 2) {
    const unsigned first = direction == Direction::kEncipher ? r : 15 - r;
    const unsigned second = direction == Direction::kEncipher ? r + 1 : 14 - r;
    Round(a, b, key_bits, kRoundKeyBits.at + 48 * first);
    Round(b, a, key_bits, kRoundKeyBits.at + 48 * second);
  }
  // a now holds L16 and b R16; the pre-output block is R16 || L16.
  for (unsigned n = 0; n < 64; ++n) {
    const unsigned source = kFpSource.at[n];
    words[n] = source < 32 ? b[source] : a[source - 32];
  }

  Transpose(words);
  for (unsigned j = 0; j < 64; ++j) {
    std::uint64_t lanes[kLanes];
    std::memcpy(lanes, &words[j], sizeof words[j]);
    for (std::size_t g = 0; g < kLanes; ++g) {
      const std::size_t block = 64 * g + j;
      if (block < blocks) Store64(out + 8 * block, lanes[g]);
    }
  }
}

// `blocks` blocks in batches of 64 per lane.
template <class Slice>
void CryptSliced(const std::uint8_t key[8], Direction direction, const std::uint8_t* in, std::uint8_t* out,
                 std::size_t blocks) {
  constexpr std::size_t kBatch = 64 * (sizeof(Slice) / sizeof(std::uint64_t));
  // Every key bit as a word of all ones or all zeros.
  Slice key_bits[64];
  for (unsigned n = 0; n < 64; ++n) {
    const unsigned bit = (key[n / 8] >> (7 - n % 8)) & 1u;
    key_bits[n] = Slice{} + (0 - static_cast<std::uint64_t>(bit));
  }
  for (std::size_t done = 0; done < blocks; done += kBatch) {
    const std::size_t n = blocks - done < kBatch ? blocks - done : kBatch;
    CryptBatch(key_bits, direction, in + 8 * done, out + 8 * done, n);
  }
}

}  // namespace
}  // namespace kulve::des

// SPDX-License-Identifier: MIT
// The DES standard tables, and the lookup tables of the fast block and key
// schedule code, derived from them at compile time.
//
// Bit numbering follows the standard: bit 1 is the most significant bit of
// the first byte. In a 32-bit word, bit n of a half block sits at position
// 32 - n.
#pragma once

#include <array>
#include <cstdint>

namespace kulve::des::tables {

// Permutation P applied to the S-box outputs.
inline constexpr std::array<std::uint8_t, 32> kP = {
    16, 7, 20, 21, 29, 12, 28, 17, 1,  15, 23, 26, 5,  18, 31, 10,
    2,  8, 24, 14, 32, 27, 3,  9,  19, 13, 30, 6,  22, 11, 4,  25};

// Initial permutation; the final permutation is its inverse.
inline constexpr std::array<std::uint8_t, 64> kIp = {
    58, 50, 42, 34, 26, 18, 10, 2, 60, 52, 44, 36, 28, 20, 12, 4,
    62, 54, 46, 38, 30, 22, 14, 6, 64, 56, 48, 40, 32, 24, 16, 8,
    57, 49, 41, 33, 25, 17, 9,  1, 59, 51, 43, 35, 27, 19, 11, 3,
    61, 53, 45, 37, 29, 21, 13, 5, 63, 55, 47, 39, 31, 23, 15, 7};

// Expansion E: the 48 S-box input bits, taken from the right half.
inline constexpr std::array<std::uint8_t, 48> kE = {
    32, 1,  2,  3,  4,  5,  4,  5,  6,  7,  8,  9,  8,  9,  10, 11,
    12, 13, 12, 13, 14, 15, 16, 17, 16, 17, 18, 19, 20, 21, 20, 21,
    22, 23, 24, 25, 24, 25, 26, 27, 28, 29, 28, 29, 30, 31, 32, 1};

// Permuted choice 1: key bits into the registers C (first 28) and D.
inline constexpr std::array<std::uint8_t, 56> kPc1 = {
    57, 49, 41, 33, 25, 17, 9,  1,  58, 50, 42, 34, 26, 18,
    10, 2,  59, 51, 43, 35, 27, 19, 11, 3,  60, 52, 44, 36,
    63, 55, 47, 39, 31, 23, 15, 7,  62, 54, 46, 38, 30, 22,
    14, 6,  61, 53, 45, 37, 29, 21, 13, 5,  28, 20, 12, 4};

// Permuted choice 2: the 48 round key bits, numbered within C || D (1..56).
inline constexpr std::array<std::uint8_t, 48> kPc2 = {
    14, 17, 11, 24, 1,  5,  3,  28, 15, 6,  21, 10, 23, 19, 12, 4,
    26, 8,  16, 7,  27, 20, 13, 2,  41, 52, 31, 37, 47, 55, 30, 40,
    51, 45, 33, 48, 44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32};

// Left rotations of C and D before each round.
inline constexpr std::array<std::uint8_t, 16> kShifts = {1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1};

// The eight S-boxes, each four rows of sixteen.
inline constexpr std::uint8_t kSBox[8][4][16] = {
    {{14, 4, 13, 1, 2, 15, 11, 8, 3, 10, 6, 12, 5, 9, 0, 7},
     {0, 15, 7, 4, 14, 2, 13, 1, 10, 6, 12, 11, 9, 5, 3, 8},
     {4, 1, 14, 8, 13, 6, 2, 11, 15, 12, 9, 7, 3, 10, 5, 0},
     {15, 12, 8, 2, 4, 9, 1, 7, 5, 11, 3, 14, 10, 0, 6, 13}},
    {{15, 1, 8, 14, 6, 11, 3, 4, 9, 7, 2, 13, 12, 0, 5, 10},
     {3, 13, 4, 7, 15, 2, 8, 14, 12, 0, 1, 10, 6, 9, 11, 5},
     {0, 14, 7, 11, 10, 4, 13, 1, 5, 8, 12, 6, 9, 3, 2, 15},
     {13, 8, 10, 1, 3, 15, 4, 2, 11, 6, 7, 12, 0, 5, 14, 9}},
    {{10, 0, 9, 14, 6, 3, 15, 5, 1, 13, 12, 7, 11, 4, 2, 8},
     {13, 7, 0, 9, 3, 4, 6, 10, 2, 8, 5, 14, 12, 11, 15, 1},
     {13, 6, 4, 9, 8, 15, 3, 0, 11, 1, 2, 12, 5, 10, 14, 7},
     {1, 10, 13, 0, 6, 9, 8, 7, 4, 15, 14, 3, 11, 5, 2, 12}},
    {{7, 13, 14, 3, 0, 6, 9, 10, 1, 2, 8, 5, 11, 12, 4, 15},
     {13, 8, 11, 5, 6, 15, 0, 3, 4, 7, 2, 12, 1, 10, 14, 9},
     {10, 6, 9, 0, 12, 11, 7, 13, 15, 1, 3, 14, 5, 2, 8, 4},
     {3, 15, 0, 6, 10, 1, 13, 8, 9, 4, 5, 11, 12, 7, 2, 14}},
    {{2, 12, 4, 1, 7, 10, 11, 6, 8, 5, 3, 15, 13, 0, 14, 9},
     {14, 11, 2, 12, 4, 7, 13, 1, 5, 0, 15, 10, 3, 9, 8, 6},
     {4, 2, 1, 11, 10, 13, 7, 8, 15, 9, 12, 5, 6, 3, 0, 14},
     {11, 8, 12, 7, 1, 14, 2, 13, 6, 15, 0, 9, 10, 4, 5, 3}},
    {{12, 1, 10, 15, 9, 2, 6, 8, 0, 13, 3, 4, 14, 7, 5, 11},
     {10, 15, 4, 2, 7, 12, 9, 5, 6, 1, 13, 14, 0, 11, 3, 8},
     {9, 14, 15, 5, 2, 8, 12, 3, 7, 0, 4, 10, 1, 13, 11, 6},
     {4, 3, 2, 12, 9, 5, 15, 10, 11, 14, 1, 7, 6, 0, 8, 13}},
    {{4, 11, 2, 14, 15, 0, 8, 13, 3, 12, 9, 7, 5, 10, 6, 1},
     {13, 0, 11, 7, 4, 9, 1, 10, 14, 3, 5, 12, 2, 15, 8, 6},
     {1, 4, 11, 13, 12, 3, 7, 14, 10, 15, 6, 8, 0, 5, 9, 2},
     {6, 11, 13, 8, 1, 4, 10, 7, 9, 5, 0, 15, 14, 2, 3, 12}},
    {{13, 2, 8, 4, 6, 15, 11, 1, 10, 9, 3, 14, 5, 0, 12, 7},
     {1, 15, 13, 8, 10, 3, 7, 4, 12, 5, 6, 11, 0, 14, 9, 2},
     {7, 11, 4, 1, 9, 12, 14, 2, 0, 6, 10, 13, 15, 3, 5, 8},
     {2, 1, 14, 7, 4, 10, 8, 13, 15, 12, 9, 0, 3, 5, 6, 11}}};

// S-box `box` on a 6-bit input whose most significant bit is the first of
// the six: the outer two bits choose the row, the middle four the column.
constexpr unsigned SBox(unsigned box, unsigned input) {
  unsigned row = ((input >> 4) & 2u) | (input & 1u);
  return kSBox[box][row][(input >> 1) & 15u];
}

constexpr bool SBoxRowsArePermutations() {
  for (const auto& box : kSBox) {
    for (const auto& row : box) {
      unsigned seen = 0;
      for (std::uint8_t v : row) seen |= 1u << v;
      if (seen != 0xFFFFu) return false;
    }
  }
  return true;
}
static_assert(SBoxRowsArePermutations(), "every S-box row is a permutation of 0..15");

constexpr std::uint32_t RotateLeft(std::uint32_t x, unsigned n) {
  return n == 0 ? x : (x << n) | (x >> (32 - n));
}

// The block code keeps both halves rotated left by one, so that every S-box
// input is a contiguous 6-bit field: S2, S4, S6, S8 read bits 29..24, 21..16,
// 13..8, 5..0 of the half; S1, S3, S5, S7 read the same fields of the half
// rotated right by four. Round keys are laid out to match (see below).
//
// kSp[i][v] is S-box i+1 on input v, passed through P and rotated the same way.
constexpr std::array<std::array<std::uint32_t, 64>, 8> MakeSp() {
  std::array<std::array<std::uint32_t, 64>, 8> sp{};
  for (unsigned box = 0; box < 8; ++box) {
    for (unsigned v = 0; v < 64; ++v) {
      unsigned s = SBox(box, v);
      std::uint32_t before = 0;  // S-box output at bits 4*box+1 .. 4*box+4
      for (unsigned j = 0; j < 4; ++j) {
        if ((s >> (3 - j)) & 1u) before |= 1u << (32 - (4 * box + 1 + j));
      }
      std::uint32_t after = 0;
      for (unsigned k = 0; k < 32; ++k) {
        if ((before >> (32 - kP[k])) & 1u) after |= 1u << (31 - k);
      }
      sp[box][v] = RotateLeft(after, 1);
    }
  }
  return sp;
}
inline constexpr auto kSp = MakeSp();

// Round keys: the 48 bits are eight 6-bit chunks, chunk i for S-box i+1.
// A round key is two words: odd = chunks of S1, S3, S5, S7 and even = chunks
// of S2, S4, S6, S8, each at bits 29..24, 21..16, 13..8, 5..0.
//
// The first 24 round key bits come from C and the last 24 from D. The key
// schedule reads C (and D) in four 7-bit groups and ORs one table entry per
// group: for C the entry holds the S1 and S3 chunks in its upper half and the
// S2 and S4 chunks in its lower half; for D the S5 and S7 chunks above, S6 and
// S8 below.
constexpr std::array<std::array<std::uint32_t, 128>, 8> MakeKeyGroups() {
  std::array<std::array<std::uint32_t, 128>, 8> groups{};
  // Position of each chunk's least significant bit within the table entry.
  constexpr unsigned kChunkBase[8] = {24, 8, 16, 0, 24, 8, 16, 0};
  for (unsigned half = 0; half < 2; ++half) {     // 0: C, 1: D
    for (unsigned group = 0; group < 4; ++group) {
      for (unsigned v = 0; v < 128; ++v) {
        std::uint32_t entry = 0;
        for (unsigned j = 24 * half; j < 24 * half + 24; ++j) {
          unsigned reg_bit = kPc2[j] - 1 - 28 * half;  // 0..27 within C or D
          if (reg_bit / 7 != group) continue;
          if (((v >> (6 - reg_bit % 7)) & 1u) == 0) continue;
          unsigned chunk = j / 6;
          entry |= 1u << (kChunkBase[chunk] + 5 - j % 6);
        }
        groups[half * 4 + group][v] = entry;
      }
    }
  }
  return groups;
}
inline constexpr auto kKeyGroups = MakeKeyGroups();

// Total rotation of C and D before round r.
constexpr std::array<std::uint8_t, 16> MakeTotalShifts() {
  std::array<std::uint8_t, 16> total{};
  unsigned sum = 0;
  for (unsigned r = 0; r < 16; ++r) {
    sum += kShifts[r];
    total[r] = static_cast<std::uint8_t>(sum);
  }
  return total;
}
inline constexpr auto kTotalShifts = MakeTotalShifts();
static_assert(kTotalShifts[15] == 28, "C and D come back to their start after round 16");

}  // namespace kulve::des::tables

// SPDX-License-Identifier: MIT
// AuthCipher: the keystream generator of the AT88SC1608 authentication,
// nineteen small cells in three registers, run over the cells kept in an
// At1608AuthState.
//
//   left    L0..L6  5-bit cells, feedback L3 + rot5(L6) (mod 31), input x at L3
//   middle  M0..M6  7-bit cells, feedback M5 + rot7(M6) (mod 127), input z at M5
//   right   R0..R4  5-bit cells, feedback R2 + R4 (mod 31), input y at R2
//
// Each clock shifts every register by one cell towards its end and puts the
// feedback sum into cell 0; the input is XORed into the cell it enters.
#pragma once

#include <cstdint>

#include "device/family_state.h"

namespace kulve {

// a + b for 5-bit cells: sums above 31 are taken modulo 31 with 31 for a
// remainder of 0, so 0 + 0 stays 0 and 31 + 31 gives 31.
std::uint8_t Add31(std::uint8_t a, std::uint8_t b);
// The same for 7-bit cells, modulo 127.
std::uint8_t Add127(std::uint8_t a, std::uint8_t b);

class AuthCipher {
 public:
  explicit AuthCipher(At1608AuthState& state) : state_(state) {}

  // All nineteen cells to 0.
  void Reset();
  // One step with inputs x, y (5 bits) and z (7 bits); every cell moves at once.
  void Clock(std::uint8_t x, std::uint8_t y, std::uint8_t z);
  // One clock with the byte spread over the three inputs.
  void Feed(std::uint8_t byte);
  // One clock without input, then the output bits 0..3 of the new state.
  std::uint8_t OutputStep();
  // The second of two output steps.
  std::uint8_t Nibble();
  // The whole computation of one authentication: from all-zero cells, feeds
  // the state's cryptogram, challenge and seed, and fills its expected
  // answer and host answer.
  void Run();

 private:
  At1608AuthState& state_;
};

}  // namespace kulve

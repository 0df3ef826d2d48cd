// SPDX-License-Identifier: MIT
// The card's side of the authentication arithmetic: its own keystream
// generator, from which it derives the answer it expects from the host and
// the answer it gives back.
//
// Nineteen cells in one row: cells 0..6 (5 bits), 7..13 (7 bits) and 14..18
// (5 bits) form three shift registers. Each step every register moves one
// cell up; its cell 0 takes the end-around-carry sum of two of its cells
// (the second rotated left by one bit in the first two registers), and the
// step's input is XORed into one cell on its way up.
#pragma once

#include <array>
#include <cstdint>

namespace kulve::sim {

using At1608Block = std::array<std::uint8_t, 8>;

struct At1608Answers {
  At1608Block card;  // what the card answers with, and its next cryptogram
  At1608Block host;  // what the host must send to be accepted
};

// Both answers for one exchange: the card's cryptogram and secret seed, and
// the host's challenge.
At1608Answers At1608ExpectedAnswers(const At1608Block& cryptogram, const At1608Block& challenge,
                                    const At1608Block& seed);

}  // namespace kulve::sim

// SPDX-License-Identifier: MIT
#include "sim/cards/at1608_keystream.h"

#include <cstddef>

namespace kulve::sim {
namespace {

struct RegisterShape {
  std::size_t first;   // its cell 0 in the row
  std::size_t length;
  unsigned bits;       // cell width
  std::size_t tapA;    // the feedback adds cell tapA ...
  std::size_t tapB;    // ... and cell tapB,
  bool rotateB;        // rotated left by one bit when set
  std::size_t inputAt; // the cell the input is XORed into as it arrives
};

enum Register : std::size_t { kLeft, kMiddle, kRight };
constexpr RegisterShape kShapes[] = {
    {0, 7, 5, 3, 6, true, 3},    // left: input x
    {7, 7, 7, 5, 6, true, 5},    // middle: input z
    {14, 5, 5, 2, 4, false, 2},  // right: input y
};

unsigned Mask(unsigned bits) { return (1u << bits) - 1; }

// One's-complement addition: the carry out of the top bit comes back in at
// the bottom, so a sum never wraps to 0 unless both addends are 0.
unsigned EndAroundAdd(unsigned a, unsigned b, unsigned bits) {
  const unsigned sum = a + b;
  return sum > Mask(bits) ? (sum & Mask(bits)) + 1 : sum;
}

unsigned RotateLeft(unsigned v, unsigned bits) { return ((v << 1) | (v >> (bits - 1))) & Mask(bits); }

class Keystream {
 public:
  void Step(std::uint8_t byte) {
    const unsigned x = byte & 0x1Fu;
    const unsigned y = byte >> 3;
    const unsigned z = ((unsigned{byte} << 3) | (byte >> 5)) & 0x7Fu;
    Step(x, z, y);
  }

  // One idle step, then the output nibble chosen cell bit by cell bit.
  unsigned Output() {
    Step(0, 0, 0);
    const unsigned a = cell_[0] ^ cell_[4];
    const unsigned b = cell_[14] ^ cell_[17];
    const unsigned select = cell_[7];
    return (a ^ ((a ^ b) & select)) & 0xFu;
  }

  unsigned Nibble() {
    Output();
    return Output();
  }

 private:
  void Step(unsigned leftInput, unsigned middleInput, unsigned rightInput) {
    const unsigned inputs[] = {leftInput, middleInput, rightInput};
    for (std::size_t r = kLeft; r <= kRight; ++r) {
      const RegisterShape& s = kShapes[r];
      unsigned* c = cell_.data() + s.first;
      const unsigned b = s.rotateB ? RotateLeft(c[s.tapB], s.bits) : c[s.tapB];
      const unsigned feedback = EndAroundAdd(c[s.tapA], b, s.bits);
      for (std::size_t i = s.length - 1; i > 0; --i) c[i] = c[i - 1];
      c[s.inputAt] ^= inputs[r];
      c[0] = feedback;
    }
  }

  std::array<unsigned, 19> cell_{};
};

}  // namespace

At1608Answers At1608ExpectedAnswers(const At1608Block& cryptogram, const At1608Block& challenge,
                                    const At1608Block& seed) {
  Keystream k;
  // Cryptogram pairs with the first half of the challenge, seed pairs with the second.
  for (std::size_t half = 0; half < 2; ++half) {
    const At1608Block& secret = half == 0 ? cryptogram : seed;
    for (std::size_t i = 0; i < 4; ++i) {
      k.Step(secret[2 * i]);
      k.Step(secret[2 * i + 1]);
      k.Step(challenge[4 * half + i]);
    }
  }
  At1608Answers answers{};
  for (std::size_t i = 0; i < 8; ++i) {
    unsigned nibbles[4];
    for (unsigned& n : nibbles) n = k.Nibble();
    answers.card[i] = static_cast<std::uint8_t>(nibbles[0] << 4 | nibbles[1]);
    answers.host[i] = static_cast<std::uint8_t>(nibbles[2] << 4 | nibbles[3]);
  }
  return answers;
}

}  // namespace kulve::sim

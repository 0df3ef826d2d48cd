// SPDX-License-Identifier: MIT
#include "at1608/auth_cipher.h"

#include <algorithm>

#include "at1608/at1608.h"

namespace kulve {
namespace {

constexpr std::uint8_t kMask5 = 0x1F;
constexpr std::uint8_t kMask7 = 0x7F;

// Sums of two cells never reach twice the modulus, so one subtraction reduces
// them; a sum equal to the modulus stays, which is the "remainder 0 is the
// modulus" rule.
std::uint8_t AddModulo(std::uint8_t a, std::uint8_t b, unsigned modulus) {
  const unsigned sum = unsigned{a} + b;
  return static_cast<std::uint8_t>(sum > modulus ? sum - modulus : sum);
}

std::uint8_t Rotate5(std::uint8_t v) { return static_cast<std::uint8_t>(((v << 1) & kMask5) | (v >> 4)); }
std::uint8_t Rotate7(std::uint8_t v) { return static_cast<std::uint8_t>(((v << 1) & kMask7) | (v >> 6)); }

// Moves every cell one place up and puts `entering` into cell 0.
template <std::size_t N>
void Shift(std::array<std::uint8_t, N>& cells, std::uint8_t entering) {
  std::copy_backward(cells.begin(), cells.end() - 1, cells.end());
  cells[0] = entering;
}

}  // namespace

std::uint8_t Add31(std::uint8_t a, std::uint8_t b) { return AddModulo(a, b, 31); }
std::uint8_t Add127(std::uint8_t a, std::uint8_t b) { return AddModulo(a, b, 127); }

void AuthCipher::Reset() {
  state_.left.fill(0);
  state_.middle.fill(0);
  state_.right.fill(0);
}

void AuthCipher::Clock(std::uint8_t x, std::uint8_t y, std::uint8_t z) {
  auto& l = state_.left;
  auto& m = state_.middle;
  auto& r = state_.right;
  // Feedback sums and the inputs are taken from the old cells before any moves.
  const std::uint8_t leftSum = Add31(l[3], Rotate5(l[6]));
  const std::uint8_t middleSum = Add127(m[5], Rotate7(m[6]));
  const std::uint8_t rightSum = Add31(r[2], r[4]);
  const auto leftIn = static_cast<std::uint8_t>(l[2] ^ x);
  const auto middleIn = static_cast<std::uint8_t>(m[4] ^ z);
  const auto rightIn = static_cast<std::uint8_t>(r[1] ^ y);
  Shift(l, leftSum);
  Shift(m, middleSum);
  Shift(r, rightSum);
  l[3] = leftIn;
  m[5] = middleIn;
  r[2] = rightIn;
}

void AuthCipher::Feed(std::uint8_t byte) {
  const auto x = static_cast<std::uint8_t>(byte & kMask5);
  const auto y = static_cast<std::uint8_t>(byte >> 3);
  // The byte rotated left by three places, its top bit dropped.
  const auto z = static_cast<std::uint8_t>(((byte & 0x0F) << 3) | (byte >> 5));
  Clock(x, y, z);
}

std::uint8_t AuthCipher::OutputStep() {
  Clock(0, 0, 0);
  const auto& l = state_.left;
  const auto& r = state_.right;
  const std::uint8_t select = state_.middle[0];  // bit by bit: 0 takes the left term, 1 the right
  const auto left = static_cast<std::uint8_t>(l[0] ^ l[4]);
  const auto right = static_cast<std::uint8_t>(r[0] ^ r[3]);
  return static_cast<std::uint8_t>(((left & ~select) | (right & select)) & 0x0F);
}

std::uint8_t AuthCipher::Nibble() {
  OutputStep();
  return OutputStep();
}

void AuthCipher::Run() {
  Reset();
  const auto& c = state_.cryptogram;
  const auto& q = state_.challenge;
  const auto& g = state_.seed;
  for (std::size_t i = 0; i < 4; ++i) {
    Feed(c[2 * i]);
    Feed(c[2 * i + 1]);
    Feed(q[i]);
  }
  for (std::size_t i = 0; i < 4; ++i) {
    Feed(g[2 * i]);
    Feed(g[2 * i + 1]);
    Feed(q[4 + i]);
  }
  // Each pair of output bytes takes four nibbles: expected answer first, then host answer.
  for (std::size_t k = 0; k < kAt1608BlockSize; ++k) {
    const std::uint8_t expectedHigh = Nibble();
    const std::uint8_t expectedLow = Nibble();
    const std::uint8_t hostHigh = Nibble();
    const std::uint8_t hostLow = Nibble();
    state_.expected[k] = static_cast<std::uint8_t>((expectedHigh << 4) | expectedLow);
    state_.hostAnswer[k] = static_cast<std::uint8_t>((hostHigh << 4) | hostLow);
  }
}

}  // namespace kulve

// SPDX-License-Identifier: MIT
// The authentication's keystream generator: its arithmetic, single steps
// from known states, and whole runs against a fixed answer table.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "at1608/auth_cipher.h"

namespace kulve::test {
namespace {

using Block = std::array<std::uint8_t, 8>;

Block FromHex(const std::string& hex) {
  Block b{};
  for (std::size_t i = 0; i < b.size(); ++i) b[i] = static_cast<std::uint8_t>(std::stoul(hex.substr(2 * i, 2), nullptr, 16));
  return b;
}

struct Cells {
  std::array<std::uint8_t, 7> left{};
  std::array<std::uint8_t, 7> middle{};
  std::array<std::uint8_t, 5> right{};
  bool operator==(const Cells&) const = default;
};

Cells CellsOf(const At1608AuthState& s) { return {s.left, s.middle, s.right}; }

TEST(At1608CipherTest, SumsWrapWithoutEverReachingZero) {
  struct Case {
    std::uint8_t (*add)(std::uint8_t, std::uint8_t);
    std::uint8_t a, b, sum;
  };
  const Case cases[] = {
      {Add31, 0, 0, 0},      {Add31, 31, 0, 31},     {Add31, 31, 1, 1},     {Add31, 31, 31, 31},
      {Add31, 16, 16, 1},    {Add31, 15, 16, 31},    {Add127, 0, 0, 0},     {Add127, 127, 0, 127},
      {Add127, 127, 1, 1},   {Add127, 127, 127, 127}, {Add127, 100, 28, 1}, {Add127, 64, 63, 127},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.add(c.a, c.b), c.sum) << (c.add == Add31 ? "add31 " : "add127 ") << int(c.a) << "+" << int(c.b);
  }
}

TEST(At1608CipherTest, OneByteFedIntoTheZeroState) {
  struct Case {
    std::uint8_t byte;
    Cells after;
  };
  const Case cases[] = {
      {0x00, {}},
      {0xFF, {{0, 0, 0, 31, 0, 0, 0}, {0, 0, 0, 0, 0, 127, 0}, {0, 0, 31, 0, 0}}},
      {0x01, {{0, 0, 0, 1, 0, 0, 0}, {0, 0, 0, 0, 0, 8, 0}, {}}},
      {0x80, {{}, {0, 0, 0, 0, 0, 4, 0}, {0, 0, 16, 0, 0}}},
      {0x5A, {{0, 0, 0, 0x1A, 0, 0, 0}, {0, 0, 0, 0, 0, 0x52, 0}, {0, 0, 0x0B, 0, 0}}},
  };
  for (const Case& c : cases) {
    At1608AuthState state;
    AuthCipher(state).Feed(c.byte);
    EXPECT_EQ(CellsOf(state), c.after) << int(c.byte);
  }
}

TEST(At1608CipherTest, OutputStepsFromKnownStates) {
  At1608AuthState state;
  AuthCipher cipher(state);
  EXPECT_EQ(cipher.OutputStep(), 0);  // a zero sum is not reduced to 31
  EXPECT_EQ(CellsOf(state), Cells{});

  cipher.Feed(0xFF);
  std::vector<int> outputs;
  for (int i = 0; i < 8; ++i) outputs.push_back(cipher.OutputStep());
  EXPECT_EQ(outputs, (std::vector<int>{0, 0, 0, 15, 0, 0, 0, 15}));

  cipher.Reset();
  EXPECT_EQ(CellsOf(state), Cells{});
  cipher.Feed(0xFF);
  std::vector<int> nibbles;
  for (int i = 0; i < 4; ++i) nibbles.push_back(cipher.Nibble());
  EXPECT_EQ(nibbles, (std::vector<int>{0, 15, 0, 15}));
}

// Generated once from an implementation written separately from this
// library's and kept: cryptogram, challenge, seed -> expected, host answer.
TEST(At1608CipherTest, WholeRunsGiveTheKnownAnswers) {
  struct Case {
    const char* cryptogram;
    const char* challenge;
    const char* seed;
    const char* expected;
    const char* host;
  };
  const Case cases[] = {
      {"0000000000000000", "0000000000000000", "0000000000000000", "0000000000000000", "0000000000000000"},
      {"1032547698BADCFE", "0011223344556677", "0123456789ABCDEF", "95C57C6DC09E0864", "5C048BB4F69E5F0F"},
      {"5CBBBD5F2CA52CDB", "DE7066FB11BE9416", "DA13BAAA32D64C6C", "2E8C56F3789EFE9B", "F2541BC8E7CE3B9D"},
      {"FC31F7333995D5DE", "B5E8A5D61FA08FA5", "FC80F0345FBCF5A3", "3179D694E4B02B94", "58ED90FC1F63942A"},
      {"5D861BA0F9928867", "8DF56A0FB34D3357", "BEB7802EE75882D4", "BE0D25D7322DF9DB", "7DC3CA5B25F6492E"},
      {"525B0B80BFFC16C3", "8F052CB0E6C373A2", "9586AC78C5251974", "713299DADCECA088", "9F43DEDD7167D5DA"},
      {"FA7D6C0297C5590B", "F54963A7D08BB910", "345386E495CA6973", "098C67387E2BC6CC", "F8E3376C136BD822"},
  };
  for (const Case& c : cases) {
    At1608AuthState state;
    state.left.fill(9);  // a run starts from zero cells whatever came before
    state.cryptogram = FromHex(c.cryptogram);
    state.challenge = FromHex(c.challenge);
    state.seed = FromHex(c.seed);
    AuthCipher(state).Run();
    EXPECT_EQ(state.expected, FromHex(c.expected)) << c.cryptogram;
    EXPECT_EQ(state.hostAnswer, FromHex(c.host)) << c.cryptogram;
  }
}

}  // namespace
}  // namespace kulve::test

// SPDX-License-Identifier: MIT
// The simulator's strict T=1 card from the card's side, fed block by block:
// the suites that drive the library's full mode against it rely on it
// catching what a real card would.
#include <gtest/gtest.h>

#include "sim/cards/chip_card.h"
#include "sim/cpucard_commands.h"

namespace kulve::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Lrc(Bytes block) {
  std::uint8_t lrc = 0;
  for (auto b : block) lrc ^= b;
  block.push_back(lrc);
  return block;
}

TEST(SimStrictT1Test, EachBlockAnsweredAsTheStandardSays) {
  ChipCard card(DefaultStrictCpuAtr(), {1, 2, 3, 4, 5, 6, 7, 8});
  card.SetStrictT1(true);
  card.Reset();
  ASSERT_EQ(card.Strict()->Ifsc(), 32u);  // TA3 20
  // Select the 4,096-byte EF for the long answers below.
  Bytes selectDf = Lrc({0x00, 0x00, 0x07, 0x00, 0xA4, 0x00, 0x0C, 0x02, 0x7F, 0x10});
  ASSERT_EQ(card.Receive(selectDf), Lrc({0x00, 0x00, 0x02, 0x90, 0x00}));
  Bytes selectEf = Lrc({0x00, 0x40, 0x07, 0x00, 0xA4, 0x00, 0x0C, 0x02, 0x01, 0x03});
  ASSERT_EQ(card.Receive(selectEf), Lrc({0x00, 0x40, 0x02, 0x90, 0x00}));
  Bytes big = {0x00, 0x00, 33};  // N(S) 0, 33 bytes: one above IFSC
  big.resize(3 + 33, 0x11);
  struct Case {
    const char* what;
    Bytes block;
    Bytes answerPrologue;  // NAD PCB LEN of the card's answer
    bool logged;
  };
  const Case cases[] = {
      {"a block above IFSC: R-block, logged", Lrc(big), {0x00, 0x82, 0x00}, true},
      {"N(S) 1 where 0 is due: R-block, logged", Lrc({0x00, 0x40, 0x05, 0x00, 0x84, 0x00, 0x00, 0x08}),
       {0x00, 0x82, 0x00}, true},
      {"an I-block with a reserved PCB bit: R-block, logged",
       Lrc({0x00, 0x01, 0x05, 0x00, 0x84, 0x00, 0x00, 0x08}), {0x00, 0x82, 0x00}, true},
      {"READ BINARY of 64 with IFSD 32: the first link, M bit", Lrc({0x00, 0x00, 0x05, 0x00, 0xB0, 0x00, 0x00, 0x40}),
       {0x00, 0x20, 0x20}, false},
      {"R-block N(R) 1: the next link", Lrc({0x00, 0x90, 0x00}), {0x00, 0x60, 0x20}, false},
      {"R-block N(R) 0: the last link", Lrc({0x00, 0x80, 0x00}), {0x00, 0x00, 0x02}, false},
      {"S(IFS request) 254: S(IFS response) 254", Lrc({0x00, 0xC1, 0x01, 0xFE}), {0x00, 0xE1, 0x01}, false},
      {"a chained command's first link: R-block N(R) 0",
       Lrc({0x00, 0x60, 0x02, 0x00, 0x84}), {0x00, 0x80, 0x00}, false},
      {"its last link: the answer", Lrc({0x00, 0x00, 0x03, 0x00, 0x00, 0x08}), {0x00, 0x40, 0x0A}, false},
      {"S(RESYNCH request): S(RESYNCH response)", Lrc({0x00, 0xC0, 0x00}), {0x00, 0xE0, 0x00}, false},
      {"S(WTX response) not asked for: R-block, logged", Lrc({0x00, 0xE3, 0x01, 0x01}), {0x00, 0x82, 0x00}, true},
  };
  for (const Case& c : cases) {
    const auto answer = card.Receive(c.block);
    ASSERT_TRUE(answer) << c.what;
    ASSERT_GE(answer->size(), 4u) << c.what;
    EXPECT_EQ(Bytes(answer->begin(), answer->begin() + 3), c.answerPrologue) << c.what;
    EXPECT_EQ(card.TakeProtocolErrors().size(), c.logged ? 1u : 0u) << c.what;
  }
  // Slow and compute replace each other: no S(WTX) is left from SetSlow.
  card.Strict()->SetSlow(3000);
  card.Strict()->SetCompute(0, 0);
  EXPECT_EQ(card.Receive(Lrc({0x00, 0x00, 0x05, 0x00, 0x84, 0x00, 0x00, 0x08}))->at(1), 0x00);
}

TEST(SimStrictT1Test, CrcModeUsesTheIso13239Check) {
  // TD2 51: TA3 20, TC3 01 (CRC). Blocks with the check worked out by hand
  // from ISO/IEC 13239 (reflected 0x8408, FFFF, no inversion).
  ChipCard card({0x3B, 0x80, 0x81, 0x51, 0x20, 0x01}, {1, 2, 3, 4, 5, 6, 7, 8});
  card.SetStrictT1(true);
  card.Reset();
  ASSERT_TRUE(card.Strict()->Crc());
  EXPECT_EQ(card.Receive(Bytes{0x00, 0xC1, 0x01, 0xFE, 0x54, 0x4E}), (Bytes{0x00, 0xE1, 0x01, 0xFE, 0x57, 0x75}));
  EXPECT_EQ(card.Receive(Bytes{0x00, 0xC0, 0x00, 0xF3, 0x99}), (Bytes{0x00, 0xE0, 0x00, 0xD0, 0xAA}));
  EXPECT_TRUE(card.TakeProtocolErrors().empty());
}

}  // namespace
}  // namespace kulve::sim

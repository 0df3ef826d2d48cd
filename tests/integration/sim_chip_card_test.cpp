// SPDX-License-Identifier: MIT
// The simulated chip cards from the card's side: the T=1 receiver's checks,
// the T=0 rules for Le and GET RESPONSE, and the application's PIN counter.
// These feed the card bad input on purpose and take what it logs; the
// library's own traffic is checked in cpucard_integration_test.cpp.
#include <gtest/gtest.h>

#include "sim/cards/chip_card.h"
#include "sim/control.h"
#include "sim/cpucard_commands.h"

namespace kulve::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes WithLrc(Bytes block) {
  std::uint8_t lrc = 0;
  for (auto b : block) lrc ^= b;
  block.push_back(lrc);
  return block;
}

const Bytes kT0Atr{0x3B, 0x60, 0x00, 0x00};

ChipCard ResetCard(const Bytes& atr) {
  ChipCard card(atr, {1, 2, 3, 4, 5, 6, 7, 8});
  card.Reset();
  return card;
}

TEST(SimChipCardTest, T1ReceiverRejectsEveryMalformedBlockAndRunsNothing) {
  struct Case {
    const char* what;
    Bytes block;
    const char* logged;
    std::uint8_t rBlockPcb;
  };
  const Case cases[] = {
      {"too short", {0x00, 0x00, 0x00}, "shorter than", 0x82},
      {"wrong LRC", {0x00, 0x00, 0x05, 0x00, 0x84, 0x00, 0x00, 0x08, 0x00}, "LRC", 0x81},
      {"LEN too large", WithLrc({0x00, 0x00, 0x06, 0x00, 0x84, 0x00, 0x00, 0x08}), "LEN", 0x82},
      {"NAD not 00", WithLrc({0x21, 0x00, 0x05, 0x00, 0x84, 0x00, 0x00, 0x08}), "NAD", 0x82},
      {"an S-block", WithLrc({0x00, 0xC1, 0x01, 0xFE}), "not an I-block", 0x82},
      {"chaining", WithLrc({0x00, 0x20, 0x05, 0x00, 0x84, 0x00, 0x00, 0x08}), "chaining", 0x82},
      {"reserved bits", WithLrc({0x00, 0x01, 0x05, 0x00, 0x84, 0x00, 0x00, 0x08}), "reserved", 0x82},
      {"N(S) 1 first", WithLrc({0x00, 0x40, 0x05, 0x00, 0x84, 0x00, 0x00, 0x08}), "N(S) 1, expected 0", 0x82},
  };
  for (const Case& c : cases) {
    ChipCard card = ResetCard(DefaultCpuAtr());
    ASSERT_TRUE(card.SpeaksT1());
    EXPECT_EQ(card.Receive(c.block), WithLrc({0x00, c.rBlockPcb, 0x00})) << c.what;
    const auto errors = card.TakeProtocolErrors();
    ASSERT_EQ(errors.size(), 1u) << c.what;
    EXPECT_NE(errors[0].find(c.logged), std::string::npos) << c.what << ": " << errors[0];
    // Nothing moved: the card still takes N(S) 0 and answers with its N(S) 0.
    const auto answer = card.Receive(WithLrc(Bytes{0x00, 0x00, 0x05, 0x00, 0x84, 0x00, 0x00, 0x08}));
    ASSERT_TRUE(answer && answer->size() == 3 + 8 + 2 + 1) << c.what;
    EXPECT_EQ((*answer)[1], 0x00) << c.what;
    EXPECT_TRUE(card.ProtocolErrors().empty()) << c.what;
  }
}

TEST(SimChipCardTest, T1SequenceBitsAlternateFromEachReset) {
  ChipCard card = ResetCard(DefaultCpuAtr());
  const Bytes verifyQuery{0x00, 0x20, 0x00, 0x01, 0x00};
  for (std::uint8_t pcb : {std::uint8_t{0x00}, std::uint8_t{0x40}, std::uint8_t{0x00}}) {
    Bytes block{0x00, pcb, 0x05};
    block.insert(block.end(), verifyQuery.begin(), verifyQuery.end());
    EXPECT_EQ(card.Receive(WithLrc(block)), WithLrc({0x00, pcb, 0x02, 0x63, 0xC3}));
  }
  card.Reset();
  EXPECT_EQ(card.Receive(WithLrc({0x00, 0x00, 0x05, 0x00, 0x20, 0x00, 0x01, 0x00})), WithLrc({0x00, 0x00, 0x02, 0x63, 0xC3}));
  EXPECT_TRUE(card.ProtocolErrors().empty());
}

TEST(SimChipCardTest, T0AnnouncesResponsesAndCorrectsLe) {
  ChipCard card = ResetCard(kT0Atr);
  ASSERT_FALSE(card.SpeaksT1());
  const Bytes selectApplication{0x00, 0xA4, 0x04, 0x00, 0x07, 0xF0, 0x4B, 0x55, 0x4C, 0x56, 0x45, 0x31};
  struct Step {
    const char* what;
    Bytes command;
    Bytes answerEnd;        // the last bytes of the answer
    std::size_t dataBytes;  // bytes before the status word
  };
  const Step steps[] = {
      {"SELECT by name announces its FCI", selectApplication, {0x61, 0x19}, 0},
      {"GET RESPONSE asking too much", {0x00, 0xC0, 0x00, 0x00, 0x20}, {0x6C, 0x19}, 0},
      {"GET RESPONSE in two parts", {0x00, 0xC0, 0x00, 0x00, 0x10}, {0x61, 0x09}, 16},
      {"the rest", {0x00, 0xC0, 0x00, 0x00, 0x09}, {0x90, 0x00}, 9},
      {"nothing left", {0x00, 0xC0, 0x00, 0x00, 0x09}, {0x69, 0x85}, 0},
      {"SELECT EF 0101, no FCI", {0x00, 0xA4, 0x00, 0x0C, 0x02, 0x01, 0x01}, {0x90, 0x00}, 0},
      {"READ BINARY past the end", {0x00, 0xB0, 0x00, 0x30, 0x20}, {0x6C, 0x10}, 0},
      {"READ BINARY, Le 00 is 256 under T=0", {0x00, 0xB0, 0x00, 0x00, 0x00}, {0x6C, 0x40}, 0},
      {"READ BINARY, right Le", {0x00, 0xB0, 0x00, 0x30, 0x10}, {0x90, 0x00}, 16},
      {"data count differs from Lc", {0x00, 0xA4, 0x00, 0x0C, 0x02, 0x01}, {0x67, 0x00}, 0},
      {"GET CHALLENGE with the wrong Le", {0x00, 0x84, 0x00, 0x00, 0x04}, {0x6C, 0x08}, 0},
      {"unknown instruction", {0x00, 0xCA, 0x00, 0x00, 0x00}, {0x6D, 0x00}, 0},
      {"unknown class", {0x80, 0xB0, 0x00, 0x00, 0x10}, {0x6E, 0x00}, 0},
      {"unknown application", {0x00, 0xA4, 0x04, 0x00, 0x03, 0xA0, 0x00, 0x01}, {0x6A, 0x82}, 0},
  };
  for (const Step& s : steps) {
    const auto answer = card.Receive(s.command);
    ASSERT_TRUE(answer) << s.what;
    ASSERT_EQ(answer->size(), s.dataBytes + 2) << s.what;
    EXPECT_EQ(Bytes(answer->end() - 2, answer->end()), s.answerEnd) << s.what;
  }
  EXPECT_FALSE(card.Receive(Bytes{0x00, 0xB0, 0x00, 0x00})) << "a T=0 command shorter than its header";
}

TEST(SimChipCardTest, PinTriesCountDownAndBlock) {
  ChipCard card = ResetCard(kT0Atr);
  const Bytes wrong{0x00, 0x20, 0x00, 0x01, 0x04, '9', '9', '9', '9'};
  const Bytes right{0x00, 0x20, 0x00, 0x01, 0x04, '1', '2', '3', '4'};
  const Bytes query{0x00, 0x20, 0x00, 0x01, 0x00};
  const std::pair<Bytes, Bytes> steps[] = {
      {wrong, {0x63, 0xC2}}, {query, {0x63, 0xC2}}, {right, {0x90, 0x00}}, {query, {0x90, 0x00}},
      {wrong, {0x63, 0xC2}}, {wrong, {0x63, 0xC1}}, {wrong, {0x63, 0xC0}}, {right, {0x69, 0x83}},
      {query, {0x69, 0x83}},
  };
  for (std::size_t i = 0; i < std::size(steps); ++i) EXPECT_EQ(card.Receive(steps[i].first), steps[i].second) << "step " << i;
}

TEST(SimChipCardTest, ReaderAndControlCommands) {
  Simulator sim;
  ASSERT_EQ(sim.WithState([](ReaderState& s) { return s.chipCards[0] ? s.chipCards[0]->Atr() : Bytes{}; }), DefaultCpuAtr());
  EXPECT_EQ(RunControlCommand(sim, "chip 2 3B 60 00 00"), "ok");
  EXPECT_EQ(RunControlCommand(sim, "chip 5 3B600000"), "error: the slot is 0 (CPU card) or 1..4 (SAM)");
  EXPECT_EQ(RunControlCommand(sim, "chip 1 3B6"), "error: the ATR is 2 to 33 hex bytes, or none");
  EXPECT_EQ(RunControlCommand(sim, "chip 3 none"), "ok");
  EXPECT_EQ(RunControlCommand(sim, "t1errors"), "t1errors 0");

  Firmware firmware;
  RegisterChipCardCommands(firmware);
  sim.WithState([&](ReaderState& s) {
    EXPECT_EQ(firmware.Execute(s, 0x51, Bytes{0x00}).status, chip_status::kNoChipCard);  // SAM 3 removed
    EXPECT_EQ(firmware.Execute(s, 0x47, Bytes{0x00, 0xB0, 0, 0, 1}).status, chip_status::kChipNotReset);
    EXPECT_EQ(firmware.Execute(s, 0x46, {}).data, (Bytes{0x3B, 0x60, 0x00, 0x00}));
    EXPECT_EQ(firmware.Execute(s, 0x47, Bytes{0x00, 0xB0}).status, chip_status::kChipMute);
    EXPECT_EQ(firmware.Execute(s, 0x46, Bytes{0x00}).status, status::kBadLength);
    EXPECT_EQ(firmware.Execute(s, 0x32, {}).data, DefaultCpuAtr());
    EXPECT_EQ(firmware.Execute(s, 0x33, Bytes{0x00, 0x40, 0x00, 0x40}).data, WithLrc({0x00, 0x82, 0x00}));
    // 255 bytes of the large file and SW in a T=1 block: more than one reply
    // frame; the next block keeps the same N(S).
    firmware.Execute(s, 0x33, WithLrc({0x00, 0x00, 0x07, 0x00, 0xA4, 0x00, 0x0C, 0x02, 0x7F, 0x10}));
    firmware.Execute(s, 0x33, WithLrc({0x00, 0x40, 0x07, 0x00, 0xA4, 0x00, 0x0C, 0x02, 0x01, 0x03}));
    const Bytes read = WithLrc({0x00, 0x00, 0x05, 0x00, 0xB0, 0x00, 0x00, 0xFF});
    EXPECT_EQ(firmware.Execute(s, 0x33, read).status, chip_status::kAnswerTooLong);
    const Bytes next = WithLrc({0x00, 0x00, 0x05, 0x00, 0xB0, 0x00, 0x00, 0x10});
    EXPECT_EQ(firmware.Execute(s, 0x33, next).data.at(1), 0x00);  // the card's N(S) 0 again, not an R-block
  });
  const std::string log = RunControlCommand(sim, "t1errors");
  EXPECT_EQ(log.rfind("t1errors 1: CPU card: N(S) 1, expected 0", 0), 0u) << log;
}

}  // namespace
}  // namespace kulve::sim

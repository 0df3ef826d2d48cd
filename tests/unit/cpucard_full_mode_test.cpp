// SPDX-License-Identifier: MIT
// The full mode over scripted card answers: what goes on the wire for the
// supervisory exchanges, the waiting time extension, the limit on repeats,
// the CRC, T=0 with GET RESPONSE, and the ATR reading over the real list.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "cpucard/cpucard.h"
#include "cpucard/t1_block.h"
#include "cpucard/t1_parameters.h"
#include "support/fake_reader.h"

namespace kulve::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Lrc(Bytes block) {
  std::uint8_t x = 0;
  for (auto b : block) x ^= b;
  block.push_back(x);
  return block;
}

class FullModeTest : public ::testing::Test, protected FakeReaderFixture {
 protected:
  void SetUp() override {
    OpenLink();
    ASSERT_EQ(SetChipProtocolMode(reader, kChipModeFull), 0);
  }
  void Reset(ChipSlot slot, const Bytes& atr) {
    peer.replies.push_back({.data = atr});
    Bytes buffer(256);
    ASSERT_EQ(ResetChip(reader, slot, buffer.data()), 0);
    peer.TakeRequests();
  }
  int Transmit(int slot, const Bytes& apdu, Bytes& answer) {
    answer.assign(70000, 0xEE);
    std::size_t n = 0;
    const int r = ChipTransmit(reader, slot, apdu.data(), apdu.size(), answer.data(), answer.size(), &n);
    answer.resize(n);
    return r;
  }
  std::vector<Bytes> Sent() {
    std::vector<Bytes> blocks;
    for (auto& r : peer.TakeRequests()) blocks.push_back(r.data);
    return blocks;
  }
};

// NAD 00, pcb, LEN and inf, then the LRC (sized at once: GCC 12 misreads an insert here).
Bytes LrcBlock(std::uint8_t pcb, const std::uint8_t* inf, std::size_t n) {
  Bytes b(3 + n);
  b[1] = pcb;
  b[2] = static_cast<std::uint8_t>(n);
  std::copy_n(inf, n, b.begin() + 3);
  return Lrc(b);
}

const Bytes kAtrT1 = {0x3B, 0x80, 0x01};  // TD1 names T=1, nothing more: IFSC 32, LRC
const Bytes kIfsRequest = Lrc({0x00, 0xC1, 0x01, 0xFB});
const Bytes kIfsResponse = Lrc({0x00, 0xE1, 0x01, 0xFB});
const Bytes kGetChallenge = {0x00, 0x84, 0x00, 0x00, 0x08};

TEST_F(FullModeTest, WtxIsAnsweredAndTheWaitForTheNextBlockExtended) {
  Reset(ChipSlot::kCpuCard, kAtrT1);
  peer.replies.push_back({.data = kIfsResponse});
  peer.replies.push_back({.data = Lrc({0x00, 0xC3, 0x01, 0x04})});
  // 25 empty reads before the acknowledgement: past the usual 10 tries,
  // within 4 times them.
  peer.replies.push_back({.data = Lrc({0x00, 0x00, 0x04, 0x12, 0x34, 0x90, 0x00}), .ackDelayReads = 25});
  Bytes answer;
  EXPECT_EQ(Transmit(0, kGetChallenge, answer), 0x9000);
  EXPECT_EQ(answer, (Bytes{0x12, 0x34, 0x90, 0x00}));
  EXPECT_EQ(Sent(), (std::vector<Bytes>{kIfsRequest, Lrc({0x00, 0x00, 0x05, 0x00, 0x84, 0x00, 0x00, 0x08}),
                                        Lrc({0x00, 0xE3, 0x01, 0x04})}));
  EXPECT_EQ(reader.context.commandAckTries, 10) << "the extension lasts one block";
}

TEST_F(FullModeTest, BrokenBlocksAreAskedForTwiceThenTheCardIsResynchronised) {
  const Bytes good = Lrc({0x00, 0x00, 0x02, 0x90, 0x00});
  Bytes badLrc = good;
  badLrc.back() ^= 0xFF;
  const Bytes truncated(good.begin(), good.end() - 1);
  const Bytes rEdc = Lrc({0x00, 0x81, 0x00}), rOther = Lrc({0x00, 0x82, 0x00});
  const Bytes iBlock = Lrc({0x00, 0x00, 0x05, 0x00, 0x84, 0x00, 0x00, 0x08});
  struct Case {
    const char* what;
    std::vector<Bytes> replies;  // after the IFS response; none: the reader refuses with A2
    int result;
    std::vector<Bytes> sent;     // after the IFS request
  };
  const Case cases[] = {
      {"a dropped byte, then the block again", {truncated, good}, 0x9000, {iBlock, rOther}},
      {"a wrong LRC twice, then good", {badLrc, badLrc, good}, 0x9000, {iBlock, rEdc, rEdc}},
      {"the card's R-block asks for ours again", {Lrc({0x00, 0x82, 0x00}), good}, 0x9000, {iBlock, iBlock}},
      {"the card's block never comes (the reader says so three times): R-blocks, then the reader's status, "
       "and the next call resynchronises first",
       {}, 0xA2, {iBlock, rOther, rOther, Lrc({0x00, 0xC0, 0x00}), kIfsRequest, iBlock}},
      {"three broken blocks: resynchronised, lost",
       {badLrc, badLrc, badLrc, Lrc({0x00, 0xE0, 0x00})}, KULVE_T1_EXCHANGE_LOST,
       {iBlock, rEdc, rEdc, Lrc({0x00, 0xC0, 0x00})}},
  };
  for (const Case& c : cases) {
    Reset(ChipSlot::kCpuCard, kAtrT1);
    peer.replies.push_back({.data = kIfsResponse});
    for (const Bytes& r : c.replies) peer.replies.push_back({.data = r});
    if (c.replies.empty()) peer.replies.insert(peer.replies.end(), 3, {.status = 0xA2});
    Bytes answer;
    EXPECT_EQ(Transmit(0, kGetChallenge, answer), c.result) << c.what;
    if (c.replies.empty()) {
      peer.replies.push_back({.data = Lrc({0x00, 0xE0, 0x00})});
      peer.replies.push_back({.data = kIfsResponse});
      peer.replies.push_back({.data = good});
      EXPECT_EQ(Transmit(0, kGetChallenge, answer), 0x9000) << c.what;
    }
    std::vector<Bytes> sent = Sent();
    ASSERT_FALSE(sent.empty()) << c.what;
    EXPECT_EQ(sent.front(), kIfsRequest) << c.what;
    EXPECT_EQ(std::vector<Bytes>(sent.begin() + 1, sent.end()), c.sent) << c.what;
  }
}

TEST_F(FullModeTest, CrcWhenTc3SaysSo) {
  // The published check value of this CRC over "123456789" (0x906E after a
  // final inversion, which T=1 does not make).
  const std::string digits = "123456789";
  EXPECT_EQ(T1Crc({reinterpret_cast<const std::uint8_t*>(digits.data()), digits.size()}), 0x6F91);
  // TD1 81, TD2 51: TA3 20 (IFSC 32), TC3 01 (CRC).
  Reset(ChipSlot::kSam1, {0x3B, 0x80, 0x81, 0x51, 0x20, 0x01});
  const Bytes ifs = BuildT1Block(0xE1, Bytes{250}, true);
  peer.replies.push_back({.data = ifs});
  peer.replies.push_back({.data = BuildT1Block(0x00, Bytes{0x90, 0x00}, true)});
  Bytes answer;
  EXPECT_EQ(Transmit(1, kGetChallenge, answer), 0x9000);
  const auto sent = Sent();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0], BuildT1Block(0xC1, Bytes{250}, true));
  EXPECT_EQ(sent[1].size(), 3u + 5u + 2u);
}

TEST_F(FullModeTest, T0FetchesWhatTheCardAnnouncesAndRepeatsWithTheLeItNames) {
  Reset(ChipSlot::kSam2, {0x3B, 0x00});
  const Bytes sixteen(16, 0x5A);
  Bytes withSw = sixteen;
  withSw.insert(withSw.end(), {0x90, 0x00});
  struct Case {
    const char* what;
    Bytes apdu;
    std::vector<Bytes> replies;
    std::vector<Bytes> sent;
    Bytes answer;
  };
  const Case cases[] = {
      {"case 4: 61 10, GET RESPONSE", {0x00, 0xA4, 0x04, 0x00, 0x02, 0x3F, 0x00, 0x00},
       {{0x61, 0x10}, withSw}, {{0x00, 0xA4, 0x04, 0x00, 0x02, 0x3F, 0x00}, {0x00, 0xC0, 0x00, 0x00, 0x10}}, withSw},
      {"case 2: 6C 10, the same with Le 10", {0x00, 0xB0, 0x00, 0x00, 0x00},
       {{0x6C, 0x10}, withSw}, {{0x00, 0xB0, 0x00, 0x00, 0x00}, {0x00, 0xB0, 0x00, 0x00, 0x10}}, withSw},
      {"case 1: P3 00", {0x00, 0x44, 0x00, 0x00}, {{0x90, 0x00}}, {{0x00, 0x44, 0x00, 0x00, 0x00}}, {0x90, 0x00}},
  };
  for (const Case& c : cases) {
    for (const Bytes& r : c.replies) peer.replies.push_back({.data = r});
    Bytes answer;
    const int sw = Transmit(2, c.apdu, answer);
    EXPECT_EQ(sw, c.answer[c.answer.size() - 2] << 8 | c.answer.back()) << c.what;
    EXPECT_EQ(answer, c.answer) << c.what;
    EXPECT_EQ(Sent(), c.sent) << c.what;
  }
}

TEST_F(FullModeTest, RefusalsAndBuffers) {
  Bytes response(8);
  std::size_t n = 99;
  const Bytes apdu = kGetChallenge;
  EXPECT_EQ(ChipTransmit(reader, 5, apdu.data(), apdu.size(), response.data(), response.size(), &n), 4);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(ChipTransmit(reader, 0, apdu.data(), 3, response.data(), response.size(), &n), 4);
  EXPECT_EQ(ChipTransmit(reader, 0, nullptr, 5, response.data(), response.size(), &n), 4);
  EXPECT_EQ(ChipTransmit(reader, 0, apdu.data(), apdu.size(), nullptr, 4, &n), 4);
  EXPECT_EQ(ChipTransmit(reader, 0, apdu.data(), apdu.size(), response.data(), 8, nullptr), 4);
  EXPECT_EQ(SetChipProtocolMode(reader, 2), 4);
  EXPECT_TRUE(peer.TakeRequests().empty());
  // A slot never reset (its reset refused for a small buffer, say): the
  // reader's word, in this call and the next, not "three S(RESYNCH)".
  for (int i = 0; i < 6; ++i) peer.replies.push_back({.status = 0xA1});
  EXPECT_EQ(ChipTransmit(reader, 4, apdu.data(), apdu.size(), response.data(), response.size(), &n), 0xA1);
  EXPECT_EQ(ChipTransmit(reader, 4, apdu.data(), apdu.size(), response.data(), response.size(), &n), 0xA1);
  peer.replies.clear();
  peer.TakeRequests();
  // An answer of 10 bytes for a buffer of 8: its size, nothing written.
  Reset(ChipSlot::kSam3, {0x3B, 0x00});
  peer.replies.push_back({.data = {1, 2, 3, 4, 5, 6, 7, 8, 0x90, 0x00}});
  std::fill(response.begin(), response.end(), 0xEE);
  EXPECT_EQ(ChipTransmit(reader, 3, apdu.data(), apdu.size(), response.data(), 8, &n), KULVE_RESPONSE_TOO_LONG);
  EXPECT_EQ(n, 10u);
  EXPECT_EQ(response, Bytes(8, 0xEE));
}

// ---- Waiting as long as the card may ----------------------------------------

// The reader's acknowledgement comes after `reads` empty reads of about
// 101 ms each: the card's time, as the library sees it.
TEST_F(FullModeTest, TheCardIsGivenItsWaitingTimeAndNoMore) {
  const Bytes good = Lrc({0x00, 0x00, 0x02, 0x90, 0x00});
  const Bytes wtx2 = Lrc({0x00, 0xC3, 0x01, 0x02});
  const Bytes t0Apdu = {0x00, 0xB0, 0x00, 0x00, 0x02};
  struct Case {
    const char* what;
    Bytes atr;
    bool wtx;
    int reads;
    int result;
  };
  const Case cases[] = {
      {"BWI 4 (1.6 s): 1.5 s", kAtrT1, false, 15, 0x9000},
      {"BWI 4, CWI 0 in TB3: 3 s is past it", {0x3B, 0x80, 0x81, 0x21, 0x40}, false, 30, KULVE_LINK_NO_ACK},
      {"BWI 4, CWI 13 (0.85 s a character of its block): 12 s", kAtrT1, false, 120, 0x9000},
      {"BWI 0, CWI 0 (0.6 s): the link's own 1 s stays", {0x3B, 0x80, 0x81, 0x21, 0x00}, false, 9, 0x9000},
      {"BWI 4, S(WTX 2): 3 s", kAtrT1, true, 30, 0x9000},
      {"BWI 7 in TB3 (12.8 s): 12 s", {0x3B, 0x80, 0x81, 0x21, 0x75}, false, 120, 0x9000},
      {"T=0, WI 10 (1 s per procedure byte): 2 s", {0x3B, 0x00}, false, 20, 0x9000},
      {"T=0, WI 10: 4 s is past it", {0x3B, 0x00}, false, 40, KULVE_LINK_NO_ACK},
      {"T=0, WI 32 in TC2: 6 s", {0x3B, 0x80, 0x40, 0x20}, false, 60, 0x9000},
      {"T=0, TA1 96 (Fi 512 of the high nibble): 4 s is past it", {0x3B, 0x10, 0x96}, false, 40, KULVE_LINK_NO_ACK},
      {"T=0, TA1 96: Fi/Di 16 floored to 372 clocks an etu: 3.1 s", {0x3B, 0x10, 0x96}, false, 31, 0x9000},
  };
  for (const Case& c : cases) {
    Reset(ChipSlot::kCpuCard, c.atr);
    const bool t1 = ReadT1Parameters(c.atr).protocol == 1;
    if (t1) peer.replies.push_back({.data = kIfsResponse});
    if (c.wtx) peer.replies.push_back({.data = wtx2});
    peer.replies.push_back({.data = t1 ? good : Bytes{0x12, 0x34, 0x90, 0x00}, .ackDelayReads = c.reads});
    Bytes answer;
    EXPECT_EQ(Transmit(0, t1 ? kGetChallenge : t0Apdu, answer), c.result) << c.what;
    EXPECT_EQ(reader.context.commandAckTries, 10) << c.what;
    peer.replies.clear();
    peer.ClearInput();  // the late acknowledgement and reply
    peer.ResetFrame();
  }
}

// ---- Misbehaving cards, block by block ---------------------------------------

TEST_F(FullModeTest, WhatACardSaysMidExchangeIsObeyedExactly) {
  const Bytes apdu40(40, 0x11);  // a 40-byte APDU: chained at IFSC 32 or 16 (64 bytes: alike)
  const Bytes link32 = LrcBlock(0x20, apdu40.data(), 32);
  const Bytes link16 = LrcBlock(0x20, apdu40.data(), 16);
  const Bytes next16 = LrcBlock(0x60, apdu40.data() + 16, 16);
  const Bytes good = Lrc({0x00, 0x00, 0x02, 0x90, 0x00});
  const Bytes goodN1 = Lrc({0x00, 0x40, 0x02, 0x90, 0x00});
  const Bytes chainedPart = Lrc({0x00, 0x20, 0x01, 0x55});
  const Bytes r1 = Lrc({0x00, 0x90, 0x00});
  Bytes broken = good;
  broken.back() ^= 0xFF;
  const ScriptedReply kSilent{.ack = std::nullopt};  // ends the call at once
  struct Case {
    const char* what;
    Bytes atr;
    Bytes apdu;
    std::vector<ScriptedReply> replies;  // after the IFS response
    int result;  // KULVE_LINK_NO_ACK: ended by the silent reader
    std::vector<Bytes> sent;             // the first blocks after the IFS request
  };
  const Case cases[] = {
      {"TA3 10: the first link carries 16 bytes", {0x3B, 0x80, 0x81, 0x11, 0x10}, apdu40, {kSilent}, KULVE_LINK_NO_ACK,
       {link16}},
      {"an R-block with error bits asks for the link again", kAtrT1, apdu40,
       {{.data = Lrc({0x00, 0x92, 0x00})}, kSilent}, KULVE_LINK_NO_ACK, {link32, link32}},
      {"the card's S(IFS 16) is obeyed by the next link", kAtrT1, Bytes(64, 0x11),
       {{.data = Lrc({0x00, 0xC1, 0x01, 0x10})}, {.data = r1}, kSilent}, KULVE_LINK_NO_ACK,
       {link32, Lrc({0x00, 0xE1, 0x01, 0x10}), next16}},
      {"an R-block amid the card's chain brings back our R-block, not the command", kAtrT1, kGetChallenge,
       {{.data = chainedPart}, {.data = Lrc({0x00, 0x80, 0x00})}, {.data = goodN1}}, 0x9000,
       {Lrc({0x00, 0x00, 0x05, 0x00, 0x84, 0x00, 0x00, 0x08}), r1, r1}},
      {"an empty chained I-block is broken", kAtrT1, kGetChallenge,
       {{.data = Lrc({0x00, 0x20, 0x00})}, {.data = good}}, 0x9000,
       {Lrc({0x00, 0x00, 0x05, 0x00, 0x84, 0x00, 0x00, 0x08}), Lrc({0x00, 0x82, 0x00})}},
      {"S(ABORT request): S(ABORT response), 43", kAtrT1, kGetChallenge,
       {{.data = Lrc({0x00, 0xC2, 0x00})}, {.data = Lrc({0x00, 0x80, 0x00})}}, KULVE_T1_ABORTED,
       {Lrc({0x00, 0x00, 0x05, 0x00, 0x84, 0x00, 0x00, 0x08}), Lrc({0x00, 0xE2, 0x00})}},
      {"three unanswered S(RESYNCH): the slot must be reset", kAtrT1, kGetChallenge,
       {{.data = broken}, {.data = broken}, {.data = broken}, {.status = 0xA2}, {.status = 0xA2}, {.status = 0xA2}},
       KULVE_CARD_MUST_BE_RESET, {}},
  };
  for (const Case& c : cases) {
    Reset(ChipSlot::kCpuCard, c.atr);
    const std::uint8_t ifsd = 0xFB;
    peer.replies.push_back({.data = Lrc({0x00, 0xE1, 0x01, ifsd})});
    for (const ScriptedReply& r : c.replies) peer.replies.push_back(r);
    Bytes answer;
    EXPECT_EQ(Transmit(0, c.apdu, answer), c.result) << c.what;
    const auto sent = Sent();
    ASSERT_GE(sent.size(), 1 + c.sent.size()) << c.what;
    EXPECT_EQ(std::vector<Bytes>(sent.begin() + 1, sent.begin() + 1 + static_cast<std::ptrdiff_t>(c.sent.size())), c.sent)
        << c.what;
    peer.replies.clear();
  }
  // The slot left by the last case sends nothing until its reset.
  Bytes answer;
  EXPECT_EQ(Transmit(0, kGetChallenge, answer), KULVE_CARD_MUST_BE_RESET);
  EXPECT_TRUE(Sent().empty());
}

TEST_F(FullModeTest, ACardThatNeverAnswersSIfsKeepsIfsd32) {
  Reset(ChipSlot::kCpuCard, kAtrT1);
  for (int i = 0; i < 3; ++i) peer.replies.push_back({.status = 0xA2});
  peer.replies.push_back({.data = Lrc({0x00, 0x00, 0x02, 0x90, 0x00})});
  Bytes answer;
  EXPECT_EQ(Transmit(0, kGetChallenge, answer), 0x9000);
  EXPECT_EQ(Sent(), (std::vector<Bytes>{kIfsRequest, kIfsRequest, kIfsRequest,
                                        Lrc({0x00, 0x00, 0x05, 0x00, 0x84, 0x00, 0x00, 0x08})}));
}

TEST_F(FullModeTest, CrcBlocksAreCheckedToTheLastByte) {
  Reset(ChipSlot::kSam1, {0x3B, 0x80, 0x81, 0x51, 0x20, 0x01});
  Bytes broken = BuildT1Block(0x00, Bytes{0x90, 0x00}, true);
  broken.back() ^= 0x01;  // the second CRC byte alone
  peer.replies.push_back({.data = BuildT1Block(0xE1, Bytes{250}, true)});
  peer.replies.push_back({.data = broken});
  peer.replies.push_back({.data = BuildT1Block(0x00, Bytes{0x90, 0x00}, true)});
  Bytes answer;
  EXPECT_EQ(Transmit(1, kGetChallenge, answer), 0x9000);
  const auto sent = Sent();
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[2], BuildT1Block(0x81, {}, true)) << "R-block naming an EDC error";
}

// Answers of 65,536 data bytes and SW are whole; a byte more is refused.
TEST_F(FullModeTest, TheLargestAnswerBothWays) {
  for (const std::size_t total : {std::size_t{65538}, std::size_t{65539}, std::size_t{70000}}) {
    Reset(ChipSlot::kCpuCard, kAtrT1);
    peer.replies.push_back({.data = kIfsResponse});
    Bytes whole(total, 0x3C);
    whole[total - 2] = 0x90;
    whole[total - 1] = 0x00;
    std::uint8_t ns = 0;
    for (std::size_t at = 0; at < total; at += 251, ns ^= 1) {
      const std::size_t n = std::min<std::size_t>(251, total - at);
      const auto pcb = static_cast<std::uint8_t>(ns << 6 | (at + n < total ? 0x20 : 0));
      peer.replies.push_back({.data = LrcBlock(pcb, whole.data() + at, n)});
    }
    peer.replies.push_back({.data = Lrc({0x00, 0xE0, 0x00})});
    Bytes answer;
    const int r = Transmit(0, {0x00, 0xB0, 0x00, 0x00, 0x00, 0x00, 0x00}, answer);
    const auto sent = Sent();
    if (total == 65538) {
      EXPECT_EQ(r, 0x9000);
      EXPECT_EQ(answer, whole);
    } else {
      EXPECT_EQ(r, KULVE_ANSWER_TOO_LARGE) << total;
      EXPECT_TRUE(answer.empty()) << total;
      // Left mid-chain, the card is resynchronised at once.
      EXPECT_EQ(sent.back() == Lrc({0x00, 0xC0, 0x00}), total == 70000) << total;
    }
    peer.replies.clear();
  }
}

TEST_F(FullModeTest, T0RoundsEndWhereTheyShould) {
  Reset(ChipSlot::kSam2, {0x3B, 0x00});
  auto data = [](std::size_t n, std::uint8_t sw1, std::uint8_t sw2) {
    Bytes b(n, 0x5A);
    b.push_back(sw1);
    b.push_back(sw2);
    return b;
  };
  const Bytes select = {0x00, 0xA4, 0x04, 0x00, 0x02, 0x3F, 0x00, 0x00};
  const Bytes sentSelect(select.begin(), select.end() - 1);
  struct Case {
    const char* what;
    Bytes apdu;
    std::vector<Bytes> replies;
    std::vector<Bytes> sent;
    int result;
    std::size_t dataBytes;
  };
  const Case cases[] = {
      {"data with 61xx every round", select, {{0x61, 0x10}, data(16, 0x61, 0x10), data(16, 0x61, 0x02), data(2, 0x90, 0x00)},
       {sentSelect, {0x00, 0xC0, 0x00, 0x00, 0x10}, {0x00, 0xC0, 0x00, 0x00, 0x10}, {0x00, 0xC0, 0x00, 0x00, 0x02}},
       0x9000, 34},
      {"61 00 asks what fits a reader frame, and goes on", select, {{0x61, 0x00}, data(253, 0x61, 0x03), data(3, 0x90, 0x00)},
       {sentSelect, {0x00, 0xC0, 0x00, 0x00, 0xFD}, {0x00, 0xC0, 0x00, 0x00, 0x03}}, 0x9000, 256},
      {"a second 6Cxx is the answer", {0x00, 0xB0, 0x00, 0x00, 0x00}, {{0x6C, 0x10}, {0x6C, 0x08}},
       {{0x00, 0xB0, 0x00, 0x00, 0x00}, {0x00, 0xB0, 0x00, 0x00, 0x10}}, 0x6C08, 0},
  };
  for (const Case& c : cases) {
    for (const Bytes& r : c.replies) peer.replies.push_back({.data = r});
    Bytes answer;
    EXPECT_EQ(Transmit(2, c.apdu, answer), c.result) << c.what;
    EXPECT_EQ(answer.size(), c.dataBytes + 2) << c.what;
    EXPECT_EQ(Sent(), c.sent) << c.what;
    peer.replies.clear();
  }
  // A card that keeps announcing more: stopped at 65,536 data bytes.
  peer.respond = [&](const Request&) { return ScriptedReply{.data = data(253, 0x61, 0xFD)}; };
  Bytes answer;
  EXPECT_EQ(Transmit(2, select, answer), KULVE_ANSWER_TOO_LARGE);
  EXPECT_EQ(peer.TakeRequests().size(), 65536 / 253 + 1u);
  peer.respond = nullptr;
  // Lc 250 fills the reader's frame; 251 does not fit.
  for (const std::size_t lc : {std::size_t{250}, std::size_t{251}}) {
    Bytes apdu = {0x00, 0xD6, 0x00, 0x00, static_cast<std::uint8_t>(lc)};
    apdu.resize(5 + lc, 0x11);
    peer.replies.push_back({.data = {0x90, 0x00}});
    EXPECT_EQ(Transmit(2, apdu, answer), lc == 250 ? 0x9000 : KULVE_BAD_ARGUMENT) << lc;
    peer.replies.clear();
    peer.TakeRequests();
  }
}

TEST_F(FullModeTest, BuffersAtTheirEdges) {
  Reset(ChipSlot::kSam3, {0x3B, 0x00});
  const Bytes apdu = kGetChallenge;
  Bytes response(10);
  std::size_t n = 0;
  peer.replies.push_back({.data = {1, 2, 3, 4, 5, 6, 7, 8, 0x90, 0x00}});
  EXPECT_EQ(ChipTransmit(reader, 3, apdu.data(), apdu.size(), response.data(), 10, &n), 0x9000) << "exactly its size";
  EXPECT_EQ(n, 10u);
  peer.TakeRequests();
  int n32 = 99;
  EXPECT_EQ(ChipTransmit32(reader, 3, apdu.data(), 5, response.data(), -1, &n32), KULVE_BAD_ARGUMENT);
  EXPECT_EQ(ChipTransmit32(reader, 3, apdu.data(), -1, response.data(), 10, &n32), KULVE_BAD_ARGUMENT);
  EXPECT_EQ(n32, 0);
  EXPECT_TRUE(peer.TakeRequests().empty());
  // The fixed-size calls take 253 data bytes and SW, not one more.
  for (const std::uint8_t count : {std::uint8_t{253}, std::uint8_t{254}}) {
    Bytes first(200, 0x42), rest(count - 200u, 0x43);
    first.insert(first.end(), {0x61, static_cast<std::uint8_t>(count - 200)});
    rest.insert(rest.end(), {0x90, 0x00});
    peer.replies.push_back({.data = first});
    peer.replies.push_back({.data = rest});
    Bytes request(kApduRequestSize, 0), out(KULVE_APDU_RESPONSE_SIZE, 0xEE);
    request[1] = 0xB0;
    EXPECT_EQ(SendApduRequest(reader, ChipSlot::kSam3, request.data(), out.data()),
              count == 253 ? 0x9000 : KULVE_RESPONSE_TOO_LONG) << count;
    EXPECT_EQ(out[0], count == 253 ? 253 : 0) << count;
    peer.replies.clear();
  }
}

// ---- The real ATRs ----------------------------------------------------------

// The ATR's interface bytes as groups: group i holds TAi TBi TCi TDi, each
// present or not. Read independently of the library: first the groups,
// then the rule over them.
struct Group {
  std::map<char, std::uint8_t> bytes;  // 'A', 'B', 'C', 'D'
};

std::vector<Group> Groups(const Bytes& atr) {
  std::vector<Group> groups(1);  // group 0: unused, so group i is TAi..TDi
  if (atr.size() < 2) return groups;
  std::uint8_t y = atr[1] >> 4;
  std::size_t at = 2;
  while (true) {
    Group g;
    for (int k = 0; k < 4; ++k) {
      if ((y >> k & 1) == 0) continue;
      if (at >= atr.size()) {
        groups.push_back(g);
        return groups;
      }
      g.bytes["ABCD"[k]] = atr[at++];
    }
    groups.push_back(g);
    if (!g.bytes.contains('D')) return groups;
    y = g.bytes['D'] >> 4;
  }
}

T1Parameters ExpectedParameters(const Bytes& atr) {
  const auto groups = Groups(atr);
  T1Parameters p;
  p.protocol = groups.size() > 1 && groups[1].bytes.contains('D') && (groups[1].bytes.at('D') & 0x0F) == 1 ? 1 : 0;
  for (std::size_t i = 3; i < groups.size(); ++i) {
    const auto td = groups[i - 1].bytes.find('D');
    if (td == groups[i - 1].bytes.end() || (td->second & 0x0F) != 1) continue;
    if (auto a = groups[i].bytes.find('A'); a != groups[i].bytes.end() && a->second != 0 && a->second != 0xFF) {
      p.ifsc = a->second;
    }
    if (auto c = groups[i].bytes.find('C'); c != groups[i].bytes.end()) p.crc = (c->second & 1) != 0;
    if (auto b = groups[i].bytes.find('B'); b != groups[i].bytes.end()) {
      p.bwi = static_cast<std::uint8_t>(std::min(9, b->second >> 4));
      p.cwi = b->second & 0x0F;
    }
    break;
  }
  if (groups.size() > 2 && groups[2].bytes.contains('C') && groups[2].bytes.at('C') != 0) p.wi = groups[2].bytes.at('C');
  return p;
}

TEST(FullModeAtrs, EveryRealAtrReadForProtocolIfscAndCheck) {
  std::ifstream file(KULVE_ATR_LIST);
  int count = 0, ifscGiven = 0, crc = 0;
  for (std::string line; std::getline(file, line);) {
    std::istringstream words(line);
    Bytes atr;
    for (unsigned byte; words >> std::hex >> byte;) atr.push_back(static_cast<std::uint8_t>(byte));
    if (atr.empty()) continue;
    ++count;
    const T1Parameters expected = ExpectedParameters(atr);
    const T1Parameters read = ReadT1Parameters(atr);
    ASSERT_EQ(read.protocol, expected.protocol) << line;
    ASSERT_EQ(read.ifsc, expected.ifsc) << line;
    ASSERT_EQ(read.crc, expected.crc) << line;
    ASSERT_EQ(read.bwi, expected.bwi) << line;
    ASSERT_EQ(read.cwi, expected.cwi) << line;
    ASSERT_EQ(read.wi, expected.wi) << line;
    ifscGiven += read.ifsc != 32;
    crc += read.crc;
  }
  EXPECT_EQ(count, 4832);
  // Many cards name their IFSC; none of the list asks for a CRC (the worked
  // ATR of CrcWhenTc3SaysSo covers that reading).
  EXPECT_GT(ifscGiven, 100);
  EXPECT_EQ(crc, 0);
}

}  // namespace
}  // namespace kulve::test

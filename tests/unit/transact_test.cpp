// SPDX-License-Identifier: MIT
// The frame exchange byte for byte, and every step's failure letter.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "link/transact.h"
#include "support/fake_reader.h"

namespace kulve::test {
namespace {

class TransactTest : public ::testing::Test, protected FakeReaderFixture {
 protected:
  void SetUp() override { OpenLink(); }

  std::uint8_t Send(std::uint8_t code, std::vector<std::uint8_t> data) {
    return Exchange(reader, code, data).status;
  }
};

TEST_F(TransactTest, RequestFrameBytes) {
  struct Case {
    std::uint8_t code;
    std::vector<std::uint8_t> data;
    std::vector<std::uint8_t> wire;
  };
  const Case cases[] = {
      {0x0A, {0x02}, {0x23, 0x0A, 0x01, 0x02, 0x09, 0x89}},
      {0x02, {}, {0x23, 0x02, 0x00, 0x02, 0x89}},  // empty request: checksum equals the code
      {0x14, {0x12, 0x01, 0x0A, 0x40}, {0x23, 0x14, 0x04, 0x12, 0x01, 0x0A, 0x40, 0x14 ^ 0x04 ^ 0x12 ^ 0x01 ^ 0x0A ^ 0x40, 0x89}},
  };
  for (const Case& c : cases) {
    peer.wire.clear();
    EXPECT_EQ(Send(c.code, c.data), 0);
    EXPECT_EQ(peer.wire, c.wire) << "code " << int(c.code);
  }
}

TEST_F(TransactTest, ReplyIsStoredAndChecked) {
  peer.replies.push_back({.status = 0, .data = {1, 2, 3}});
  EXPECT_EQ(Send(0x0D, {}), 0);
  EXPECT_EQ(reader.block.replyLength, 3);
  EXPECT_EQ(reader.block.replyData[2], 3);

  peer.replies.push_back({.status = 0x2A, .data = {}});  // the reader's refusal passes through
  EXPECT_EQ(Send(0x0D, {}), 0x2A);
  EXPECT_EQ(reader.block.status, 0x2A);
  EXPECT_EQ(reader.block.replyLength, 0);
}

TEST_F(TransactTest, LargestFramesBothWays) {
  std::vector<std::uint8_t> data(255);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7);
  peer.replies.push_back({.status = 0, .data = data});
  EXPECT_EQ(Send(0x15, data), 0);
  ASSERT_EQ(peer.requests.back().data, data);
  EXPECT_EQ(reader.block.replyLength, 255);
  EXPECT_TRUE(std::equal(data.begin(), data.end(), reader.block.replyData.begin()));
}

// Each step of the frame failing on its own gives its own letter.
TEST_F(TransactTest, EveryStepHasItsLetter) {
  struct Case {
    const char* what;
    std::function<void(FakeReader&)> arrange;
    char letter;
  };
  const Case cases[] = {
      {"start byte write fails twice", [](FakeReader& p) { p.faults.hashWriteFailures = 2; }, 'e'},
      {"silent reader", [](FakeReader& p) { p.faults.hashAnswer.reset(); }, 'f'},
      {"wrong answer to start", [](FakeReader& p) { p.faults.hashAnswer = 'X'; }, 'g'},
      {"code not written", [](FakeReader& p) { p.faults.codeWriteFails = true; }, 'h'},
      {"length not written", [](FakeReader& p) { p.faults.lengthWriteFails = true; }, 'i'},
      {"data cut short", [](FakeReader& p) { p.faults.dataWriteLimit = 1; }, 'j'},
      {"checksum write fails twice", [](FakeReader& p) { p.faults.checksumWriteFailures = 2; }, 'k'},
      {"no acknowledgement", [](FakeReader& p) { p.replies.push_back({.ack = std::nullopt}); }, 'l'},
      {"wrong acknowledgement", [](FakeReader& p) { p.replies.push_back({.ack = 'x'}); }, 'm'},
      {"0x89 not written", [](FakeReader& p) { p.faults.goWriteFails = true; }, 'n'},
      {"no status", [](FakeReader& p) { p.replies.push_back({.sendStatus = false}); }, 'o'},
      {"status but no length", [](FakeReader& p) { p.replies.push_back({.status = 0x21, .sendLength = false}); }, 'p'},
      {"short reply data", [](FakeReader& p) { p.replies.push_back({.data = {1, 2, 3}, .dataSent = 2}); }, 'q'},
      {"no checksum", [](FakeReader& p) { p.replies.push_back({.data = {1}, .sendChecksum = false}); }, 'r'},
      {"wrong checksum", [](FakeReader& p) { p.replies.push_back({.data = {1}, .checksum = 0x55}); }, 's'},
  };
  for (const Case& c : cases) {
    peer.faults = LineFaults{};
    peer.replies.clear();
    peer.ClearInput();
    peer.ResetFrame();
    OpenLink();  // a new line: nothing trails from the case before
    c.arrange(peer);
    EXPECT_EQ(Send(0x15, {0x12, 0x00, 0x00, 0x01, 0xAB}), c.letter) << c.what;
    EXPECT_EQ(reader.block.status, c.letter) << c.what;
  }
}

TEST_F(TransactTest, SingleRetriesRecover) {
  peer.faults.hashWriteFailures = 1;
  peer.faults.checksumWriteFailures = 1;
  peer.faults.hashAnswerDelayReads = 1;  // first read empty, second gets 'E'
  EXPECT_EQ(Send(0x02, {}), 0);
}

TEST_F(TransactTest, ProbeWaitsTwoReadsForAckOtherCommandsTen) {
  peer.scriptedProbes = true;
  auto lateAck = [&](int emptyReads) {
    peer.replies.push_back({.ackDelayReads = emptyReads});
  };
  lateAck(1);
  EXPECT_EQ(Send(0x00, {}), 0);
  lateAck(2);
  EXPECT_EQ(Send(0x00, {}), 'l');
  peer.ClearInput();
  peer.ResetFrame();
  OpenLink();
  lateAck(9);
  EXPECT_EQ(Send(0x02, {}), 0);
  lateAck(10);
  EXPECT_EQ(Send(0x02, {}), 'l');
}

TEST_F(TransactTest, AckTryCountBelowOneFailsAtOnce) {
  reader.context.commandAckTries = 0;
  const int readsBefore = peer.readCalls;
  EXPECT_EQ(Send(0x02, {}), 'l');
  EXPECT_EQ(peer.readCalls - readsBefore, 1);  // only the answer to '#'
}

TEST_F(TransactTest, WrongChecksumStillStoresTheReply) {
  peer.replies.push_back({.status = 0, .data = {0xDE, 0xAD}, .checksum = 0x00});
  EXPECT_EQ(Send(0x14, {}), 's');
  EXPECT_EQ(reader.block.replyLength, 2);
  EXPECT_EQ(reader.block.replyData[0], 0xDE);
  EXPECT_EQ(reader.block.replyData[1], 0xAD);
}

TEST_F(TransactTest, LeftoverInputIsNotPurgedBetweenExchanges) {
  // A late byte of an earlier exchange is still waiting when the next starts,
  // and is taken as the answer to '#'.
  peer.InjectInput('Z');
  EXPECT_EQ(Send(0x02, {}), 'g');
}

// After a failed exchange the rest of its reply may come at any time and hold
// anything: 'E', 'g', even whole frames whose checksums fit. None of it is
// ever taken for the reader's answer to the next request. The late bytes keep
// the reader's pace (no gap of two reads inside them) but may start late;
// those that start within the first quiet wait (two reads) cost the next
// request nothing.
TEST_F(TransactTest, LateBytesNeverPassForTheNextAnswer) {
  std::mt19937 random(35);
  auto pick = [&](std::uint32_t n) { return static_cast<std::uint8_t>(random() % n); };
  auto someByte = [&] {
    const std::uint8_t likely[] = {'E', 'g', 0x00, 0x04, 0x82, 0x89, '#'};
    return pick(2) == 0 ? likely[pick(sizeof likely)] : pick(256);
  };
  const std::vector<std::uint8_t> answer{0xA0, 0xA1, 0xA2, 0xA3};
  int forged = 0;
  for (int trial = 0; trial < 500; ++trial) {
    OpenLink();
    peer.ClearInput();
    peer.ResetFrame();
    const std::uint8_t status = pick(2) == 0 ? 0x00 : 0x82;
    peer.replies = {{.sendStatus = false}, {.status = status, .data = answer}};
    ASSERT_EQ(Send(0x14, {0x20, 0x10}), 'o');

    std::vector<std::uint8_t> late(pick(12));
    for (auto& b : late) b = someByte();
    std::vector<std::uint8_t> frame{'E', 'g', pick(2) == 0 ? std::uint8_t{0} : someByte(), pick(6)};
    std::uint8_t check = frame[2] ^ frame[3];
    for (int i = 0; i < frame[3]; ++i) check ^= frame.emplace_back(someByte());
    frame.push_back(check);
    late.insert(late.begin() + pick(static_cast<std::uint32_t>(late.size()) + 1), frame.begin(), frame.end());
    late.resize(late.size() + pick(8), 0x45);
    const int start = pick(7);
    for (std::size_t i = 0; i < late.size(); ++i) peer.InjectInput(late[i], i == 0 ? start : pick(2));

    const ReplyView reply = Exchange(reader, 0x14, std::vector<std::uint8_t>{0x64, 0x04});
    EXPECT_TRUE(start > 2 || !reply.lineFailed) << "trial " << trial;
    if (reply.lineFailed) continue;
    const bool genuine = reply.status == status && std::ranges::equal(reply.data, answer);
    forged += genuine ? 0 : 1;
    EXPECT_TRUE(genuine) << "trial " << trial << ": status " << int(reply.status);
  }
  EXPECT_EQ(forged, 0);
}

TEST_F(TransactTest, NoPortFailsAtTheFirstStep) {
  reader.context.port.reset();
  EXPECT_EQ(Send(0x02, {}), 'e');
}

}  // namespace
}  // namespace kulve::test

// SPDX-License-Identifier: MIT
// The full mode over scripted card answers: what goes on the wire for the
// supervisory exchanges, the waiting time extension, the limit on repeats,
// the CRC, T=0 with GET RESPONSE, and the ATR reading over the real list.
#include <gtest/gtest.h>

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
  // An answer of 10 bytes for a buffer of 8: its size, nothing written.
  Reset(ChipSlot::kSam3, {0x3B, 0x00});
  peer.replies.push_back({.data = {1, 2, 3, 4, 5, 6, 7, 8, 0x90, 0x00}});
  std::fill(response.begin(), response.end(), 0xEE);
  EXPECT_EQ(ChipTransmit(reader, 3, apdu.data(), apdu.size(), response.data(), 8, &n), KULVE_RESPONSE_TOO_LONG);
  EXPECT_EQ(n, 10u);
  EXPECT_EQ(response, Bytes(8, 0xEE));
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
    break;
  }
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

// SPDX-License-Identifier: MIT
// AT1608_Authentic over the in-memory reader: the frames of a run, how the
// card's reply is judged, and what is left behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "at1608/at1608.h"
#include "support/fake_reader.h"

namespace kulve::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

// One entry of the keystream answer table.
const Bytes kCryptogram{0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE};
const Bytes kChallenge{0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77};
const Bytes kSeed{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
const Bytes kExpected{0x95, 0xC5, 0x7C, 0x6D, 0xC0, 0x9E, 0x08, 0x64};
const Bytes kHostAnswer{0x5C, 0x04, 0x8B, 0xB4, 0xF6, 0x9E, 0x5F, 0x0F};

Bytes Concat(Bytes head, const Bytes& tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

bool Wiped(const At1608AuthState& s) {
  auto zero = [](const auto& cells) { return std::all_of(cells.begin(), cells.end(), [](auto b) { return b == 0; }); };
  return zero(s.left) && zero(s.middle) && zero(s.right) && zero(s.cryptogram) && zero(s.seed) &&
         zero(s.challenge) && zero(s.expected) && zero(s.hostAnswer);
}

class At1608AuthTest : public ::testing::Test, protected FakeReaderFixture {
 protected:
  void SetUp() override { OpenLink(); }

  // Runs with the table's challenge and seed; the cryptogram read answers
  // `read`, the authentication `answer`.
  int Run(const ScriptedReply& answer, const ScriptedReply& read = {.data = kCryptogram}) {
    peer.replies.push_back(read);
    peer.replies.push_back(answer);
    challenge = kChallenge;
    challenge.push_back(0x5A);  // guard
    return AT1608_Authentic(reader, challenge.data(), kSeed.data());
  }

  Bytes challenge;
};

TEST_F(At1608AuthTest, ARunReadsTheCryptogramThenSendsChallengeAndHostAnswer) {
  EXPECT_EQ(Run({.data = Concat({0xFF}, kExpected)}), 0);
  const std::vector<Request> frames{{0x29, {8, 40, 8}}, {0x2B, Concat(kChallenge, kHostAnswer)}};
  EXPECT_EQ(peer.TakeRequests(), frames);
  EXPECT_EQ(challenge, Concat({8, '8'}, Bytes{0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x5A}));
  EXPECT_TRUE(Wiped(reader.at1608Auth));
}

TEST_F(At1608AuthTest, TheCardsReplyIsJudgedOnTheAnswerBytesItHolds) {
  struct Case {
    std::string what;
    ScriptedReply answer;
    int result;
    Bytes head;  // challenge[0..1] afterwards
    ScriptedReply read = {.data = kCryptogram};
  };
  // A cryptogram that would read as 8 attempts, were it taken for the reply.
  const ScriptedReply countLikeRead{.data = {0xFF, 0, 0, 0, 0, 0, 0, 0}};
  std::vector<Case> cases = {
      {"nothing to compare", {}, 0, {0x00, 0x11}},
      {"attempts byte alone", {.data = {0xFF}}, 0, {8, '8'}},
      {"seven answer bytes", {.data = Concat({0xFE}, Bytes(kExpected.begin(), kExpected.end() - 1))}, 0, {7, '7'}},
      {"more than the answer", {.data = Concat(Concat({0xFF}, kExpected), Bytes(100, 0x99))}, 0, {8, '8'}},
      {"no count in the attempts byte", {.data = Concat({0x81}, kExpected)}, 0, {0x00, 0x11}},
      {"refused, with the attempts byte", {.status = 0xB2, .data = {0xFF}}, 0xB2, {8, '8'}},
      {"line failure", {.sendStatus = false}, 'o', {0x00, 0x11}, countLikeRead},
      {"reply checksum wrong", {.data = Concat({0xFF}, kExpected), .checksum = 0}, 's', {0x00, 0x11}},
  };
  for (std::size_t k = 0; k < kExpected.size(); ++k) {
    Bytes wrong = kExpected;
    wrong[k] ^= 0x01;
    cases.push_back({"answer byte " + std::to_string(k) + " differs", {.data = Concat({0xE0}, wrong)}, 3, {3, '3'}});
  }
  for (const Case& c : cases) {
    EXPECT_EQ(Run(c.answer, c.read), c.result) << c.what;
    EXPECT_EQ(Bytes(challenge.begin(), challenge.begin() + 2), c.head) << c.what;
    EXPECT_EQ(Bytes(challenge.begin() + 2, challenge.end()), Concat(Bytes(kChallenge.begin() + 2, kChallenge.end()), {0x5A}))
        << c.what;
    EXPECT_TRUE(Wiped(reader.at1608Auth)) << c.what;
  }
}

TEST_F(At1608AuthTest, AFailedCryptogramReadEndsTheRunUntouched) {
  const ScriptedReply reads[] = {{.sendStatus = false}, {.status = 0xB0, .data = {0xFF}}};
  for (const ScriptedReply& read : reads) {
    peer.replies.clear();
    peer.replies.push_back(read);
    challenge = kChallenge;
    const int result = AT1608_Authentic(reader, challenge.data(), kSeed.data());
    EXPECT_EQ(result, read.sendStatus ? 0xB0 : 'o');
    EXPECT_EQ(peer.TakeRequests(), (std::vector<Request>{{0x29, {8, 40, 8}}}));
    EXPECT_EQ(challenge, kChallenge);
    EXPECT_TRUE(Wiped(reader.at1608Auth));
  }
}

}  // namespace
}  // namespace kulve::test

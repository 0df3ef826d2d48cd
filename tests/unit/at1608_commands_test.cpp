// SPDX-License-Identifier: MIT
// AT88SC1608 zone access, passwords, fuse and reset over the in-memory reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <numeric>

#include "at1608/at1608.h"
#include "support/fake_reader.h"

namespace kulve::test {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Call = std::function<int(Reader&, std::uint8_t*)>;

Bytes Concat(Bytes head, const Bytes& tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

class At1608CommandsTest : public ::testing::Test, protected FakeReaderFixture {
 protected:
  void SetUp() override { OpenLink(); }

  // An exchange whose reply leaves decodable bytes in the reply area, as an
  // earlier call would.
  void LeaveStaleReply() {
    peer.replies.push_back({.data = {0xFF, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0x11, 0x22}});
    ASSERT_EQ(AT1608_Reset(reader), 0);
    peer.TakeRequests();
  }
};

TEST_F(At1608CommandsTest, FramesOfEachCommand) {
  Bytes data(160);
  std::iota(data.begin(), data.end(), std::uint8_t{1});
  struct Case {
    const char* what;
    Call call;
    Request frame;
  };
  const Case cases[] = {
      {"write, the most at the last address", [&](Reader& r, auto*) { return AT1608_Write(r, 8, 255, 160, data.data()); },
       {0x28, Concat({8, 255, 160}, data)}},
      {"write of nothing reads no data", [](Reader& r, auto*) { return AT1608_Write(r, 2, 7, 0, nullptr); },
       {0x28, {2, 7, 0}}},
      {"read", [](Reader& r, auto* b) { return AT1608_Read(r, 3, 16, 8, b); }, {0x29, {3, 16, 8}}},
      {"password 15", [](Reader& r, auto*) {
         std::uint8_t password[4] = {0xA1, 0xA2, 0xA3, 0xEE};
         return AT1608_Psw(r, 15, password);
       },
       {0x2A, {15, 0xA1, 0xA2, 0xA3}}},
      {"fuse", [](Reader& r, auto* b) { return AT1608_ReadFuse(r, b); }, {0x2C, {}}},
      {"reset", [](Reader& r, auto*) { return AT1608_Reset(r); }, {0x2D, {}}},
  };
  for (const Case& c : cases) {
    Bytes buffer(200);
    EXPECT_EQ(c.call(reader, buffer.data()), 0) << c.what;
    EXPECT_EQ(peer.TakeRequests(), std::vector<Request>{c.frame}) << c.what;
  }
}

TEST_F(At1608CommandsTest, ArgumentsOutOfRangeSendNothingAndTouchNothing) {
  struct Case {
    const char* what;
    Call call;
  };
  const Case cases[] = {
      {"write zone -1", [](Reader& r, auto* b) { return AT1608_Write(r, -1, 0, 1, b); }},
      {"write zone 9", [](Reader& r, auto* b) { return AT1608_Write(r, 9, 0, 1, b); }},
      {"write address 256", [](Reader& r, auto* b) { return AT1608_Write(r, 0, 256, 1, b); }},
      {"write length 161", [](Reader& r, auto* b) { return AT1608_Write(r, 0, 0, 161, b); }},
      {"write length -1", [](Reader& r, auto* b) { return AT1608_Write(r, 0, 0, -1, b); }},
      {"write length INT_MIN", [](Reader& r, auto* b) { return AT1608_Write(r, 0, 0, INT_MIN, b); }},
      {"write null data", [](Reader& r, auto*) { return AT1608_Write(r, 0, 0, 1, nullptr); }},
      {"read zone -1", [](Reader& r, auto* b) { return AT1608_Read(r, -1, 0, 1, b); }},
      {"read zone 9", [](Reader& r, auto* b) { return AT1608_Read(r, 9, 0, 1, b); }},
      {"read address -1", [](Reader& r, auto* b) { return AT1608_Read(r, 0, -1, 1, b); }},
      {"read address 256", [](Reader& r, auto* b) { return AT1608_Read(r, 0, 256, 1, b); }},
      {"read length 161", [](Reader& r, auto* b) { return AT1608_Read(r, 0, 0, 161, b); }},
      {"read length -1", [](Reader& r, auto* b) { return AT1608_Read(r, 0, 0, -1, b); }},
      {"read null buffer", [](Reader& r, auto*) { return AT1608_Read(r, 0, 0, 1, nullptr); }},
      {"password 16", [](Reader& r, auto* b) { return AT1608_Psw(r, 16, b); }},
      {"password -1", [](Reader& r, auto* b) { return AT1608_Psw(r, -1, b); }},
      {"password INT_MIN", [](Reader& r, auto* b) { return AT1608_Psw(r, INT_MIN, b); }},
      {"password null", [](Reader& r, auto*) { return AT1608_Psw(r, 0, nullptr); }},
      {"fuse null", [](Reader& r, auto*) { return AT1608_ReadFuse(r, nullptr); }},
      {"authenticate null challenge", [](Reader& r, auto* b) { return AT1608_Authentic(r, nullptr, b); }},
      {"authenticate null seed", [](Reader& r, auto* b) { return AT1608_Authentic(r, b, nullptr); }},
  };
  for (const Case& c : cases) {
    Bytes buffer(200, 0x5A);
    EXPECT_EQ(c.call(reader, buffer.data()), 4) << c.what;
    EXPECT_EQ(buffer, Bytes(200, 0x5A)) << c.what;
  }
  EXPECT_TRUE(peer.TakeRequests().empty());
}

TEST_F(At1608CommandsTest, AttemptsBytesDecodeOnlyWhenMadeOfLeadingOnes) {
  const std::uint8_t counted[] = {0x00, 0x80, 0xC0, 0xE0, 0xF0, 0xF8, 0xFC, 0xFE, 0xFF};
  for (int value = 0; value < 256; ++value) {
    const auto byte = static_cast<std::uint8_t>(value);
    const auto* at = std::find(std::begin(counted), std::end(counted), byte);
    const auto decoded = DecodeAttemptCounter(byte);
    if (at == std::end(counted)) {
      EXPECT_FALSE(decoded.has_value()) << value;
    } else {
      EXPECT_EQ(decoded, at - std::begin(counted)) << value;
    }
  }
}

// Exactly the requested bytes reach the buffer on success, zeros where the
// reply was short, never bytes left from an earlier reply.
TEST_F(At1608CommandsTest, ReadDeliversExactlyTheRequestedCount) {
  const Bytes eight{1, 2, 3, 4, 5, 6, 7, 8};
  struct Case {
    const char* what;
    ScriptedReply reply;
    int result;
    Bytes buffer;  // the 8 requested bytes afterwards
  };
  const Case cases[] = {
      {"full reply", {.data = eight}, 0, eight},
      {"short reply", {.data = {1, 2, 3}}, 0, {1, 2, 3, 0, 0, 0, 0, 0}},
      {"empty reply", {}, 0, Bytes(8, 0)},
      {"long reply", {.data = Bytes(255, 0x77)}, 0, Bytes(8, 0x77)},
      {"refusal with data", {.status = 0xB0, .data = eight}, 0xB0, Bytes(8, 0x5A)},
      {"line failure", {.sendStatus = false}, 'o', Bytes(8, 0x5A)},
  };
  for (const Case& c : cases) {
    LeaveStaleReply();
    peer.replies.push_back(c.reply);
    Bytes buffer(8 + 64, 0x5A);
    EXPECT_EQ(AT1608_Read(reader, 1, 0, 8, buffer.data()), c.result) << c.what;
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 8), c.buffer) << c.what;
    EXPECT_EQ(Bytes(buffer.begin() + 8, buffer.end()), Bytes(64, 0x5A)) << c.what;
  }
}

TEST_F(At1608CommandsTest, PasswordBufferAfterTheExchange) {
  struct Case {
    const char* what;
    ScriptedReply reply;
    int result;
    Bytes password;  // all 4 bytes afterwards; the caller passed 0x31 0x32 0x33 0x34
  };
  const Case cases[] = {
      {"accepted, 7 left", {.data = {0xFE, 0xD1, 0xD2, 0xD3}}, 0, {7, 0xD1, 0xD2, 0xD3}},
      {"accepted, attempts byte only", {.data = {0xFF}}, 0, {8, 0, 0, 0}},
      {"refused, 4 left", {.status = 0xB1, .data = {0xF0, 0xD1, 0xD2, 0xD3}}, 0xB1, {4, 0, 0, 0}},
      {"refused, locked", {.status = 0xB2, .data = {0x00}}, 0xB2, {0, 0, 0, 0}},
      {"byte that is no count", {.data = {0x7F, 0xD1, 0xD2, 0xD3}}, 0, {0x31, 0xD1, 0xD2, 0xD3}},
      {"refused without data", {.status = 0x83}, 0x83, {0x31, 0, 0, 0}},
      {"line failure", {.sendStatus = false}, 'o', {0x31, 0, 0, 0}},
      {"bad checksum", {.data = {0xC0, 1, 2, 3}, .checksum = 0x00}, 's', {0x31, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    LeaveStaleReply();  // 0xFF first: a stale byte would read as 8 attempts
    peer.replies.push_back(c.reply);
    Bytes password{0x31, 0x32, 0x33, 0x34, 0x5A};
    EXPECT_EQ(AT1608_Psw(reader, 3, password.data()), c.result) << c.what;
    EXPECT_EQ(Bytes(password.begin(), password.begin() + 4), c.password) << c.what;
    EXPECT_EQ(password[4], 0x5A) << c.what;
  }
}

TEST_F(At1608CommandsTest, FuseByteOnlyFromASuccessfulOneByteReply) {
  struct Case {
    const char* what;
    ScriptedReply reply;
    int result;
    std::uint8_t fuse;
  };
  const Case cases[] = {
      {"one byte", {.data = {0x07}}, 0, 0x07},
      {"two bytes", {.data = {0x07, 0x01}}, 0, 0x5A},
      {"no bytes", {}, 0, 0x5A},
      {"refused", {.status = 0x84, .data = {0x07}}, 0x84, 0x5A},
  };
  for (const Case& c : cases) {
    peer.replies.push_back(c.reply);
    std::uint8_t fuse[2] = {0x5A, 0x5A};
    EXPECT_EQ(AT1608_ReadFuse(reader, fuse), c.result) << c.what;
    EXPECT_EQ(fuse[0], c.fuse) << c.what;
    EXPECT_EQ(fuse[1], 0x5A) << c.what;
  }
}

}  // namespace
}  // namespace kulve::test

// SPDX-License-Identifier: MIT
// e5550 transponder commands over the in-memory reader: frames, the block
// guard, the option byte, and what reaches the caller's buffers.
#include <gtest/gtest.h>

#include <climits>
#include <functional>

#include "rf5550/rf5550.h"
#include "support/fake_reader.h"

namespace kulve::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

const std::uint8_t kPassword[4] = {0x50, 0x51, 0x52, 0x53};

Rf5550InitRecord Record(int first, int fourth, int tenth) {
  Rf5550InitRecord record{};
  for (int i = 0; i < 10; ++i) record.value[i] = 0x5A5A + i;  // values the option byte must ignore
  record.value[0] = first;
  record.value[3] = fourth;
  record.value[9] = tenth;
  return record;
}

class Rf5550Test : public ::testing::Test, protected FakeReaderFixture {
 protected:
  void SetUp() override { OpenLink(); }
};

TEST_F(Rf5550Test, FramesOfEachCommand) {
  const Rf5550InitRecord record = Record(1, 0, 2);
  struct Case {
    const char* what;
    std::function<int(Reader&, std::uint8_t*)> call;
    Request frame;
  };
  const Case cases[] = {
      {"WriteBlk block 3", [](Reader& r, auto* d) { return RF5550_WriteBlk(r, 3, kPassword, d, 1); },
       {0x65, {0x50, 0x51, 0x52, 0x53, 0x03, 0xD0, 0xD1, 0xD2, 0xD3, 0x01}}},
      {"WriteBlk block -1 writes block 0", [](Reader& r, auto* d) { return RF5550_WriteBlk(r, -1, kPassword, d, 0); },
       {0x65, {0x50, 0x51, 0x52, 0x53, 0x00, 0xD0, 0xD1, 0xD2, 0xD3, 0x00}}},
      {"WriteBlk sends low bytes", [](Reader& r, auto* d) { return RF5550_WriteBlk(r, 0x1207, kPassword, d, 0x2FF); },
       {0x65, {0x50, 0x51, 0x52, 0x53, 0x07, 0xD0, 0xD1, 0xD2, 0xD3, 0xFF}}},
      {"WriteAfterWake block 6", [](Reader& r, auto* d) { return RF5550_WriteAfterWake(r, 6, kPassword, d, 0); },
       {0x69, {0x50, 0x51, 0x52, 0x53, 0x06, 0xD0, 0xD1, 0xD2, 0xD3, 0x00}}},
      {"WriteAfterWake block -1", [](Reader& r, auto* d) { return RF5550_WriteAfterWake(r, -1, kPassword, d, 1); },
       {0x69, {0x50, 0x51, 0x52, 0x53, 0x00, 0xD0, 0xD1, 0xD2, 0xD3, 0x01}}},
      {"ReadBlk block 0 has no guard", [](Reader& r, auto* d) { return RF5550_ReadBlk(r, 0, d); }, {0x64, {0x00}}},
      {"ReadBlk sends the low byte", [](Reader& r, auto* d) { return RF5550_ReadBlk(r, 0x105, d); }, {0x64, {0x05}}},
      {"ReadAfterWake block 5", [](Reader& r, auto* d) { return RF5550_ReadAfterWake(r, 5, kPassword, d); },
       {0x68, {0x50, 0x51, 0x52, 0x53, 0x05}}},
      {"Init", [&](Reader& r, auto*) { return RF5550_Init(r, &record, kPassword, 0x301); },
       {0x66, {0x50, 0x51, 0x52, 0x53, 0x4F, 0x01}}},
      {"Wake", [](Reader& r, auto*) { return RF5550_Wake(r, kPassword); }, {0x67, {0x50, 0x51, 0x52, 0x53}}},
      {"Mcmno", [](Reader& r, auto* d) { return RF5550_Mcmno(r, d); }, {0xA1, {}}},
  };
  for (const Case& c : cases) {
    Bytes data = {0xD0, 0xD1, 0xD2, 0xD3};
    EXPECT_EQ(c.call(reader, data.data()), 0) << c.what;
    EXPECT_EQ(peer.TakeRequests(), std::vector<Request>{c.frame}) << c.what;
  }
}

TEST_F(Rf5550Test, OptionBytePacksThreeValuesOfTheRecord) {
  struct Case {
    int first, fourth, tenth;
    std::uint8_t option;
  };
  const Case cases[] = {
      {0, 0, 0, 0x07},       {1, 1, 7, 0xFF},        {0, 1, 2, 0x57},   {1, 0, -1, 0xEF},
      {0, 5, 8, 0xF7},       {0x100, 0, 3, 0x6F},    // any non-zero value is a set bit, not just its low byte
      {0, INT_MIN, 0, 0x17}, {-5, 0, INT_MIN, 0xEF}, {0, 0, 0x105, 0xE7},  // too large: 7, not the low bits
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Rf5550OptionByte(Record(c.first, c.fourth, c.tenth)), c.option)
        << c.first << ", " << c.fourth << ", " << c.tenth;
  }
}

TEST_F(Rf5550Test, RefusedCallsSendNothingAndTouchNothing) {
  const Rf5550InitRecord record{};
  struct Case {
    const char* what;
    std::function<int(Reader&, std::uint8_t*)> call;
  };
  const Case cases[] = {
      {"WriteBlk block 0", [](Reader& r, auto* d) { return RF5550_WriteBlk(r, 0, kPassword, d, 0); }},
      {"WriteAfterWake block 0", [](Reader& r, auto* d) { return RF5550_WriteAfterWake(r, 0, kPassword, d, 0); }},
      {"WriteBlk 256 would wrap to block 0", [](Reader& r, auto* d) { return RF5550_WriteBlk(r, 256, kPassword, d, 0); }},
      {"WriteAfterWake -256 would wrap to block 0",
       [](Reader& r, auto* d) { return RF5550_WriteAfterWake(r, -256, kPassword, d, 0); }},
      {"WriteBlk no password", [](Reader& r, auto* d) { return RF5550_WriteBlk(r, 1, nullptr, d, 0); }},
      {"WriteBlk no data", [](Reader& r, auto*) { return RF5550_WriteBlk(r, 1, kPassword, nullptr, 0); }},
      {"WriteAfterWake no password", [](Reader& r, auto* d) { return RF5550_WriteAfterWake(r, 1, nullptr, d, 0); }},
      {"ReadBlk no buffer", [](Reader& r, auto*) { return RF5550_ReadBlk(r, 1, nullptr); }},
      {"ReadAfterWake no password", [](Reader& r, auto* d) { return RF5550_ReadAfterWake(r, 1, nullptr, d); }},
      {"ReadAfterWake no buffer", [](Reader& r, auto*) { return RF5550_ReadAfterWake(r, 1, kPassword, nullptr); }},
      {"Init no record", [](Reader& r, auto*) { return RF5550_Init(r, nullptr, kPassword, 0); }},
      {"Init no password", [&](Reader& r, auto*) { return RF5550_Init(r, &record, nullptr, 0); }},
      {"Wake no password", [](Reader& r, auto*) { return RF5550_Wake(r, nullptr); }},
      {"Mcmno no buffer", [](Reader& r, auto*) { return RF5550_Mcmno(r, nullptr); }},
  };
  for (const Case& c : cases) {
    Bytes data(8, 0x5A);
    EXPECT_EQ(c.call(reader, data.data()), KULVE_BAD_ARGUMENT) << c.what;
    EXPECT_EQ(data, Bytes(8, 0x5A)) << c.what;
  }
  EXPECT_TRUE(peer.TakeRequests().empty());
}

// The reads and writes copy on success only, at most one block: the caller's
// block is followed by guard bytes that no reply may reach.
TEST_F(Rf5550Test, BlockRepliesReachTheCallerOnSuccessAndNeverPastFourBytes) {
  using Call = std::function<int(Reader&, std::uint8_t*)>;
  const std::pair<const char*, Call> calls[] = {
      {"ReadBlk", [](Reader& r, auto* d) { return RF5550_ReadBlk(r, 1, d); }},
      {"ReadAfterWake", [](Reader& r, auto* d) { return RF5550_ReadAfterWake(r, 1, kPassword, d); }},
      {"WriteBlk", [](Reader& r, auto* d) { return RF5550_WriteBlk(r, 1, kPassword, d, 0); }},
      {"WriteAfterWake", [](Reader& r, auto* d) { return RF5550_WriteAfterWake(r, 1, kPassword, d, 0); }},
  };
  const Bytes untouched = {0x5A, 0x5A, 0x5A, 0x5A};
  struct Case {
    const char* what;
    ScriptedReply reply;
    int result;
    Bytes block;  // the caller's four bytes afterwards
  };
  const Case cases[] = {
      {"one block", {.data = {1, 2, 3, 4}}, 0, {1, 2, 3, 4}},
      {"empty reply", {.data = {}}, 0, untouched},
      {"short reply", {.data = {1, 2}}, 0, {1, 2, 0x5A, 0x5A}},
      {"oversized reply", {.data = Bytes(255, 0xEE)}, 0, {0xEE, 0xEE, 0xEE, 0xEE}},
      {"reader refusal with data", {.status = 0xD3, .data = {1, 2, 3, 4}}, 0xD3, untouched},
      {"checksum lost after the data", {.data = {1, 2, 3, 4}, .sendChecksum = false}, KULVE_LINK_NO_CHECKSUM,
       untouched},
      {"checksum wrong", {.data = {1, 2, 3, 4}, .checksum = 0x77}, KULVE_LINK_BAD_CHECKSUM, untouched},
  };
  for (const auto& [name, call] : calls) {
    for (const Case& c : cases) {
      peer.replies.push_back(c.reply);
      Bytes buffer(4 + 64, 0x5A);
      EXPECT_EQ(call(reader, buffer.data()), c.result) << name << ", " << c.what;
      EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 4), c.block) << name << ", " << c.what;
      EXPECT_EQ(Bytes(buffer.begin() + 4, buffer.end()), Bytes(64, 0x5A)) << name << ", " << c.what;
    }
  }
}

TEST_F(Rf5550Test, ModuleAnswerIsTwoBytesAndTwoZeros) {
  struct Case {
    const char* what;
    ScriptedReply reply;
    int result;
    Bytes answer;  // the caller's buffer (4 bytes and 4 guard bytes) afterwards
  };
  const Case cases[] = {
      {"two bytes", {.data = {0x03, 0x12}}, 0, {0x03, 0x12, 0, 0, 0x5A, 0x5A, 0x5A, 0x5A}},
      {"long reply", {.data = Bytes(255, 0xEE)}, 0, {0xEE, 0xEE, 0, 0, 0x5A, 0x5A, 0x5A, 0x5A}},
      {"one byte: the other reads 0", {.data = {0x07}}, 0, {0x07, 0, 0, 0, 0x5A, 0x5A, 0x5A, 0x5A}},
      {"refused", {.status = 0x80, .data = {1, 2}}, 0x80, Bytes(8, 0x5A)},
      {"reply cut short", {.data = {1, 2}, .dataSent = 1}, KULVE_LINK_SHORT_REPLY, Bytes(8, 0x5A)},
  };
  for (const Case& c : cases) {
    peer.replies.push_back(c.reply);
    Bytes answer(8, 0x5A);
    EXPECT_EQ(RF5550_Mcmno(reader, answer.data()), c.result) << c.what;
    EXPECT_EQ(answer, c.answer) << c.what;
  }
  EXPECT_EQ(peer.TakeRequests().size(), std::size(cases));  // one exchange each, never repeated
}

}  // namespace
}  // namespace kulve::test

// SPDX-License-Identifier: MIT
// The default mode reads a T=1 answer only when it is one: R-blocks,
// S-blocks, chained and malformed blocks are never taken for a status word.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "cpucard/cpucard.h"
#include "support/fake_reader.h"

namespace kulve::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(CpuCardT1Mend, BlocksThatAreNotAnswersNeverGiveAStatusWord) {
  struct Case {
    const char* what;
    Bytes reply;
    std::uint8_t sequenceAfter;  // N(S) was 0 before the exchange
  };
  const Case cases[] = {
      {"R-block N(R)=1, no error", {0x00, 0x90, 0x00, 0x90}, 1},
      {"R-block N(R)=1, LRC error", {0x00, 0x91, 0x00, 0x91}, 1},
      {"R-block N(R)=1, other error", {0x00, 0x92, 0x00, 0x92}, 1},
      {"R-block N(R)=0: the card wants our block again", {0x00, 0x82, 0x00, 0x82}, 0},
      {"S(WTX request)", {0x00, 0xC3, 0x01, 0x01, 0xC3}, 1},
      {"S(IFS request)", {0x00, 0xC1, 0x01, 0xFE, 0x3E}, 1},
      {"S(RESYNCH response)", {0x00, 0xE0, 0x00, 0xE0}, 1},
      {"I-block with the more-data bit", {0x00, 0x20, 0x04, 0x12, 0x34, 0x56, 0x78, 0x7A}, 1},
      {"I-block, LEN one more than came", {0x00, 0x00, 0x05, 0x12, 0x34, 0x90, 0x00, 0xB3}, 1},
      {"I-block, LEN one less than came", {0x00, 0x00, 0x03, 0x12, 0x34, 0x90, 0x00, 0xB5}, 1},
      {"I-block, NAD 12", {0x12, 0x00, 0x02, 0x90, 0x00, 0x80}, 1},
      {"I-block carrying one byte", {0x00, 0x00, 0x01, 0x90, 0x91}, 1},
      {"I-block carrying nothing", {0x00, 0x00, 0x00, 0x00}, 1},
      {"three bytes", {0x00, 0x00, 0x00}, 1},
  };
  for (const Case& c : cases) {
    for (bool packed : {false, true}) {
      FakeReaderFixture f;
      f.OpenLink();
      f.peer.replies.push_back({.data = c.reply});
      Bytes request = {0x00, 0xB0, 0x00, 0x00, 0x00, 0x10};
      request.resize(16, 0xA5);
      Bytes fixed(kApduRequestSize, 0);
      fixed[1] = 0xB0;
      fixed[kApduRequestLeOffset] = 0x10;
      Bytes response(300, 0x77);
      const int result = packed ? SendPackedApdu(f.reader, ChipSlot::kCpuCard, request.data(), response.data())
                                : SendApduRequest(f.reader, ChipSlot::kCpuCard, fixed.data(), response.data());
      EXPECT_EQ(result, KULVE_T1_NOT_AN_ANSWER) << c.what;
      EXPECT_EQ(response[0], 0) << c.what;
      EXPECT_EQ(response[1], 0x77) << c.what;
      EXPECT_EQ(f.reader.cpuCard.sendSequence, c.sequenceAfter) << c.what;
      if (packed) {  // the echo as after any exchange: 00 00 05 00 B0 00 00 10 A5
        EXPECT_EQ(Bytes(request.begin(), request.begin() + 10),
                  (Bytes{9, 0x00, 0x00, 0x05, 0x00, 0xB0, 0x00, 0x00, 0x10, 0xA5})) << c.what;
      }
    }
  }
  EXPECT_THAT(ResultText(KULVE_T1_NOT_AN_ANSWER), ::testing::HasSubstr("wants the full mode: SetChipProtocolMode(1)"));
}

}  // namespace
}  // namespace kulve::test

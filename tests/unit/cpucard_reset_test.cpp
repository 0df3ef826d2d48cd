// SPDX-License-Identifier: MIT
// Reset of the chip slots and the framing its answer selects, over the
// in-memory reader; protocol detection over 4,832 real answers-to-reset.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "cpucard/cpucard.h"
#include "support/fake_reader.h"
#include "tools/atr_text.h"

namespace kulve::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

class CpuCardResetTest : public ::testing::Test, protected FakeReaderFixture {
 protected:
  void SetUp() override { OpenLink(); }

  // Resets the CPU card with the reader answering `atr`; the framing before
  // is the opposite of `expected`, so an unchanged one shows.
  void ExpectProtocol(const Bytes& atr, int expected, const std::string& what) {
    reader.cpuCard.protocol = expected == 1 ? 0 : 1;
    peer.replies.push_back({.data = atr});
    Bytes buffer(256 + 8, 0xEE);
    ASSERT_EQ(ResetChip(reader, ChipSlot::kCpuCard, buffer.data()), 0) << what;
    EXPECT_EQ(CpuCardProtocolType(reader), expected) << what;
    EXPECT_EQ(buffer[0], atr.size()) << what;
    EXPECT_EQ(Bytes(buffer.begin() + 1, buffer.begin() + 1 + buffer[0]), atr) << what;
    EXPECT_EQ(buffer[1 + atr.size()], 0xEE) << what;
  }
};

TEST_F(CpuCardResetTest, FramingFollowsTd1Only) {
  struct Case {
    const char* what;
    Bytes atr;
    int protocol;
  };
  const Case cases[] = {
      {"no TD1", {0x3B, 0x6A, 0x00, 0x00, 0x80, 0x65}, 0},
      {"TA1 then TD1 naming T=1", {0x3B, 0x9F, 0x95, 0x81, 0x31, 0xFE}, 1},
      {"TA1 TB1 TC1 then TD1 naming T=1", {0x3B, 0xF0, 0x12, 0x00, 0xFF, 0x91, 0x81}, 1},
      {"TD1 names T=0, TD2 T=1: only TD1 counts", {0x3B, 0xE9, 0x00, 0x00, 0x80, 0x31, 0xC0}, 0},
      {"TD1 names T=15", {0x3B, 0x80, 0x8F, 0x01, 0x8E}, 0},
      {"TD1 names T=14", {0x3B, 0x80, 0x0E, 0x8E}, 0},
      {"nothing at all", {}, 0},
      {"TS alone", {0x3B}, 0},
      {"T0 announces TD1, the ATR ends", {0x3B, 0x80}, 0},
      {"T0 announces TA1 TB1 TC1 TD1, the ATR ends before TD1", {0x3B, 0xF0, 0x12, 0x00, 0xFF}, 0},
      {"the 255-byte maximum", [] { Bytes a(255, 0x00); a[0] = 0x3B; a[1] = 0x90; a[2] = 0x11; a[3] = 0x01; return a; }(), 1},
  };
  for (const Case& c : cases) ExpectProtocol(c.atr, c.protocol, c.what);
}

TEST_F(CpuCardResetTest, DetectionReadsNothingPastTheAtrReceived) {
  // A longer earlier reply leaves a T=1 TD1 in the reply area where a short
  // ATR's TD1 would be.
  peer.replies.push_back({.data = {0x3B, 0x80, 0x81, 0x31}});
  Bytes buffer(256);
  ASSERT_EQ(ResetChip(reader, ChipSlot::kSam1, buffer.data()), 0);
  ASSERT_EQ(CpuCardProtocolType(reader), 1);
  ExpectProtocol({0x3B, 0x80}, 0, "TD1 announced, not received");
}

TEST_F(CpuCardResetTest, FailedResetWritesOnlyTheCountAndKeepsTheFraming) {
  const ScriptedReply failures[] = {{.ack = std::nullopt}, {.status = 0xA0}, {.data = {0x3B, 0x80, 0x81}, .checksum = 0}};
  for (const ScriptedReply& failure : failures) {
    reader.cpuCard = {.protocol = 0, .sendSequence = 1};
    peer.replies.push_back(failure);
    Bytes buffer(16, 0x5A);
    EXPECT_NE(ResetChip(reader, ChipSlot::kSam4, buffer.data()), 0);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_TRUE(std::all_of(buffer.begin() + 1, buffer.end(), [](auto b) { return b == 0x5A; }));
    EXPECT_EQ(CpuCardProtocolType(reader), 0);
    EXPECT_EQ(reader.cpuCard.sendSequence, 0);
  }
}

TEST_F(CpuCardResetTest, NullBufferSendsNothing) {
  reader.cpuCard.sendSequence = 1;
  EXPECT_EQ(ResetChip(reader, ChipSlot::kCpuCard, nullptr), 4);
  EXPECT_TRUE(peer.TakeRequests().empty());
  EXPECT_EQ(reader.cpuCard.sendSequence, 1);
}

TEST_F(CpuCardResetTest, T1BeforeAnyReset) { EXPECT_EQ(CpuCardProtocolType(reader), 1); }

// ---- The ATR list ----------------------------------------------------------

std::vector<Bytes> RealAtrs() {
  std::ifstream file(KULVE_ATR_LIST);
  std::vector<Bytes> atrs;
  for (std::string line; std::getline(file, line);) {
    std::istringstream words(line);
    Bytes atr;
    for (unsigned byte; words >> std::hex >> byte;) atr.push_back(static_cast<std::uint8_t>(byte));
    if (!atr.empty()) atrs.push_back(std::move(atr));
  }
  return atrs;
}

// The protocol an ATR's structure offers first, found by walking every
// interface byte group up to the first TD byte within `length` bytes.
int FirstProtocolOffered(const Bytes& atr, std::size_t length) {
  length = std::min(length, atr.size());
  if (length < 2) return 0;
  std::size_t at = 2;
  for (unsigned bit : {0x10u, 0x20u, 0x40u}) {
    if ((atr[1] & bit) != 0) ++at;
  }
  if ((atr[1] & 0x80) == 0 || at >= length) return 0;
  return (atr[at] & 0x0F) == 1 ? 1 : 0;
}

TEST_F(CpuCardResetTest, EveryRealAtrAndItsShortPrefixes) {
  const std::vector<Bytes> atrs = RealAtrs();
  ASSERT_EQ(atrs.size(), 4832u) << "the list is missing or damaged: " << KULVE_ATR_LIST;
  int t1 = 0;
  for (const Bytes& atr : atrs) {
    for (std::size_t length = 0; length <= std::min<std::size_t>(atr.size(), 6); ++length) {
      const Bytes prefix(atr.begin(), atr.begin() + static_cast<std::ptrdiff_t>(length));
      peer.replies.push_back({.data = prefix});
      Bytes buffer(256);
      ASSERT_EQ(ResetChip(reader, ChipSlot::kCpuCard, buffer.data()), 0);
      ASSERT_EQ(CpuCardProtocolType(reader), FirstProtocolOffered(atr, length)) << ::testing::PrintToString(prefix);
    }
    peer.replies.push_back({.data = atr});
    Bytes buffer(256);
    ASSERT_EQ(ResetChip(reader, ChipSlot::kCpuCard, buffer.data()), 0);
    const int protocol = CpuCardProtocolType(reader);
    ASSERT_EQ(protocol, FirstProtocolOffered(atr, atr.size())) << ::testing::PrintToString(atr);
    t1 += protocol;
    // The tool's explanation agrees on the first protocol offered.
    const tool::AtrExplanation explained = tool::ExplainAtr(atr);
    ASSERT_FALSE(explained.protocols.empty());
    EXPECT_EQ(explained.protocols.front() == 1, protocol == 1) << ::testing::PrintToString(atr);
    peer.TakeRequests();
  }
  EXPECT_EQ(t1, 1031);
}

}  // namespace
}  // namespace kulve::test

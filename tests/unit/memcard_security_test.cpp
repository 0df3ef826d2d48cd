// SPDX-License-Identifier: MIT
// Security codes, erase keys and zone codes over the in-memory reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "memcard/memcard.h"
#include "support/fake_reader.h"

namespace kulve::test {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Call = std::function<int(Reader&, std::uint8_t*)>;

class MemCardSecurityTest : public ::testing::Test, protected FakeReaderFixture {
 protected:
  void SetUp() override { OpenLink(); }
  void Select(std::int32_t type) { reader.cardType = type; }
};

TEST_F(MemCardSecurityTest, TypesWithoutTheFacilityRefuseWithThree) {
  struct Case {
    const char* what;
    std::int32_t type;
    Call call;
  };
  const Case cases[] = {
      {"CheckSecret, none selected", 255, [](Reader& r, auto* b) { return CheckSecret(r, 2, b); }},
      {"CheckSecret, type 21", 21, [](Reader& r, auto* b) { return CheckSecret(r, 2, b); }},
      {"CheckSecret, zoned length 3", 25, [](Reader& r, auto* b) { return CheckSecret(r, 3, b); }},
      {"ReadSecret, presentation only", 5, [](Reader& r, auto* b) { return ReadSecret(r, b, b); }},
      {"ModifySecret, type 1", 1, [](Reader& r, auto* b) { return ModifySecret(r, 2, b); }},
      {"ModifySecret, zoned length 4", 26, [](Reader& r, auto* b) { return ModifySecret(r, 4, b); }},
      {"CheckEraseSecret, type 16 key 6", 16, [](Reader& r, auto* b) { return CheckEraseSecret(r, 6, b); }},
      {"CheckEraseSecret, type 16 key 260", 16, [](Reader& r, auto* b) { return CheckEraseSecret(r, 260, b); }},
      {"CheckEraseSecret, type 17", 17, [](Reader& r, auto* b) { return CheckEraseSecret(r, 1, b); }},
      {"CheckZoneSecret, type 0", 0, [](Reader& r, auto* b) { return CheckZoneSecret(r, 1, b); }},
  };
  for (const Case& c : cases) {
    Select(c.type);
    Bytes buffer(8, 0x5A);
    EXPECT_EQ(c.call(reader, buffer.data()), 3) << c.what;
    EXPECT_EQ(buffer, Bytes(8, 0x5A)) << c.what;
  }
  EXPECT_TRUE(peer.TakeRequests().empty());
}

TEST_F(MemCardSecurityTest, FramesByCardType) {
  struct Case {
    const char* what;
    std::int32_t type;
    Call call;
    std::vector<Request> frames;
  };
  const Case cases[] = {
      {"CheckSecret, code in card memory", 16, [](Reader& r, auto* b) { return CheckSecret(r, 2, b); }, {{12, {1, 2}}}},
      {"CheckSecret, zoned", 25, [](Reader& r, auto* b) { return CheckSecret(r, 2, b); }, {{12, {1, 2}}}},
      {"CheckSecret, presentation only", 5, [](Reader& r, auto* b) { return CheckSecret(r, 3, b); }, {{12, {1, 2, 3}}}},
      {"ReadSecret, type 0", 0, [](Reader& r, auto* b) { return ReadSecret(r, b, b + 4); }, {{20, {18, 0, 8, 6}}}},
      {"ReadSecret, type 15", 15, [](Reader& r, auto* b) { return ReadSecret(r, b, b + 4); }, {{20, {18, 0, 10, 4}}}},
      {"ReadSecret, security memory", 4, [](Reader& r, auto* b) { return ReadSecret(r, b, b + 4); }, {{20, {2}}}},
      {"ModifySecret, type 15", 15, [](Reader& r, auto* b) { return ModifySecret(r, 2, b); },
       {{26, {18, 0, 10, 2, 0xFF, 0xFF}}, {21, {18, 0, 10, 2, 1, 2}}, {20, {18, 0, 12, 2}}}},
      {"ModifySecret, type 0", 0, [](Reader& r, auto* b) { return ModifySecret(r, 2, b); },
       {{26, {18, 0, 8, 2, 0xFF, 0xFF}}, {21, {18, 0, 8, 2, 1, 2}}, {20, {18, 0, 10, 2}}}},
      {"ModifySecret, security memory", 2, [](Reader& r, auto* b) { return ModifySecret(r, 3, b); }, {{21, {2, 1, 2, 3}}}},
      {"ModifySecret, zoned", 26, [](Reader& r, auto* b) { return ModifySecret(r, 2, b); }, {{21, {2, 1, 2}}}},
      {"CheckEraseSecret, type 0", 0, [](Reader& r, auto* b) { return CheckEraseSecret(r, 7, b); }, {{25, {7, 1, 2, 3, 4}}}},
      {"CheckEraseSecret, type 16 key 4", 16, [](Reader& r, auto* b) { return CheckEraseSecret(r, 4, b); },
       {{25, {4, 1, 2, 3, 4, 5, 6}}}},
      {"CheckEraseSecret, type 16 key 5", 16, [](Reader& r, auto* b) { return CheckEraseSecret(r, 5, b); },
       {{25, {5, 1, 2, 3, 4}}}},
      {"CheckEraseSecret, zoned", 25, [](Reader& r, auto* b) { return CheckEraseSecret(r, 0x103, b); }, {{25, {3, 1, 2}}}},
      {"CheckZoneSecret", 26, [](Reader& r, auto* b) { return CheckZoneSecret(r, 0x101, b); }, {{24, {1, 1, 2}}}},
      {"SetZoneRWBit, any type", 255, [](Reader& r, auto*) { return SetZoneRWBit(r, 3, 0x1F0); }, {{27, {3, 0xF0}}}},
  };
  for (const Case& c : cases) {
    Select(c.type);
    Bytes buffer{1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(c.call(reader, buffer.data()), 0) << c.what;
    EXPECT_EQ(peer.TakeRequests(), c.frames) << c.what;
  }
}

TEST_F(MemCardSecurityTest, RepliesReachTheCallerInTheirLayout) {
  Select(16);
  Bytes code{0xC1, 0xC2, 0, 0};
  peer.replies.push_back({.data = {0x11, 0x22, 0x33, 0x44}});
  EXPECT_EQ(CheckSecret(reader, 2, code.data()), 0);
  EXPECT_EQ(code, (Bytes{0x33, 0x44, 0x11, 0x22}));  // counter, then code
  peer.replies.push_back({.data = {0x11, 0x22}});
  EXPECT_EQ(CheckSecret(reader, 2, code.data()), 0);
  EXPECT_EQ(code, (Bytes{0, 0, 0x11, 0x22}));  // missing counter bytes are not stale ones

  Select(0);
  Bytes counter(2), secret(4, 0);
  peer.replies.push_back({.data = {0xA1, 0xA2, 0xB1, 0xB2, 0xEE, 0xEE}});
  EXPECT_EQ(ReadSecret(reader, counter.data(), secret.data()), 0);
  EXPECT_EQ(secret, (Bytes{0xA1, 0xA2, 0, 0}));
  EXPECT_EQ(counter, (Bytes{0xB1, 0xB2}));

  Select(4);
  peer.replies.push_back({.data = {7, 0xD1, 0xD2, 0xD3}});
  EXPECT_EQ(ReadSecret(reader, counter.data(), secret.data()), 0);
  EXPECT_EQ(counter, (Bytes{7, 0}));
  EXPECT_EQ(secret, (Bytes{0xD1, 0xD2, 0xD3, 0}));

  // The replacement leaves counter then code as written.
  Select(17);
  peer.replies.push_back({.data = {0xFF, 0xFF}});  // erase
  peer.replies.push_back({});                      // write
  peer.replies.push_back({.data = {0, 3}});        // counter
  Bytes modify{0x12, 0x34, 0, 0};
  EXPECT_EQ(ModifySecret(reader, 2, modify.data()), 0);
  EXPECT_EQ(modify, (Bytes{0, 3, 0x12, 0x34}));
}

TEST_F(MemCardSecurityTest, ModifySecretStopsWhenTheCodeDidNotErase) {
  Select(15);
  peer.replies.push_back({.data = {0xFF, 0x00}});
  Bytes code{0x12, 0x34, 0, 0};
  EXPECT_EQ(ModifySecret(reader, 2, code.data()), 3);
  EXPECT_EQ(peer.TakeRequests().size(), 1u);
  EXPECT_EQ(code, (Bytes{0x12, 0x34, 0, 0}));
}

TEST_F(MemCardSecurityTest, ZonedPresentationsCopyRefusalsButNotStaleReplies) {
  const std::pair<const char*, Call> calls[] = {
      {"CheckSecret", [](Reader& r, auto* b) { return CheckSecret(r, 2, b); }},
      {"CheckEraseSecret", [](Reader& r, auto* b) { return CheckEraseSecret(r, 1, b); }},
      {"CheckZoneSecret", [](Reader& r, auto* b) { return CheckZoneSecret(r, 1, b); }},
  };
  Select(25);
  for (const auto& [name, call] : calls) {
    Bytes code{1, 2, 0, 0};
    peer.replies.push_back({.status = 0x85, .data = {0, 9}});  // refusal carrying the attempts left
    EXPECT_EQ(call(reader, code.data()), 0x85) << name;
    EXPECT_EQ(code, (Bytes{0, 9, 0, 0})) << name;

    // An earlier exchange leaves its reply behind; then the line fails.
    peer.replies.push_back({.data = {0xEE, 0xEE, 0xEE, 0xEE}});
    ASSERT_EQ(Fuse(reader, 0), 0);
    peer.replies.push_back({.sendStatus = false});
    code = {1, 2, 0, 0};
    EXPECT_EQ(call(reader, code.data()), 'o') << name;
    EXPECT_EQ(code, (Bytes{1, 2, 0, 0})) << name;
  }
}

// Reader replies of 255 bytes, accepted or refused, stop at each buffer's documented size.
TEST_F(MemCardSecurityTest, OversizedRepliesStopAtTheDocumentedSize) {
  struct Case {
    const char* what;
    std::int32_t type;
    std::size_t size;  // documented buffer size
    Call call;
  };
  const Case cases[] = {
      {"CheckSecret, length 2", 5, 4, [](Reader& r, auto* b) { return CheckSecret(r, 2, b); }},
      {"CheckSecret, length 9", 2, 9, [](Reader& r, auto* b) { return CheckSecret(r, 9, b); }},
      {"CheckSecret, zoned", 26, 4, [](Reader& r, auto* b) { return CheckSecret(r, 2, b); }},
      {"CheckSecret, card memory", 0, 4, [](Reader& r, auto* b) { return CheckSecret(r, 2, b); }},
      {"ReadSecret code", 25, 4, [](Reader& r, auto* b) {
         std::uint8_t counter[2];
         return ReadSecret(r, counter, b);
       }},
      {"ModifySecret, security memory", 4, 4, [](Reader& r, auto* b) { return ModifySecret(r, 3, b); }},
      {"ModifySecret, zoned", 25, 4, [](Reader& r, auto* b) { return ModifySecret(r, 2, b); }},
      {"CheckEraseSecret, 4-byte key", 15, 4, [](Reader& r, auto* b) { return CheckEraseSecret(r, 1, b); }},
      {"CheckEraseSecret, 6-byte key", 16, 6, [](Reader& r, auto* b) { return CheckEraseSecret(r, 4, b); }},
      {"CheckEraseSecret, zoned", 26, 4, [](Reader& r, auto* b) { return CheckEraseSecret(r, 1, b); }},
      {"CheckZoneSecret", 25, 4, [](Reader& r, auto* b) { return CheckZoneSecret(r, 1, b); }},
  };
  for (std::uint8_t status : {std::uint8_t{0x00}, std::uint8_t{0x85}}) {
    for (const Case& c : cases) {
      Select(c.type);
      peer.replies.push_back({.status = status, .data = Bytes(255, 0xAA)});
      Bytes buffer(c.size + 64, 0xCC);
      c.call(reader, buffer.data());
      EXPECT_TRUE(std::all_of(buffer.begin() + static_cast<std::ptrdiff_t>(c.size), buffer.end(),
                              [](auto b) { return b == 0xCC; }))
          << c.what << " status " << int(status);
    }
  }
}

TEST_F(MemCardSecurityTest, LengthsThatCannotBeSentAreRefusedWithFour) {
  Bytes code(300, 1);
  struct Case {
    std::int32_t type;
    std::int32_t longest;  // the largest length that fits the one-byte send length
    std::function<int(std::int32_t)> call;
  };
  const Case cases[] = {
      {0, 255, [&](std::int32_t n) { return CheckSecret(reader, n, code.data()); }},
      {5, 255, [&](std::int32_t n) { return CheckSecret(reader, n, code.data()); }},
      {2, 254, [&](std::int32_t n) { return ModifySecret(reader, n, code.data()); }},  // one byte is the area
  };
  for (const Case& c : cases) {
    Select(c.type);
    for (std::int32_t refused : {-1, c.longest + 1, INT32_MIN, INT32_MAX}) EXPECT_EQ(c.call(refused), 4) << c.type;
    EXPECT_TRUE(peer.TakeRequests().empty()) << c.type;
    EXPECT_EQ(c.call(c.longest), 0) << c.type;
    EXPECT_EQ(peer.TakeRequests().at(0).data.size(), 255u) << c.type;
  }
  Select(0);
  EXPECT_EQ(CheckSecret(reader, 2, nullptr), 4);
  EXPECT_EQ(ReadSecret(reader, code.data(), nullptr), 4);
  EXPECT_EQ(CheckEraseSecret(reader, 1, nullptr), 4);
  EXPECT_TRUE(peer.TakeRequests().empty());
}

}  // namespace
}  // namespace kulve::test

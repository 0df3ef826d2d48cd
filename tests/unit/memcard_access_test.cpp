// SPDX-License-Identifier: MIT
// Addressed and paged memory-card access, VerifyIC and Fuse over the in-memory reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <numeric>

#include "memcard/memcard.h"
#include "support/fake_reader.h"

namespace kulve::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Concat(Bytes head, const Bytes& tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

// A caller's buffer followed by guard bytes that must never change.
struct Guarded {
  static constexpr std::size_t kGuard = 300;
  explicit Guarded(std::size_t n, std::uint8_t fill = 0) : size(n), bytes(n + kGuard, 0xCC) {
    std::fill_n(bytes.begin(), n, fill);
  }
  std::uint8_t* data() { return bytes.data(); }
  int count() const { return static_cast<int>(size); }
  bool GuardsIntact() const {
    return std::all_of(bytes.begin() + static_cast<std::ptrdiff_t>(size), bytes.end(), [](auto b) { return b == 0xCC; });
  }
  std::size_t size;
  Bytes bytes;
};

class MemCardAccessTest : public ::testing::Test, protected FakeReaderFixture {
 protected:
  void SetUp() override { OpenLink(); }
  void Select(std::int32_t type) { reader.cardType = type; }
};

TEST_F(MemCardAccessTest, FramesOfEachCommand) {
  Bytes data(300);
  std::iota(data.begin(), data.end(), std::uint8_t{0});
  const Bytes ff64(64, 0xFF);
  struct Case {
    const char* what;
    std::int32_t type;
    std::function<int(Reader&, std::uint8_t*)> call;
    std::vector<Request> frames;
  };
  const Case cases[] = {
      {"ReadCard 130 at page 1 offset 10", 1, [](Reader& r, auto* b) { return ReadCard(r, 0x112, 1, 10, 130, b); },
       {{20, {0x12, 0x01, 0x0A, 64}}, {20, {0x12, 0x01, 0x4A, 64}}, {20, {0x12, 0x01, 0x8A, 2}}}},
      {"WriteCard 64 is one piece", 1, [](Reader& r, auto* b) { return WriteCard(r, 18, 0, 0, 64, b); },
       {{21, Concat({18, 0, 0, 64}, Bytes(data.begin(), data.begin() + 64))}}},
      {"WriteCard 65 is two pieces", 1, [](Reader& r, auto* b) { return WriteCard(r, 18, 0, 0, 65, b); },
       {{21, Concat({18, 0, 0, 64}, Bytes(data.begin(), data.begin() + 64))}, {21, {18, 0, 64, 1, 64}}}},
      {"EraseCard with the erase command ignores the area", 16,
       [](Reader& r, auto* b) { return EraseCard(r, 5, 0, 0x20, 2, b); }, {{26, {18, 0, 0x20, 2, 0xFF, 0xFF}}}},
      {"EraseCard by writing 0xFF keeps the area", 1, [](Reader& r, auto* b) { return EraseCard(r, 5, 0, 0, 64, b); },
       {{21, Concat({5, 0, 0, 64}, ff64)}}},
      {"ReadMemCard across a 264-byte page", 21, [](Reader& r, auto* b) { return ReadMemCard(r, 260, 10, b); },
       {{36, {0, 0, 1, 4, 4}}, {36, {0, 1, 0, 0, 6}}}},
      {"ReadMemCard inside a 256-byte page", 3, [](Reader& r, auto* b) { return ReadMemCard(r, 260, 10, b); },
       {{36, {0, 1, 0, 4, 10}}}},
      {"ReadMemCard of a full 264-byte page", 21, [](Reader& r, auto* b) { return ReadMemCard(r, 264, 264, b); },
       {{36, {0, 1, 0, 0, 66}}, {36, {0, 1, 0, 66, 66}}, {36, {0, 1, 0, 132, 66}}, {36, {0, 1, 0, 198, 66}}}},
      {"ReadMemCard of a full 256-byte page", 0, [](Reader& r, auto* b) { return ReadMemCard(r, 0, 256, b); },
       {{36, {0, 0, 0, 0, 66}}, {36, {0, 0, 0, 66, 66}}, {36, {0, 0, 0, 132, 66}}, {36, {0, 0, 0, 198, 58}}}},
      {"WriteMemCard of 66 bytes", 0, [](Reader& r, auto* b) { return WriteMemCard(r, 0x10203, 66, b); },
       {{35, Concat({0x01, 0x02, 0, 3, 66}, Bytes(data.begin(), data.begin() + 66))}}},
      {"EraseMemCard writes 0xFF", 0, [](Reader& r, auto* b) { return EraseMemCard(r, 1, 2, b); },
       {{35, {0, 0, 0, 1, 2, 0xFF, 0xFF}}}},
      {"Fuse sends the low byte", 255, [](Reader& r, auto*) { return Fuse(r, 0x1A5); }, {{14, {0xA5}}}},
  };
  for (const Case& c : cases) {
    Select(c.type);
    Bytes buffer = data;
    EXPECT_EQ(c.call(reader, buffer.data()), 0) << c.what;
    EXPECT_EQ(peer.TakeRequests(), c.frames) << c.what;
  }
}

// A reader keeping 64 KiB of card memory answers the read and write commands.
TEST_F(MemCardAccessTest, PiecesLandAtTheirPlaceBothWays) {
  Bytes card(0x10000);
  peer.respond = [&](const Request& q) -> ScriptedReply {
    const std::size_t at = (q.data[1] << 8) | q.data[2];
    const std::size_t n = q.data[3];
    if (q.code == 21) std::copy_n(q.data.begin() + 4, n, card.begin() + at);
    if (q.code == 20) return {.data = Bytes(card.begin() + at, card.begin() + at + n)};
    return {};
  };
  Bytes written(200);
  std::iota(written.begin(), written.end(), std::uint8_t{1});
  EXPECT_EQ(WriteCard(reader, 18, 2, 250, 200, written.data()), 0);
  Bytes read(200);
  EXPECT_EQ(ReadCard(reader, 18, 2, 250, 200, read.data()), 0);
  EXPECT_EQ(read, written);
}

TEST_F(MemCardAccessTest, ReplyBytesAreCopiedBackAndShortRepliesPack) {
  peer.replies.push_back({.data = {0xA1, 0xA2}});
  peer.replies.push_back({.data = {0xB1}});
  Bytes buffer(70, 0);
  EXPECT_EQ(WriteCard(reader, 18, 0, 0, 70, buffer.data()), 0);
  EXPECT_EQ(buffer[0], 0xA1);
  EXPECT_EQ(buffer[1], 0xA2);
  EXPECT_EQ(buffer[64], 0xB1);  // each piece's reply goes over that piece's bytes

  // Paged: each page's piece copies back from its own start, whatever the
  // previous page's reply carried.
  Select(0);
  peer.replies.push_back({.data = {0xA1, 0xA2}});        // page 0, bytes 250..255
  peer.replies.push_back({.data = {0xB1, 0xB2, 0xB3}});  // page 1, bytes 0..13
  Bytes paged(20, 0);
  EXPECT_EQ(WriteMemCard(reader, 250, 20, paged.data()), 0);
  EXPECT_EQ(paged, (Bytes{0xA1, 0xA2, 0, 0, 0, 0, 0xB1, 0xB2, 0xB3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));

  // A read reply shorter than asked: the next piece follows the bytes received.
  peer.replies.push_back({.data = Bytes(60, 0x11)});
  peer.replies.push_back({.data = Bytes(6, 0x22)});
  EXPECT_EQ(ReadCard(reader, 18, 0, 0, 70, buffer.data()), 0);
  EXPECT_EQ(buffer[59], 0x11);
  EXPECT_EQ(buffer[60], 0x22);
}

// A faulty or hostile reader answering every piece with 255 bytes never gets
// a byte past the caller's count written.
TEST_F(MemCardAccessTest, OversizedRepliesStayInsideTheBuffer) {
  peer.respond = [](const Request&) { return ScriptedReply{.data = Bytes(255, 0xAA)}; };
  using Call = std::function<int(Reader&, Guarded&)>;
  const std::pair<const char*, Call> calls[] = {
      {"ReadCard", [](Reader& r, Guarded& g) { return ReadCard(r, 18, 0, 0, g.count(), g.data()); }},
      {"WriteCard", [](Reader& r, Guarded& g) { return WriteCard(r, 18, 0, 0, g.count(), g.data()); }},
      {"EraseCard", [](Reader& r, Guarded& g) { return EraseCard(r, 18, 0, 0, g.count(), g.data()); }},
      {"ReadMemCard", [](Reader& r, Guarded& g) { return ReadMemCard(r, 250, g.count(), g.data()); }},
      {"WriteMemCard", [](Reader& r, Guarded& g) { return WriteMemCard(r, 250, g.count(), g.data()); }},
      {"EraseMemCard", [](Reader& r, Guarded& g) { return EraseMemCard(r, 250, g.count(), g.data()); }},
  };
  for (std::int32_t type : {0, 1, 21}) {
    Select(type);
    for (const auto& [name, call] : calls) {
      for (std::size_t n : {1u, 7u, 65u, 130u}) {
        Guarded buffer(n);
        EXPECT_EQ(call(reader, buffer), 0) << name << " " << n;
        EXPECT_TRUE(buffer.GuardsIntact()) << name << " type " << type << " count " << n;
      }
    }
  }
}

TEST_F(MemCardAccessTest, RefusedArgumentsSendNothingAndTouchNothing) {
  struct Case {
    const char* what;
    std::function<int(Reader&, std::uint8_t*)> call;
  };
  const Case cases[] = {
      {"count 0", [](Reader& r, auto* b) { return ReadCard(r, 18, 0, 0, 0, b); }},
      {"page -1", [](Reader& r, auto* b) { return WriteCard(r, 18, -1, 0, 1, b); }},
      {"offset -1", [](Reader& r, auto* b) { return EraseCard(r, 18, 0, -1, 1, b); }},
      {"null buffer", [](Reader& r, auto*) { return ReadCard(r, 18, 0, 0, 1, nullptr); }},
      {"address 65536", [](Reader& r, auto* b) { return ReadCard(r, 18, 256, 0, 1, b); }},
      {"last byte past 65535", [](Reader& r, auto* b) { return WriteCard(r, 18, 255, 255, 2, b); }},
      {"huge page and offset", [](Reader& r, auto* b) { return EraseCard(r, 18, INT_MAX, INT_MAX, INT_MAX, b); }},
      {"paged negative address", [](Reader& r, auto* b) { return ReadMemCard(r, -1, 1, b); }},
      {"paged count 0", [](Reader& r, auto* b) { return EraseMemCard(r, 0, 0, b); }},
      {"paged null buffer", [](Reader& r, auto*) { return WriteMemCard(r, 0, 1, nullptr); }},
      {"paged beyond page 65535", [](Reader& r, auto* b) { return EraseMemCard(r, 0xFFFFFF, 2, b); }},
      {"paged huge address and count", [](Reader& r, auto* b) { return ReadMemCard(r, INT_MAX, INT_MAX, b); }},
  };
  for (const Case& c : cases) {
    Bytes buffer(4, 0x5A);
    EXPECT_EQ(c.call(reader, buffer.data()), 4) << c.what;
    EXPECT_EQ(buffer, Bytes(4, 0x5A)) << c.what;
  }
  EXPECT_TRUE(peer.TakeRequests().empty());

  // The very last addressable bytes are still reachable.
  Bytes one(1);
  EXPECT_EQ(ReadCard(reader, 18, 255, 255, 1, one.data()), 0);
  EXPECT_EQ(ReadMemCard(reader, 0xFFFFFF, 1, one.data()), 0);
  EXPECT_EQ(peer.TakeRequests(), (std::vector<Request>{{20, {18, 0xFF, 0xFF, 1}}, {36, {0xFF, 0xFF, 0, 0xFF, 1}}}));
}

TEST_F(MemCardAccessTest, FirstFailureEndsTheCall) {
  peer.replies.push_back({});
  peer.replies.push_back({.status = 0x85});
  Bytes buffer(200, 0);
  EXPECT_EQ(EraseMemCard(reader, 0, 200, buffer.data()), 0x85);
  EXPECT_EQ(peer.TakeRequests().size(), 2u);
  EXPECT_EQ(buffer, Bytes(200, 0xFF));  // filled before the exchange, kept after the failure

  peer.replies.push_back({.data = {1, 2}, .checksum = 0});
  EXPECT_EQ(ReadCard(reader, 18, 0, 0, 100, buffer.data()), 's');
  EXPECT_EQ(peer.TakeRequests().size(), 1u);
  EXPECT_EQ(buffer[0], 0xFF);  // nothing copied from a failed exchange
}

TEST_F(MemCardAccessTest, VerifyIC) {
  struct Case {
    std::int32_t type;
    std::vector<Bytes> replies;
    int result;
    std::vector<Request> frames;
  };
  const Request atZero{20, {18, 0, 0, 2}};
  const Request atSix{20, {18, 0, 6, 2}};
  const Case cases[] = {
      {0, {{0xB7, 0xA0}, {0xB7, 0xA0}}, 0, {atZero, atZero}},
      {0, {{0xB7, 0xA0}, {0x37, 0xA0}}, 0, {atZero, atZero}},
      {0, {{0xB7, 0xA0}, {0x37, 0xA1}}, 19, {atZero, atZero}},  // the second read decides
      {0, {{0xB7, 0xA0}, {}}, 19, {atZero, atZero}},            // an empty reply is no match
      {1, {{0x81, 0x05}}, 0, {atSix}},
      {2, {{0x81, 0x15}}, 0, {atSix}},
      {3, {{0x81, 0x03}}, 0, {atSix}},
      {4, {{0x81, 0x13}}, 0, {atSix}},
      {4, {{0x81, 0x15}}, 19, {atSix}},
      {12, {}, 0, {}},
      {21, {}, 0, {}},
      {5, {}, 19, {}},
      {255, {}, 19, {}},
      {-1, {}, 19, {}},
      {0x10000, {}, 19, {}},
  };
  for (const Case& c : cases) {
    Select(c.type);
    for (const Bytes& reply : c.replies) peer.replies.push_back({.data = reply});
    EXPECT_EQ(VerifyIC(reader), c.result) << "type " << c.type;
    EXPECT_EQ(peer.TakeRequests(), c.frames) << "type " << c.type;
  }
  Select(1);
  peer.replies.push_back({.status = 0x83});
  EXPECT_EQ(VerifyIC(reader), 0x83);
}

}  // namespace
}  // namespace kulve::test

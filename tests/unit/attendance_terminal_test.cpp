// SPDX-License-Identifier: MIT
// The attendance terminal's frames, copies and refusals over the in-memory reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <numeric>

#include "attendance/attendance.h"
#include "support/fake_reader.h"

namespace kulve::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Iota(std::size_t n, std::uint8_t first = 0) {
  Bytes b(n);
  std::iota(b.begin(), b.end(), first);
  return b;
}

Bytes Concat(Bytes head, const Bytes& tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

// Every output a call may write, filled with a marker, with guard bytes after
// each buffer's documented size.
struct Outputs {
  static constexpr std::uint8_t kMark = 0x5A;
  static constexpr std::size_t kGuard = 64;
  KqTime time{{-1, -1, -1, -1, -1, -1, -1}};
  std::int32_t first = -1;
  Bytes position = Bytes(kKqPositionBufferSize + kGuard, kMark);
  Bytes record = Bytes(kKqRecordBufferSize + kGuard, kMark);
  Bytes pass = Bytes(kKqPassThroughBufferSize + kGuard, kMark);

  bool Untouched() const {
    const Outputs fresh;
    return std::equal(std::begin(time.field), std::end(time.field), std::begin(fresh.time.field)) &&
           first == fresh.first && position == fresh.position && record == fresh.record && pass == fresh.pass;
  }
  bool GuardsIntact() const {
    auto intact = [](const Bytes& b, std::size_t size) {
      return std::all_of(b.begin() + static_cast<std::ptrdiff_t>(size), b.end(), [](auto v) { return v == kMark; });
    };
    return intact(position, kKqPositionBufferSize) && intact(record, kKqRecordBufferSize) &&
           intact(pass, kKqPassThroughBufferSize);
  }
};

using Call = std::function<int(Reader&, Outputs&)>;

const std::int32_t kDate[3] = {4, 6, 13};

// One of each export that writes to the caller.
const std::pair<const char*, Call> kWritingCalls[] = {
    {"GetTime", [](Reader& r, Outputs& o) { return KQ_GetTime(r, &o.time); }},
    {"GetCurrentPos", [](Reader& r, Outputs& o) { return KQ_GetCurrentPos(r, &o.first, o.position.data()); }},
    {"GetStartPos", [](Reader& r, Outputs& o) { return KQ_GetStartPos(r, kDate, &o.first, o.position.data()); }},
    {"GetEndPos", [](Reader& r, Outputs& o) { return KQ_GetEndPos(r, kDate, &o.first, o.position.data()); }},
    {"ReadRecord", [](Reader& r, Outputs& o) { return KQ_ReadRecord(r, 0, 0, 31, o.record.data()); }},
    {"TransCmd", [](Reader& r, Outputs& o) { return KQ_TransCmd(r, 0, 1, o.pass.data()); }},
};

class AttendanceTerminalTest : public ::testing::Test, protected FakeReaderFixture {
 protected:
  void SetUp() override { OpenLink(); }
};

TEST_F(AttendanceTerminalTest, FramesOfEachCommand) {
  const Bytes password = Iota(8, 0xA0);
  const std::string text("Hi\0there 16 byt", 16);
  struct Case {
    const char* what;
    std::function<int(Reader&, Outputs&)> call;
    Request frame;
  };
  const Case cases[] = {
      {"EndTrans", [](Reader& r, Outputs&) { return KQ_EndTrans(r); }, {0x01, {}}},
      {"SysInit", [](Reader& r, Outputs&) { return KQ_SysInit(r); }, {0xC7, {}}},
      {"GetTime", [](Reader& r, Outputs& o) { return KQ_GetTime(r, &o.time); }, {0xC1, {}}},
      {"SetTime sends low bytes",
       [](Reader& r, Outputs&) {
         const KqTime t{{0x123, 6, 13, 8, 30, -1, 0x7FFFFF04}};
         return KQ_SetTime(r, &t);
       },
       {0xC2, {0x23, 6, 13, 8, 30, 0xFF, 0x04}}},
      {"GetCurrentPos", [](Reader& r, Outputs& o) { return KQ_GetCurrentPos(r, &o.first, o.position.data()); },
       {0xC3, {}}},
      {"GetStartPos year 0", [](Reader& r, Outputs& o) {
         const std::int32_t date[3] = {0, 1, 1};
         return KQ_GetStartPos(r, date, &o.first, o.position.data());
       }, {0xC4, {0x6E, 0x01}}},
      {"GetStartPos", [](Reader& r, Outputs& o) { return KQ_GetStartPos(r, kDate, &o.first, o.position.data()); },
       {0xC4, {0xC7, 0x07}}},
      {"GetEndPos uses low bytes of the date", [](Reader& r, Outputs& o) {
         const std::int32_t date[3] = {0x104, 0x306, -243};  // low bytes 4, 6, 13
         return KQ_GetEndPos(r, date, &o.first, o.position.data());
       }, {0xC5, {0xC7, 0x07}}},
      {"ReadRecord", [](Reader& r, Outputs& o) { return KQ_ReadRecord(r, 1, 0x0102, 8, o.record.data()); },
       {0xC6, {0x01, 0x02, 0x01, 0x08}}},
      {"ReadRecord keeps bits 0..15 of the position",
       [](Reader& r, Outputs& o) { return KQ_ReadRecord(r, 0x201, 0x12345, 0x11F, o.record.data()); },
       {0xC6, {0x01, 0x45, 0x23, 0x1F}}},
      {"Display sends 16 bytes past a zero", [&](Reader& r, Outputs&) { return KQ_Display(r, text.data()); },
       {0xC8, Bytes(text.begin(), text.end())}},
      {"DownloadPSW kind 1", [&](Reader& r, Outputs&) { return KQ_DownloadPSW(r, 1, password.data()); },
       {0xCA, Concat({0x01}, Bytes(password.begin(), password.begin() + 4))}},
      {"DownloadPSW kind 2", [&](Reader& r, Outputs&) { return KQ_DownloadPSW(r, 2, password.data()); },
       {0xCA, Concat({0x02}, Bytes(password.begin(), password.begin() + 6))}},
      {"DownloadPSW kind 257", [&](Reader& r, Outputs&) { return KQ_DownloadPSW(r, 257, password.data()); },
       {0xCA, Concat({0x01}, Bytes(password.begin(), password.begin() + 6))}},
      {"TransCmd count includes the sub", [](Reader& r, Outputs& o) {
         std::iota(o.pass.begin(), o.pass.end(), std::uint8_t{0x10});
         return KQ_TransCmd(r, 0x105, 4, o.pass.data());
       }, {0xC9, {0x05, 0x10, 0x11, 0x12}}},
      {"TransCmd count 1 is the sub alone", [](Reader& r, Outputs& o) { return KQ_TransCmd(r, 7, 1, o.pass.data()); },
       {0xC9, {0x07}}},
      {"TransCmd count 255", [](Reader& r, Outputs& o) {
         std::iota(o.pass.begin(), o.pass.end(), std::uint8_t{0});
         return KQ_TransCmd(r, 9, 255, o.pass.data());
       }, {0xC9, Concat({0x09}, Iota(254))}},
  };
  for (const Case& c : cases) {
    Outputs out;
    EXPECT_EQ(c.call(reader, out), 0) << c.what;
    EXPECT_EQ(peer.TakeRequests(), std::vector<Request>{c.frame}) << c.what;
  }
}

TEST_F(AttendanceTerminalTest, RepliesLandWhereTheContractSays) {
  Outputs out;
  peer.replies.push_back({.data = {24, 6, 13, 8, 30, 59, 4, 0xEE}});
  ASSERT_EQ(KQ_GetTime(reader, &out.time), 0);
  EXPECT_EQ(std::vector<int>(std::begin(out.time.field), std::end(out.time.field)),
            (std::vector<int>{24, 6, 13, 8, 30, 59, 4}));

  peer.replies.push_back({.data = {24, 6}});  // a short clock: what it lacked reads as 0
  ASSERT_EQ(KQ_GetTime(reader, &out.time), 0);
  EXPECT_EQ(std::vector<int>(std::begin(out.time.field), std::end(out.time.field)),
            (std::vector<int>{24, 6, 0, 0, 0, 0, 0}));

  peer.replies.push_back({.data = {0x02, 0x34, 0x12}});
  ASSERT_EQ(KQ_GetCurrentPos(reader, &out.first, out.position.data()), 0);
  EXPECT_EQ(out.first, 2);
  EXPECT_EQ(Bytes(out.position.begin(), out.position.begin() + 4), (Bytes{0x34, 0x12, 0x00, 0x00}));

  peer.replies.push_back({.data = {0xFF, 0x01}});
  ASSERT_EQ(KQ_GetStartPos(reader, kDate, &out.first, out.position.data()), 0);
  EXPECT_EQ(out.first, 255);
  EXPECT_EQ(Bytes(out.position.begin(), out.position.begin() + 4), (Bytes{0x01, 0x00, 0x00, 0x00}));

  Outputs pass;
  peer.replies.push_back({.data = {0xA1, 0xA2, 0xA3}});
  ASSERT_EQ(KQ_TransCmd(reader, 0, 1, pass.pass.data()), 0);
  EXPECT_EQ(Bytes(pass.pass.begin(), pass.pass.begin() + 5), (Bytes{3, 0xA1, 0xA2, 0xA3, Outputs::kMark}));
  EXPECT_TRUE(out.GuardsIntact() && pass.GuardsIntact());
}

// Record and pass-through copies take exactly the bytes this reply carried:
// none of an earlier, longer reply, and never past 255 / 256 bytes.
TEST_F(AttendanceTerminalTest, CopiesAreBoundedByTheReply) {
  struct Case {
    std::size_t earlier;  // reply length of the exchange before
    std::size_t length;   // reply length of this one
  };
  for (const Case c : {Case{255, 0}, Case{255, 3}, Case{0, 255}, Case{16, 248}}) {
    Outputs out;
    peer.replies.push_back({.data = Bytes(c.earlier, 0xEE)});
    peer.replies.push_back({.data = Iota(c.length, 1)});
    ASSERT_EQ(KQ_EndTrans(reader), 0);
    ASSERT_EQ(KQ_ReadRecord(reader, 0, 0, 31, out.record.data()), 0);
    const Bytes expected = Concat(Iota(c.length, 1), Bytes(out.record.size() - c.length, Outputs::kMark));
    EXPECT_EQ(out.record, expected) << c.earlier << " then " << c.length;

    peer.replies.push_back({.data = Bytes(c.earlier, 0xEE)});
    peer.replies.push_back({.data = Iota(c.length, 1)});
    ASSERT_EQ(KQ_EndTrans(reader), 0);
    ASSERT_EQ(KQ_TransCmd(reader, 0, 1, out.pass.data()), 0);
    const Bytes passExpected =
        Concat(Concat({static_cast<std::uint8_t>(c.length)}, Iota(c.length, 1)),
               Bytes(out.pass.size() - 1 - c.length, Outputs::kMark));
    EXPECT_EQ(out.pass, passExpected) << c.earlier << " then " << c.length;
    EXPECT_TRUE(out.GuardsIntact());
  }
}

TEST_F(AttendanceTerminalTest, FailuresLeaveEveryOutputAsItWas) {
  const std::pair<const char*, ScriptedReply> failures[] = {
      {"reader refusal", {.status = 0xE0, .data = Bytes(255, 0x77)}},
      {"bad checksum", {.data = Bytes(255, 0x77), .checksum = 0x00}},
      {"short reply", {.data = Bytes(255, 0x77), .dataSent = 100}},
      {"no acknowledgement", {.ack = std::nullopt}},
  };
  for (const auto& [failure, reply] : failures) {
    for (const auto& [name, call] : kWritingCalls) {
      peer.ResetFrame();
      peer.ClearInput();
      peer.replies = {reply};
      Outputs out;
      EXPECT_NE(call(reader, out), 0) << name << ", " << failure;
      EXPECT_TRUE(out.Untouched()) << name << ", " << failure;
    }
  }
}

TEST_F(AttendanceTerminalTest, RefusedArgumentsSendNothing) {
  Outputs out;
  const std::pair<const char*, Call> cases[] = {
      {"TransCmd count 0", [](Reader& r, Outputs& o) { return KQ_TransCmd(r, 0, 0, o.pass.data()); }},
      {"TransCmd count -1", [](Reader& r, Outputs& o) { return KQ_TransCmd(r, 0, -1, o.pass.data()); }},
      {"TransCmd count 256", [](Reader& r, Outputs& o) { return KQ_TransCmd(r, 0, 256, o.pass.data()); }},
      {"TransCmd count INT_MIN", [](Reader& r, Outputs& o) { return KQ_TransCmd(r, 0, INT_MIN, o.pass.data()); }},
      {"TransCmd count INT_MAX", [](Reader& r, Outputs& o) { return KQ_TransCmd(r, 0, INT_MAX, o.pass.data()); }},
      {"TransCmd null", [](Reader& r, Outputs&) { return KQ_TransCmd(r, 0, 1, nullptr); }},
      {"GetTime null", [](Reader& r, Outputs&) { return KQ_GetTime(r, nullptr); }},
      {"SetTime null", [](Reader& r, Outputs&) { return KQ_SetTime(r, nullptr); }},
      {"Display null", [](Reader& r, Outputs&) { return KQ_Display(r, nullptr); }},
      {"DownloadPSW null", [](Reader& r, Outputs&) { return KQ_DownloadPSW(r, 1, nullptr); }},
      {"GetCurrentPos null integer", [](Reader& r, Outputs& o) { return KQ_GetCurrentPos(r, nullptr, o.position.data()); }},
      {"GetCurrentPos null buffer", [](Reader& r, Outputs& o) { return KQ_GetCurrentPos(r, &o.first, nullptr); }},
      {"GetStartPos null date", [](Reader& r, Outputs& o) { return KQ_GetStartPos(r, nullptr, &o.first, o.position.data()); }},
      {"GetEndPos null buffer", [](Reader& r, Outputs& o) { return KQ_GetEndPos(r, kDate, &o.first, nullptr); }},
      {"ReadRecord null", [](Reader& r, Outputs&) { return KQ_ReadRecord(r, 0, 0, 1, nullptr); }},
  };
  for (const auto& [name, call] : cases) {
    EXPECT_EQ(call(reader, out), KULVE_BAD_ARGUMENT) << name;
    EXPECT_TRUE(out.Untouched()) << name;
  }
  EXPECT_TRUE(peer.TakeRequests().empty());
}

}  // namespace
}  // namespace kulve::test

// SPDX-License-Identifier: MIT
// APDU framing, answer reading, the shared sequence bit and the refusals,
// over the in-memory reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <numeric>

#include "cpucard/cpucard.h"
#include "support/fake_reader.h"

namespace kulve::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kCpuApdu = 0x33;
constexpr std::size_t kResponseSize = 254;
constexpr std::uint8_t kGuard = 0xEE;

struct Apdu {
  Bytes header;  // CLA INS P1 P2
  Bytes data;
  std::uint8_t le = 0;

  Bytes Fixed() const {  // the 134-byte request of the ...Cmd form
    Bytes r(kApduRequestSize, 0xA5);
    std::copy(header.begin(), header.end(), r.begin());
    r[4] = static_cast<std::uint8_t>(data.size());
    std::copy(data.begin(), data.end(), r.begin() + 5);
    r[kApduRequestLeOffset] = le;
    return r;
  }
  Bytes Packed() const {  // CLA INS P1 P2 Lc data Le, with room for the echo
    Bytes r = header;
    r.push_back(static_cast<std::uint8_t>(data.size()));
    r.insert(r.end(), data.begin(), data.end());
    r.push_back(le);
    r.resize(10 + data.size(), 0xA5);
    return r;
  }
};

Bytes Concat(const Bytes& head, const Bytes& tail) {
  Bytes out;
  out.reserve(head.size() + tail.size() + 1);
  out.insert(out.end(), head.begin(), head.end());
  out.insert(out.end(), tail.begin(), tail.end());
  return out;
}

Bytes WithLrc(Bytes block) {
  std::uint8_t lrc = 0;
  for (auto b : block) lrc ^= b;
  block.push_back(lrc);
  return block;
}

// A response buffer of the documented size followed by guard bytes.
struct Response {
  Bytes bytes = Bytes(kResponseSize + 32, kGuard);
  std::uint8_t* data() { return bytes.data(); }
  Bytes Data() const { return Bytes(bytes.begin() + 1, bytes.begin() + 1 + bytes[0]); }
  bool GuardsIntact() const {
    return std::all_of(bytes.begin() + kResponseSize, bytes.end(), [](auto b) { return b == kGuard; });
  }
};

class CpuCardApduTest : public ::testing::Test, protected FakeReaderFixture {
 protected:
  void SetUp() override { OpenLink(); }
  void Use(std::uint8_t protocol, std::uint8_t sequence = 0) {
    reader.cpuCard.protocol = protocol;
    reader.cpuCard.sendSequence = sequence;
  }
  // Sends through the Cmd form, then the same through the packed form (with
  // the same state), and checks that both put the same block on the wire.
  Bytes SentBlock(const Apdu& apdu, Bytes* echo = nullptr) {
    const CpuCardState before = reader.cpuCard;
    Response response;
    const Bytes fixed = apdu.Fixed();
    SendApduRequest(reader, ChipSlot::kCpuCard, fixed.data(), response.data());
    reader.cpuCard = before;
    Bytes packed = apdu.Packed();
    SendPackedApdu(reader, ChipSlot::kCpuCard, packed.data(), response.data());
    const auto requests = peer.TakeRequests();
    EXPECT_EQ(requests.size(), 2u);
    if (requests.size() != 2) return {};
    EXPECT_EQ(requests[0], requests[1]) << "the two request forms framed differently";
    EXPECT_EQ(requests[0].code, kCpuApdu);
    if (echo != nullptr) *echo = packed;
    return requests[0].data;
  }
};

TEST_F(CpuCardApduTest, FramesByProtocolAndSequenceBit) {
  Bytes data128(128);
  std::iota(data128.begin(), data128.end(), std::uint8_t{1});
  const Bytes expected128 = WithLrc(Concat({0x00, 0x40, 0x85, 0x80, 0xD6, 0x00, 0x00, 0x80}, data128));
  struct Case {
    const char* what;
    std::uint8_t protocol, sequence;
    Apdu apdu;
    Bytes block;
  };
  const Case cases[] = {
      {"T=0, no data: Le goes in P3", 0, 0, {{0x00, 0xB0, 0x00, 0x00}, {}, 0x10}, {0x00, 0xB0, 0x00, 0x00, 0x10}},
      {"T=0, data: Le is not sent", 0, 1, {{0x00, 0xD6, 0x00, 0x02}, {1, 2, 3}, 0x20}, {0x00, 0xD6, 0x00, 0x02, 3, 1, 2, 3}},
      {"T=1, N(S) 0", 1, 0, {{0x00, 0xA4, 0x04, 0x00}, {}, 0x00}, {0x00, 0x00, 0x05, 0x00, 0xA4, 0x04, 0x00, 0x00, 0xA5}},
      {"T=1, N(S) 1", 1, 1, {{0x00, 0xA4, 0x04, 0x00}, {}, 0x00}, {0x00, 0x40, 0x05, 0x00, 0xA4, 0x04, 0x00, 0x00, 0xE5}},
      {"T=1, data: Le is not sent", 1, 0, {{0x00, 0x20, 0x00, 0x01}, {0x31, 0x32, 0x33}, 0x7F},
       WithLrc({0x00, 0x00, 0x08, 0x00, 0x20, 0x00, 0x01, 0x03, 0x31, 0x32, 0x33})},
      {"T=1, Lc 128: 137 bytes, LEN 85", 1, 1, {{0x80, 0xD6, 0x00, 0x00}, data128, 0x00}, expected128},
  };
  for (const Case& c : cases) {
    Use(c.protocol, c.sequence);
    Bytes echo;
    EXPECT_EQ(SentBlock(c.apdu, &echo), c.block) << c.what;
    ASSERT_GE(echo.size(), 1 + c.block.size()) << c.what;
    EXPECT_EQ(echo[0], c.block.size()) << c.what;
    EXPECT_EQ(Bytes(echo.begin() + 1, echo.begin() + 1 + echo[0]), c.block) << "echo: " << c.what;
  }
}

TEST_F(CpuCardApduTest, AnswersTakenApartWithinTheReplyAndTheBuffer) {
  const Bytes longT0 = Concat(Bytes(253, 0x11), {0x90, 0x00});
  const Bytes longT1 = WithLrc(Concat(Concat({0x00, 0x00, 0xFB}, Bytes(249, 0x22)), {0x90, 0x00}));
  struct Case {
    const char* what;
    std::uint8_t protocol;
    Bytes reply;
    int result;
    Bytes data;
  };
  const Case cases[] = {
      {"T=0 status word only", 0, {0x90, 0x00}, 0x9000, {}},
      {"T=0 data and status word", 0, {0x12, 0x34, 0x90, 0x00}, 0x9000, {0x12, 0x34}},
      {"T=0 61xx comes back as it is", 0, {0x61, 0x1C}, 0x611C, {}},
      {"T=0 longest reply: 253 data bytes", 0, longT0, 0x9000, Bytes(253, 0x11)},
      {"T=0 one byte: too short", 0, {0x90}, 0x71, {}},
      {"T=0 nothing: too short", 0, {}, 0x71, {}},
      {"T=1 six bytes, no data", 1, {0x00, 0x00, 0x02, 0x90, 0x00, 0x92}, 0x9000, {}},
      {"T=1 data", 1, {0x00, 0x40, 0x04, 0x12, 0x34, 0x90, 0x00, 0xF2}, 0x9000, {0x12, 0x34}},
      {"T=1 wrong LRC is not checked", 1, {0x00, 0x40, 0x04, 0x12, 0x34, 0x90, 0x00, 0x00}, 0x9000, {0x12, 0x34}},
      // Not answers: once read as 0x9200 and 0x6A82 (see cpucard_t1_mend_test.cpp).
      {"T=1 an R-block is not an answer", 1, {0x00, 0x92, 0x00, 0x92}, KULVE_T1_NOT_AN_ANSWER, {}},
      {"T=1 three bytes are not a block", 1, {0x6A, 0x82, 0x00}, KULVE_T1_NOT_AN_ANSWER, {}},
      {"T=1 longest reply: 249 data bytes", 1, longT1, 0x9000, Bytes(249, 0x22)},
      {"T=1 two bytes: too short", 1, {0x90, 0x00}, 0x71, {}},
  };
  for (const Case& c : cases) {
    Use(c.protocol);
    for (bool packed : {false, true}) {
      peer.replies.push_back({.data = c.reply});
      Response response;
      const Apdu apdu{{0x00, 0xB0, 0x00, 0x00}, {}, 0x00};
      Bytes request = packed ? apdu.Packed() : apdu.Fixed();
      const int result = packed ? SendPackedApdu(reader, ChipSlot::kSam3, request.data(), response.data())
                                : SendApduRequest(reader, ChipSlot::kSam3, request.data(), response.data());
      EXPECT_EQ(result, c.result) << c.what;
      EXPECT_EQ(response.Data(), c.data) << c.what;
      EXPECT_TRUE(response.GuardsIntact()) << c.what;
    }
  }
}

TEST_F(CpuCardApduTest, SequenceBitIsSharedAndMovesOnlyWithExchangesTheReaderCarriedOut) {
  using Step = std::function<int(Reader&)>;
  Response response;
  const Bytes select = Apdu{{0x00, 0xA4, 0x04, 0x00}, {}, 0x00}.Fixed();
  auto apduTo = [&](ChipSlot slot) {
    return Step([&, slot](Reader& r) { return SendApduRequest(r, slot, select.data(), response.data()); });
  };
  auto resetOf = [&](ChipSlot slot) {
    return Step([&, slot](Reader& r) { return ResetChip(r, slot, response.data()); });
  };
  const ScriptedReply ok{.data = {0x00, 0x00, 0x02, 0x90, 0x00, 0x92}};
  const ScriptedReply atrT1{.data = {0x3B, 0x80, 0x81, 0x31}};
  struct Case {
    const char* what;
    Step step;
    ScriptedReply reply;
    std::uint8_t sequenceAfter;
  };
  const Case cases[] = {
      {"reset CPU card", resetOf(ChipSlot::kCpuCard), atrT1, 0},
      {"APDU to the CPU card", apduTo(ChipSlot::kCpuCard), ok, 1},
      {"APDU to SAM 2: the same bit", apduTo(ChipSlot::kSam2), ok, 0},
      {"no acknowledgement", apduTo(ChipSlot::kSam2), {.ack = std::nullopt}, 0},
      {"the reader refuses", apduTo(ChipSlot::kCpuCard), {.status = 0xA0}, 0},
      {"APDU to SAM 4", apduTo(ChipSlot::kSam4), ok, 1},
      {"an answer too short still flips", apduTo(ChipSlot::kCpuCard), {.data = {0x90}}, 0},
      {"APDU to the CPU card", apduTo(ChipSlot::kCpuCard), ok, 1},
      {"a failed reset of SAM 1 restarts it", resetOf(ChipSlot::kSam1), {.status = 0xA0}, 0},
      {"APDU to SAM 1", apduTo(ChipSlot::kSam1), ok, 1},
      {"reset SAM 3", resetOf(ChipSlot::kSam3), atrT1, 0},
  };
  Use(1, 1);
  for (const Case& c : cases) {
    const std::uint8_t before = reader.cpuCard.sendSequence;
    peer.replies.push_back(c.reply);
    c.step(reader);
    EXPECT_EQ(reader.cpuCard.sendSequence, c.sequenceAfter) << c.what;
    const auto sent = peer.TakeRequests();
    ASSERT_EQ(sent.size(), 1u) << c.what;
    if (!sent[0].data.empty()) {
      EXPECT_EQ(sent[0].data[1], before != 0 ? 0x40 : 0x00) << "PCB of: " << c.what;
    }
  }
}

TEST_F(CpuCardApduTest, RefusedRequestsSendNothingAndLeaveTheRequest) {
  Use(1, 1);
  for (std::size_t lc : {129, 200, 255}) {
    Apdu apdu{{0x00, 0xD6, 0x00, 0x00}, Bytes(lc, 0x5A), 0x00};
    Bytes fixed = Apdu{apdu.header, Bytes(128, 0x5A), 0x00}.Fixed();
    fixed[4] = static_cast<std::uint8_t>(lc);
    Response response;
    response.bytes[0] = 0x77;
    EXPECT_EQ(SendApduRequest(reader, ChipSlot::kCpuCard, fixed.data(), response.data()), 4) << lc;
    EXPECT_EQ(response.bytes[0], 0) << lc;
    Bytes packed = apdu.Packed();
    const Bytes asGiven = packed;
    response.bytes[0] = 0x77;
    EXPECT_EQ(SendPackedApdu(reader, ChipSlot::kSam2, packed.data(), response.data()), 4) << lc;
    EXPECT_EQ(response.bytes[0], 0) << lc;
    EXPECT_EQ(packed, asGiven) << lc;
  }
  Response response;
  response.bytes[0] = 0x77;
  EXPECT_EQ(SendApduRequest(reader, ChipSlot::kCpuCard, nullptr, response.data()), 4);
  EXPECT_EQ(response.bytes[0], 0);
  Bytes request = Apdu{{0x00, 0x84, 0x00, 0x00}, {}, 0x08}.Packed();
  EXPECT_EQ(SendPackedApdu(reader, ChipSlot::kCpuCard, request.data(), nullptr), 4);
  EXPECT_TRUE(peer.TakeRequests().empty());
  EXPECT_EQ(reader.cpuCard.sendSequence, 1);
}

TEST_F(CpuCardApduTest, FailureGivesNoResponseButThePackedFormStillEchoes) {
  Use(0);
  struct Case {
    const char* what;
    ScriptedReply reply;
    int result;
  };
  const Case cases[] = {
      {"no acknowledgement", {.ack = std::nullopt}, 'l'},
      {"reply checksum wrong", {.data = {0x12, 0x90, 0x00}, .checksum = 0x00}, 's'},
      {"reader refuses", {.status = 0xA2, .data = {0x12, 0x90, 0x00}}, 0xA2},
  };
  for (const Case& c : cases) {
    peer.replies.push_back(c.reply);
    Response response;
    response.bytes[0] = 0x77;
    Bytes request = Apdu{{0x00, 0x84, 0x00, 0x00}, {}, 0x08}.Packed();
    EXPECT_EQ(SendPackedApdu(reader, ChipSlot::kSam4, request.data(), response.data()), c.result) << c.what;
    EXPECT_EQ(response.bytes[0], 0) << c.what;
    EXPECT_EQ(Bytes(request.begin(), request.begin() + 6), (Bytes{5, 0x00, 0x84, 0x00, 0x00, 0x08})) << c.what;
  }
}

TEST_F(CpuCardApduTest, EachSlotUsesItsOwnCommandCodes) {
  const std::pair<ChipSlot, std::pair<std::uint8_t, std::uint8_t>> slots[] = {
      {ChipSlot::kCpuCard, {0x32, 0x33}}, {ChipSlot::kSam1, {0x3C, 0x3D}}, {ChipSlot::kSam2, {0x46, 0x47}},
      {ChipSlot::kSam3, {0x50, 0x51}},    {ChipSlot::kSam4, {0x5A, 0x5B}},
  };
  for (const auto& [slot, codes] : slots) {
    Response response;
    ResetChip(reader, slot, response.data());
    const Bytes request = Apdu{{0x00, 0x84, 0x00, 0x00}, {}, 0x08}.Fixed();
    SendApduRequest(reader, slot, request.data(), response.data());
    const auto sent = peer.TakeRequests();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0], (Request{codes.first, {}}));
    EXPECT_EQ(sent[1].code, codes.second);
  }
}

}  // namespace
}  // namespace kulve::test

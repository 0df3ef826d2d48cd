// SPDX-License-Identifier: MIT
// The Mifare family over the in-memory reader: frames, copies into caller
// buffers, argument checks, the whole-card read, and relinking.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <numeric>

#include "link/link.h"
#include "mifare/mifare.h"
#include "support/fake_reader.h"

namespace kulve::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Concat(Bytes head, const Bytes& tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

Bytes Counting(std::size_t n, std::uint8_t first) {
  Bytes b(n);
  std::iota(b.begin(), b.end(), first);
  return b;
}

constexpr std::uint8_t kGuardByte = 0xCC;
constexpr std::size_t kGuard = 64;

// Runs `call` on a caller buffer holding `in`, followed by guard bytes;
// returns the result and the buffer, and checks the guards.
struct Outcome {
  int result;
  Bytes buffer;
};
using Call = std::function<int(Reader&, std::uint8_t*)>;
Outcome CallWithGuards(Reader& reader, const Call& call, const Bytes& in) {
  Bytes storage = Concat(in, Bytes(kGuard, kGuardByte));
  const int result = call(reader, storage.data());
  EXPECT_EQ(Bytes(storage.begin() + static_cast<std::ptrdiff_t>(in.size()), storage.end()), Bytes(kGuard, kGuardByte))
      << "written past the documented size";
  storage.resize(in.size());
  return {result, storage};
}

const Bytes kKey{0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5};

// One export with valid arguments: its frame, what the caller's buffer holds
// before, the reader's reply data, and the buffer afterwards. `answer` is how
// many reply bytes the buffer takes (0: the export copies nothing).
struct ExportCase {
  const char* name;
  Call call;
  Bytes in;
  Request frame;
  std::size_t answer;
};

std::vector<ExportCase> EveryExport() {
  const Bytes block = Counting(16, 0x40);
  return {
      {"Mcmno", [](Reader& r, auto* b) { return RFMifare_Mcmno(r, b); }, Bytes(4, 0x55), {0xA1, {}}, 2},
      {"TransKey", [](Reader& r, auto* b) { return RFMifare_TransKey(r, 15, b); }, kKey,
       {0xA4, Concat({0x0F}, kKey)}, 0},
      {"Authmode", [](Reader& r, auto*) { return RFMifare_Authmode(r, 1); }, {}, {0xA9, {0x01}}, 0},
      {"GetType", [](Reader& r, auto* b) { return RFMifare_GetType(r, b); }, Bytes(4, 0x55), {0xAA, {}}, 2},
      {"GetSnr", [](Reader& r, auto* b) { return RFMifare_GetSnr(r, b); }, Bytes(4, 0x55), {0xAB, {}}, 4},
      {"ReadBlock", [](Reader& r, auto* b) { return RFMifare_ReadBlock(r, 0x105, 0x11223344, b); }, Bytes(16, 0x55),
       {0xAC, {0x05, 0x44, 0x33, 0x22, 0x11}}, 16},
      {"WriteBlock", [](Reader& r, auto* b) { return RFMifare_WriteBlock(r, 6, 0xA0B0C0D0, b); }, block,
       {0xAD, Concat({0x06, 0xD0, 0xC0, 0xB0, 0xA0}, block)}, 16},
      {"WriteKey", [](Reader& r, auto* b) { return RFMifare_WriteKey(r, 3, 0x01020304, b, 0x101); }, kKey,
       {0xAE, Concat(Concat({0x03, 0x04, 0x03, 0x02, 0x01}, kKey), {0x01})}, 0},
      {"ReadValue", [](Reader& r, auto* b) { return RFMifare_ReadValue(r, 8, 0, b); }, Bytes(4, 0x55),
       {0xAF, {0x08, 0, 0, 0, 0}}, 4},
      {"WriteValue", [](Reader& r, auto* b) { return RFMifare_WriteValue(r, 9, 5, b); }, {0x64, 0, 0, 0},
       {0xB0, {0x09, 0x05, 0, 0, 0, 0x64, 0, 0, 0}}, 4},
      {"IncrementValue", [](Reader& r, auto* b) { return RFMifare_IncrementValue(r, 9, 5, b); }, {0x02, 0, 0, 0},
       {0xB1, {0x09, 0x05, 0, 0, 0, 0x02, 0, 0, 0}}, 4},
      {"DecrementValue", [](Reader& r, auto* b) { return RFMifare_DecrementValue(r, 9, 5, b); }, {0xFF, 1, 0, 0},
       {0xB2, {0x09, 0x05, 0, 0, 0, 0xFF, 1, 0, 0}}, 4},
      {"LoadKey", [](Reader& r, auto* b) { return RFMifare_LoadKey(r, 0, 0x10F, b); }, kKey,
       {0xB4, Concat({0x00, 0x0F}, kKey)}, 0},
      {"Request", [](Reader& r, auto* b) { return RFMifare_Request(r, 0x52, b); }, Bytes(4, 0x55), {0xB5, {0x52}}, 2},
      {"AntiColl", [](Reader& r, auto* b) { return RFMifare_AntiColl(r, b); }, Bytes(4, 0x55), {0xB6, {}}, 4},
      {"Select", [](Reader& r, auto*) { return RFMifare_Select(r, 0x12345678); }, {}, {0xB7, {0x78, 0x56, 0x34, 0x12}},
       0},
      {"Authentication", [](Reader& r, auto*) { return RFMifare_Authentication(r, 0x60, 0x104, 2); }, {},
       {0xB8, {0x60, 0x04, 0x02}}, 0},
      {"Read", [](Reader& r, auto* b) { return RFMifare_Read(r, 7, b); }, Bytes(16, 0x55), {0xB9, {0x07}}, 16},
      {"Write", [](Reader& r, auto* b) { return RFMifare_Write(r, 7, b); }, block, {0xBA, Concat({0x07}, block)}, 0},
      {"Increment", [](Reader& r, auto*) { return RFMifare_Increment(r, 5, 1); }, {}, {0xBB, {0x05, 1, 0, 0, 0}}, 0},
      {"Decrment", [](Reader& r, auto*) { return RFMifare_Decrment(r, 5, 0xFFFFFFFE); }, {},
       {0xBC, {0x05, 0xFE, 0xFF, 0xFF, 0xFF}}, 0},
      {"Halt", [](Reader& r, auto*) { return RFMifare_Halt(r); }, {}, {0xBD, {}}, 0},
  };
}

// What the caller's buffer should hold after a reply carrying `received`:
// the answer bytes it carried, zeros for the rest; buffers that take no
// answer are left as they were.
Bytes Expected(const ExportCase& c, const Bytes& received) {
  if (c.answer == 0) return c.in;
  Bytes out(c.in.size(), 0);
  std::copy_n(received.begin(), std::min(received.size(), c.answer), out.begin());
  return out;
}

class MifareTest : public ::testing::Test, protected FakeReaderFixture {
 protected:
  void SetUp() override {
    peer.scriptedProbes = true;  // the relinking's probes are part of each script
    SetComPortPath(reader, 3, "mifare-port");
    OpenPort(reader, 3, kFastSpeed);
  }
  // Leaves 64 bytes of 0xEE in the reply area, as an earlier exchange would.
  void EarlierReplyOf0xEE() {
    peer.replies.push_back({.data = Bytes(64, 0xEE)});
    Bytes block(16);
    RFMifare_Read(reader, 1, block.data());
    peer.TakeRequests();
  }
  // Every request after the probes of `LinkCom` fails on the line this way.
  void EveryCommandFails(ScriptedReply failure) {
    peer.respond = [failure](const Request& request) { return request.code == 0 ? ScriptedReply{} : failure; };
  }
};

TEST_F(MifareTest, FramesAndCopies) {
  const Bytes reply = Counting(20, 0x90);  // longer than any buffer
  for (const ExportCase& c : EveryExport()) {
    peer.replies.push_back({.data = reply});
    const Outcome outcome = CallWithGuards(reader, c.call, c.in);
    EXPECT_EQ(outcome.result, 0) << c.name;
    EXPECT_EQ(peer.TakeRequests(), std::vector<Request>{c.frame}) << c.name;
    EXPECT_EQ(outcome.buffer, Expected(c, reply)) << c.name;
  }
}

// A refusal, a short reply and a failed line all write the buffer; only the
// bytes this call received appear in it, never an earlier reply's.
TEST_F(MifareTest, CopiesOnlyWhatThisCallReceived) {
  struct Scenario {
    const char* what;
    ScriptedReply reply;
    Bytes received;
    int result;
  };
  const Scenario scenarios[] = {
      {"refusal without data", {.status = 0xC2}, {}, 0xC2},
      {"refusal with data", {.status = 0xC3, .data = {0x31, 0x32}}, {0x31, 0x32}, 0xC3},
      {"one byte", {.data = {0x42}}, {0x42}, 0},
      {"data cut short on the line", {.data = Counting(16, 0x10), .dataSent = 3}, {0x10, 0x11, 0x12}, 'q'},
      {"no length byte", {.status = 0, .sendLength = false}, {}, 'p'},
  };
  for (const ExportCase& c : EveryExport()) {
    if (c.answer == 0) continue;
    for (const Scenario& s : scenarios) {
      EarlierReplyOf0xEE();
      EveryCommandFails(s.reply);  // a line failure stays one over the repeats
      const Outcome outcome = CallWithGuards(reader, c.call, c.in);
      peer.respond = nullptr;
      EXPECT_EQ(outcome.result, s.result) << c.name << ", " << s.what;
      EXPECT_EQ(outcome.buffer, Expected(c, s.received)) << c.name << ", " << s.what;
      peer.TakeRequests();
    }
  }
}

TEST_F(MifareTest, RefusedArgumentsSendNothing) {
  struct Case {
    const char* what;
    std::function<int(Reader&)> call;
  };
  std::uint8_t buffer[16] = {};
  const Case cases[] = {
      {"Authmode 2", [](Reader& r) { return RFMifare_Authmode(r, 2); }},
      {"Authmode -1", [](Reader& r) { return RFMifare_Authmode(r, -1); }},
      {"Authmode 0x100 (low byte 0)", [](Reader& r) { return RFMifare_Authmode(r, 0x100); }},
      {"TransKey slot 16", [&](Reader& r) { return RFMifare_TransKey(r, 16, buffer); }},
      {"TransKey slot -1", [&](Reader& r) { return RFMifare_TransKey(r, -1, buffer); }},
      {"TransKey null key", [](Reader& r) { return RFMifare_TransKey(r, 0, nullptr); }},
      {"Mcmno null", [](Reader& r) { return RFMifare_Mcmno(r, nullptr); }},
      {"GetType null", [](Reader& r) { return RFMifare_GetType(r, nullptr); }},
      {"GetSnr null", [](Reader& r) { return RFMifare_GetSnr(r, nullptr); }},
      {"ReadBlock null", [](Reader& r) { return RFMifare_ReadBlock(r, 0, 0, nullptr); }},
      {"WriteBlock null", [](Reader& r) { return RFMifare_WriteBlock(r, 0, 0, nullptr); }},
      {"WriteKey null", [](Reader& r) { return RFMifare_WriteKey(r, 0, 0, nullptr, 0); }},
      {"ReadValue null", [](Reader& r) { return RFMifare_ReadValue(r, 0, 0, nullptr); }},
      {"WriteValue null", [](Reader& r) { return RFMifare_WriteValue(r, 0, 0, nullptr); }},
      {"IncrementValue null", [](Reader& r) { return RFMifare_IncrementValue(r, 0, 0, nullptr); }},
      {"DecrementValue null", [](Reader& r) { return RFMifare_DecrementValue(r, 0, 0, nullptr); }},
      {"ReadBloca null", [](Reader& r) { return RFMifare_ReadBloca(r, 0, 0, nullptr); }},
      {"LoadKey null", [](Reader& r) { return RFMifare_LoadKey(r, 0, 0, nullptr); }},
      {"Request null", [](Reader& r) { return RFMifare_Request(r, 0, nullptr); }},
      {"AntiColl null", [](Reader& r) { return RFMifare_AntiColl(r, nullptr); }},
      {"Read null", [](Reader& r) { return RFMifare_Read(r, 0, nullptr); }},
      {"Write null", [](Reader& r) { return RFMifare_Write(r, 0, nullptr); }},
  };
  for (const Case& c : cases) EXPECT_EQ(c.call(reader), 4) << c.what;
  EXPECT_TRUE(peer.TakeRequests().empty());
  EXPECT_EQ(RFMifare_Authmode(reader, 0), 0);
  EXPECT_EQ(RFMifare_TransKey(reader, 0, buffer), 0);
  EXPECT_EQ(peer.TakeRequests().size(), 2u);
}

// Every export repeats its request on a relinked port after a line failure,
// and hands on the repeat's answer.
TEST_F(MifareTest, EveryExportRelinksAndRepeats) {
  const Bytes reply = Counting(16, 0x70);
  const Request probe{0, {}};
  for (const ExportCase& c : EveryExport()) {
    peer.replies.push_back({.ack = std::nullopt});  // the first try gets no acknowledgement
    peer.replies.push_back({});                      // the relink's probe
    peer.replies.push_back({.data = reply});
    const std::uint32_t sleptBefore = peer.sleptMs;
    const std::size_t opensBefore = peer.openedDevices.size();
    reader.cardType = 7;
    const Outcome outcome = CallWithGuards(reader, c.call, c.in);
    EXPECT_EQ(outcome.result, 0) << c.name;
    EXPECT_EQ(peer.TakeRequests(), (std::vector<Request>{c.frame, probe, c.frame})) << c.name;
    EXPECT_EQ(outcome.buffer, Expected(c, reply)) << c.name;
    EXPECT_EQ(peer.sleptMs - sleptBefore, 1000u) << c.name;  // the closing pause
    ASSERT_EQ(peer.openedDevices.size(), opensBefore + 1) << c.name;
    EXPECT_EQ(peer.openedDevices.back(), "mifare-port") << c.name;  // same port index
    EXPECT_EQ(reader.cardType, kNoCardSelected) << c.name;  // LinkCom's effect
  }
}

TEST_F(MifareTest, RelinkingIsBounded) {
  struct Case {
    const char* what;
    std::function<void(FakeReader&)> arrange;
    std::size_t tries;
    int result;
  };
  const Case cases[] = {
      {"line fails every time", [](FakeReader& p) {
         p.respond = [](const Request& r) { return r.code == 0 ? ScriptedReply{} : ScriptedReply{.ack = std::nullopt}; };
       }, 3, 'l'},
      {"second try succeeds", [](FakeReader& p) {
         p.replies = {{.checksum = 0x55}, {}, {.status = 0xC1}};
       }, 2, 0xC1},
      {"reader status in the letter range counts as a line failure", [](FakeReader& p) {
         p.replies = {{.status = 0x70}, {}, {.status = 0x6A}, {}, {.status = 0}};
       }, 3, 0},
      {"a refusal is not repeated", [](FakeReader& p) { p.replies = {{.status = 0xC2}}; }, 1, 0xC2},
  };
  for (const Case& c : cases) {
    OpenPort(reader, 3, kFastSpeed);  // a new line: nothing trails from the case before
    c.arrange(peer);
    EXPECT_EQ(RFMifare_Halt(reader), c.result) << c.what;
    const auto requests = peer.TakeRequests();
    EXPECT_EQ(std::count(requests.begin(), requests.end(), Request{0xBD, {}}), static_cast<std::ptrdiff_t>(c.tries))
        << c.what;
    peer.respond = nullptr;
    peer.replies.clear();
  }
}

// A reader that has gone silent: every wait the library makes is one empty
// read (about 0.1 s on a port) or a closing pause, and together they stay
// far below 10 s.
TEST_F(MifareTest, SilentReaderCostsAFewSeconds) {
  peer.faults.hashAnswer.reset();
  const int readsBefore = peer.emptyReads;
  std::uint8_t serial[4];
  EXPECT_EQ(RFMifare_GetSnr(reader, serial), 'f');
  const int emptyReads = peer.emptyReads - readsBefore;
  const std::uint32_t waitedMs = static_cast<std::uint32_t>(emptyReads) * 102 + peer.sleptMs;
  // The request's three tries and four probes, two reads each; each repeat
  // also waits for a quiet line (two reads) after the probe that failed.
  EXPECT_EQ(emptyReads, 2 + 2 * 6 + 2 * 2);
  EXPECT_EQ(peer.sleptMs, 2u * 2000u);  // per round: our close, and LinkCom's after the fast probe
  EXPECT_LT(waitedMs, 6000u);

  // With the port gone for good (it cannot even be opened) it is quicker still.
  peer.failAllOpens = true;
  peer.openFailure = {KULVE_LINK_ERROR_REFUSED, 111, "connect", "Connection refused"};
  const std::uint32_t sleptBefore = peer.sleptMs;
  EXPECT_EQ(RFMifare_GetSnr(reader, serial), 'e');
  EXPECT_LE(peer.sleptMs - sleptBefore, 1000u);
  char why[kLinkErrorTextSize];  // the reason the relinking failed, not "no port is open"
  EXPECT_EQ(GetLinkError(reader, why, sizeof why), KULVE_LINK_ERROR_REFUSED);
  EXPECT_STREQ(why, "connect mifare-port: Connection refused");
}

class MifareWholeCardTest : public MifareTest {
 protected:
  static Request SectorFrame(int sector) {
    return {0xB3, {static_cast<std::uint8_t>(4 * sector), 0x04, 0x03, 0x02, 0x01}};
  }
  static Bytes SectorData(int sector) { return Bytes(48, static_cast<std::uint8_t>(0x10 + sector)); }
  Outcome ReadCard() {
    return CallWithGuards(reader, [](Reader& r, auto* b) { return RFMifare_ReadBloca(r, 99, 0x01020304, b); }, Bytes(768, 0x55));
  }
};

TEST_F(MifareWholeCardTest, SixteenSectorsInOrder) {
  std::vector<Request> frames;
  Bytes expected;
  for (int sector = 0; sector < 16; ++sector) {
    peer.replies.push_back({.data = Concat(SectorData(sector), {0xFF})});  // one byte too many
    frames.push_back(SectorFrame(sector));
    expected = Concat(expected, SectorData(sector));
  }
  const Outcome outcome = ReadCard();
  EXPECT_EQ(outcome.result, 0);
  EXPECT_EQ(peer.TakeRequests(), frames);
  EXPECT_EQ(outcome.buffer, expected);
}

TEST_F(MifareWholeCardTest, StopsAtStatusOneAndAtALostLine) {
  // Status 1 in the third sector: three exchanges, the rest untouched.
  peer.replies = {{.data = SectorData(0)}, {.data = SectorData(1)}, {.status = 1, .data = {0xAB}}};
  Outcome outcome = ReadCard();
  EXPECT_EQ(outcome.result, 1);
  EXPECT_EQ(peer.TakeRequests().size(), 3u);
  EXPECT_EQ(Bytes(outcome.buffer.begin() + 96, outcome.buffer.begin() + 144), Concat({0xAB}, Bytes(47, 0)));
  EXPECT_EQ(Bytes(outcome.buffer.begin() + 144, outcome.buffer.end()), Bytes(624, 0x55));

  // The line lost in the second sector, through every relink: no more sectors.
  peer.replies = {{.data = SectorData(0)}};
  peer.respond = [](const Request& r) { return r.code == 0 ? ScriptedReply{} : ScriptedReply{.sendStatus = false}; };
  outcome = ReadCard();
  EXPECT_EQ(outcome.result, 'o');
  const auto requests = peer.TakeRequests();
  EXPECT_EQ(std::count(requests.begin(), requests.end(), SectorFrame(1)), 3);
  EXPECT_EQ(std::count(requests.begin(), requests.end(), SectorFrame(2)), 0);
  EXPECT_EQ(Bytes(outcome.buffer.begin() + 48, outcome.buffer.begin() + 96), Bytes(48, 0));
  EXPECT_EQ(Bytes(outcome.buffer.begin() + 96, outcome.buffer.end()), Bytes(672, 0x55));
}

// A sector the reader refuses does not stop the read and is not reported:
// the sixteenth sector's result is the call's.
TEST_F(MifareWholeCardTest, RefusedSectorDoesNotStopTheRead) {
  struct Case {
    std::vector<std::pair<int, std::uint8_t>> refused;  // sector, status
    int result;
  };
  const Case cases[] = {
      {{{5, 0xC2}, {9, 0xC0}}, 0},
      {{{15, 0xC2}}, 0xC2},
      {{{0, 0xC0}, {15, 0x04}}, 0x04},
  };
  for (const Case& c : cases) {
    for (int sector = 0; sector < 16; ++sector) {
      const auto refusal = std::find_if(c.refused.begin(), c.refused.end(), [&](auto& r) { return r.first == sector; });
      peer.replies.push_back(refusal != c.refused.end() ? ScriptedReply{.status = refusal->second}
                                                        : ScriptedReply{.data = SectorData(sector)});
    }
    const Outcome outcome = ReadCard();
    EXPECT_EQ(outcome.result, c.result);
    EXPECT_EQ(peer.TakeRequests().size(), 16u);
    for (const auto& [sector, status] : c.refused) {
      EXPECT_EQ(Bytes(outcome.buffer.begin() + 48 * sector, outcome.buffer.begin() + 48 * (sector + 1)), Bytes(48, 0));
    }
    if (c.result == 0) {
      EXPECT_EQ(Bytes(outcome.buffer.begin() + 720, outcome.buffer.end()), SectorData(15));
    }
  }
}

}  // namespace
}  // namespace kulve::test

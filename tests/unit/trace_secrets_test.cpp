// SPDX-License-Identifier: MIT
// Keys, codes and passwords in the trace: every command that carries one,
// traced at each level, shows none of its secret bytes, however spaced, until
// secrets are asked for.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "at1608/at1608.h"
#include "attendance/attendance.h"
#include "cpucard/cpucard.h"
#include "cpucard/t1_block.h"
#include "handle/raw_command.h"
#include "housekeeping/housekeeping.h"
#include "link/link.h"
#include "memcard/memcard.h"
#include "mifare/mifare.h"
#include "rf5550/rf5550.h"
#include "support/fake_reader.h"

namespace kulve::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Bytes whose digits are all letters, so their hex cannot be read into the
// decimal numbers of a trace line.
Bytes Secret(std::size_t n) {
  Bytes bytes(n);
  for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(0xAB + 0x11 * (i % 5));
  return bytes;
}

// The secret with every byte changed, and the XOR of any run of its bytes
// changed too (the XOR of the changes to bytes 0..i is i + 1), so a check
// byte computed over any part of it reads otherwise as well.
Bytes Other(const Bytes& secret) {
  Bytes other = secret;
  for (std::size_t i = 0; i < other.size(); ++i) other[i] ^= static_cast<std::uint8_t>((i + 1) ^ i);
  return other;
}

const Bytes kAtrT0 = {0x3B, 0x00};
const Bytes kAtrT1 = {0x3B, 0x80, 0x01};
const Bytes kOkT1 = BuildT1Block(0x00, Bytes{0x90, 0x00}, false);

struct SecretCase {
  const char* what;
  Bytes secret;
  std::function<int(Reader&, FakeReader&, const Bytes&)> call;  // sets up, then sends the secret
};

ScriptedReply Echo(const Request& request) { return {.data = request.data}; }

int Verify(Reader& r, FakeReader& peer, const Bytes& pin, const Bytes& atr, bool full, std::uint8_t ins = 0x20,
           bool extended = false) {
  SetChipProtocolMode(r, full ? kChipModeFull : kChipModeDefault);
  peer.replies.push_back({.data = atr});
  Bytes buffer(512);
  if (ResetChip(r, ChipSlot::kCpuCard, buffer.data()) != 0) return -1;
  const bool t1 = atr == kAtrT1;
  peer.respond = [t1](const Request& q) {
    if (t1 && q.data.size() > 1 && q.data[1] == 0xC1) return ScriptedReply{.data = BuildT1Block(0xE1, Bytes{0xFB}, false)};  // S(IFS response)
    if (t1 && q.data.size() > 1 && (q.data[1] & 0x20) != 0) return ScriptedReply{.data = BuildT1Block(0x90, {}, false)};  // R(1): the next link
    return ScriptedReply{.data = t1 ? kOkT1 : Bytes{0x90, 0x00}};
  };
  Bytes apdu{0x00, ins, 0x00, 0x01, static_cast<std::uint8_t>(pin.size())};
  if (extended) apdu.insert(apdu.end() - 1, {0x00, 0x00});
  apdu.insert(apdu.end(), pin.begin(), pin.end());
  if (full) {
    std::size_t n = 0;
    return ChipTransmit(r, 0, apdu.data(), apdu.size(), buffer.data(), buffer.size(), &n);
  }
  apdu.resize(kApduRequestSize);
  return SendApduRequest(r, ChipSlot::kCpuCard, apdu.data(), buffer.data());
}

std::vector<SecretCase> Cases() {
  auto memcard = [](std::int32_t type, std::function<int(Reader&, std::uint8_t*)> call) {
    return [type, call](Reader& r, FakeReader& peer, const Bytes& s) {
      r.cardType = type;
      peer.respond = [](const Request& q) {  // erases read back as FF, other writes and codes echo
        return q.code == 26 ? ScriptedReply{.data = {0xFF, 0xFF}} : Echo(q);
      };
      Bytes code = s;
      code.resize(16);
      return call(r, code.data());
    };
  };
  // A card image whose bytes [at, at + secret) hold the secret: reads answer
  // from it, writes echo their data.
  auto image = [](std::int32_t type, std::size_t at, std::function<int(Reader&, std::uint8_t*)> call) {
    return [type, at, call](Reader& r, FakeReader& peer, const Bytes& s) {
      r.cardType = type;
      Bytes card(32, 0x5A);
      std::copy(s.begin(), s.end(), card.begin() + static_cast<std::ptrdiff_t>(at));
      peer.respond = [card](const Request& q) {
        if (q.code == 0x14 || q.code == 0x24) {
          const std::size_t header = q.code == 0x14 ? 4 : 5;
          const std::size_t from = q.code == 0x14 ? q.data[2] : q.data[3];
          return ScriptedReply{.data = Bytes(card.begin() + from, card.begin() + from + q.data[header - 1])};
        }
        return Echo(q);
      };
      return call(r, card.data());
    };
  };
  // Key A and key B of a sector trailer, with its access bytes between them.
  auto trailer = [](std::function<int(Reader&, std::uint8_t*)> call) {
    return [call](Reader& r, FakeReader& peer, const Bytes& s) {
      Bytes block(s.begin(), s.begin() + 6);
      block.insert(block.end(), {0xFF, 0x07, 0x80, 0x69});
      block.insert(block.end(), s.begin() + 6, s.end());
      peer.respond = [block](const Request& q) { return q.data.size() <= 5 ? ScriptedReply{.data = block} : Echo(q); };
      return call(r, block.data());
    };
  };
  auto e5550 = [](std::function<int(Reader&, const std::uint8_t*)> call) {
    return [call](Reader& r, FakeReader&, const Bytes& s) { return call(r, s.data()); };
  };
  static const Rf5550InitRecord record{};
  return {
      {"CheckSecret, card memory", Secret(2), memcard(16, [](Reader& r, auto* c) { return CheckSecret(r, 2, c); })},
      {"CheckSecret, zoned", Secret(2), memcard(25, [](Reader& r, auto* c) { return CheckSecret(r, 2, c); })},
      {"CheckSecret, presentation only", Secret(3), memcard(5, [](Reader& r, auto* c) { return CheckSecret(r, 3, c); })},
      {"ModifySecret, card memory", Secret(2), memcard(15, [](Reader& r, auto* c) { return ModifySecret(r, 2, c); })},
      {"ModifySecret, security memory", Secret(3), memcard(2, [](Reader& r, auto* c) { return ModifySecret(r, 3, c); })},
      {"ModifySecret, zoned", Secret(2), memcard(26, [](Reader& r, auto* c) { return ModifySecret(r, 2, c); })},
      {"CheckEraseSecret", Secret(6), memcard(16, [](Reader& r, auto* c) { return CheckEraseSecret(r, 4, c); })},
      {"CheckZoneSecret", Secret(2), memcard(26, [](Reader& r, auto* c) { return CheckZoneSecret(r, 1, c); })},
      {"ReadSecret, security memory (the reply)", Secret(3),
       [](Reader& r, FakeReader& peer, const Bytes& s) {
         r.cardType = 4;
         Bytes memory{0x07};
         memory.insert(memory.end(), s.begin(), s.end());
         peer.respond = [memory](const Request&) { return ScriptedReply{.data = memory}; };
         std::uint8_t counter[2], code[8];
         return ReadSecret(r, counter, code);
       }},
      {"ReadSecret, card memory (the reply)", Secret(2),
       [](Reader& r, FakeReader& peer, const Bytes& s) {
         r.cardType = 16;
         peer.respond = [s](const Request&) { return ScriptedReply{.data = {s[0], s[1], 0x07, 0x00}}; };
         std::uint8_t counter[2], code[8];
         return ReadSecret(r, counter, code);
       }},
      {"AT1608_Psw", Secret(3),
       [](Reader& r, FakeReader& peer, const Bytes& s) {
         peer.respond = [s](const Request&) { return ScriptedReply{.data = {0x08, s[0], s[1], s[2]}}; };
         Bytes password = s;
         password.resize(4);
         return AT1608_Psw(r, 1, password.data());
       }},
      {"RF5550_Init", Secret(4), e5550([](Reader& r, auto* p) { return RF5550_Init(r, &record, p, 0); })},
      {"RF5550_Wake", Secret(4), e5550([](Reader& r, auto* p) { return RF5550_Wake(r, p); })},
      {"RF5550_ReadAfterWake", Secret(4), e5550([](Reader& r, auto* p) {
         std::uint8_t data[4];
         return RF5550_ReadAfterWake(r, 3, p, data);
       })},
      {"RF5550_WriteBlk", Secret(4), e5550([](Reader& r, auto* p) {
         std::uint8_t data[4] = {1, 2, 3, 4};
         return RF5550_WriteBlk(r, 3, p, data, 0);
       })},
      {"RF5550_WriteAfterWake", Secret(4), e5550([](Reader& r, auto* p) {
         std::uint8_t data[4] = {1, 2, 3, 4};
         return RF5550_WriteAfterWake(r, 3, p, data, 0);
       })},
      {"KQ_DownloadPSW short", Secret(4), e5550([](Reader& r, auto* p) { return KQ_DownloadPSW(r, 1, p); })},
      {"KQ_DownloadPSW long", Secret(6), e5550([](Reader& r, auto* p) { return KQ_DownloadPSW(r, 2, p); })},
      {"RFMifare_TransKey", Secret(6), e5550([](Reader& r, auto* k) { return RFMifare_TransKey(r, 3, k); })},
      {"RFMifare_LoadKey", Secret(6), e5550([](Reader& r, auto* k) { return RFMifare_LoadKey(r, 0, 4, k); })},
      {"RFMifare_WriteKey", Secret(6), e5550([](Reader& r, auto* k) { return RFMifare_WriteKey(r, 1, 0, k, 0); })},
      {"VERIFY, default mode, T=0", Secret(4),
       [](Reader& r, FakeReader& p, const Bytes& s) { return Verify(r, p, s, kAtrT0, false) == 0x9000 ? 0 : 1; }},
      {"VERIFY, default mode, T=1 (the LRC after the PIN)", Secret(4),
       [](Reader& r, FakeReader& p, const Bytes& s) { return Verify(r, p, s, kAtrT1, false) == 0x9000 ? 0 : 1; }},
      {"VERIFY, full mode, T=0", Secret(8),
       [](Reader& r, FakeReader& p, const Bytes& s) { return Verify(r, p, s, kAtrT0, true) == 0x9000 ? 0 : 1; }},
      {"VERIFY, extended length, full mode, T=1", Secret(8),
       [](Reader& r, FakeReader& p, const Bytes& s) {
         return Verify(r, p, s, kAtrT1, true, 0x20, true) == 0x9000 ? 0 : 1;
       }},
      {"CHANGE REFERENCE DATA chained over two blocks, full mode, T=1", Secret(40),
       [](Reader& r, FakeReader& p, const Bytes& s) { return Verify(r, p, s, kAtrT1, true, 0x24) == 0x9000 ? 0 : 1; }},
      {"RESET RETRY COUNTER, default mode, T=0", Secret(16),
       [](Reader& r, FakeReader& p, const Bytes& s) { return Verify(r, p, s, kAtrT0, false, 0x2C) == 0x9000 ? 0 : 1; }},
      {"RESET RETRY COUNTER, full mode, T=1", Secret(16),
       [](Reader& r, FakeReader& p, const Bytes& s) { return Verify(r, p, s, kAtrT1, true, 0x2C) == 0x9000 ? 0 : 1; }},
      {"ReadCard over type 0's code", Secret(2),
       image(0, 8, [](Reader& r, auto* b) { return ReadCard(r, 18, 0, 0, 16, b); })},
      {"WriteCard over type 0's code", Secret(2),
       image(0, 8, [](Reader& r, auto* b) { return WriteCard(r, 18, 0, 6, 4, b + 6); })},
      {"ReadCard over type 15's code, after ModifySecret", Secret(2),
       image(15, 10, [](Reader& r, auto* b) { return ReadCard(r, 18, 0, 0, 16, b); })},
      {"WriteCard over type 16's code", Secret(2),
       image(16, 10, [](Reader& r, auto* b) { return WriteCard(r, 18, 0, 10, 2, b + 10); })},
      {"ReadMemCard over type 17's code", Secret(2),
       image(17, 10, [](Reader& r, auto* b) { return ReadMemCard(r, 0, 16, b); })},
      {"WriteMemCard over type 0's code", Secret(2),
       image(0, 8, [](Reader& r, auto* b) { return WriteMemCard(r, 0, 12, b); })},
      {"ReadCard of type 2's security memory", Secret(3),
       image(2, 1, [](Reader& r, auto* b) { return ReadCard(r, 2, 0, 0, 4, b); })},
      {"WriteCard to type 4's security memory", Secret(3),
       image(4, 1, [](Reader& r, auto* b) { return WriteCard(r, 2, 0, 0, 4, b); })},
      {"ReadCard of type 25's security memory", Secret(2),
       image(25, 1, [](Reader& r, auto* b) { return ReadCard(r, 2, 0, 0, 3, b); })},
      {"Mifare trailer, ReadBlock", Secret(12),
       trailer([](Reader& r, auto* b) { return RFMifare_ReadBlock(r, 7, 0, b); })},
      {"Mifare trailer, WriteBlock (a restore)", Secret(12),
       trailer([](Reader& r, auto* b) { return RFMifare_WriteBlock(r, 3, 0, b); })},
      {"Mifare trailer, Read (a dump's)", Secret(12),
       trailer([](Reader& r, auto* b) { return RFMifare_Read(r, 63, b); })},
      {"Mifare trailer, Write", Secret(12), trailer([](Reader& r, auto* b) { return RFMifare_Write(r, 11, b); })},
      {"Mifare 4K trailer, ReadBlock", Secret(12),
       trailer([](Reader& r, auto* b) { return RFMifare_ReadBlock(r, 143, 0, b); })},
      {"Mifare key repeated after a relink", Secret(6),
       [](Reader& r, FakeReader& peer, const Bytes& s) {
         peer.replies.push_back({.ack = std::nullopt});  // the first try gets no acknowledgement
         return RFMifare_TransKey(r, 3, s.data());
       }},
      {"raw command: AT88SC1608 password", Secret(3),
       [](Reader& r, FakeReader& peer, const Bytes& s) {
         peer.respond = Echo;
         const Bytes send{1, s[0], s[1], s[2]};
         return int{RawCommand(r, 0x2A, send).status};
       }},
      {"raw command: e5550 wake", Secret(4),
       [](Reader& r, FakeReader&, const Bytes& s) { return int{RawCommand(r, 0x67, s).status}; }},
      {"raw command: Mifare trailer write", Secret(12), trailer([](Reader& r, auto* b) {
         Bytes send{11};
         send.insert(send.end(), b, b + 16);
         return int{RawCommand(r, 0xBA, send).status};
       })},
      {"ReadSecret's reply come late, dropped by the next exchange", Secret(3),
       [](Reader& r, FakeReader& peer, const Bytes& s) {
         r.cardType = 4;
         const Bytes memory{0x07, s[0], s[1], s[2]};
         peer.replies.push_back({.data = memory, .dataSent = 0});
         std::uint8_t counter[2], code[8];
         if (ReadSecret(r, counter, code) != 'q') return -1;
         for (const std::uint8_t b : memory) peer.InjectInput(b);
         return PowerOn(r);
       }},
  };
}

class TraceSecretsTest : public ::testing::Test, protected FakeReaderFixture {
 protected:
  static void KULVE_CALL Collect(int, const char* line, void* context) {
    static const std::regex times("[0-9]+\\.[0-9] ms");
    static_cast<TraceSecretsTest*>(context)->lines.push_back(std::regex_replace(line, times, "ms"));
  }
  std::vector<std::string> Run(const SecretCase& c, const Bytes& secret, int level, bool show) {
    lines.clear();
    peer.respond = nullptr;
    SetTrace(reader, level, &Collect, this);
    reader.trace.ShowSecrets(show);
    const int result = c.call(reader, peer, secret);
    SetTrace(reader, 0, nullptr, nullptr);
    EXPECT_EQ(result, 0) << c.what;
    return lines;
  }
  std::vector<std::string> lines;
};

// Nothing of the trace depends on the secret: no byte of it, and no check
// byte computed over it, shows at any level. Shown, the two traces differ.
TEST_F(TraceSecretsTest, NoLevelShowsASecretUnlessAskedTo) {
  OpenLink();
  for (const SecretCase& c : Cases()) {
    SCOPED_TRACE(c.what);
    for (int level = 1; level <= 3; ++level) {
      EXPECT_EQ(Run(c, c.secret, level, false), Run(c, Other(c.secret), level, false)) << "level " << level;
      if (level >= 2) {
        EXPECT_NE(Run(c, c.secret, level, true), Run(c, Other(c.secret), level, true)) << "level " << level;
      }
    }
  }
}

TEST_F(TraceSecretsTest, TheHeaderSaysWhenSecretsAreShown) {
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  reader.trace.WriteTo(file);
  ASSERT_EQ(SetTrace(reader, 1, nullptr, nullptr), 0);
  reader.trace.Line(1, "masked");
  reader.trace.ShowSecrets(true);
  reader.trace.Line(1, "shown");
  std::rewind(file);
  std::vector<std::string> written;
  char text[512];
  while (std::fgets(text, sizeof text, file) != nullptr) written.emplace_back(text);
  std::fclose(file);
  reader.trace.WriteTo(stderr);
  ASSERT_EQ(written.size(), 4u);
  EXPECT_EQ(written[0].find("secrets shown"), std::string::npos) << written[0];
  EXPECT_NE(written[2].find(", secrets shown"), std::string::npos) << written[2];
}

}  // namespace
}  // namespace kulve::test

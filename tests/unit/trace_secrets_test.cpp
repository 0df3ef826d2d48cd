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

// Any two (or, for longer secrets, three) consecutive secret bytes in hex,
// in either case, with or without anything between them.
bool Shows(const std::vector<std::string>& lines, const Bytes& secret) {
  const std::size_t window = secret.size() < 3 ? secret.size() : 3;
  for (std::size_t at = 0; at + window <= secret.size(); ++at) {
    std::string pattern;
    for (std::size_t i = 0; i < window; ++i) {
      char hex[3];
      std::snprintf(hex, sizeof hex, "%02X", secret[at + i]);
      pattern += (i == 0 ? "" : "[^0-9A-Za-z]*") + std::string(hex);
    }
    const std::regex re(pattern, std::regex::icase);
    for (const auto& line : lines) {
      if (std::regex_search(line, re)) return true;
    }
  }
  return false;
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

int Verify(Reader& r, FakeReader& peer, const Bytes& pin, const Bytes& atr, bool full) {
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
  Bytes apdu{0x00, 0x24, 0x00, 0x01, static_cast<std::uint8_t>(pin.size())};
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
      {"VERIFY, default mode, T=1", Secret(4),
       [](Reader& r, FakeReader& p, const Bytes& s) { return Verify(r, p, s, kAtrT1, false) == 0x9000 ? 0 : 1; }},
      {"VERIFY, full mode, T=0", Secret(8),
       [](Reader& r, FakeReader& p, const Bytes& s) { return Verify(r, p, s, kAtrT0, true) == 0x9000 ? 0 : 1; }},
      {"CHANGE REFERENCE DATA chained over two blocks, full mode, T=1", Secret(40),
       [](Reader& r, FakeReader& p, const Bytes& s) { return Verify(r, p, s, kAtrT1, true) == 0x9000 ? 0 : 1; }},
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
    static_cast<TraceSecretsTest*>(context)->lines.push_back(line);
  }
  std::vector<std::string> Run(const SecretCase& c, int level, bool show) {
    lines.clear();
    peer.respond = nullptr;
    SetTrace(reader, level, &Collect, this);
    reader.trace.ShowSecrets(show);
    const int result = c.call(reader, peer, c.secret);
    SetTrace(reader, 0, nullptr, nullptr);
    EXPECT_EQ(result, 0) << c.what;
    return lines;
  }
  std::vector<std::string> lines;
};

TEST_F(TraceSecretsTest, NoLevelShowsASecretUnlessAskedTo) {
  OpenLink();
  for (const SecretCase& c : Cases()) {
    SCOPED_TRACE(c.what);
    for (int level = 1; level <= 3; ++level) {
      const auto masked = Run(c, level, false);
      EXPECT_FALSE(Shows(masked, c.secret)) << "level " << level;
      if (level == 3) {
        // The frame's check byte, computed over the secret, is masked too.
        const std::regex maskedCheck("(write|read) 1 of 1: \\*\\*");
        EXPECT_TRUE(std::any_of(masked.begin(), masked.end(),
                                [&](const std::string& l) { return std::regex_search(l, maskedCheck); }));
      }
      if (level >= 2) {
        EXPECT_TRUE(Shows(Run(c, level, true), c.secret)) << "level " << level << ", shown";
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

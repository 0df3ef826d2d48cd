// SPDX-License-Identifier: MIT
// Every line failure the simulated reader can cause, at every exchange of
// every function that makes more than one, over a real pty. A call that a
// failure stops returns the failure's letter and leaves the caller's buffer
// exactly as a call stopped there must; a Mifare call repeats the request on
// a relinked line and returns what the repeat gave.
//
// The reader here is the test's own, over the platform's ports with the 1 s
// pause after each close counted rather than slept, so the hundreds of
// relinks below take probe time only.
#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <memory>
#include <numeric>
#include <ostream>
#include <string>
#include <vector>

#include "at1608/at1608.h"
#include "link/link.h"
#include "memcard/memcard.h"
#include "mifare/mifare.h"
#include "sim/cards/at1608_card.h"
#include "sim/cards/memory_card.h"
#include "sim/cards/mifare_classic.h"
#include "sim/mifare_reader.h"
#include "sim/simulator.h"
#include "support/unpaused_ports.h"

namespace kulve::test {
namespace {

using Bytes = std::vector<std::uint8_t>;
using sim::Fault;
using sim::FaultKind;
using sim::ReaderByte;

// How much of a reply's data reaches the host before the failure.
enum class Arrives { kNothing, kAllButLast, kAll };

struct LineFault {
  const char* name;
  Fault fault;
  std::uint8_t letter;
  Arrives data;
};

// Every letter the reader's side of the line can produce ('s' two ways; a
// corrupted data byte is a third, but only where a reply carries data).
const LineFault kLineFaults[] = {
    {"no answer to the start byte", {FaultKind::kSilent, ReaderByte::kStart}, 'f', Arrives::kNothing},
    {"wrong answer to the start byte", {FaultKind::kWrongByte, ReaderByte::kStart}, 'g', Arrives::kNothing},
    {"no acknowledgement", {FaultKind::kSilent, ReaderByte::kAck}, 'l', Arrives::kNothing},
    {"wrong acknowledgement", {FaultKind::kWrongByte, ReaderByte::kAck}, 'm', Arrives::kNothing},
    {"no status", {FaultKind::kSilent, ReaderByte::kStatus}, 'o', Arrives::kNothing},
    {"no length", {FaultKind::kSilent, ReaderByte::kLength}, 'p', Arrives::kNothing},
    {"reply data cut short", {FaultKind::kSilent, ReaderByte::kData}, 'q', Arrives::kAllButLast},
    {"no checksum", {FaultKind::kSilent, ReaderByte::kChecksum}, 'r', Arrives::kAll},
    {"wrong checksum", {FaultKind::kWrongByte, ReaderByte::kChecksum}, 's', Arrives::kAll},
    {"corrupted status", {FaultKind::kWrongByte, ReaderByte::kStatus}, 's', Arrives::kAll},
};

// What a buffer that takes a failed exchange's reply bytes (zeros past
// them) holds, when the clean reply would have been `clean`.
Bytes Received(const Bytes& clean, Arrives arrives) {
  Bytes got(clean.size(), 0);
  const std::size_t n = arrives == Arrives::kAll ? clean.size() : (arrives == Arrives::kNothing ? 0 : clean.size() - 1);
  std::copy_n(clean.begin(), n, got.begin());
  return got;
}

std::string CaseName(const LineFault& f, std::initializer_list<int> at) {
  std::string name = std::string(f.name) + " at exchange";
  for (int n : at) name += " " + std::to_string(n);
  return name;
}

// The simulated reader on a pty and the test's own reader linked to it (its
// other port indices open paths that do not exist).
class LineOverPty : public ::testing::Test {
 protected:
  void Start(sim::SpeedSet speeds) {
    sim::SimulatorOptions options;
    options.speeds = speeds;
    sim = std::make_unique<sim::Simulator>(options);
    sim->Start();
    ASSERT_EQ(SetComPortPath(reader, 0, sim->HostPath().c_str()), 0);
    ASSERT_EQ(LinkCom(reader, 0), 0);
  }
  void TearDown() override { UnLinkCom(reader); }

  // Schedules the fault at each of the exchanges counted from the next (1).
  void FailAt(const Fault& fault, std::initializer_list<int> exchanges) {
    for (int n : exchanges) {
      ASSERT_TRUE(sim->InjectFault(fault, sim::FaultTrigger::NthFromNow(static_cast<std::uint32_t>(n))));
    }
  }

  UnpausedPorts ports;
  Reader reader{ports};
  std::unique_ptr<sim::Simulator> sim;
};

// --- functions whose first failing exchange ends the call ------------------------

// Card memory from 0x40 on holds this pattern; the bytes below it keep what
// the card type puts there (identification, code, counter).
constexpr std::size_t kPatternFrom = 0x40;
std::uint8_t PatternAt(std::size_t address) { return static_cast<std::uint8_t>(address * 7 + 3); }
Bytes PatternBytes(std::size_t address, std::size_t n) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = PatternAt(address + i);
  return b;
}
Bytes Counting(std::size_t n, std::uint8_t from) {
  Bytes b(n);
  std::iota(b.begin(), b.end(), from);
  return b;
}

constexpr sim::At1608Block kAt1608Seed{0x4B, 0x55, 0x4C, 0x56, 0x45, 0x31, 0x36, 0x30};
const Bytes kNewCode{0xFF, 0xFF, 0x00, 0x00};  // what a new card's code presentation sends

struct Scenario {
  const char* name;
  int exchanges;  // a clean call makes this many
  std::function<void(sim::ReaderState&)> card;   // the card in the reader before each call
  std::function<void(Reader&)> setup;            // what the call needs first (not counted)
  Bytes given;                                   // the caller's buffer going in
  Bytes clean;                                   // ... and after a clean call
  std::function<int(Reader&, std::uint8_t*)> call;
  // The buffer after exchange `failed` (from 1) failed on the line.
  std::function<Bytes(int failed, const Bytes& given, const Bytes& clean)> stopped;
};

void PrintTo(const Scenario& s, std::ostream* out) { *out << s.name; }

std::function<void(sim::ReaderState&)> MemoryCardOfType(std::uint8_t type) {
  return [type](sim::ReaderState& s) {
    sim::InsertMemoryCard(s, type);
    auto& memory = s.memoryCard->Memory();
    for (std::size_t a = kPatternFrom; a < memory.size(); ++a) memory[a] = PatternAt(a);
    s.power = sim::PowerState::kOn;
  };
}

std::function<void(Reader&)> Selected(std::int32_t type, bool presentCode = false) {
  return [type, presentCode](Reader& r) {
    r.cardType = type;
    Bytes code = kNewCode;
    if (presentCode) {
      ASSERT_EQ(CheckSecret(r, 2, code.data()), 0);
    }
  };
}

// Reads keep the bytes of the exchanges before the failing one.
std::function<Bytes(int, const Bytes&, const Bytes&)> KeepsPiecesBefore(std::vector<std::size_t> ends) {
  return [ends](int failed, const Bytes& given, const Bytes& clean) {
    Bytes b = given;
    const std::size_t kept = failed >= 2 ? ends[static_cast<std::size_t>(failed - 2)] : 0;
    std::copy_n(clean.begin(), kept, b.begin());
    return b;
  };
}
Bytes Unchanged(int, const Bytes& given, const Bytes&) { return given; }
Bytes AllErased(int, const Bytes& given, const Bytes&) { return Bytes(given.size(), 0xFF); }

std::vector<Scenario> Scenarios() {
  const Bytes challenge{0xC0, 0xFF, 0xEE, 0x01, 0x02, 0x03, 0x04, 0x05};
  Bytes answered = challenge;
  answered[0] = 8;  // attempts left, and its digit
  answered[1] = '8';
  return {
      {"ReadCard: two pieces", 2, MemoryCardOfType(3), Selected(3), Bytes(65, 0x5A), PatternBytes(0x110, 65),
       [](Reader& r, std::uint8_t* b) { return ReadCard(r, 18, 1, 0x10, 65, b); }, KeepsPiecesBefore({64, 65})},
      {"WriteCard: two pieces", 2, MemoryCardOfType(3), Selected(3), Counting(65, 1), Counting(65, 1),
       [](Reader& r, std::uint8_t* b) { return WriteCard(r, 18, 1, 0x10, 65, b); }, Unchanged},
      {"EraseCard: two pieces of the erase command", 2, MemoryCardOfType(0), Selected(0, true), Bytes(65, 0x5A),
       Bytes(65, 0xFF), [](Reader& r, std::uint8_t* b) { return EraseCard(r, 18, 1, 0x10, 65, b); }, AllErased},
      // Pages of 264 bytes: 14 bytes at the end of page 0, then 66 + 10 of page 1.
      {"ReadMemCard: across a page and a chunk", 3, MemoryCardOfType(21), Selected(21), Bytes(90, 0x5A),
       PatternBytes(250, 90), [](Reader& r, std::uint8_t* b) { return ReadMemCard(r, 250, 90, b); },
       KeepsPiecesBefore({14, 80, 90})},
      {"WriteMemCard: across a page", 2, MemoryCardOfType(3), Selected(3), Counting(20, 9), Counting(20, 9),
       [](Reader& r, std::uint8_t* b) { return WriteMemCard(r, 250, 20, b); }, Unchanged},
      {"EraseMemCard: across a page", 2, MemoryCardOfType(3), Selected(3), Bytes(20, 0x5A), Bytes(20, 0xFF),
       [](Reader& r, std::uint8_t* b) { return EraseMemCard(r, 250, 20, b); }, AllErased},
      {"VerifyIC: type 0 reads twice", 2, MemoryCardOfType(0), Selected(0), {}, {},
       [](Reader& r, std::uint8_t*) { return VerifyIC(r); }, Unchanged},
      // Erase the old code, write the new one, read the attempts counter.
      {"ModifySecret: the three steps", 3, MemoryCardOfType(15), Selected(15, true), Bytes{0x12, 0x34, 0, 0},
       Bytes{0x00, 0x03, 0x12, 0x34}, [](Reader& r, std::uint8_t* b) { return ModifySecret(r, 2, b); },
       [](int failed, const Bytes& given, const Bytes&) {
         // Once the new code is written, bytes 2..3 hold it as written.
         return failed < 3 ? given : Bytes{given[0], given[1], given[0], given[1]};
       }},
      {"AT1608_Authentic: cryptogram read and answer", 2,
       [](sim::ReaderState& s) {
         sim::InsertAt1608Card(s, kAt1608Seed);
         s.power = sim::PowerState::kOn;
       },
       [](Reader&) {}, challenge, answered,
       [](Reader& r, std::uint8_t* b) { return AT1608_Authentic(r, b, kAt1608Seed.data()); }, Unchanged},
  };
}

class StoppingCalls : public LineOverPty, public ::testing::WithParamInterface<Scenario> {
 protected:
  void SetUp() override { Start(sim::SpeedSet::k57600Only); }

  int CallOnAFreshCard(Bytes& buffer) {
    const Scenario& s = GetParam();
    sim->WithState(s.card);
    s.setup(reader);
    buffer = s.given;
    return s.call(reader, buffer.data());
  }
};

TEST_P(StoppingCalls, EveryLetterAtEveryExchange) {
  const Scenario& s = GetParam();
  Bytes buffer;
  for (const LineFault& f : kLineFaults) {
    for (int at = 1; at <= s.exchanges; ++at) {
      SCOPED_TRACE(CaseName(f, {at}));
      // A clean call first: the line is healthy again after every failure.
      ASSERT_EQ(CallOnAFreshCard(buffer), 0);
      ASSERT_EQ(buffer, s.clean);

      sim->WithState(s.card);
      s.setup(reader);
      buffer = s.given;
      FailAt(f.fault, {at});
      EXPECT_EQ(s.call(reader, buffer.data()), f.letter);
      EXPECT_EQ(buffer, s.stopped(at, s.given, s.clean));
      EXPECT_EQ(sim->PendingFaults(), 0u) << "the call made fewer exchanges than counted";
      sim->ClearFaults();
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Matrix, StoppingCalls, ::testing::ValuesIn(Scenarios()),
                         [](const ::testing::TestParamInfo<Scenario>& param) {
                           const std::string name = param.param.name;
                           return name.substr(0, name.find(':'));
                         });

// --- the Mifare family: the same request again on a relinked line ----------------

class MifareRelinks : public LineOverPty {
 protected:
  // The relink's probe also answers at 9600, so a failed fast probe links slow.
  void SetUp() override {
    Start(sim::SpeedSet::kBoth);
    sim->WithState([](sim::ReaderState& s) { sim::PutSampleMifareCard(s); });
  }
  Bytes CardData(std::size_t block) {
    return sim->WithState([block](sim::ReaderState& s) {
      const auto& b = sim::MifareOf(s).field.at(0).Blocks()[block];
      return Bytes(b.begin(), b.end());
    });
  }
  // The three data blocks of each sector, as the whole-card read returns them.
  Bytes WholeCard() {
    Bytes card;
    for (std::size_t block = 0; block < 64; ++block) {
      if (block % 4 == 3) continue;
      const Bytes b = CardData(block);
      card.insert(card.end(), b.begin(), b.end());
    }
    return card;
  }
};

// Exchanges: the request, a relink (its probe at 57600; at 9600 too when that
// fails), the request again, and so on; at most three tries of the request.
TEST_F(MifareRelinks, EveryLetterAtEveryTryAndEveryProbe) {
  struct Rounds {
    std::initializer_list<int> failing;
    bool lastTryFails;
  };
  const Rounds rounds[] = {
      {{1}, false},        // try 1; probe 2; try 3
      {{1, 2}, false},     // try 1; fast probe 2, slow probe 3; try 4 at 9600
      {{1, 2, 3}, false},  // the relink fails at both speeds: try 4 still goes out
      {{1, 3}, false},     // tries 1 and 3; probes 2 and 4; try 5
      {{1, 3, 4}, false},  // the second relink's fast probe fails too
      {{1, 3, 5}, true},   // all three tries: the letter survives
  };
  const Bytes block = CardData(1);
  for (const LineFault& f : kLineFaults) {
    for (const Rounds& r : rounds) {
      SCOPED_TRACE(CaseName(f, r.failing));
      FailAt(f.fault, r.failing);
      Bytes data(16, 0x5A);
      const int result = RFMifare_ReadBlock(reader, 1, 0, data.data());
      EXPECT_EQ(result, r.lastTryFails ? f.letter : 0);
      // Whatever the result, the last try's bytes and zeros past them.
      EXPECT_EQ(data, r.lastTryFails ? Received(block, f.data) : block);
      EXPECT_EQ(sim->PendingFaults(), 0u);
      sim->ClearFaults();
      ASSERT_EQ(LinkCom(reader, 0), 0);  // back to the fast speed for the next case
    }
  }
}

// The sixteen sector reads, each failing once: sixteen relinks, one call.
TEST_F(MifareRelinks, WholeCardReadSurvivesAFailureInEverySector) {
  const Bytes card = WholeCard();
  for (const LineFault& f : kLineFaults) {
    SCOPED_TRACE(f.name);
    for (int sector = 0; sector < 16; ++sector) FailAt(f.fault, {1 + 3 * sector});  // try, probe, try again
    Bytes data(768, 0x5A);
    EXPECT_EQ(RFMifare_ReadBloca(reader, 0, 0, data.data()), 0);
    EXPECT_EQ(data, card);
    EXPECT_EQ(sim->PendingFaults(), 0u);
    sim->ClearFaults();
  }
}

TEST_F(MifareRelinks, WholeCardReadStopsAtASectorLostForGood) {
  const Bytes card = WholeCard();
  constexpr std::size_t kLost = 5;
  for (const LineFault& f : kLineFaults) {
    SCOPED_TRACE(f.name);
    FailAt(f.fault, {kLost + 1, kLost + 3, kLost + 5});  // after five clean sectors: all three tries
    Bytes data(768, 0x5A);
    EXPECT_EQ(RFMifare_ReadBloca(reader, 0, 0, data.data()), f.letter);
    Bytes expected(card.begin(), card.begin() + kLost * 48);
    const Bytes lost = Received(Bytes(card.begin() + kLost * 48, card.begin() + (kLost + 1) * 48), f.data);
    expected.insert(expected.end(), lost.begin(), lost.end());
    expected.resize(768, 0x5A);  // later sectors untouched
    EXPECT_EQ(data, expected);
    EXPECT_EQ(sim->PendingFaults(), 0u);
    sim->ClearFaults();
    ASSERT_EQ(LinkCom(reader, 0), 0);
  }
}

}  // namespace
}  // namespace kulve::test

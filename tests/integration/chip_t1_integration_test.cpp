// SPDX-License-Identifier: MIT
// The full mode against the simulated reader's strict T=1 card (IFSC 32)
// in the CPU card slot and a T=0 SAM: long answers, chained commands, WTX,
// a dropped block, and a thousand alternations. Every test ends with the
// strict card's protocol error log, which must be empty.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "cpucard/card_timing.h"
#include "sim/cards/chip_card.h"
#include "sim/cpucard_commands.h"
#include "support/sim_fixture.h"

namespace kulve::test {
namespace {

using Bytes = std::vector<unsigned char>;

struct Answer {
  int result = 0;
  Bytes bytes;  // data then SW1 SW2
};

Answer Transmit(int slot, const Bytes& apdu, int size = 70000) {
  Answer a;
  a.bytes.assign(static_cast<std::size_t>(size), 0xEE);
  int n = 0;
  a.result = ChipTransmit(slot, apdu.data(), static_cast<int>(apdu.size()), a.bytes.data(), size, &n);
  a.bytes.resize(static_cast<std::size_t>(n));
  return a;
}

Bytes Cat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class ChipT1OverPty : public LinkedReaderSuite {
 protected:
  void SetUp() override {
    LinkedReaderSuite::SetUp();
    reader_->WithState([](sim::ReaderState& s) {
      sim::InsertChipCard(s, 0, sim::DefaultStrictCpuAtr());
      sim::SetChipStrict(s, 0, true);
    });
    ASSERT_EQ(SetChipProtocolMode(1), 0);
    Bytes atr(KULVE_ATR_BUFFER_SIZE);
    ASSERT_EQ(CpuCardReset(atr.data()), 0);
    ASSERT_EQ(SamCard1Reset(atr.data()), 0);
  }
  void TearDown() override {
    SetChipProtocolMode(0);
    const auto errors = reader_->WithState([](sim::ReaderState& s) { return sim::TakeChipProtocolErrors(s); });
    EXPECT_TRUE(errors.empty()) << ::testing::PrintToString(errors);
  }
  static Bytes LargeFile() {
    return reader_->WithState([](sim::ReaderState& s) { return s.chipCards[0]->Application().Contents(sim::kLargeFile); });
  }
  // What the strict card has seen, read under the simulator's lock (its
  // thread writes it).
  template <typename Read>
  static auto OnCard(Read read) {
    return reader_->WithState([&read](sim::ReaderState& s) { return read(*s.chipCards[0]->Strict()); });
  }
  static void SelectLargeFile() {
    ASSERT_EQ(Transmit(0, {0x00, 0xA4, 0x00, 0x0C, 0x02, 0x7F, 0x10}).result, 0x9000);
    ASSERT_EQ(Transmit(0, {0x00, 0xA4, 0x00, 0x0C, 0x02, 0x01, 0x03}).result, 0x9000);
  }
};

TEST_F(ChipT1OverPty, LongAnswersArriveWholeThroughChaining) {
  SelectLargeFile();
  const Bytes file = LargeFile();
  const Answer short255 = Transmit(0, {0x00, 0xB0, 0x00, 0x00, 0xFF});
  EXPECT_EQ(short255.result, 0x9000);
  EXPECT_EQ(short255.bytes, Cat(Bytes(file.begin(), file.begin() + 255), {0x90, 0x00}));
  EXPECT_EQ(OnCard([](const sim::StrictT1& c) { return c.Ifsd(); }), 251u) << "the IFSD the library announced";
  const Answer extended = Transmit(0, {0x00, 0xB0, 0x00, 0x40, 0x00, 0x04, 0x00});
  EXPECT_EQ(extended.result, 0x9000);
  EXPECT_EQ(extended.bytes, Cat(Bytes(file.begin() + 0x40, file.begin() + 0x40 + 1024), {0x90, 0x00}));
  // Too small a buffer: the size it needs, nothing written.
  const Bytes readAll = {0x00, 0xB0, 0x00, 0x00, 0xFF};
  Bytes small(100, 0xEE);
  int needed = 0;
  EXPECT_EQ(ChipTransmit(0, readAll.data(), 5, small.data(), 100, &needed), KULVE_RESPONSE_TOO_LONG);
  EXPECT_EQ(needed, 257);
  EXPECT_EQ(small, Bytes(100, 0xEE));
}

TEST_F(ChipT1OverPty, A200ByteUpdateIsChainedToTheIfsc) {
  SelectLargeFile();
  ASSERT_EQ(Transmit(0, {0x00, 0x20, 0x00, 0x01, 0x04, 0x31, 0x32, 0x33, 0x34}).result, 0x9000);
  Bytes data(200);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<unsigned char>(0xC0 ^ i);
  const auto before = reader_->ExchangeCount();
  EXPECT_EQ(Transmit(0, Cat({0x00, 0xD6, 0x00, 0x10, 0xC8}, data)).result, 0x9000);
  // 205 APDU bytes in links of at most 32: seven blocks, seven exchanges.
  EXPECT_EQ(reader_->ExchangeCount() - before, 7u);
  const Bytes file = LargeFile();
  EXPECT_EQ(Bytes(file.begin() + 0x10, file.begin() + 0x10 + 200), data);
}

TEST_F(ChipT1OverPty, WtxDuringASlowCommand) {
  reader_->WithState([](sim::ReaderState& s) { s.chipCards[0]->Strict()->SetSlow(1500); });
  const Answer a = Transmit(0, {0x00, 0x84, 0x00, 0x00, 0x08});
  reader_->WithState([](sim::ReaderState& s) { s.chipCards[0]->Strict()->SetSlow(0); });
  EXPECT_EQ(a.result, 0x9000);
  EXPECT_EQ(a.bytes.size(), 10u);
  EXPECT_EQ(OnCard([](const sim::StrictT1& c) { return c.WtxSent(); }), 1u);
}

TEST_F(ChipT1OverPty, ADroppedBlockIsRecoveredByRetransmission) {
  SelectLargeFile();
  const Bytes file = LargeFile();
  for (unsigned link = 0; link < 2; ++link) {  // the first and the last link of the answer
    reader_->WithState([link](sim::ReaderState& s) { s.chipCards[0]->Strict()->DropBlock(link); });
    const Answer a = Transmit(0, {0x00, 0xB0, 0x00, 0x00, 0xFF});
    EXPECT_EQ(a.result, 0x9000) << link;
    EXPECT_EQ(a.bytes, Cat(Bytes(file.begin(), file.begin() + 255), {0x90, 0x00})) << link;
  }
}

TEST_F(ChipT1OverPty, CpuCardInT1AndSamInT0AlternatelyAThousandTimes) {
  for (int i = 0; i < 1000; ++i) {
    const Answer cpu = Transmit(0, {0x00, 0x84, 0x00, 0x00, 0x08});
    ASSERT_EQ(cpu.result, 0x9000) << i;
    ASSERT_EQ(cpu.bytes.size(), 10u) << i;
    // The SAM's T=0 needs GET RESPONSE for the FCI of a SELECT.
    const Answer sam = Transmit(1, {0x00, 0xA4, 0x04, 0x00, 0x07, 0xF0, 0x4B, 0x55, 0x4C, 0x56, 0x45, 0x31, 0x00});
    ASSERT_EQ(sam.result, 0x9000) << i;
    ASSERT_GT(sam.bytes.size(), 2u) << i;
  }
  EXPECT_EQ(CPUCardProtocolType(), 0) << "the SAM was reset last";
}

TEST_F(ChipT1OverPty, SwitchingTheModeFromAnotherThreadLeavesCallsWhole) {
  std::vector<std::string> wrong;  // the user thread's alone until it is joined
  std::thread user([&wrong] {
    for (int i = 0; i < 200; ++i) {
      const Answer a = Transmit(0, {0x00, 0x84, 0x00, 0x00, 0x08});
      if (a.result != 0x9000 || a.bytes.size() != 10) {
        wrong.push_back("call " + std::to_string(i) + ": " + std::to_string(a.result) + ", " +
                        std::to_string(a.bytes.size()) + " bytes");
      }
    }
  });
  int refused = 0;
  for (int i = 0; i < 200; ++i) {
    if (SetChipProtocolMode(i % 2) != 0) ++refused;
  }
  user.join();
  EXPECT_EQ(refused, 0);
  EXPECT_TRUE(wrong.empty()) << ::testing::PrintToString(wrong);
}

TEST_F(ChipT1OverPty, TheHandleFormsOnAReaderOfTheirOwn) {
  int n = 99;
  unsigned char room[8];
  EXPECT_EQ(kulve_chip_set_protocol_mode(nullptr, 1), KULVE_BAD_ARGUMENT);
  EXPECT_EQ(kulve_chip_transmit(nullptr, 0, room, 5, room, sizeof room, &n), KULVE_BAD_ARGUMENT);
  EXPECT_EQ(n, 0);

  sim::Simulator other(OverCurrentTransport());
  other.Start();
  other.WithState([](sim::ReaderState& s) {
    sim::InsertChipCard(s, 0, sim::DefaultStrictCpuAtr());
    sim::SetChipStrict(s, 0, true);
  });
  kulve_reader* h = nullptr;
  ASSERT_EQ(kulve_open(LinkPath(other).c_str(), &h), 0);
  EXPECT_EQ(kulve_chip_set_protocol_mode(h, 1), 0);
  EXPECT_EQ(kulve_chip_set_protocol_mode(h, 7), KULVE_BAD_ARGUMENT);
  Bytes atr(KULVE_ATR_BUFFER_SIZE);
  ASSERT_EQ(kulve_chip_reset(h, 0, atr.data(), static_cast<int>(atr.size())), 0);
  Bytes answer(300);
  for (const Bytes& select : {Bytes{0x00, 0xA4, 0x00, 0x0C, 0x02, 0x7F, 0x10}, Bytes{0x00, 0xA4, 0x00, 0x0C, 0x02, 0x01, 0x03}}) {
    ASSERT_EQ(kulve_chip_transmit(h, 0, select.data(), static_cast<int>(select.size()), answer.data(), static_cast<int>(answer.size()), &n), 0x9000);
  }
  const Bytes read = {0x00, 0xB0, 0x00, 0x00, 0xFF};
  EXPECT_EQ(kulve_chip_transmit(h, 0, read.data(), static_cast<int>(read.size()), answer.data(), static_cast<int>(answer.size()), &n), 0x9000);
  const Bytes file = other.WithState([](sim::ReaderState& s) { return s.chipCards[0]->Application().Contents(sim::kLargeFile); });
  EXPECT_EQ(Bytes(answer.begin(), answer.begin() + static_cast<std::ptrdiff_t>(n)),
            Cat(Bytes(file.begin(), file.begin() + 255), {0x90, 0x00}));
  kulve_close(h);
  EXPECT_TRUE(other.WithState([](sim::ReaderState& s) { return sim::TakeChipProtocolErrors(s); }).empty());
}

TEST_F(ChipT1OverPty, TheDefaultModeMeetsAChainedAnswer) {
  ASSERT_EQ(SetChipProtocolMode(0), 0);
  Bytes atr(KULVE_ATR_BUFFER_SIZE);
  ASSERT_EQ(CpuCardReset(atr.data()), 0);  // the default mode frames by the reset made last
  // READ BINARY of 255 bytes: the strict card (IFSD 32 after the reset)
  // chains its answer, and the default mode sees the first link only.
  Bytes select(KULVE_APDU_REQUEST_SIZE, 0);
  Bytes response(KULVE_APDU_RESPONSE_SIZE, 0x77);
  for (const Bytes& fid : {Bytes{0x7F, 0x10}, Bytes{0x01, 0x03}}) {
    select[1] = 0xA4;
    select[3] = 0x0C;
    select[4] = 2;
    select[5] = fid[0];
    select[6] = fid[1];
    ASSERT_EQ(ProCpuCardCmd(select.data(), response.data()), 0x9000);
  }
  Bytes request(KULVE_APDU_REQUEST_SIZE, 0);
  request[1] = 0xB0;
  request[KULVE_APDU_REQUEST_SIZE - 1] = 0xFF;
  EXPECT_EQ(ProCpuCardCmd(request.data(), response.data()), KULVE_T1_NOT_AN_ANSWER);
  EXPECT_EQ(response[0], 0);
  // The full mode takes the card over again: S(RESYNCH), S(IFS), then the command.
  ASSERT_EQ(SetChipProtocolMode(1), 0);
  const Answer a = Transmit(0, {0x00, 0x84, 0x00, 0x00, 0x08});
  EXPECT_EQ(a.result, 0x9000);
  // The strict card saw the default mode's I-block while its chain was open.
  const auto errors = reader_->WithState([](sim::ReaderState& s) { return sim::TakeChipProtocolErrors(s); });
  EXPECT_TRUE(errors.empty()) << ::testing::PrintToString(errors);
}


// Cards that take their time or misbehave. Each test costs seconds of the
// card's own work, so they stay few; ctest runs them side by side.
class ChipSlowCardOverPty : public ChipT1OverPty {
 protected:
  static void Configure(const std::function<void(sim::StrictT1&)>& f) {
    reader_->WithState([&f](sim::ReaderState& s) { f(*s.chipCards[0]->Strict()); });
  }
  static Bytes Challenge() { return {0x00, 0x84, 0x00, 0x00, 0x08}; }
  // A reset brings the slot back once the line is quiet again.
  static void ResetWhenQuiet() {
    Bytes atr(KULVE_ATR_BUFFER_SIZE);
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (CpuCardReset(atr.data()) != 0 && std::chrono::steady_clock::now() < giveUp) {
    }
  }
  // A new strict card with this ATR, reset; the old card logged no protocol error.
  static void UseCard(const Bytes& atr) {
    const auto errors = reader_->WithState([&atr](sim::ReaderState& s) {
      auto old = sim::TakeChipProtocolErrors(s);
      sim::InsertChipCard(s, 0, atr);
      sim::SetChipStrict(s, 0, true);
      return old;
    });
    EXPECT_TRUE(errors.empty()) << ::testing::PrintToString(errors);
    ResetWhenQuiet();
  }
};

TEST_F(ChipSlowCardOverPty, WhatACardMayTakeAndWhenItIsGivenUp) {
  // The strict card's TB3 45 gives BWI 4 (1.6 s without S(WTX)) and CWI 5.
  const auto work = [](unsigned ms, std::uint8_t wtx, unsigned times) {
    return [=] { Configure([=](sim::StrictT1& c) { c.SetCompute(ms, wtx, times); }); };
  };
  const auto silent = [](std::uint32_t times) {  // the reader never acknowledges the card's exchanges
    return [=] { reader_->InjectFault({sim::FaultKind::kSilent, sim::ReaderByte::kAck}, {0x33, 0, times}); };
  };
  const int noAck = KULVE_LINK_NO_ACK, mustReset = KULVE_CARD_MUST_BE_RESET;
  struct Case {
    const char* what;
    std::function<void()> arrange;
    std::vector<int> results;  // of calls in a row
    int wtxSent;               // -1: not counted
  };
  const Case cases[] = {
      {"1.4 s of work, no S(WTX)", work(1400, 0, 1), {0x9000}, 0},
      {"2.5 s after S(WTX 2)", work(2500, 2, 1), {0x9000}, 1},
      {"65 S(WTX) in a row", work(0, 1, 65), {0x9000}, 65},
      {"TB3 4D (CWI 13: 0.85 s allowed): 300 ms between the answer's characters",
       [] { UseCard({0x3B, 0x80, 0x81, 0x31, 0x20, 0x4D}); Configure([](sim::StrictT1& c) { c.SetCharacterGap(300); }); },
       {0x9000}, -1},
      {"the call's bound runs out amid S(WTX)",
       [=] { SetCallBoundForTests(std::chrono::milliseconds(1500)); work(3000, 2, 1)(); }, {KULVE_CALL_TIME_BOUND}, -1},
      {"a dead card behind a silent reader: three calls, then 44 at once", silent(0),
       {noAck, noAck, noAck, mustReset, mustReset}, -1},
      {"silent twice, S(RESYNCH) the second time, then the card answers", silent(2), {noAck, noAck, 0x9000}, -1},
  };
  for (const Case& c : cases) {
    c.arrange();
    for (const int expected : c.results) {
      const auto before = reader_->ExchangeCount();
      EXPECT_EQ(Transmit(0, Challenge()).result, expected) << c.what;
      EXPECT_TRUE(expected != mustReset || reader_->ExchangeCount() == before) << c.what << ": sent nothing";
    }
    const unsigned wtx = OnCard([](const sim::StrictT1& card) { return card.WtxSent(); });
    EXPECT_TRUE(c.wtxSent < 0 || wtx == static_cast<unsigned>(c.wtxSent)) << c.what << ": " << wtx << " S(WTX)";
    SetCallBoundForTests(std::nullopt);
    reader_->ClearFaults();
    UseCard(sim::DefaultStrictCpuAtr());
  }
}

TEST_F(ChipSlowCardOverPty, ACardPastItsWaitingTimeFailsWithinTheBound) {
  Configure([](sim::StrictT1& card) { card.SetCompute(8000, 0); });
  int result = 0;
  EXPECT_LT(TimedMs([&result] { result = Transmit(0, Challenge()).result; }), kHangMs);
  EXPECT_EQ(result, KULVE_LINK_NO_ACK);
  Configure([](sim::StrictT1& card) { card.SetCompute(0, 0); });
  // The reader relays the late answer once the card has it.
  ResetWhenQuiet();
  EXPECT_EQ(Transmit(0, Challenge()).result, 0x9000);
}

TEST_F(ChipSlowCardOverPty, LostBlocksAbortsAndADeafCard) {
  // A lost answer: the reader says the card is mute, an R-block brings it.
  ASSERT_EQ(Transmit(0, Challenge()).result, 0x9000);  // S(IFS) done
  Configure([](sim::StrictT1& card) { card.LoseBlock(); });
  auto before = reader_->ExchangeCount();
  EXPECT_EQ(Transmit(0, Challenge()).result, 0x9000);
  EXPECT_EQ(reader_->ExchangeCount() - before, 2u) << "the I-block, then one R-block";
  // S(ABORT request) instead of an answer: answered, reported; the next call goes on.
  Configure([](sim::StrictT1& card) { card.AbortNext(); });
  EXPECT_EQ(Transmit(0, Challenge()).result, KULVE_T1_ABORTED);
  EXPECT_EQ(OnCard([](const sim::StrictT1& c) { return c.AbortsAnswered(); }), 1u);
  EXPECT_EQ(Transmit(0, Challenge()).result, 0x9000);
  // A card that answers nothing: R-blocks, then three S(RESYNCH), then the
  // slot waits for a reset and nothing more is sent.
  Configure([](sim::StrictT1& card) { card.SetMute(true); });
  const unsigned resynchs = OnCard([](const sim::StrictT1& c) { return c.ResynchsSeen(); });
  EXPECT_EQ(Transmit(0, Challenge()).result, 0xA2);
  EXPECT_EQ(Transmit(0, Challenge()).result, KULVE_CARD_MUST_BE_RESET);
  EXPECT_EQ(OnCard([](const sim::StrictT1& c) { return c.ResynchsSeen(); }) - resynchs, 3u);
  before = reader_->ExchangeCount();
  EXPECT_EQ(Transmit(0, Challenge()).result, KULVE_CARD_MUST_BE_RESET);
  EXPECT_EQ(reader_->ExchangeCount(), before);
  Bytes atr(KULVE_ATR_BUFFER_SIZE);
  ASSERT_EQ(CpuCardReset(atr.data()), 0);
  EXPECT_EQ(Transmit(0, Challenge()).result, 0x9000);
}

TEST_F(ChipSlowCardOverPty, TheStrictCardCheckingWithACrc) {
  UseCard({0x3B, 0x80, 0x81, 0x51, 0x20, 0x01});  // TC3 01: CRC
  ASSERT_TRUE(OnCard([](const sim::StrictT1& c) { return c.Crc(); }));
  SelectLargeFile();
  const Bytes file = LargeFile();
  EXPECT_EQ(Transmit(0, {0x00, 0xB0, 0x00, 0x00, 0xFF}).bytes, Cat(Bytes(file.begin(), file.begin() + 255), {0x90, 0x00}));
}

TEST_F(ChipSlowCardOverPty, ASlowCardThroughTcp) {
  sim::SimulatorOptions options;
  options.network = {sim::NetProtocol::kTcp, "127.0.0.1", 0};
  sim::Simulator other(options);
  other.Start();
  other.WithState([](sim::ReaderState& s) {
    sim::InsertChipCard(s, 0, sim::DefaultStrictCpuAtr());
    sim::SetChipStrict(s, 0, true);
    s.chipCards[0]->Strict()->SetCompute(1400, 0);
  });
  kulve_reader* h = nullptr;
  ASSERT_EQ(kulve_open(LinkPath(other).c_str(), &h), 0);
  ASSERT_EQ(kulve_chip_set_protocol_mode(h, 1), 0);
  Bytes atr(KULVE_ATR_BUFFER_SIZE), answer(64);
  ASSERT_EQ(kulve_chip_reset(h, 0, atr.data(), static_cast<int>(atr.size())), 0);
  const Bytes apdu = Challenge();
  int n = 0;
  EXPECT_EQ(kulve_chip_transmit(h, 0, apdu.data(), 5, answer.data(), static_cast<int>(answer.size()), &n), 0x9000);
  EXPECT_EQ(n, 10);
  kulve_close(h);
}

}  // namespace
}  // namespace kulve::test

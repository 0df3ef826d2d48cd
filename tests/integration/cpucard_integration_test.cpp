// SPDX-License-Identifier: MIT
// The CPU card and SAM functions over a real pty against the simulated
// reader's chip cards. Every test ends by taking the cards' T=1 protocol
// error logs, which must be empty: the library's blocks are checked by the
// card side of every exchange in this suite.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "sim/cards/chip_card.h"
#include "sim/cpucard_commands.h"
#include "support/sim_fixture.h"

namespace kulve::test {
namespace {

using Bytes = std::vector<unsigned char>;

const Bytes kT0Atr{0x3B, 0x68, 0x00, 0x00, 'K', 'U', 'L', 'V', 'E', '-', 'T', '0'};
const Bytes kApplication{0xF0, 0x4B, 0x55, 0x4C, 0x56, 0x45, 0x31};

using ResetFn = int(KULVE_CALL*)(unsigned char*);
using CmdFn = int(KULVE_CALL*)(const unsigned char*, unsigned char*);
using PackedFn = int(KULVE_CALL*)(unsigned char*, unsigned char*);
struct SlotExports {
  ResetFn reset;
  CmdFn cmd;
  PackedFn packed;
};
const SlotExports kSlots[] = {
    {CpuCardReset, ProCpuCardCmd, ProCpuCard},    {SamCard1Reset, ProSamCard1Cmd, ProSamCard1},
    {SamCard2Reset, ProSamCard2Cmd, ProSamCard2}, {SamCard3Reset, ProSamCard3Cmd, ProSamCard3},
    {SamCard4Reset, ProSamCard4Cmd, ProSamCard4},
};

// A command in the fixed 134-byte layout.
Bytes Fixed(Bytes header, const Bytes& data, unsigned char le) {
  Bytes r(KULVE_APDU_REQUEST_SIZE, 0);
  std::copy(header.begin(), header.end(), r.begin());
  r[4] = static_cast<unsigned char>(data.size());
  std::copy(data.begin(), data.end(), r.begin() + 5);
  r.back() = le;
  return r;
}

// The same command packed, with room for the echo.
Bytes Packed(Bytes header, const Bytes& data, unsigned char le) {
  Bytes r = header;
  r.push_back(static_cast<unsigned char>(data.size()));
  r.insert(r.end(), data.begin(), data.end());
  r.push_back(le);
  r.resize(KULVE_PACKED_APDU_SIZE, 0);
  return r;
}

struct Answer {
  int result;
  Bytes data;
};

class CpuCardOverPty : public LinkedReaderSuite {
 protected:
  void TearDown() override {
    const auto errors = reader_->WithState([](sim::ReaderState& s) { return sim::TakeChipProtocolErrors(s); });
    EXPECT_TRUE(errors.empty()) << "T=1 protocol errors: " << ::testing::PrintToString(errors);
    reader_->WithState([](sim::ReaderState& s) { sim::InsertDefaultChipCards(s); });
  }

  static void Insert(std::size_t slot, const Bytes& atr) {
    reader_->WithState([&](sim::ReaderState& s) { sim::InsertChipCard(s, slot, atr); });
  }
  static Bytes Reset(std::size_t slot) {
    Bytes atr(KULVE_ATR_BUFFER_SIZE, 0xEE);
    EXPECT_EQ(kSlots[slot].reset(atr.data()), 0);
    return Bytes(atr.begin() + 1, atr.begin() + 1 + atr[0]);
  }
  static Answer Cmd(std::size_t slot, Bytes header, const Bytes& data, unsigned char le) {
    const Bytes request = Fixed(std::move(header), data, le);
    Bytes response(KULVE_APDU_RESPONSE_SIZE, 0xEE);
    const int result = kSlots[slot].cmd(request.data(), response.data());
    return {result, Bytes(response.begin() + 1, response.begin() + 1 + response[0])};
  }
  static Answer Plain(std::size_t slot, Bytes header, const Bytes& data, unsigned char le, Bytes* sent = nullptr) {
    Bytes request = Packed(std::move(header), data, le);
    Bytes response(KULVE_APDU_RESPONSE_SIZE, 0xEE);
    const int result = kSlots[slot].packed(request.data(), response.data());
    if (sent != nullptr) *sent = Bytes(request.begin() + 1, request.begin() + 1 + request[0]);
    return {result, Bytes(response.begin() + 1, response.begin() + 1 + response[0])};
  }
  // The PCB of each APDU block the reader received since the last call.
  static std::vector<int> PcbsSent() {
    std::vector<int> pcbs;
    for (const auto& r : reader_->Requests()) {
      if (r.data.size() > 1 && (r.code == 0x33 || r.code == 0x47)) pcbs.push_back(r.data[1]);
    }
    reader_->ClearRequests();
    return pcbs;
  }
  static Bytes FileContents(std::size_t slot, std::uint16_t fid) {
    return reader_->WithState([&](sim::ReaderState& s) { return s.chipCards[slot]->Application().Contents(fid); });
  }

};

TEST_F(CpuCardOverPty, SelectThenReadBinaryUnderT0AndT1) {
  const Bytes holder = FileContents(0, sim::kHolderFile);
  for (const Bytes& atr : {kT0Atr, sim::DefaultCpuAtr()}) {
    Insert(0, atr);
    EXPECT_EQ(Reset(0), atr);
    const bool t1 = CPUCardProtocolType() == 1;
    EXPECT_EQ(t1, atr == sim::DefaultCpuAtr());

    const Answer selected = Cmd(0, {0x00, 0xA4, 0x04, 0x00}, kApplication, 0x00);
    EXPECT_TRUE(selected.data.empty());
    if (!t1) {  // T=0 announces the FCI; GET RESPONSE fetches it
      EXPECT_EQ(selected.result, 0x6119);
      const Answer fetched = Cmd(0, {0x00, 0xC0, 0x00, 0x00}, {}, 0x19);
      EXPECT_EQ(fetched.result, 0x9000);
      ASSERT_EQ(fetched.data.size(), 0x19u);
      EXPECT_EQ(Bytes(fetched.data.begin() + 4, fetched.data.begin() + 11), kApplication);
    } else {  // no Le went with the data (case 3): the card sends no FCI
      EXPECT_EQ(selected.result, 0x9000);
    }

    EXPECT_EQ(Plain(0, {0x00, 0xA4, 0x00, 0x0C}, {0x01, 0x01}, 0x00).result, 0x9000);
    const Answer read = Plain(0, {0x00, 0xB0, 0x00, 0x10}, {}, 0x20);
    EXPECT_EQ(read.result, 0x9000);
    EXPECT_EQ(read.data, Bytes(holder.begin() + 0x10, holder.begin() + 0x30));
  }
}

TEST_F(CpuCardOverPty, EachSlotAnswersThroughItsOwnExports) {
  // Both framings, and each card's last historical byte names its slot.
  std::vector<Bytes> atrs;
  for (std::size_t slot = 0; slot < 5; ++slot) {
    Bytes atr = slot % 2 == 0 ? kT0Atr : sim::DefaultCpuAtr();
    const std::size_t last = atr.size() - (slot % 2 == 0 ? 1 : 2);  // the T=1 ATR ends with TCK
    const auto mark = static_cast<unsigned char>('A' + slot);
    if (slot % 2 == 1) atr.back() = static_cast<unsigned char>(atr.back() ^ atr[last] ^ mark);
    atr[last] = mark;
    Insert(slot, atr);
    atrs.push_back(atr);
  }
  for (std::size_t slot = 0; slot < 5; ++slot) {
    EXPECT_EQ(Reset(slot), atrs[slot]) << slot;
    EXPECT_EQ(CPUCardProtocolType(), static_cast<int>(slot % 2)) << slot;
    EXPECT_EQ(Cmd(slot, {0x00, 0xA4, 0x00, 0x0C}, {0x2F, 0x02}, 0).result, 0x9000) << slot;
    const Answer serial = Plain(slot, {0x00, 0xB0, 0x00, 0x00}, {}, 0x08);
    EXPECT_EQ(serial.result, 0x9000) << slot;
    EXPECT_EQ(serial.data, FileContents(slot, sim::kSerialFile)) << slot;
    EXPECT_EQ(serial.data.back(), slot + 1) << slot;
  }
}

TEST_F(CpuCardOverPty, SequenceBitAcrossSlotsFailuresAndResets) {
  Insert(0, sim::DefaultCpuAtr());
  Insert(2, sim::DefaultCpuAtr());
  const Bytes askPin{0x00, 0x20, 0x00, 0x01};
  auto ask = [&](std::size_t slot) { return Cmd(slot, askPin, {}, 0x00).result; };
  Reset(0);
  reader_->ClearRequests();
  EXPECT_EQ(ask(0), 0x63C3);
  reader_->InjectFault({sim::FaultKind::kSilent, sim::ReaderByte::kStart});  // nothing reaches the card
  EXPECT_EQ(ask(0), KULVE_LINK_NO_ANSWER);
  EXPECT_EQ(ask(0), 0x63C3);
  EXPECT_EQ(PcbsSent(), (std::vector<int>{0x00, 0x40}));

  Bytes atr(KULVE_ATR_BUFFER_SIZE);
  reader_->WithState([](sim::ReaderState& s) { sim::RemoveChipCard(s, 4); });
  EXPECT_EQ(SamCard4Reset(atr.data()), sim::chip_status::kNoChipCard);  // a failed reset restarts the bit too
  EXPECT_EQ(atr[0], 0);
  EXPECT_EQ(CPUCardProtocolType(), 1);
  EXPECT_EQ(ask(0), 0x63C3);
  EXPECT_EQ(ask(0), 0x63C3);

  // SAM 2 after its reset, then the CPU card again, all on the one bit.
  Reset(2);
  EXPECT_EQ(ask(2), 0x63C3);
  EXPECT_EQ(ask(2), 0x63C3);
  EXPECT_EQ(ask(0), 0x63C3);
  EXPECT_EQ(ask(0), 0x63C3);
  EXPECT_EQ(ask(2), 0x63C3);
  EXPECT_EQ(PcbsSent(), (std::vector<int>{0x00, 0x40, 0x00, 0x40, 0x00, 0x40, 0x00}));
  reader_->WithState([](sim::ReaderState& s) {
    EXPECT_EQ(s.chipCards[0]->ExpectedHostSequence(), 0);
    EXPECT_EQ(s.chipCards[2]->ExpectedHostSequence(), 1);
  });
}

TEST_F(CpuCardOverPty, GetResponseIsTheCallersAndLeIsCorrectedByTheCard) {
  Insert(1, kT0Atr);
  Reset(1);
  reader_->ClearRequests();
  const Answer selected = Plain(1, {0x00, 0xA4, 0x04, 0x00}, kApplication, 0x00);
  EXPECT_EQ(selected.result, 0x6119);
  EXPECT_TRUE(selected.data.empty());
  EXPECT_EQ(reader_->Requests().size(), 1u) << "the library makes one exchange per call";
  EXPECT_EQ(Cmd(1, {0x00, 0xC0, 0x00, 0x00}, {}, 0x20).result, 0x6C19);
  const Answer part = Cmd(1, {0x00, 0xC0, 0x00, 0x00}, {}, 0x10);
  EXPECT_EQ(part.result, 0x6109);
  EXPECT_EQ(part.data.size(), 16u);
  const Answer rest = Cmd(1, {0x00, 0xC0, 0x00, 0x00}, {}, 0x09);
  EXPECT_EQ(rest.result, 0x9000);
  EXPECT_EQ(rest.data.size(), 9u);

  EXPECT_EQ(Cmd(1, {0x00, 0x84, 0x00, 0x00}, {}, 0x10).result, 0x6C08);
  const Answer challenge = Cmd(1, {0x00, 0x84, 0x00, 0x00}, {}, 0x08);
  EXPECT_EQ(challenge.result, 0x9000);
  EXPECT_EQ(challenge.data.size(), 8u);
}

TEST_F(CpuCardOverPty, PinRetryCounterAndProtectedUpdate) {
  Insert(0, sim::DefaultCpuAtr());
  Reset(0);
  EXPECT_EQ(Cmd(0, {0x00, 0xA4, 0x04, 0x0C}, kApplication, 0).result, 0x9000);
  EXPECT_EQ(Cmd(0, {0x00, 0xA4, 0x00, 0x0C}, {0x01, 0x02}, 0).result, 0x9000);
  EXPECT_EQ(Cmd(0, {0x00, 0xD6, 0x00, 0x00}, {1, 2, 3}, 0).result, 0x6982);
  EXPECT_EQ(Cmd(0, {0x00, 0x20, 0x00, 0x01}, {'0', '0', '0', '0'}, 0).result, 0x63C2);
  EXPECT_EQ(Cmd(0, {0x00, 0x20, 0x00, 0x01}, {}, 0).result, 0x63C2);
  EXPECT_EQ(Cmd(0, {0x00, 0x20, 0x00, 0x01}, {'1', '2', '3', '4'}, 0).result, 0x9000);
  EXPECT_EQ(Cmd(0, {0x00, 0xD6, 0x00, 0x04}, {1, 2, 3}, 0).result, 0x9000);
  EXPECT_EQ(Plain(0, {0x00, 0xB0, 0x00, 0x00}, {}, 0x08).data, (Bytes{0, 0, 0, 0, 1, 2, 3, 0}));
  EXPECT_EQ(Cmd(0, {0x00, 0xD6, 0x00, 0x1F}, {1, 2}, 0).result, 0x6A84);  // past the end of the file
  EXPECT_EQ(Cmd(0, {0x00, 0x2A, 0x00, 0x00}, {}, 0).result, 0x6D00);
  EXPECT_EQ(Cmd(0, {0x00, 0xA4, 0x04, 0x00}, {0xA0, 0x00, 0x00, 0x00, 0x03, 0x10, 0x10}, 0).result, 0x6A82);
}

TEST_F(CpuCardOverPty, FramingFollowsTheLastResetOfAnySlot) {
  Insert(0, kT0Atr);
  Insert(1, sim::DefaultCpuAtr());
  Reset(0);
  EXPECT_EQ(CPUCardProtocolType(), 0);
  Bytes sent;
  EXPECT_EQ(Plain(0, {0x00, 0x84, 0x00, 0x00}, {}, 0x08, &sent).result, 0x9000);
  EXPECT_EQ(sent, (Bytes{0x00, 0x84, 0x00, 0x00, 0x08}));

  Reset(1);
  EXPECT_EQ(CPUCardProtocolType(), 1);
  EXPECT_EQ(Plain(1, {0x00, 0x84, 0x00, 0x00}, {}, 0x08, &sent).result, 0x9000);
  EXPECT_EQ(sent, (Bytes{0x00, 0x00, 0x05, 0x00, 0x84, 0x00, 0x00, 0x08, 0x89}));
  // The T=0 card in the CPU slot now gets a T=1 block: it reads NAD 00 and
  // PCB 40 as CLA and INS and answers 6D00, two bytes, which as a T=1 block
  // is too short to hold a status word.
  const Answer crossed = Plain(0, {0x00, 0x84, 0x00, 0x00}, {}, 0x08, &sent);
  EXPECT_EQ(sent, (Bytes{0x00, 0x40, 0x05, 0x00, 0x84, 0x00, 0x00, 0x08, 0xC9}));
  EXPECT_EQ(crossed.result, KULVE_LINK_SHORT_REPLY);
  EXPECT_TRUE(crossed.data.empty());
}

}  // namespace
}  // namespace kulve::test

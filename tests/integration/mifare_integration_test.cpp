// SPDX-License-Identifier: MIT
// The Mifare functions over a real pty against the simulated reader with
// cards in its field, and relinking when the line fails in the middle of a
// call.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "sim/mifare_commands.h"
#include "sim/mifare_reader.h"
#include "support/sim_fixture.h"

namespace kulve::test {
namespace {

using Bytes = std::vector<unsigned char>;
using sim::MifareClassicCard;
namespace ms = sim::mifare_status;

constexpr sim::MifareKey kKeyA{0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5};

unsigned Serial(const sim::MifareUid& uid) {
  return unsigned{uid[0]} | unsigned{uid[1]} << 8 | unsigned{uid[2]} << 16 | unsigned{uid[3]} << 24;
}

Bytes ValueBytes(int value) {
  const auto v = static_cast<unsigned>(value);
  return {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8), static_cast<unsigned char>(v >> 16),
          static_cast<unsigned char>(v >> 24)};
}

// One simulated reader for the suite, linked once (each relink costs 1 s).
class MifareOverPty : public LinkedReaderSuite {
 protected:
  // A fresh reader module: the field holds the sample card only, keys reset.
  void SetUp() override {
    LinkedReaderSuite::SetUp();
    reader_->WithState([](sim::ReaderState& s) {
      s.mifare.reset();
      sim::PutSampleMifareCard(s);
    });
  }
  template <class F>
  decltype(auto) Field(F&& f) {
    return reader_->WithState([&](sim::ReaderState& s) { return f(sim::MifareOf(s)); });
  }
  Bytes CardBlock(std::size_t block, std::size_t card = 0) {
    return Field([&](sim::MifareReader& r) {
      const auto& b = r.field.at(card).Blocks()[block];
      return Bytes(b.begin(), b.end());
    });
  }
};

TEST_F(MifareOverPty, WholeCardReadMatchesTheCard) {
  Bytes expected;
  for (std::size_t block = 0; block < 64; ++block) {
    if (block % 4 == 3) continue;
    const Bytes b = CardBlock(block);
    expected.insert(expected.end(), b.begin(), b.end());
  }
  for (unsigned param : {0u, Serial(sim::kSampleUid)}) {
    Bytes card(768, 0x55);
    ASSERT_EQ(RFMifare_ReadBloca(0, param, card.data()), 0) << param;
    EXPECT_EQ(card, expected) << param;
  }
  // A serial number no card has: no card answers (status 1), the read stops.
  Bytes card(768, 0x55);
  EXPECT_EQ(RFMifare_ReadBloca(0, 0x01010101, card.data()), ms::kNoCard);
  EXPECT_EQ(Bytes(card.begin(), card.begin() + 48), Bytes(48, 0));
  EXPECT_EQ(Bytes(card.begin() + 48, card.end()), Bytes(720, 0x55));
}

// The library's dump: the sample card in 49 exchanges; a sector whose data
// only key B reads, with a key A and a key B of its own, read whole with
// both keys in its trailer; an empty field ends the dump at once.
TEST_F(MifareOverPty, DumpReadsEverySectorWithItsKeysAndStopsWithNoCard) {
  constexpr sim::MifareKey kKeyB{0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5};
  Bytes keys = {KULVE_MIFARE_EVERY_SECTOR, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  Bytes image(1024), status(16, 0x55);
  reader_->ClearRequests();
  ASSERT_EQ(MifareDumpCard(16, keys.data(), 7, image.data(), 1024, status.data(), 16), 0);
  EXPECT_EQ(reader_->Requests().size(), 49u);

  Field([&](sim::MifareReader& r) {
    r.field.at(0).SetTrailer(5, kKeyA, {3, 3, 3, 3}, kKeyB);
    r.field.at(0).Blocks()[21].fill(0x5B);
  });
  const Bytes own = {5, 0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 5, 0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5};
  keys.insert(keys.begin(), own.begin(), own.end());
  ASSERT_EQ(MifareDumpCard(16, keys.data(), static_cast<int>(keys.size()), image.data(), 1024, status.data(), 16), 0);
  EXPECT_EQ(status, Bytes(16, 0));
  for (std::size_t block = 0; block < 64; ++block) {
    EXPECT_EQ(Bytes(image.begin() + static_cast<long>(block * 16), image.begin() + static_cast<long>(block * 16 + 16)),
              CardBlock(block))
        << block;
  }

  Field([](sim::MifareReader& r) { r.field.clear(); });
  reader_->ClearRequests();
  EXPECT_EQ(MifareDumpCard(16, keys.data(), static_cast<int>(keys.size()), image.data(), 1024, status.data(), 16),
            ms::kNoCard);
  EXPECT_EQ(status, Bytes(16, ms::kNoCard));
  EXPECT_LT(reader_->Requests().size(), 20u);  // the key slots, the key mode, a try or two
}

TEST_F(MifareOverPty, WriteThenReadBack) {
  Bytes data(16);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<unsigned char>(0xD0 + i);
  Bytes echo = data;
  ASSERT_EQ(RFMifare_WriteBlock(9, 0, echo.data()), 0);
  EXPECT_EQ(echo, data);  // the block as it reads back
  Bytes read(16);
  ASSERT_EQ(RFMifare_ReadBlock(9, 0, read.data()), 0);
  EXPECT_EQ(read, data);
  EXPECT_EQ(CardBlock(9), data);

  // The single steps reach the same memory.
  unsigned char answer[4], serial[4];
  ASSERT_EQ(RFMifare_Request(0, answer), 0);
  EXPECT_EQ(Bytes(answer, answer + 4), (Bytes{0x04, 0x00, 0, 0}));
  ASSERT_EQ(RFMifare_AntiColl(serial), 0);
  ASSERT_EQ(RFMifare_Select(Serial({serial[0], serial[1], serial[2], serial[3]})), 0);
  ASSERT_EQ(RFMifare_Authentication(0, 10, 0), 0);  // key A, block 10, loaded key 0 (new cards' key)
  std::reverse(data.begin(), data.end());
  ASSERT_EQ(RFMifare_Write(10, data.data()), 0);
  ASSERT_EQ(RFMifare_Read(10, read.data()), 0);
  EXPECT_EQ(read, data);

  // Block 0 stays as it was made; a trailer shows key B but never key A.
  const Bytes maker = CardBlock(0);
  ASSERT_EQ(RFMifare_Authentication(0, 0, 0), 0);
  EXPECT_EQ(RFMifare_Write(0, data.data()), ms::kAccessDenied);
  EXPECT_EQ(CardBlock(0), maker);
  ASSERT_EQ(RFMifare_ReadBlock(3, 0, read.data()), 0);
  EXPECT_EQ(read, (Bytes{0, 0, 0, 0, 0, 0, 0xFF, 0x07, 0x80, 0x69, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST_F(MifareOverPty, ValueOperations) {
  Bytes value(4);
  ASSERT_EQ(RFMifare_ReadValue(4, 0, value.data()), 0);
  EXPECT_EQ(value, ValueBytes(100));  // the sample card's value block
  value = ValueBytes(1000);
  ASSERT_EQ(RFMifare_WriteValue(5, 0, value.data()), 0);
  EXPECT_EQ(value, ValueBytes(1000));
  const auto stored = MifareClassicCard::ValueBlock(1000, 5);
  EXPECT_EQ(CardBlock(5), Bytes(stored.begin(), stored.end()));
  value = ValueBytes(25);
  ASSERT_EQ(RFMifare_IncrementValue(5, 0, value.data()), 0);
  EXPECT_EQ(value, ValueBytes(1025));
  value = ValueBytes(1030);
  ASSERT_EQ(RFMifare_DecrementValue(5, 0, value.data()), 0);
  EXPECT_EQ(value, ValueBytes(-5));

  // The single steps, on the selected and authenticated card.
  unsigned char answer[4], serial[4];
  ASSERT_EQ(RFMifare_Request(1, answer), 0);
  ASSERT_EQ(RFMifare_AntiColl(serial), 0);
  ASSERT_EQ(RFMifare_Select(Serial({serial[0], serial[1], serial[2], serial[3]})), 0);
  ASSERT_EQ(RFMifare_Authentication(0, 5, 0), 0);
  ASSERT_EQ(RFMifare_Increment(5, 7), 0);
  ASSERT_EQ(RFMifare_Decrment(4, 100), 0);
  ASSERT_EQ(RFMifare_ReadValue(5, 0, value.data()), 0);
  EXPECT_EQ(value, ValueBytes(2));
  ASSERT_EQ(RFMifare_ReadValue(4, 0, value.data()), 0);
  EXPECT_EQ(value, ValueBytes(0));

  EXPECT_EQ(RFMifare_ReadValue(1, 0, value.data()), ms::kNotValueBlock);  // text, not a value
  EXPECT_EQ(value, Bytes(4, 0));
  value = ValueBytes(0x7FFFFFFF);
  ASSERT_EQ(RFMifare_WriteValue(6, 0, value.data()), 0);
  value = ValueBytes(1);
  EXPECT_EQ(RFMifare_IncrementValue(6, 0, value.data()), ms::kValueOverflow);
}

TEST_F(MifareOverPty, WrongKeyIsRefused) {
  Field([](sim::MifareReader& r) { r.field[0].SetTrailer(3, kKeyA, sim::kTransportConditions, kKeyA); });
  Bytes block(16, 0x55);
  EXPECT_EQ(RFMifare_ReadBlock(12, 0, block.data()), ms::kAuthFailed);  // slot 3 holds the new cards' key
  EXPECT_EQ(block, Bytes(16, 0));
  ASSERT_EQ(RFMifare_TransKey(3, kKeyA.data()), 0);
  EXPECT_EQ(RFMifare_ReadBlock(12, 0, block.data()), 0);
  EXPECT_EQ(RFMifare_ReadBlock(16, 0, block.data()), 0);  // sector 4 still opens with its own slot

  // Key B of a new card may be read, so it opens nothing.
  ASSERT_EQ(RFMifare_Authmode(1), 0);
  EXPECT_EQ(RFMifare_ReadBlock(16, 0, block.data()), ms::kAccessDenied);
  ASSERT_EQ(RFMifare_Authmode(0), 0);

  // The single steps: a wrong loaded key, and the card leaves the session.
  unsigned char answer[4], serial[4];
  ASSERT_EQ(RFMifare_Request(0, answer), 0);
  ASSERT_EQ(RFMifare_AntiColl(serial), 0);
  ASSERT_EQ(RFMifare_Select(Serial(sim::kSampleUid)), 0);
  EXPECT_EQ(RFMifare_Authentication(0, 12, 5), ms::kAuthFailed);
  EXPECT_EQ(RFMifare_Read(12, block.data()), ms::kNoCard);

  // Changing a key through the reader: the old key stops working.
  const sim::MifareKey fresh{1, 2, 3, 4, 5, 6};
  ASSERT_EQ(RFMifare_WriteKey(5, 0, fresh.data(), 0), 0);
  EXPECT_EQ(RFMifare_ReadBlock(20, 0, block.data()), ms::kAuthFailed);
  ASSERT_EQ(RFMifare_TransKey(5, fresh.data()), 0);
  EXPECT_EQ(RFMifare_ReadBlock(20, 0, block.data()), 0);
  EXPECT_EQ(CardBlock(23), (Bytes{1, 2, 3, 4, 5, 6, 0xFF, 0x07, 0x80, 0x69, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST_F(MifareOverPty, AnticollisionWithTwoCards) {
  const sim::MifareUid first{0x11, 0x22, 0x33, 0x44}, second{0x11, 0x22, 0x33, 0x55};
  Field([&](sim::MifareReader& r) {
    r.field.clear();
    r.field.emplace_back(first);
    r.field.emplace_back(second);
  });
  unsigned char answer[4], serial[4];
  auto found = [&] { return sim::MifareUid{serial[0], serial[1], serial[2], serial[3]}; };

  ASSERT_EQ(RFMifare_Request(0, answer), 0);
  ASSERT_EQ(RFMifare_AntiColl(serial), 0);
  EXPECT_EQ(found(), second);  // they differ first at bit 0 of byte 3: the card with a 1 goes on
  ASSERT_EQ(RFMifare_Select(Serial(found())), 0);
  ASSERT_EQ(RFMifare_Halt(), 0);
  ASSERT_EQ(RFMifare_Request(0, answer), 0);  // the halted card keeps quiet
  ASSERT_EQ(RFMifare_AntiColl(serial), 0);
  EXPECT_EQ(found(), first);
  ASSERT_EQ(RFMifare_Select(Serial(found())), 0);
  EXPECT_EQ(RFMifare_Select(Serial(second)), ms::kNoCard);  // halted, not ready

  // The high-level commands pick the card by serial number.
  Bytes block(16);
  for (const auto& uid : {first, second}) {
    ASSERT_EQ(RFMifare_ReadBlock(0, Serial(uid), block.data()), 0);
    EXPECT_EQ(Bytes(block.begin(), block.begin() + 4), Bytes(uid.begin(), uid.end()));
  }
  Field([](sim::MifareReader& r) { r.field.clear(); });
  EXPECT_EQ(RFMifare_GetSnr(serial), ms::kNoCard);
  EXPECT_EQ(Bytes(serial, serial + 4), Bytes(4, 0));
}

// A reader of our own per test: these tests break the line.
class MifareRelinkOverPty : public SimulatorTest {
 protected:
  void SetUp() override {
    SimulatorTest::SetUp();
    reader->WithState([](sim::ReaderState& s) { sim::PutSampleMifareCard(s); });
    ASSERT_EQ(LinkCom(0), 0);
    reader->ClearRequests();
  }
  std::vector<std::uint8_t> Codes() {
    std::vector<std::uint8_t> codes;
    for (const auto& request : reader->Requests()) codes.push_back(request.code);
    return codes;
  }
};

TEST_F(MifareRelinkOverPty, LineFaultInTheMiddleOfACallIsRepeated) {
  reader->InjectFault({sim::FaultKind::kSilent, sim::ReaderByte::kStatus},
                      sim::FaultTrigger::NextWithCode(sim::code::kMifareReadBlock));
  Bytes block(16, 0x55);
  EXPECT_EQ(RFMifare_ReadBlock(1, 0, block.data()), 0);
  EXPECT_EQ(block, Bytes({'K', 'U', 'L', 'V', 'E', '3', '2', ' ', 's', 'a', 'm', 'p', 'l', 'e', ' ', ' '}));
  const auto requests = reader->Requests();
  ASSERT_EQ(Codes(), (std::vector<std::uint8_t>{0xAC, 0x00, 0xAC}));  // request, the relink's probe, repeat
  EXPECT_EQ(requests[0], requests[2]);
  EXPECT_EQ(ComBaudRate(), 57600);
}

// After the application's own UnLinkCom a Mifare call reopens the port by
// itself (documented beside UnLinkCom); other calls find it closed.
TEST_F(MifareRelinkOverPty, MifareCallAfterUnLinkComRelinks) {
  ASSERT_EQ(UnLinkCom(), 0);
  EXPECT_EQ(PowerOn(), KULVE_LINK_HASH_NOT_WRITTEN);
  Bytes block(16, 0x55);
  EXPECT_EQ(RFMifare_ReadBlock(1, 0, block.data()), 0);
  EXPECT_EQ(Codes(), (std::vector<std::uint8_t>{0x00, 0xAC}));  // the relink's probe, then the request
  EXPECT_EQ(PowerOn(), 0);
}

TEST_F(MifareRelinkOverPty, ThreeTriesAtMostAndAboutSixSecondsForAReaderThatIsGone) {
  reader->InjectFault({sim::FaultKind::kSilent, sim::ReaderByte::kAck},
                      sim::FaultTrigger::EveryWithCode(sim::code::kMifareHalt));
  int result = 0;
  long ms = TimedMs([&] { result = RFMifare_Halt(); });
  EXPECT_EQ(result, KULVE_LINK_NO_ACK);
  EXPECT_EQ(Codes(), (std::vector<std::uint8_t>{0xBD, 0x00, 0xBD, 0x00, 0xBD}));
  EXPECT_LT(ms, kHangMs);

  // A reader that answers nothing at all, not even the probes.
  reader->ClearFaults();
  reader->InjectFault({sim::FaultKind::kSilent, sim::ReaderByte::kStart}, sim::FaultTrigger::EveryExchange());
  unsigned char serial[4] = {1, 2, 3, 4};
  ms = TimedMs([&] { result = RFMifare_GetSnr(serial); });
  EXPECT_EQ(result, KULVE_LINK_NO_ANSWER);
  EXPECT_EQ(Bytes(serial, serial + 4), Bytes(4, 0));
  EXPECT_LT(ms, kHangMs);
}

TEST_F(MifareRelinkOverPty, PacedReaderKeepsToTheLineTime) {
  sim::SimulatorOptions options;
  options.pace = true;
  reader = std::make_unique<sim::Simulator>(options);
  reader->Start();
  reader->WithState([](sim::ReaderState& s) { sim::PutSampleMifareCard(s); });
  ASSERT_EQ(SetComPortPath(0, LinkPath(*reader).c_str()), 0);
  ASSERT_EQ(LinkCom(0), 0);
  const std::uint64_t before = reader->LineBytes();
  Bytes card(768);
  int result = -1;
  const long ms = TimedMs([&] { result = RFMifare_ReadBloca(0, 0, card.data()); });
  ASSERT_EQ(result, 0);
  const std::uint64_t bytes = reader->LineBytes() - before;
  EXPECT_EQ(bytes, 16u * (10 + 5 + 48));  // '#', 'E', code, length, data, checksum, 'g', 0x89, reply
  EXPECT_GE(ms, static_cast<long>(bytes * 10 * 1000 / 57600));
}

}  // namespace
}  // namespace kulve::test

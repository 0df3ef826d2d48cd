// SPDX-License-Identifier: MIT
// The storage-card commands of the contactless slot, over a fake card.
#include "pcsc/storage_card.h"

#include <gtest/gtest.h>

#include "pcsc/memory_card_slot.h"
#include "pcsc/apdu_shape.h"
#include "pcsc/contactless_atr.h"
#include "pcsc/ifd_driver.h"
#include "tests/pcsc/fake_backend.h"

namespace kulve::pcsc {
namespace {

using testing::FakeReader;
using testing::Hex;
using testing::Text;

struct Exchange {
  const char* apdu;
  const char* answer;  // data and status word
};

struct Session {
  const char* name;
  std::vector<Exchange> exchanges;
};

// Each session starts with a powered card DE AD BE EF whose sectors all take
// the key FF..FF, key 0 loaded with it and key 1 with A0..A5.
const Session kSessions[] = {
    {"UID",
     {{"FF CA 00 00 00", "DE AD BE EF 90 00"},
      {"FF CA 00 00 04", "DE AD BE EF 90 00"},
      {"FF CA 00 00 02", "6C 04"},
      {"FF CA 00 00 08", "DE AD BE EF 62 82"},
      {"FF CA 01 00 00", "6A 81"},
      {"FF CA 02 00 00", "08 90 00"},     // SAK of a 1K card, as libnfc reads it
      {"FF CA 03 00 00", "00 04 90 00"},  // ATQA, most significant byte first
      {"FF CA 04 00 00", "6A 86"},
      {"FF CA 00 01 00", "6A 86"}}},
    {"keys refused",
     {{"FF 82 00 10 06 FF FF FF FF FF FF", "69 88"},
      {"FF 82 80 00 06 FF FF FF FF FF FF", "69 83"},
      {"FF 82 10 00 06 FF FF FF FF FF FF", "69 85"},
      {"FF 82 00 00 05 FF FF FF FF FF", "69 89"},
      {"FF 86 00 00 05 01 00 04 60 07", "69 88"},  // key 7 never loaded
      {"FF 86 00 00 05 01 00 04 62 00", "6A 86"},  // neither key A nor key B
      {"FF 86 00 00 04 01 00 04 60", "67 00"}}},
    {"authentication and blocks",
     {{"FF B0 00 04 10", "69 82"},
      {"FF 86 00 00 05 01 00 04 60 01", "63 00"},  // wrong key: the card goes quiet
      {"FF B0 00 04 10", "69 82"},
      {"FF 86 00 00 05 01 00 04 61 00", "90 00"},  // woken, selected, key B 0
      {"FF D6 00 04 10 00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF", "90 00"},
      {"FF B0 00 04 10", "00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF 90 00"},
      {"FF B0 00 04 00", "00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF 90 00"},
      {"FF B0 00 04 05", "6C 10"},
      {"FF B0 00 08 10", "69 82"},
      {"FF D6 00 04 0F 00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE", "67 00"},
      {"FF 88 00 08 60 00", "90 00"},  // the older form
      {"FF B0 00 08 10", "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 90 00"}}},
    {"value blocks",
     {{"FF 86 00 00 05 01 00 05 60 00", "90 00"},
      {"FF D7 00 05 05 00 00 00 00 64", "90 00"},
      {"FF B0 00 05 10", "64 00 00 00 9B FF FF FF 64 00 00 00 05 FA 05 FA 90 00"},
      {"FF D7 00 05 05 01 00 00 01 00", "90 00"},
      {"FF D7 00 05 05 02 00 00 00 05", "90 00"},
      {"FF B1 00 05 04", "00 00 01 5F 90 00"},
      {"FF D7 00 05 02 03 06", "90 00"},
      {"FF B1 00 06 00", "00 00 01 5F 90 00"},
      {"FF B1 00 04 04", "63 00"},  // not a value block
      {"FF D7 00 05 05 07 00 00 00 01", "6A 86"}}},
    {"other classes and instructions",
     {{"00 A4 04 00 00", "6E 00"}, {"FF 00 00 00 00", "6D 00"}, {"FF CA", "67 00"}}},
};

class StorageCardCommands : public ::testing::TestWithParam<Session> {};

TEST_P(StorageCardCommands, AnswerAsPcscReadersDo) {
  FakeReader card;
  StorageCardSlot slot(card);
  Bytes atr;
  ASSERT_EQ(slot.PowerUp(atr), Outcome::kOk);
  Bytes response;
  ASSERT_EQ(slot.Transmit(Hex("FF 82 00 00 06 FF FF FF FF FF FF"), response), Outcome::kOk);
  ASSERT_EQ(slot.Transmit(Hex("FF 82 20 01 06 A0 A1 A2 A3 A4 A5"), response), Outcome::kOk);
  for (const Exchange& e : GetParam().exchanges) {
    EXPECT_EQ(slot.Transmit(Hex(e.apdu), response), Outcome::kOk) << e.apdu;
    EXPECT_EQ(Text(response), Text(Hex(e.answer))) << e.apdu;
  }
}

INSTANTIATE_TEST_SUITE_P(Sessions, StorageCardCommands, ::testing::ValuesIn(kSessions),
                         [](const auto& param) {
                           std::string name = param.param.name;
                           for (char& c : name) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                           return name;
                         });

TEST(StorageCardSlot, CardThatLeavesIsReportedNotAnswered) {
  FakeReader card;
  StorageCardSlot slot(card);
  Bytes atr, response;
  ASSERT_EQ(slot.PowerUp(atr), Outcome::kOk);
  ASSERT_EQ(slot.Transmit(Hex("FF 82 00 00 06 FF FF FF FF FF FF"), response), Outcome::kOk);
  ASSERT_EQ(slot.Transmit(Hex("FF 86 00 00 05 01 00 04 60 00"), response), Outcome::kOk);
  card.cardInField = false;
  EXPECT_EQ(slot.Transmit(Hex("FF B0 00 04 10"), response), Outcome::kNoCard);
  EXPECT_EQ(slot.PowerUp(atr), Outcome::kNoCard);
  EXPECT_TRUE(atr.empty());
}

TEST(StorageCardSlot, AnotherCardInTheFieldIsNotAuthenticatedAsTheFirst) {
  FakeReader card;
  StorageCardSlot slot(card);
  Bytes atr, response;
  ASSERT_EQ(slot.PowerUp(atr), Outcome::kOk);
  ASSERT_EQ(slot.Transmit(Hex("FF 82 00 01 06 00 00 00 00 00 00"), response), Outcome::kOk);
  ASSERT_EQ(slot.Transmit(Hex("FF 86 00 00 05 01 00 04 60 01"), response), Outcome::kOk);
  EXPECT_EQ(Text(response), "63 00");
  card.uid = {1, 2, 3, 4};  // swapped while the first card was quiet
  ASSERT_EQ(slot.Transmit(Hex("FF 82 00 00 06 FF FF FF FF FF FF"), response), Outcome::kOk);
  EXPECT_EQ(slot.Transmit(Hex("FF 86 00 00 05 01 00 04 60 00"), response), Outcome::kNoCard);
}

// A memory card through the storage-card commands: the code guards writes,
// a wrong one costs an attempt, the card's removal shows at the next command.
TEST(MemoryCardSlot, ReadWriteAndTheCode) {
  FakeReader card;
  card.memoryCard = 0xFF;  // none selected yet
  MemoryCardSlot slot(card);
  Bytes atr, response;
  ASSERT_EQ(slot.PowerUp(atr), Outcome::kOk);
  EXPECT_EQ(Text(atr), "3B 8F 80 01 80 4F 0C A0 00 00 03 06 00 FF FF 00 00 00 00 68");
  const Exchange rows[] = {
      {"FF A4 00 00 01 0F", "90 00"},
      {"FF D6 00 10 02 AA BB", "63 00"},  // before the code
      {"FF 20 00 00 02 12 34", "63 00"},
      {"FF B1 00 00 02", "00 02 90 00"},
      {"FF 20 00 00 02 FF FF", "90 00"},
      {"FF D6 00 10 02 AA BB", "90 00"},
      {"FF B0 00 0F 04", "00 AA BB 00 90 00"},
      {"FF 0E 00 10 01 01", "90 00"},
      {"FF B0 00 10 02", "FF BB 90 00"},
      {"FF 24 00 00 02 A7 5C", "90 00"},
      {"FF B0 01 00 02", "67 00"},  // beyond the card
      {"FF B0 00 00", "67 00"},
      {"FF 20 01 00 02 A7 5C", "6A 86"},
      {"FF CA 00 00 00", "6D 00"},
      {"00 A4 04 00 02 3F 00", "6E 00"},  // an ISO APDU
  };
  for (const Exchange& row : rows) {
    ASSERT_EQ(slot.Transmit(Hex(row.apdu), response), Outcome::kOk) << row.apdu;
    EXPECT_EQ(Text(response), row.answer) << row.apdu;
  }
  EXPECT_EQ(card.code, Hex("A7 5C"));
  card.memoryCard.reset();
  EXPECT_EQ(slot.Transmit(Hex("FF B0 00 00 02"), response), Outcome::kNoCard);
}

// The ATR of a contactless storage card, against ATRs such readers report.
TEST(ContactlessAtr, MatchesTheAtrsReadersReport) {
  struct Row {
    std::uint8_t atqaLow, atqaHigh;
    const char* atr;
  };
  const Row rows[] = {
      {0x04, 0x00, "3B 8F 80 01 80 4F 0C A0 00 00 03 06 03 00 01 00 00 00 00 6A"},  // Mifare Classic 1K
      {0x02, 0x00, "3B 8F 80 01 80 4F 0C A0 00 00 03 06 03 00 02 00 00 00 00 69"},  // Mifare Classic 4K
      {0x44, 0x00, "3B 8F 80 01 80 4F 0C A0 00 00 03 06 03 00 03 00 00 00 00 68"},  // Mifare Ultralight
  };
  for (const Row& row : rows) {
    const auto atr = StorageCardAtr(kStandardIso14443APart3, NameFromAtqa(row.atqaLow, row.atqaHigh));
    EXPECT_EQ(Text(atr), row.atr);
  }
}

TEST(ApduShape, FourCasesShortOnly) {
  struct Row {
    const char* apdu;
    ApduShapeError error;
    std::size_t dataSize;
    std::size_t expected;  // Le as a count
  };
  const Row rows[] = {
      {"00 A4 00 00", ApduShapeError::kNone, 0, 0},
      {"00 B0 00 00 10", ApduShapeError::kNone, 0, 16},
      {"00 B0 00 00 00", ApduShapeError::kNone, 0, 256},
      {"00 D6 00 00 02 AA BB", ApduShapeError::kNone, 2, 0},
      {"00 A4 04 00 02 AA BB 00", ApduShapeError::kNone, 2, 256},
      {"00 B0 00 00 00 01 00", ApduShapeError::kExtended, 0, 0},
      {"00 B0 00", ApduShapeError::kMalformed, 0, 0},
      {"00 D6 00 00 03 AA BB", ApduShapeError::kMalformed, 0, 0},
      {"00 D6 00 00 01 AA BB CC", ApduShapeError::kMalformed, 0, 0},
  };
  for (const Row& row : rows) {
    ApduShapeError error{};
    const Bytes apdu = Hex(row.apdu);
    const auto shape = ParseShortApdu(apdu, error);
    EXPECT_EQ(error, row.error) << row.apdu;
    EXPECT_EQ(shape.has_value(), row.error == ApduShapeError::kNone) << row.apdu;
    if (shape) {
      EXPECT_EQ(shape->data.size(), row.dataSize) << row.apdu;
      EXPECT_EQ(ExpectedLength(*shape), row.expected) << row.apdu;
    }
  }
}

TEST(FirstProtocol, OnlyTd1Counts) {
  const std::pair<const char*, DWORD> rows[] = {
      {"3B 6A 00 00 4B 55", SCARD_PROTOCOL_T0},
      {"3B 9F 95 81 31 FE", SCARD_PROTOCOL_T1},
      {"3B F0 12 00 FF 91 81", SCARD_PROTOCOL_T1},
      {"3B E9 00 00 80 31", SCARD_PROTOCOL_T0},
      {"3B 80", SCARD_PROTOCOL_T0},  // TD1 announced, not received
      {"3B", SCARD_PROTOCOL_T0},
  };
  for (const auto& [atr, protocol] : rows) EXPECT_EQ(FirstProtocol(Hex(atr)), protocol) << atr;
}

}  // namespace
}  // namespace kulve::pcsc

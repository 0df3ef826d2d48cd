// SPDX-License-Identifier: MIT
// The IFD handler's slot and channel bookkeeping over a fake reader: the
// result codes pcscd expects for bad input, a lost card or a lost reader.
#include "pcsc/ifd_driver.h"

#include <gtest/gtest.h>

#include <thread>
#include <tuple>

#include "tests/pcsc/fake_backend.h"

namespace kulve::pcsc {
namespace {

using testing::FakeReader;
using testing::Hex;

// The reader the next channel gets; the factory hands it over.
FakeReader* nextReader = nullptr;

std::unique_ptr<ReaderBackend> FakeFactory(const std::string& device, std::string& why) {
  if (device == "/nowhere" || nextReader == nullptr) {
    why = "nothing there";
    return nullptr;
  }
  std::unique_ptr<ReaderBackend> made(nextReader);
  nextReader = nullptr;
  return made;
}

constexpr DWORD kReader = 0x00020000;  // pcscd's reader 2
constexpr DWORD Lun(std::size_t slot) { return kReader | static_cast<DWORD>(slot); }
const Bytes kCpuAtr = Hex("3B 9A 95 81 31 FE 45 4B 55 4C 56 45 2D 43 50 55 31 1F");
const Bytes kSamAtr = Hex("3B 6A 00 00 4B 55 4C 56 45 2D 53 41 4D 31");

class Driver : public ::testing::Test {
 protected:
  // probeInterval: 0 asks an unpowered slot on every poll; a day, only once.
  void Open(IfdDriver::Clock::duration probeInterval = std::chrono::hours(24), const char* device = "/dev/ttyKULVE",
            IfdDriver::Clock::duration mapInterval = std::chrono::hours(24)) {
    reader = new FakeReader;
    reader->destroyed = &destroyed;
    reader->chips[0] = FakeReader::ChipCard{kCpuAtr};
    reader->chips[1] = FakeReader::ChipCard{kSamAtr};
    driver = std::make_unique<IfdDriver>(&FakeFactory, probeInterval, mapInterval);
    nextReader = reader;
    device_ = device;
    for (std::size_t slot = 0; slot < kSlotCount; ++slot) {
      ASSERT_EQ(driver->CreateChannel(Lun(slot), device), IFD_SUCCESS);
    }
  }
  void TearDown() override {
    if (driver && !destroyed) {
      for (std::size_t slot = 0; slot < kSlotCount; ++slot) driver->CloseChannel(Lun(slot));
    }
  }
  RESPONSECODE Escape(std::size_t slot, const Bytes& command) {
    DWORD returned = 0;
    return driver->Control(Lun(slot), kEscapeControlCode, command.data(), static_cast<DWORD>(command.size()), rx,
                           sizeof rx, &returned);
  }
  std::string device_;
  RESPONSECODE Power(std::size_t slot, DWORD action = IFD_POWER_UP) {
    atrLength = sizeof atr;
    return driver->PowerIcc(Lun(slot), action, atr, &atrLength);
  }
  RESPONSECODE Send(std::size_t slot, const Bytes& apdu, DWORD room = sizeof rx) {
    rxLength = room;
    return driver->Transmit(Lun(slot), apdu.data(), static_cast<DWORD>(apdu.size()), rx, &rxLength);
  }

  bool destroyed = false;
  FakeReader* reader = nullptr;
  std::unique_ptr<IfdDriver> driver;
  UCHAR atr[MAX_ATR_SIZE];
  DWORD atrLength = 0;
  UCHAR rx[300];
  DWORD rxLength = 0;
};

TEST_F(Driver, OpensThePortOnceAndReleasesItWithTheLastSlot) {
  Open();
  EXPECT_EQ(driver->CreateChannel(Lun(0) + 0x10000, "/nowhere"), IFD_COMMUNICATION_ERROR);
  EXPECT_EQ(driver->CreateChannel(Lun(0) + 0x30000, "/dev/ttyLATER"), IFD_COMMUNICATION_ERROR);  // no reader yet
  nextReader = new FakeReader;
  EXPECT_EQ(driver->CreateChannel(Lun(0) + 0x30000, "/dev/ttyLATER"), IFD_SUCCESS);  // a failed open left nothing
  EXPECT_EQ(driver->CloseChannel(Lun(0) + 0x30000), IFD_SUCCESS);
  EXPECT_EQ(driver->CreateChannel(Lun(1), "/dev/ttyOTHER"), IFD_COMMUNICATION_ERROR);
  for (std::size_t slot = 0; slot + 1 < kSlotCount; ++slot) {
    EXPECT_EQ(driver->CloseChannel(Lun(slot)), IFD_SUCCESS);
    EXPECT_FALSE(destroyed);
  }
  EXPECT_EQ(driver->CloseChannel(Lun(kSlotCount - 1)), IFD_SUCCESS);
  EXPECT_TRUE(destroyed);
  EXPECT_EQ(driver->CloseChannel(Lun(0)), IFD_COMMUNICATION_ERROR);
  EXPECT_EQ(driver->Presence(Lun(0)), IFD_COMMUNICATION_ERROR);
}

// Every entry point refuses a Lun outside the reader's six slots, a reader
// that was never opened, and missing buffers, with a code and nothing sent.
TEST_F(Driver, RefusesLunsAndBuffersItDoesNotKnow) {
  Open();
  const DWORD bad[] = {Lun(kSlotCount), Lun(0xFFFF), 0x00070000};
  for (DWORD lun : bad) {
    DWORD length = sizeof atr;
    DWORD returned = 5;
    const UCHAR apdu[] = {0x00, 0x84, 0x00, 0x00, 0x08};
    EXPECT_EQ(driver->CreateChannel(lun, lun == 0x00070000 ? nullptr : "/dev/ttyKULVE"), IFD_COMMUNICATION_ERROR);
    EXPECT_EQ(driver->PowerIcc(lun, IFD_POWER_UP, atr, &length), IFD_COMMUNICATION_ERROR);
    EXPECT_EQ(length, 0u);
    rxLength = sizeof rx;
    EXPECT_EQ(driver->Transmit(lun, apdu, sizeof apdu, rx, &rxLength), IFD_COMMUNICATION_ERROR);
    EXPECT_EQ(rxLength, 0u);
    EXPECT_EQ(driver->Presence(lun), IFD_COMMUNICATION_ERROR);
    EXPECT_EQ(driver->GetCapabilities(lun, TAG_IFD_SLOTS_NUMBER, &length, atr), IFD_COMMUNICATION_ERROR);
    EXPECT_EQ(driver->Control(lun, kEscapeControlCode, apdu, 1, rx, sizeof rx, &returned), IFD_COMMUNICATION_ERROR);
    EXPECT_EQ(returned, 0u);
  }
  EXPECT_EQ(driver->PowerIcc(Lun(0), IFD_POWER_UP, nullptr, &atrLength), IFD_COMMUNICATION_ERROR);
  EXPECT_EQ(driver->Transmit(Lun(0), nullptr, 5, rx, &rxLength), IFD_COMMUNICATION_ERROR);
  EXPECT_EQ(driver->Transmit(Lun(0), rx, 5, rx, nullptr), IFD_COMMUNICATION_ERROR);
  EXPECT_EQ(reader->steps, 0);
}

TEST_F(Driver, Capabilities) {
  Open();
  struct Row {
    DWORD tag;
    DWORD room;
    RESPONSECODE rv;
    DWORD length;
    UCHAR value;
  };
  const Row rows[] = {
      {TAG_IFD_SLOTS_NUMBER, 4, IFD_SUCCESS, 1, 6},
      {TAG_IFD_SLOT_THREAD_SAFE, 4, IFD_SUCCESS, 1, 1},
      {TAG_IFD_THREAD_SAFE, 4, IFD_SUCCESS, 1, 1},
      {TAG_IFD_SIMULTANEOUS_ACCESS, 4, IFD_SUCCESS, 1, 16},
      {TAG_IFD_SLOTS_NUMBER, 0, IFD_ERROR_INSUFFICIENT_BUFFER, 0, 0},
      {TAG_IFD_POLLING_THREAD_WITH_TIMEOUT, 8, IFD_ERROR_TAG, 8, 0},
  };
  for (const Row& row : rows) {
    DWORD length = row.room;
    UCHAR value[8] = {};
    EXPECT_EQ(driver->GetCapabilities(Lun(0), row.tag, &length, value), row.rv) << row.tag;
    EXPECT_EQ(length, row.length) << row.tag;
    EXPECT_EQ(value[0], row.value) << row.tag;
    EXPECT_EQ(driver->SetCapabilities(Lun(0), row.tag),
              row.tag == TAG_IFD_POLLING_THREAD_WITH_TIMEOUT ? IFD_ERROR_TAG : IFD_ERROR_VALUE_READ_ONLY);
  }
  EXPECT_EQ(driver->SetCapabilities(Lun(kSlotCount), TAG_IFD_SLOTS_NUMBER), IFD_COMMUNICATION_ERROR);
  ASSERT_EQ(Power(0), IFD_SUCCESS);
  DWORD length = 4;
  EXPECT_EQ(driver->GetCapabilities(Lun(0), TAG_IFD_ATR, &length, atr), IFD_ERROR_INSUFFICIENT_BUFFER);
  length = sizeof atr;
  EXPECT_EQ(driver->GetCapabilities(Lun(0), TAG_IFD_ATR, &length, atr), IFD_SUCCESS);
  EXPECT_EQ(Bytes(atr, atr + length), kCpuAtr);
}

TEST_F(Driver, PowerAndProtocolPerSlot) {
  Open();
  ASSERT_EQ(Power(0), IFD_SUCCESS);
  EXPECT_EQ(Bytes(atr, atr + atrLength), kCpuAtr);
  ASSERT_EQ(Power(1, IFD_RESET), IFD_SUCCESS);
  EXPECT_EQ(driver->SetProtocolParameters(Lun(0), SCARD_PROTOCOL_T1), IFD_SUCCESS);
  EXPECT_EQ(driver->SetProtocolParameters(Lun(0), SCARD_PROTOCOL_T0), IFD_PROTOCOL_NOT_SUPPORTED);
  EXPECT_EQ(driver->SetProtocolParameters(Lun(1), SCARD_PROTOCOL_T0), IFD_SUCCESS);
  EXPECT_EQ(driver->SetProtocolParameters(Lun(2), SCARD_PROTOCOL_T0), IFD_ICC_NOT_PRESENT);
  EXPECT_EQ(Power(2), IFD_ERROR_POWER_ACTION);  // empty slot
  EXPECT_EQ(atrLength, 0u);
  reader->chips[3] = FakeReader::ChipCard{Bytes(40, 0x3B)};  // longer than any ATR may be
  EXPECT_EQ(Power(3), IFD_ERROR_POWER_ACTION);
  EXPECT_EQ(atrLength, 0u);
  ASSERT_EQ(Power(5), IFD_SUCCESS);
  EXPECT_EQ(atrLength, 20u);
  EXPECT_EQ(Power(0, IFD_POWER_DOWN), IFD_SUCCESS);
  EXPECT_EQ(atrLength, 0u);
  EXPECT_EQ(Send(0, Hex("00 84 00 00 08")), IFD_ICC_NOT_PRESENT);
}

// A memory card in the CPU card slot: a storage card, its removal told by
// the next command.
TEST_F(Driver, MemoryCardInTheCpuCardSlot) {
  Open();
  reader->chips[0].reset();
  reader->memoryCard = 0x0F;
  ASSERT_EQ(Power(0), IFD_SUCCESS);
  EXPECT_EQ(Bytes(atr + 12, atr + 15), Hex("00 FF 0F"));
  DWORD length = 1;
  EXPECT_EQ(driver->GetCapabilities(Lun(0), SCARD_ATTR_ICC_TYPE_PER_ATR, &length, rx), IFD_SUCCESS);
  EXPECT_EQ(rx[0], 2);  // ISO/IEC 7816 synchronous
  ASSERT_EQ(Send(0, Hex("FF B1 00 00 02")), IFD_SUCCESS);
  EXPECT_EQ(Bytes(rx, rx + rxLength), Hex("00 03 90 00"));
  reader->memoryCard.reset();
  EXPECT_EQ(Send(0, Hex("FF B0 00 00 10")), IFD_ICC_NOT_PRESENT);
  EXPECT_EQ(driver->Presence(Lun(0)), IFD_ICC_NOT_PRESENT);
}

TEST_F(Driver, TransmitResults) {
  Open();
  ASSERT_EQ(Power(0), IFD_SUCCESS);
  struct Row {
    const char* what;
    Outcome outcome;
    DWORD room;
    RESPONSECODE rv;
    DWORD length;
  };
  const Row rows[] = {
      {"answer", Outcome::kOk, 300, IFD_SUCCESS, 10},
      {"answer larger than the buffer", Outcome::kOk, 9, IFD_ERROR_INSUFFICIENT_BUFFER, 0},
      {"APDU too long", Outcome::kTooLong, 300, IFD_COMMUNICATION_ERROR, 0},
      {"malformed APDU", Outcome::kBadRequest, 300, IFD_COMMUNICATION_ERROR, 0},
      {"mute card", Outcome::kCardError, 300, IFD_COMMUNICATION_ERROR, 0},
      {"reader gone", Outcome::kLinkLost, 300, IFD_COMMUNICATION_ERROR, 0},
  };
  for (const Row& row : rows) {
    reader->chips[0]->transmitOutcome = row.outcome;
    reader->chips[0]->answer = Hex("01 02 03 04 05 06 07 08 90 00");
    EXPECT_EQ(Send(0, Hex("00 84 00 00 08"), row.room), row.rv) << row.what;
    EXPECT_EQ(rxLength, row.length) << row.what;
    EXPECT_EQ(driver->Presence(Lun(0)), IFD_ICC_PRESENT) << row.what;
  }
}

// A card in use is never disturbed by presence polls; an unused slot is
// asked (a reset) no more often than the probe interval allows.
TEST_F(Driver, PresenceAsksOnlyUnusedSlots) {
  Open();
  ASSERT_EQ(Power(0), IFD_SUCCESS);
  ASSERT_EQ(Power(5), IFD_SUCCESS);
  const int steps = reader->steps;
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(driver->Presence(Lun(0)), IFD_ICC_PRESENT);
    EXPECT_EQ(driver->Presence(Lun(5)), IFD_ICC_PRESENT);
  }
  EXPECT_EQ(reader->steps, steps);
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(driver->Presence(Lun(1)), IFD_ICC_PRESENT);
    EXPECT_EQ(driver->Presence(Lun(2)), IFD_ICC_NOT_PRESENT);
  }
  EXPECT_EQ(reader->resets, 1 + 2);  // the power-up, then one probe each
}

TEST_F(Driver, UnusedSlotsFollowInsertionAndRemoval) {
  Open(std::chrono::seconds(0));
  EXPECT_EQ(driver->Presence(Lun(2)), IFD_ICC_NOT_PRESENT);
  reader->chips[2] = FakeReader::ChipCard{kSamAtr};
  EXPECT_EQ(driver->Presence(Lun(2)), IFD_ICC_PRESENT);
  reader->chips[2].reset();
  EXPECT_EQ(driver->Presence(Lun(2)), IFD_ICC_NOT_PRESENT);
  reader->cardInField = false;
  EXPECT_EQ(driver->Presence(Lun(5)), IFD_ICC_NOT_PRESENT);
  reader->linkOutcome = Outcome::kLinkLost;
  EXPECT_EQ(driver->Presence(Lun(1)), IFD_COMMUNICATION_ERROR);
  EXPECT_EQ(Power(1), IFD_COMMUNICATION_ERROR);
}

// A card that leaves while in use: the command says so, and the next poll
// reports the slot empty once even though a new card already sits there,
// so pcscd sees the removal and powers the new card itself.
TEST_F(Driver, CardLeavingInUseIsReportedOnce) {
  Open();
  ASSERT_EQ(Power(1), IFD_SUCCESS);
  reader->chips[1]->transmitOutcome = Outcome::kCardChanged;
  EXPECT_EQ(Send(1, Hex("00 84 00 00 08")), IFD_ICC_NOT_PRESENT);
  EXPECT_EQ(driver->Presence(Lun(1)), IFD_ICC_NOT_PRESENT);
  EXPECT_EQ(driver->Presence(Lun(1)), IFD_ICC_PRESENT);
  EXPECT_EQ(Send(1, Hex("00 84 00 00 08")), IFD_ICC_NOT_PRESENT);  // not powered again yet
}

TEST_F(Driver, EscapeCarriesRawReaderCommands) {
  Open(std::chrono::hours(24), "/dev/ttyKULVE:escape");
  DWORD returned = 0;
  const UCHAR version[] = {0x22, 0x01};
  ASSERT_EQ(driver->Control(Lun(3), kEscapeControlCode, version, 2, rx, sizeof rx, &returned), IFD_SUCCESS);
  EXPECT_EQ(Bytes(rx, rx + returned), Hex("00 56 31"));
  EXPECT_EQ(reader->lastRawData, Hex("01"));
  const std::tuple<DWORD, DWORD, DWORD, RESPONSECODE> refused[] = {  // code, sent, room
      {kEscapeControlCode, 1, 2, IFD_ERROR_INSUFFICIENT_BUFFER},
      {kEscapeControlCode, 0, sizeof rx, IFD_COMMUNICATION_ERROR},
      {kGetFeatureRequest, 0, sizeof rx, IFD_SUCCESS},  // no features
      {0x42000000 + 3500, 0, sizeof rx, IFD_ERROR_NOT_SUPPORTED}};
  for (const auto& [code, sent, room, rv] : refused) {
    EXPECT_EQ(driver->Control(Lun(3), code, version, sent, rx, room, &returned), rv) << code;
    EXPECT_EQ(returned, 0u) << code;
  }
  EXPECT_EQ(Escape(3, Bytes(1 + 255, 0x22)), IFD_SUCCESS);  // a full frame of data
  EXPECT_EQ(Escape(3, Bytes(1 + 256, 0x22)), IFD_COMMUNICATION_ERROR);
}

// pcscd calls each slot from its own thread: exchanges with the one reader
// never overlap.
TEST_F(Driver, SlotsCalledFromThreadsTakeTurnsOnTheReader) {
  Open(std::chrono::seconds(0));
  ASSERT_EQ(Power(0), IFD_SUCCESS);
  auto work = [this](std::size_t slot) {
    const Bytes apdu = Hex("00 84 00 00 08");
    for (int i = 0; i < 500; ++i) {
      UCHAR out[16];
      DWORD length = sizeof out;
      driver->Transmit(Lun(slot), apdu.data(), static_cast<DWORD>(apdu.size()), out, &length);
      driver->Presence(Lun(slot));
    }
  };
  std::thread a(work, 0), b(work, 1), c(work, 5);
  a.join();
  b.join();
  c.join();
  EXPECT_FALSE(reader->overlapped);
  EXPECT_GE(reader->transmits, 500);
}

}  // namespace
}  // namespace kulve::pcsc

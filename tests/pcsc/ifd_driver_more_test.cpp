// SPDX-License-Identifier: MIT
// The driver over a fake reader: the escape's setting, presence from the
// slot map, reconnect, attributes and a reader farm's opening and closing.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <thread>

#include "pcsc/ifd_driver.h"
#include "tests/pcsc/fake_backend.h"

namespace kulve::pcsc {
namespace {

using testing::FakeReader;
using testing::Hex;

constexpr DWORD Lun(std::size_t slot, DWORD reader = 1) { return (reader << 16) | static_cast<DWORD>(slot); }
const Bytes kCpuAtr = Hex("3B DA 18 FF 81 B1 FE 75 1F 03 00 31 C5 73 C0 01 40 00 90 00 0C");  // T=1, IFSC 0xFE
const Bytes kSamAtr = Hex("3B 6A 00 00 4B 55 4C 56 45 2D 53 41 4D 31");

// Hands out the fake made for each device; "/slow" waits until released.
struct Farm {
  std::mutex lock;
  std::condition_variable released;
  bool open = false;
  std::map<std::string, FakeReader*> readers;
} farm;

std::unique_ptr<ReaderBackend> FarmFactory(const std::string& device, std::string& why) {
  std::unique_lock<std::mutex> guard(farm.lock);
  if (device == "/slow") farm.released.wait(guard, [] { return farm.open; });
  const auto found = farm.readers.find(device);
  if (found == farm.readers.end()) {
    why = "nothing there";
    return nullptr;
  }
  std::unique_ptr<ReaderBackend> made(found->second);
  farm.readers.erase(found);
  return made;
}

class DriverMore : public ::testing::Test {
 protected:
  FakeReader* Add(const std::string& device) {
    auto* reader = new FakeReader;
    reader->chips[0] = FakeReader::ChipCard{kCpuAtr};
    reader->chips[1] = FakeReader::ChipCard{kSamAtr};
    std::lock_guard<std::mutex> guard(farm.lock);
    farm.readers[device] = reader;
    return reader;
  }
  // One reader with every slot opened; the map answers for a day unless said.
  FakeReader* OpenOne(const std::string& device = "/dev/ttyS9", bool hasMap = true,
                      IfdDriver::Clock::duration mapInterval = std::chrono::hours(24)) {
    FakeReader* reader = Add(ParseDeviceName(device).device);
    reader->hasMap = hasMap;
    const std::string named = hasMap ? device + ":slotmap" : device;
    driver = std::make_unique<IfdDriver>(&FarmFactory, std::chrono::hours(24), mapInterval);
    for (std::size_t slot = 0; slot < kSlotCount; ++slot) EXPECT_EQ(driver->CreateChannel(Lun(slot), named.c_str()), IFD_SUCCESS);
    return reader;
  }
  void TearDown() override {
    if (driver) {
      for (std::size_t slot = 0; slot < kSlotCount; ++slot) driver->CloseChannel(Lun(slot));
    }
    std::lock_guard<std::mutex> guard(farm.lock);
    for (auto& [device, reader] : farm.readers) delete reader;
    farm.readers.clear();
    farm.open = false;
  }
  RESPONSECODE Power(std::size_t slot, DWORD action = IFD_POWER_UP) {
    DWORD length = sizeof atr;
    return driver->PowerIcc(Lun(slot), action, atr, &length);
  }
  RESPONSECODE Send(std::size_t slot, const Bytes& apdu) {
    rxLength = sizeof rx;
    return driver->Transmit(Lun(slot), apdu.data(), static_cast<DWORD>(apdu.size()), rx, &rxLength);
  }
  Bytes Answer() const { return Bytes(rx, rx + rxLength); }
  RESPONSECODE Escape(const Bytes& command) {
    DWORD returned = 0;
    return driver->Control(Lun(2), kEscapeControlCode, command.data(), static_cast<DWORD>(command.size()), rx,
                           sizeof rx, &returned);
  }

  std::unique_ptr<IfdDriver> driver;
  UCHAR atr[MAX_ATR_SIZE];
  UCHAR rx[300];
  DWORD rxLength = 0;
};

TEST(DeviceName, OptionsAfterTheDevice) {
  const struct {
    const char* name;
    const char* device;
    bool escape;
    std::size_t slots;
    bool slotMap = false;
  } rows[] = {
      {"/dev/ttyUSB0", "/dev/ttyUSB0", false, 6},
      {"/dev/ttyUSB0:escape", "/dev/ttyUSB0", true, 6},
      {"tcp://10.0.0.5:4001:slots-1:escape", "tcp://10.0.0.5:4001", true, 1},
      {"tcp://10.0.0.5:4001", "tcp://10.0.0.5:4001", false, 6},
      {"/dev/ttyUSB0:slots-7", "/dev/ttyUSB0:slots-7", false, 6},  // not an option: part of the device
      {"/dev/ttyUSB0:Escape", "/dev/ttyUSB0:Escape", false, 6},
      {"/dev/ttyUSB0:slotmap:slots-6", "/dev/ttyUSB0", false, 6, true},
      {"/dev/ttyUSB0:slots-6", "/dev/ttyUSB0", false, 6},
      {"rfc2217://10.0.0.5:4001:delay-2000:escape", "rfc2217://10.0.0.5:4001?delay=2000", true, 6},
      {"/dev/ttyUSB0:delay-2000", "/dev/ttyUSB0:delay-2000", false, 6},  // a local port has no network delay
  };
  for (const auto& row : rows) {
    const DeviceOptions options = ParseDeviceName(row.name);
    EXPECT_EQ(options.device, row.device) << row.name;
    EXPECT_EQ(options.escape, row.escape) << row.name;
    EXPECT_EQ(options.slots, row.slots) << row.name;
    EXPECT_EQ(options.slotMap, row.slotMap) << row.name;
  }
}

// Off by default: nothing but the reader's two readings reaches the reader.
TEST_F(DriverMore, EscapeOnlyWhereTheAdministratorAllowedIt) {
  for (const bool allowed : {false, true}) {
    FakeReader* reader = OpenOne(allowed ? "/dev/ttyS9:escape" : "/dev/ttyS9");
    const struct {
      Bytes command;
      bool reading;
    } rows[] = {{Hex("22"), true}, {Hex("20"), true}, {Hex("33 00 84 00 00 08"), false}, {Hex("B5 01"), false},
                {Hex("02"), false}, {Hex("22 01"), false}, {Hex("20 00"), false}};
    for (const auto& row : rows) {
      const int before = reader->steps;
      const RESPONSECODE rv = Escape(row.command);
      const bool through = allowed || row.reading;
      EXPECT_EQ(rv, through ? IFD_SUCCESS : IFD_ERROR_NOT_SUPPORTED) << testing::Text(row.command);
      EXPECT_EQ(reader->steps - before, through ? 1 : 0) << testing::Text(row.command);
    }
    TearDown();
  }
}

// With the slot map, presence costs one query for all slots and never
// touches a card: removal and swaps of powered cards show, the Mifare
// authentication and the chip cards' state stay.
TEST_F(DriverMore, PresenceFromTheSlotMap) {
  FakeReader* reader = OpenOne("/dev/ttyS9", true, std::chrono::seconds(0));
  ASSERT_EQ(Power(0), IFD_SUCCESS);
  ASSERT_EQ(Power(5), IFD_SUCCESS);
  ASSERT_EQ(Send(5, Hex("FF 82 00 00 06 FF FF FF FF FF FF")), IFD_SUCCESS);
  ASSERT_EQ(Send(5, Hex("FF 86 00 00 05 01 00 04 60 00")), IFD_SUCCESS);
  const int resets = reader->resets;
  const RESPONSECODE expected[] = {IFD_ICC_PRESENT, IFD_ICC_PRESENT, IFD_ICC_NOT_PRESENT, IFD_ICC_NOT_PRESENT,
                                   IFD_ICC_NOT_PRESENT, IFD_ICC_PRESENT};
  for (int round = 0; round < 3; ++round) {
    for (std::size_t slot = 0; slot < kSlotCount; ++slot) {
      EXPECT_EQ(driver->Presence(Lun(slot)), expected[slot]) << slot;
    }
  }
  EXPECT_EQ(reader->resets, resets + 3);  // each slot shown empty checked once, by a probe
  ASSERT_EQ(Send(5, Hex("FF B0 00 04 10")), IFD_SUCCESS);
  EXPECT_EQ(Answer().size(), 18u);  // still authenticated: block data, 90 00
  ASSERT_EQ(Send(5, Hex("FF 82 00 01 06 00 00 00 00 00 00")), IFD_SUCCESS);
  ASSERT_EQ(Send(5, Hex("FF 86 00 00 05 01 00 08 60 01")), IFD_SUCCESS);  // a wrong key: the card goes quiet
  EXPECT_EQ(driver->Presence(Lun(5)), IFD_ICC_PRESENT);  // quiet, not gone

  reader->Swap(0, kSamAtr);  // another card, not reset: the one in use has gone
  EXPECT_EQ(driver->Presence(Lun(0)), IFD_ICC_NOT_PRESENT);
  EXPECT_EQ(driver->Presence(Lun(0)), IFD_ICC_PRESENT);  // the new card, for pcscd to power
  EXPECT_EQ(Send(0, Hex("00 84 00 00 08")), IFD_ICC_NOT_PRESENT);
  reader->chips[1].reset();
  EXPECT_EQ(driver->Presence(Lun(1)), IFD_ICC_NOT_PRESENT);
  reader->cardInField = false;
  EXPECT_EQ(driver->Presence(Lun(5)), IFD_ICC_NOT_PRESENT);
  EXPECT_EQ(Send(5, Hex("FF B0 00 04 10")), IFD_ICC_NOT_PRESENT);
}

TEST_F(DriverMore, OneMapAnswersEverySlotForItsInterval) {
  FakeReader* reader = OpenOne();
  for (int round = 0; round < 10; ++round) {
    for (std::size_t slot = 0; slot < kSlotCount; ++slot) driver->Presence(Lun(slot));
  }
  EXPECT_EQ(reader->mapQueries, 1);
  EXPECT_EQ(reader->resets, 3);  // the slots shown empty, checked once each
  // A card powered up after the map was taken is not judged by it.
  ASSERT_EQ(Power(1), IFD_SUCCESS);
  EXPECT_EQ(driver->Presence(Lun(1)), IFD_ICC_PRESENT);
  EXPECT_EQ(reader->mapQueries, 2);
}

// GET DATA describes the card in the field now, with or without the map.
TEST_F(DriverMore, GetDataNeverAnswersForACardThatLeft) {
  for (const bool hasMap : {true, false}) {
    FakeReader* reader = OpenOne("/dev/ttyS9", hasMap);
    ASSERT_EQ(Power(5), IFD_SUCCESS);
    ASSERT_EQ(Send(5, Hex("FF CA 00 00 00")), IFD_SUCCESS);
    EXPECT_EQ(Answer(), Hex("DE AD BE EF 90 00"));
    ASSERT_EQ(Send(5, Hex("FF 82 00 00 06 FF FF FF FF FF FF")), IFD_SUCCESS);
    ASSERT_EQ(Send(5, Hex("FF 86 00 00 05 01 00 04 60 00")), IFD_SUCCESS);
    ASSERT_EQ(Send(5, Hex("FF CA 00 00 00")), IFD_SUCCESS);
    ASSERT_EQ(Send(5, Hex("FF B0 00 04 10")), IFD_SUCCESS);
    EXPECT_EQ(Answer().size(), 18u) << "the authentication survives GET DATA";
    reader->uid = {0x55, 0x66, 0x77, 0x88};  // another card in its place
    reader->selected = false;
    reader->authSector.reset();
    EXPECT_EQ(Send(5, Hex("FF CA 00 00 00")), IFD_ICC_NOT_PRESENT) << hasMap;
    EXPECT_EQ(driver->Presence(Lun(5)), IFD_ICC_NOT_PRESENT);
    ASSERT_EQ(Power(5), IFD_SUCCESS);
    ASSERT_EQ(Send(5, Hex("FF CA 00 00 00")), IFD_SUCCESS);
    EXPECT_EQ(Answer(), Hex("55 66 77 88 90 00"));
    reader->cardInField = false;
    EXPECT_EQ(Send(5, Hex("FF CA 00 00 00")), IFD_ICC_NOT_PRESENT) << hasMap;
    TearDown();
  }
}

// pcsc-lite's reconnect after its automatic power-down: the protocol is set
// on an unpowered slot that holds a card.
TEST_F(DriverMore, ProtocolOnAnUnpoweredSlotPowersTheCardUp) {
  FakeReader* reader = OpenOne();
  ASSERT_EQ(Power(1), IFD_SUCCESS);
  ASSERT_EQ(Power(1, IFD_POWER_DOWN), IFD_SUCCESS);
  EXPECT_EQ(driver->SetProtocolParameters(Lun(1), SCARD_PROTOCOL_T0), IFD_SUCCESS);
  EXPECT_EQ(Send(1, Hex("00 84 00 00 08")), IFD_SUCCESS);
  EXPECT_EQ(driver->SetProtocolParameters(Lun(0), SCARD_PROTOCOL_T1), IFD_SUCCESS);
  EXPECT_EQ(driver->SetProtocolParameters(Lun(5), SCARD_PROTOCOL_T1), IFD_SUCCESS);
  EXPECT_EQ(driver->SetProtocolParameters(Lun(2), SCARD_PROTOCOL_T0), IFD_ICC_NOT_PRESENT);
  reader->linkOutcome = Outcome::kLinkLost;
  EXPECT_EQ(Power(1, IFD_POWER_DOWN), IFD_SUCCESS);
  EXPECT_EQ(driver->SetProtocolParameters(Lun(1), SCARD_PROTOCOL_T0), IFD_COMMUNICATION_ERROR);
}

TEST_F(DriverMore, Attributes) {
  FakeReader* reader = OpenOne("/dev/ttyUSB13");
  reader->chips[2] = FakeReader::ChipCard{Hex("3B 80 81 81 31 FE 45")};
  for (std::size_t slot : {0, 1, 2}) ASSERT_EQ(Power(slot), IFD_SUCCESS);
  ASSERT_EQ(driver->Presence(Lun(5)), IFD_ICC_PRESENT);  // there, not powered
  const struct {
    std::size_t slot;
    DWORD tag;
    RESPONSECODE rv;
    const char* value;
  } rows[] = {
      {0, SCARD_ATTR_VENDOR_NAME, IFD_SUCCESS, "4B 55 4C 56 45 33 32 00"},  // NUL-terminated
      {0, SCARD_ATTR_VENDOR_IFD_TYPE, IFD_SUCCESS, "4B 55 4C 56 45 33 32 20 73 65 72 69 61 6C 20 72 65 61 64 65 72 00"},
      {0, SCARD_ATTR_VENDOR_IFD_VERSION, IFD_SUCCESS, "56 31"},  // the reader's answer, status byte off
      {0, SCARD_ATTR_VENDOR_IFD_SERIAL_NO, IFD_SUCCESS, "56 31"},
      {0, SCARD_ATTR_CHANNEL_ID, IFD_SUCCESS, "0D 00 01 00"},
      {0, SCARD_ATTR_MAXINPUT, IFD_SUCCESS, "08 00 01 00"},
      {1, SCARD_ATTR_MAXINPUT, IFD_SUCCESS, "FF 00 00 00"},
      {5, SCARD_ATTR_MAXINPUT, IFD_SUCCESS, "15 00 00 00"},
      {0, SCARD_ATTR_ICC_PRESENCE, IFD_SUCCESS, "02"},
      {3, SCARD_ATTR_ICC_PRESENCE, IFD_SUCCESS, "00"},
      {5, SCARD_ATTR_ICC_PRESENCE, IFD_SUCCESS, "02"},
      {0, SCARD_ATTR_ICC_INTERFACE_STATUS, IFD_SUCCESS, "01"},
      {5, SCARD_ATTR_ICC_INTERFACE_STATUS, IFD_SUCCESS, "00"},
      {0, SCARD_ATTR_CURRENT_PROTOCOL_TYPE, IFD_SUCCESS, "02 00 00 00"},
      {1, SCARD_ATTR_CURRENT_PROTOCOL_TYPE, IFD_SUCCESS, "01 00 00 00"},
      {0, SCARD_ATTR_ICC_TYPE_PER_ATR, IFD_SUCCESS, "01"},
      {0, SCARD_ATTR_CURRENT_IFSC, IFD_SUCCESS, "FE 00 00 00"},
      {0, SCARD_ATTR_CURRENT_IFSD, IFD_SUCCESS, "FB 00 00 00"},
      {1, SCARD_ATTR_CURRENT_IFSC, IFD_ERROR_TAG, ""},  // T=0
      {2, SCARD_ATTR_CURRENT_IFSC, IFD_SUCCESS, "20 00 00 00"},  // TA4 after a second T=1 TD: not the IFSC
      {0, SCARD_ATTR_VENDOR_IFD_TYPE + 0x77, IFD_ERROR_TAG, ""},
  };
  for (const auto& row : rows) {
    UCHAR value[64] = {};
    DWORD length = sizeof value;
    EXPECT_EQ(driver->GetCapabilities(Lun(row.slot), row.tag, &length, value), row.rv) << std::hex << row.tag;
    if (row.rv == IFD_SUCCESS) {
      EXPECT_EQ(Bytes(value, value + length), Hex(row.value)) << std::hex << row.tag;
    }
  }
}

// A reader whose answer to the map cannot be trusted, or that gives none,
// loses the map after one query; presence is probed from then on.
TEST_F(DriverMore, AnUntrustworthySlotMapIsTurnedOff) {
  const struct {
    const char* what;
    Outcome outcome;
    std::optional<SlotMap> answer;
  } rows[] = {
      {"refused, or not two bytes", Outcome::kRefused, {}},
      {"no answer (one timeout, relinked)", Outcome::kCardError, {}},
      {"FF FF: reserved bits", Outcome::kOk, SlotMap{0xFF, 0xFF}},
      {"in use without a card", Outcome::kOk, SlotMap{0x01, 0x03}},
      {"00 00: the card just powered up missing", Outcome::kOk, SlotMap{0x00, 0x00}},
  };
  // A map showing a card's slot empty, before any power-up, is caught by
  // the check of that slot.
  FakeReader* blind = OpenOne("/dev/ttyS9", true, std::chrono::seconds(0));
  blind->mapAnswer = SlotMap{0x00, 0x00};
  EXPECT_EQ(driver->Presence(Lun(1)), IFD_ICC_PRESENT);
  EXPECT_EQ(driver->Presence(Lun(2)), IFD_ICC_NOT_PRESENT);
  EXPECT_EQ(blind->mapQueries, 1);
  TearDown();
  for (const auto& row : rows) {
    FakeReader* reader = OpenOne("/dev/ttyS9", true, std::chrono::seconds(0));
    reader->mapOutcome = row.outcome;
    reader->mapAnswer = row.answer;
    ASSERT_EQ(Power(0), IFD_SUCCESS) << row.what;
    for (int round = 0; round < 3; ++round) {
      EXPECT_EQ(driver->Presence(Lun(0)), IFD_ICC_PRESENT) << row.what;
      EXPECT_EQ(driver->Presence(Lun(1)), IFD_ICC_PRESENT) << row.what;
      EXPECT_EQ(driver->Presence(Lun(2)), IFD_ICC_NOT_PRESENT) << row.what;
    }
    EXPECT_EQ(reader->mapQueries, 1) << row.what;
    TearDown();
  }
}

// pcscd polling six idle slots ten times a second for a minute (the clock
// given, not read): at most 2 probes a second, the CPU card and the field
// probed at least every 2.5 s, every SAM at least every 10 s.
TEST(ProbeSchedule, RationsProbesPerReader) {
  using namespace std::chrono;
  ProbeSchedule schedule(seconds(2));
  const ProbeSchedule::Clock::time_point start{};
  std::array<ProbeSchedule::Clock::time_point, ProbeSchedule::kSlots> last{};
  milliseconds longest[ProbeSchedule::kSlots]{};
  int probes = 0;
  for (auto now = start; now < start + seconds(60); now += milliseconds(100)) {
    for (std::size_t slot = 0; slot < ProbeSchedule::kSlots; ++slot) {
      if (!schedule.Due(slot, now)) continue;
      schedule.Probed(slot, now);
      ++probes;
      if (now != start) longest[slot] = std::max(longest[slot], duration_cast<milliseconds>(now - last[slot]));
      last[slot] = now;
    }
  }
  EXPECT_LE(probes, 2 * 60 + 6);
  for (std::size_t slot : {0, 5}) EXPECT_LE(longest[slot], milliseconds(2500)) << slot;
  for (std::size_t slot : {1, 2, 3, 4}) EXPECT_LE(longest[slot], seconds(10)) << slot;
  schedule.Forget(3);
  EXPECT_TRUE(schedule.Due(3, start + seconds(60)));  // a card left: asked again at once
}

// One reader's slow opening does not hold up another reader.
TEST_F(DriverMore, AReaderOpensWhileAnotherIsStillOpening) {
  Add("/slow");
  FakeReader* fast = Add("/fast");
  fast->hasMap = true;
  driver = std::make_unique<IfdDriver>(&FarmFactory, std::chrono::hours(24));
  std::atomic<RESPONSECODE> slowResult{-1};
  std::thread slow([&] { slowResult = driver->CreateChannel(Lun(0, 7), "/slow"); });
  EXPECT_EQ(driver->CreateChannel(Lun(0, 8), "/fast"), IFD_SUCCESS);
  EXPECT_EQ(driver->Presence(Lun(0, 8)), IFD_ICC_PRESENT);
  EXPECT_EQ(slowResult.load(), -1);  // still waiting for its port
  {
    std::lock_guard<std::mutex> guard(farm.lock);
    farm.open = true;
  }
  farm.released.notify_all();
  slow.join();
  EXPECT_EQ(slowResult.load(), IFD_SUCCESS);
  EXPECT_EQ(driver->CloseChannel(Lun(0, 7)), IFD_SUCCESS);
  EXPECT_EQ(driver->CloseChannel(Lun(0, 8)), IFD_SUCCESS);
}

// A slot call racing the last close fails cleanly, whichever comes first.
TEST_F(DriverMore, SlotCallsRacingTheLastCloseFailCleanly) {
  for (int round = 0; round < 50; ++round) {
    OpenOne();
    ASSERT_EQ(Power(0), IFD_SUCCESS);
    std::atomic<bool> stop{false};
    std::thread caller([&] {
      const Bytes apdu = Hex("00 84 00 00 08");
      while (!stop) {
        UCHAR out[32];
        DWORD length = sizeof out;
        const RESPONSECODE rv = driver->Transmit(Lun(0), apdu.data(), 5, out, &length);
        EXPECT_TRUE(rv == IFD_SUCCESS || rv == IFD_COMMUNICATION_ERROR) << rv;
        driver->Presence(Lun(0));
      }
    });
    for (std::size_t slot = 0; slot < kSlotCount; ++slot) EXPECT_EQ(driver->CloseChannel(Lun(slot)), IFD_SUCCESS);
    stop = true;
    caller.join();
    driver.reset();
  }
}

}  // namespace
}  // namespace kulve::pcsc

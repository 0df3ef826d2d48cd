// SPDX-License-Identifier: MIT
// The exported link and housekeeping functions over a real POSIX port (a pty)
// against the simulated reader; ctest runs them over the network ports too.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "support/sim_fixture.h"

namespace kulve::test {
namespace {

using sim::Fault;
using sim::FaultKind;
using sim::FaultTrigger;
using sim::ReaderByte;

class LinkOverPty : public SimulatorTest {};

TEST_F(LinkOverPty, LinksAtFastSpeed) {
  EXPECT_EQ(LinkCom(0), 0);
  EXPECT_EQ(ComBaudRate(), 57600);
  EXPECT_GE(reader->ExchangeCount(), 1u);
}

TEST_F(LinkOverPty, FallsBackTo9600) {
  if (!SpeedReachesReader()) GTEST_SKIP() << "raw TCP carries no line speed";
  StartReader(sim::SpeedSet::k9600Only);
  const long ms = TimedMs([] { EXPECT_EQ(LinkCom(0), 0); });
  EXPECT_EQ(ComBaudRate(), 9600);
  EXPECT_GE(ms, 1000);  // the fast port is closed with its pause before reopening
  EXPECT_EQ(PowerOn(), 0);  // and the slow line carries commands
}

TEST_F(LinkOverPty, BadIndexOpensNothing) {
  for (int index : {10, -1}) {
    EXPECT_EQ(LinkCom(index), 1);
    EXPECT_EQ(ComBaudRate(), 0);
  }
  EXPECT_EQ(reader->ExchangeCount(), 0u);
  EXPECT_EQ(UnLinkCom(), 1);
}

TEST_F(LinkOverPty, AutoLinkTriesBothPortsInOrder) {
  // Only index 1 has a reader.
  SetComPortPath(0, kMissingPort);
  SetComPortPath(1, LinkPath(*reader).c_str());
  int index = 5;
  EXPECT_EQ(AutoLinkCom(&index), 0);
  EXPECT_EQ(index, 1);
  EXPECT_EQ(ComBaudRate(), 57600);

  // Neither port opens: a failure, and the index is left alone.
  SetComPortPath(1, kMissingPort);
  index = 1;
  EXPECT_EQ(AutoLinkCom(&index), KULVE_LINK_NO_ANSWER);
  EXPECT_EQ(index, 1);
}

TEST_F(LinkOverPty, SecondUnLinkFails) {
  ASSERT_EQ(LinkCom(0), 0);
  const long ms = TimedMs([] { EXPECT_EQ(UnLinkCom(), 0); });
  EXPECT_GE(ms, 990);
  EXPECT_EQ(UnLinkCom(), 1);
}

TEST_F(LinkOverPty, HousekeepingReachesTheReader) {
  ASSERT_EQ(LinkCom(0), 0);
  EXPECT_EQ(SelectCard(0x104), 0);
  EXPECT_EQ(PowerOn(), 0);
  int type = 0, state = 0, power = 0;
  EXPECT_EQ(Inquire(&type, &state, &power), 0);
  EXPECT_EQ(type, 4);  // the reader only saw the low byte
  EXPECT_EQ(power, 1);
  EXPECT_EQ(PowerOff(), 0);
  EXPECT_EQ(Inquire(&type, &state, &power), 0);
  EXPECT_EQ(power, 0);

  const auto number = reader->WithState([](sim::ReaderState& s) { return s.deviceNumber; });
  std::array<unsigned char, 8> got{};
  EXPECT_EQ(GetDeviceNumber(got.data()), 0);
  EXPECT_EQ(got, number);
  EXPECT_EQ(ALARM(3, 1, 2, 3), 0);
  EXPECT_EQ(reader->WithState([](sim::ReaderState& s) { return s.lastAlarm; }),
            (std::array<std::uint8_t, 4>{3, 1, 2, 3}));
  EXPECT_EQ(SetStandby(), 0);
  EXPECT_EQ(DLLVER(), 7321);
}

TEST_F(LinkOverPty, SilentLineFailsTheProbeInTwoReads) {
  reader->InjectFault({FaultKind::kSilent, ReaderByte::kStart}, FaultTrigger::EveryExchange());
  ASSERT_EQ(LinkCom(0), 1);
  // After the failed probes the line is proved clean first: two empty
  // one-byte reads of quiet, then the probe gives up after two more. Counted
  // in the transfer trace, since a loaded machine can stretch any wall time.
  std::vector<std::string> reads;
  const auto keepReads = [](int, const char* line, void* context) {
    if (std::strstr(line, "  read ") != nullptr) static_cast<std::vector<std::string>*>(context)->push_back(line);
  };
  ASSERT_EQ(SetTrace(3, keepReads, &reads), 0);
  const long ms = TimedMs([] { EXPECT_EQ(PowerOn(), 'f'); });
  SetTrace(0, nullptr, nullptr);
  ASSERT_EQ(reads.size(), 4u);
  for (const std::string& line : reads) EXPECT_NE(line.find("read 0 of 1:"), std::string::npos) << line;
  EXPECT_GE(ms, 180);  // each read waited out its 0.1 s
}

// Each reader-side fault surfaces as the letter of its step, over a real line.
TEST_F(LinkOverPty, InjectedFaultsGiveTheirLetters) {
  ASSERT_EQ(LinkCom(0), 0);
  struct Case {
    Fault fault;
    int letter;
  };
  const Case cases[] = {
      {{FaultKind::kSilent, ReaderByte::kStart}, 'f'},
      {{FaultKind::kWrongByte, ReaderByte::kStart}, 'g'},
      {{FaultKind::kSilent, ReaderByte::kAck}, 'l'},
      {{FaultKind::kWrongByte, ReaderByte::kAck}, 'm'},
      {{FaultKind::kSilent, ReaderByte::kStatus}, 'o'},
      {{FaultKind::kSilent, ReaderByte::kLength}, 'p'},
      {{FaultKind::kSilent, ReaderByte::kData}, 'q'},
      {{FaultKind::kSilent, ReaderByte::kChecksum}, 'r'},
      {{FaultKind::kWrongByte, ReaderByte::kChecksum}, 's'},
      {{FaultKind::kDelay, ReaderByte::kAck, 300}, 0},  // within the ten tries for a command
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(reader->InjectFault(c.fault));
    std::array<unsigned char, 8> version{};
    EXPECT_EQ(DEVVER(version.data()), c.letter) << "fault at reader byte " << int(c.fault.at);
    // The next exchange is healthy again: nothing was left half-done.
    EXPECT_EQ(DEVVER(version.data()), 0) << "after fault at reader byte " << int(c.fault.at);
  }
}

// A reply that comes after the library gave up on it is not read as the
// answer to the next exchange, nor does it fail the exchanges after.
TEST_F(LinkOverPty, AReplyThatCameTooLateIsNotTakenForTheNext) {
  // Over a network the server relays the late reply on a thread of its own,
  // so when it reaches the library cannot be waited for.
  if (CurrentTransport() != Transport::kPty) GTEST_SKIP() << "the pty alone shows when the late reply is there";
  ASSERT_EQ(LinkCom(0), 0);
  std::array<unsigned char, 8> version{};
  ASSERT_EQ(DEVVER(version.data()), 0);
  const std::array<unsigned char, 8> expected = version;
  for (const ReaderByte at : {ReaderByte::kStatus, ReaderByte::kData}) {
    const auto before = reader->ExchangeCount();
    ASSERT_TRUE(reader->InjectFault({FaultKind::kDelay, at, 1500}));
    version.fill(0);
    const int first = DEVVER(version.data());
    // A host too slow to have given up meanwhile takes the reply as it is.
    EXPECT_TRUE(first == 'o' || first == 'q' || first == 0) << first;
    for (int waited = 0; reader->ExchangeCount() == before && waited < kHangMs; waited += 10) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_GT(reader->ExchangeCount(), before) << "the late reply never went out";
    version.fill(0);
    EXPECT_EQ(DEVVER(version.data()), 0) << "after a late reply at reader byte " << int(at);
    EXPECT_EQ(version, expected);
  }
}

TEST_F(LinkOverPty, LineVanishingMidFrameEndsPromptly) {
  ASSERT_EQ(LinkCom(0), 0);
  reader->InjectFault({FaultKind::kVanish, ReaderByte::kData});
  std::array<unsigned char, 8> number{};
  int result = 0;
  const long ms = TimedMs([&] { result = GetDeviceNumber(number.data()); });
  EXPECT_TRUE(result >= 'e' && result <= 's') << result;
  EXPECT_LT(ms, kHangMs);
  // Later calls fail quickly too, and the port can still be closed.
  const long later = TimedMs([&] { result = PowerOn(); });
  EXPECT_TRUE(result >= 'e' && result <= 's') << result;
  EXPECT_LT(later, kHangMs);
  // The dead port can still be released, so the device can be opened again.
  EXPECT_EQ(UnLinkCom(), 0);
  EXPECT_EQ(UnLinkCom(), 1);
  reader->Start();  // a new line
  ASSERT_EQ(SetComPortPath(0, LinkPath(*reader).c_str()), 0);
  EXPECT_EQ(LinkCom(0), 0);
}

}  // namespace
}  // namespace kulve::test

// SPDX-License-Identifier: MIT
// Opening, probing and closing the port over the in-memory reader.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "link/link.h"
#include "support/fake_reader.h"

namespace kulve::test {
namespace {

const Request kProbe{0, {}};

class LinkTest : public ::testing::Test, protected FakeReaderFixture {
 protected:
  LinkTest() { peer.scriptedProbes = true; }
};

TEST_F(LinkTest, FindsReaderAtFastSpeed) {
  reader.cardType = 7;
  EXPECT_EQ(LinkCom(reader, 0), 0);
  EXPECT_EQ(ComBaudRate(reader), 57600);
  EXPECT_EQ(reader.cardType, kNoCardSelected);
  ASSERT_EQ(peer.openedSettings.size(), 1u);
  const LineSettings& s = peer.openedSettings[0];
  EXPECT_EQ(s.baudRate, 56000u);  // the settings record holds 56000, not 57600
  EXPECT_EQ(s.timeouts.readIntervalMs, 200u);
  EXPECT_EQ(s.timeouts.readMultiplierMs, 1u);
  EXPECT_EQ(s.timeouts.readConstantMs, 100u);
  EXPECT_EQ(s.timeouts.writeMultiplierMs, 1u);
  EXPECT_EQ(s.timeouts.writeConstantMs, 100u);
  EXPECT_EQ(s.inputQueue, 512u);
  EXPECT_EQ(reader.context.probeAckTries, 2);
  EXPECT_EQ(reader.context.commandAckTries, 10);
  EXPECT_EQ(peer.requests, std::vector<Request>{kProbe});
  EXPECT_EQ(peer.wire, (std::vector<std::uint8_t>{0x23, 0x00, 0x00, 0x00, 0x89}));
  EXPECT_EQ(peer.sleptMs, 0u);  // nothing was open, so no closing pause
}

TEST_F(LinkTest, FallsBackToSlowSpeed) {
  peer.replies.push_back({.ack = std::nullopt});  // the fast probe goes unanswered
  EXPECT_EQ(LinkCom(reader, 3), 0);
  EXPECT_EQ(ComBaudRate(reader), 9600);
  ASSERT_EQ(peer.openedSettings.size(), 2u);
  EXPECT_EQ(peer.openedSettings[1].baudRate, 9600u);
  EXPECT_EQ(peer.openedSettings[1].timeouts.readMultiplierMs, 2u);
  EXPECT_EQ(peer.openedSettings[1].timeouts.writeMultiplierMs, 2u);
  EXPECT_EQ(peer.requests.size(), 2u);
  EXPECT_EQ(peer.sleptMs, 1000u);  // the fast port was closed before reopening
  EXPECT_EQ(peer.openedDevices[0], "fake3");
}

// KULVE32_SPEED: only the speed named is tried; another value tries both.
TEST_F(LinkTest, SpeedFromTheEnvironment) {
  using Opened = std::vector<std::uint32_t>;
  for (const auto& [value, expected] : {std::pair{"9600", Opened{9600}}, {"57600", Opened{56000}},
                                        {"115200", Opened{56000, 9600}}}) {
    ::setenv("KULVE32_SPEED", value, 1);
    peer.openedSettings.clear();
    peer.faults.hashAnswer.reset();
    EXPECT_EQ(LinkCom(reader, 0), 1);
    Opened opened;
    for (const LineSettings& s : peer.openedSettings) opened.push_back(s.baudRate);
    EXPECT_EQ(opened, expected) << value;
  }
  ::unsetenv("KULVE32_SPEED");
}

TEST_F(LinkTest, NoReaderAtEitherSpeedLeavesPortOpen) {
  peer.faults.hashAnswer.reset();
  EXPECT_EQ(LinkCom(reader, 0), 1);
  EXPECT_EQ(ComBaudRate(reader), 0);
  EXPECT_TRUE(reader.context.port != nullptr);
  EXPECT_EQ(reader.block.status, 'f');
}

TEST_F(LinkTest, IndexOutsideRangeOpensNothing) {
  for (int index : {10, -1, 1 << 30}) {
    reader.block.code = 0x55;
    EXPECT_EQ(LinkCom(reader, index), 1) << index;
    EXPECT_EQ(ComBaudRate(reader), 0);
    EXPECT_EQ(reader.context.portIndex, index);  // recorded before the range check
    EXPECT_EQ(reader.block.code, 0x55);          // no probe ran
  }
  EXPECT_TRUE(peer.openedDevices.empty());
}

TEST_F(LinkTest, AutoLinkOrder) {
  struct Case {
    int start;
    std::vector<int> failing;
    int result;
    int index;
    std::vector<std::string> opened;
  };
  const Case cases[] = {
      {5, {}, 0, 0, {"fake0"}},                 // any value but 1 tries COM1 first
      {1, {}, 0, 1, {"fake1"}},                 // 1 tries COM2 first
      {1, {1}, 0, 0, {"fake0"}},                // only COM1 opens: written back as 0
      {0, {0}, 0, 1, {"fake1"}},
      {0, {0, 1}, 'f', 0, {}},                  // neither opens: no stale success
  };
  for (const Case& c : cases) {
    FakeReader fresh;
    fresh.failingIndices = c.failing;
    Reader r(fresh);
    r.block.status = 0;  // a stale success from an earlier exchange
    int index = c.start;
    EXPECT_EQ(AutoLinkCom(r, &index), c.result) << "start " << c.start;
    EXPECT_EQ(index, c.result == 0 ? c.index : c.start);
    EXPECT_EQ(fresh.openedDevices, c.opened);
  }
}

TEST_F(LinkTest, AutoLinkReportsLastProbeWhenNoReaderAnswers) {
  peer.faults.hashAnswer.reset();
  int index = 0;
  EXPECT_EQ(AutoLinkCom(reader, &index), 'f');
  EXPECT_EQ(peer.openedDevices.size(), 4u);  // two ports, two speeds each
  EXPECT_EQ(AutoLinkCom(reader, nullptr), 4);
}

TEST_F(LinkTest, UnLinkClosesOnceAndPauses) {
  ASSERT_EQ(LinkCom(reader, 0), 0);
  EXPECT_EQ(UnLinkCom(reader), 0);
  EXPECT_EQ(peer.sleptMs, 1000u);
  EXPECT_EQ(UnLinkCom(reader), 1);
  EXPECT_EQ(peer.sleptMs, 1000u);
  EXPECT_EQ(ComBaudRate(reader), 57600);  // kept until the next LinkCom
}

TEST_F(LinkTest, UnLinkFailures) {
  ASSERT_EQ(LinkCom(reader, 0), 0);
  peer.purgeFails = true;
  EXPECT_EQ(UnLinkCom(reader), 1);
  // A refused purge still releases the port (an unplugged adapter must not stay held).
  EXPECT_TRUE(reader.context.port == nullptr);
  EXPECT_EQ(peer.closes, 1);
  peer.purgeFails = false;
  ASSERT_EQ(LinkCom(reader, 0), 0);
  peer.closeFails = true;
  EXPECT_EQ(UnLinkCom(reader), 1);
  EXPECT_EQ(peer.sleptMs, 0u);
}

TEST_F(LinkTest, RelinkingReleasesAPortThatWouldNotClose) {
  ASSERT_EQ(LinkCom(reader, 0), 0);
  peer.purgeFails = true;  // UnLinkCom inside LinkCom fails
  EXPECT_EQ(LinkCom(reader, 0), 0);
  EXPECT_EQ(peer.closes, 1);  // the old port was closed when replaced
}

TEST_F(LinkTest, DevicePaths) {
  char out[300];
  EXPECT_EQ(GetComPortPath(reader, 2, out, sizeof out), 0);
  EXPECT_STREQ(out, "fake2");
  EXPECT_EQ(SetComPortPath(reader, 2, "/dev/pts/7"), 0);
  EXPECT_EQ(GetComPortPath(reader, 2, out, sizeof out), 0);
  EXPECT_STREQ(out, "/dev/pts/7");
  EXPECT_EQ(LinkCom(reader, 2), 0);
  EXPECT_EQ(peer.openedDevices.back(), "/dev/pts/7");

  const std::string longest(kMaxPortPath, 'a');
  const std::string tooLong(kMaxPortPath + 1, 'a');
  EXPECT_EQ(SetComPortPath(reader, 9, longest.c_str()), 0);
  EXPECT_EQ(GetComPortPath(reader, 9, out, sizeof out), 0);
  EXPECT_EQ(std::strlen(out), kMaxPortPath);
  EXPECT_EQ(SetComPortPath(reader, 9, tooLong.c_str()), 4);
  EXPECT_EQ(SetComPortPath(reader, 9, ""), 4);
  EXPECT_EQ(SetComPortPath(reader, 9, nullptr), 4);
  EXPECT_EQ(SetComPortPath(reader, 10, "x"), 4);
  EXPECT_EQ(SetComPortPath(reader, -1, "x"), 4);

  char small[4] = {'k', 'k', 'k', 'k'};
  EXPECT_EQ(GetComPortPath(reader, 2, small, 3), 4);  // too small: untouched
  EXPECT_EQ(small[0], 'k');
  // Exactly the path's length leaves no room for the terminator: refused,
  // and not a byte written; one more fits, and the guard after it stays.
  EXPECT_EQ(SetComPortPath(reader, 3, "abcd"), 0);
  char exact[6] = {'k', 'k', 'k', 'k', 'k', 'k'};
  EXPECT_EQ(GetComPortPath(reader, 3, exact, 4), 4);
  EXPECT_EQ(std::string(exact, 6), "kkkkkk");
  EXPECT_EQ(GetComPortPath(reader, 3, exact, 5), 0);
  EXPECT_EQ(std::string(exact, 6), std::string("abcd\0k", 6));
  EXPECT_EQ(GetComPortPath(reader, 2, nullptr, 10), 4);
  EXPECT_EQ(GetComPortPath(reader, 10, out, sizeof out), 4);
}

}  // namespace
}  // namespace kulve::test

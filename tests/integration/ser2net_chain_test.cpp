// SPDX-License-Identifier: MIT
// One real-world chain: library -> rfc2217://127.0.0.1:PORT -> Debian's
// ser2net -> pty -> simulated reader. ser2net is started and stopped here;
// without it the tests report SKIPPED (scripts/test.sh installs it).
#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "sim/cards/memory_card.h"
#include "support/ser2net_runner.h"
#include "support/sim_fixture.h"

namespace kulve::test {
namespace {

class Ser2netChain : public ::testing::Test {
 protected:
  void SetUp() override {
    if (Ser2net::Program().empty()) {
      GTEST_SKIP() << "!!! SKIPPED: ser2net is not installed, so the chain through it did not run "
                      "(scripts/test.sh installs it with apt-get as root) !!!";
    }
    PointAllPortsNowhere();
    reader_.Start();
    std::string error;
    ASSERT_TRUE(server_.Start(reader_.SlavePath(), true, error)) << error;
    ASSERT_EQ(SetComPortPath(0, (server_.Url() + kTestNetworkDelay).c_str()), 0);
  }
  void TearDown() override { UnLinkCom(); }

  sim::Simulator reader_;
  Ser2net server_;  // stops before the reader does
};

TEST_F(Ser2netChain, LinksAtBothSpeeds) {
  ASSERT_EQ(LinkCom(0), 0);
  EXPECT_EQ(ComBaudRate(), 57600);
  reader_.SetAcceptedSpeeds(sim::SpeedSet::k9600Only);
  ASSERT_EQ(LinkCom(0), 0);  // the speed set through ser2net reaches the pty
  EXPECT_EQ(ComBaudRate(), 9600);
  unsigned char version[8];
  EXPECT_EQ(DEVVER(version), 0);
}

TEST_F(Ser2netChain, MemoryCardWriteReadsBack) {
  reader_.WithState([](sim::ReaderState& s) { sim::InsertMemoryCard(s, 1); });
  ASSERT_EQ(LinkCom(0), 0);
  ASSERT_EQ(SelectCard(1), 0);
  ASSERT_EQ(PowerOn(), 0);
  std::vector<unsigned char> written(150);
  std::iota(written.begin(), written.end(), static_cast<unsigned char>(0xB0));  // 0xFF among them
  std::vector<unsigned char> copy = written;
  ASSERT_EQ(WriteCard(18, 1, 10, 150, copy.data()), 0);
  std::vector<unsigned char> read(150);
  ASSERT_EQ(ReadCard(18, 1, 10, 150, read.data()), 0);
  EXPECT_EQ(read, written);
  const auto stored = reader_.WithState([](sim::ReaderState& s) {
    const auto& memory = s.memoryCard->Memory();
    return std::vector<unsigned char>(memory.begin() + 266, memory.begin() + 416);
  });
  EXPECT_EQ(stored, written);
}

}  // namespace
}  // namespace kulve::test

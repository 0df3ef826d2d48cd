// SPDX-License-Identifier: MIT
// The line going away (a USB adapter pulled out) and coming back at the same
// path, as /dev/serial/by-id/... does: calls end promptly with a letter while
// it is gone, LinkCom works again once it is back, and a Mifare call finds
// the new line by itself.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <string>
#include <vector>

#include "sim/mifare_reader.h"
#include "support/sim_fixture.h"

namespace kulve::test {
namespace {

using Bytes = std::vector<unsigned char>;

bool IsLetter(int result) { return result >= KULVE_LINK_HASH_NOT_WRITTEN && result <= KULVE_LINK_BAD_CHECKSUM; }

// The simulator behind a stable symbolic link, which follows each new pty.
class LineComesBack : public ::testing::Test {
 protected:
  void SetUp() override {
    char dir[] = "/tmp/kulve-vanish-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    dir_ = dir;
    sim::SimulatorOptions options;
    link_ = options.linkPath = dir_ + "/reader";
    reader = std::make_unique<sim::Simulator>(options);
    reader->Start();
    reader->WithState([](sim::ReaderState& s) { sim::PutSampleMifareCard(s); });
    PointAllPortsNowhere();
    ASSERT_EQ(SetComPortPath(0, options.linkPath.c_str()), 0);
    ASSERT_EQ(LinkCom(0), 0);
  }
  void TearDown() override {
    UnLinkCom();
    reader.reset();  // removes the link
    ::rmdir(dir_.c_str());
  }

  // What unplugging leaves: no line, and (as udev removes a by-id name) no
  // link. A link left pointing at the dead pty's number could meet another
  // program's new pty under that number.
  void Unplugged() {
    if (reader->Serving()) reader->Vanish();
    ::unlink(link_.c_str());
  }

  std::string dir_;
  std::string link_;
  std::unique_ptr<sim::Simulator> reader;
};

TEST_F(LineComesBack, LinkComWorksAgainAtTheSamePath) {
  const auto number = reader->WithState([](sim::ReaderState& s) { return s.deviceNumber; });
  reader->InjectFault({sim::FaultKind::kVanish, sim::ReaderByte::kData});  // in the middle of a reply
  std::array<unsigned char, 8> got{};
  int result = 0;
  EXPECT_LT(TimedMs([&] { result = GetDeviceNumber(got.data()); }), kHangMs);
  EXPECT_TRUE(IsLetter(result)) << result;
  EXPECT_EQ(got, (std::array<unsigned char, 8>{}));  // cleared first, nothing stale after
  Unplugged();

  // Gone: every call ends quickly with a letter, and the port cannot be opened.
  EXPECT_LT(TimedMs([&] { result = PowerOn(); }), kHangMs);
  EXPECT_TRUE(IsLetter(result)) << result;
  EXPECT_EQ(LinkCom(0), 1);
  EXPECT_NE(GetLinkError(nullptr, 0), KULVE_LINK_ERROR_NONE);

  reader->Start();  // plugged in again: a new pty, and the link back
  ASSERT_EQ(LinkCom(0), 0);
  EXPECT_EQ(GetLinkError(nullptr, 0), KULVE_LINK_ERROR_NONE);
  EXPECT_EQ(GetDeviceNumber(got.data()), 0);
  EXPECT_EQ(got, number);
}

TEST_F(LineComesBack, MifareCallRelinksOntoTheNewLine) {
  Bytes block(16, 0x5A);
  ASSERT_EQ(RFMifare_ReadBlock(1, 0, block.data()), 0);
  const Bytes stored = block;

  Unplugged();
  // While it is gone the relinks find nothing: the letter, and zeros.
  int result = 0;
  EXPECT_LT(TimedMs([&] { result = RFMifare_ReadBlock(1, 0, block.data()); }), kHangMs);
  EXPECT_TRUE(IsLetter(result)) << result;
  EXPECT_EQ(block, Bytes(16, 0));

  // Back at the same path: the first try fails on the dead port, the relink
  // opens the new one and the repeat reads the block. No LinkCom by the caller.
  reader->Start();
  EXPECT_EQ(RFMifare_ReadBlock(1, 0, block.data()), 0);
  EXPECT_EQ(block, stored);
}

}  // namespace
}  // namespace kulve::test

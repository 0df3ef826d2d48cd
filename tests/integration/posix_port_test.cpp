// SPDX-License-Identifier: MIT
// The POSIX port's read budget and its release of the device, on a real pty:
// a reply may take its per-byte share of time, a reply that stops halfway
// ends after the gap between bytes, and a closed port is left openable.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "link/serial_port.h"
#include "support/sim_fixture.h"

namespace kulve::test {
namespace {

using namespace std::chrono_literals;

// The far end of a pty, written to by the test.
class PtyPeer {
 public:
  PtyPeer() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0) path_ = ::ptsname(master_);
  }
  ~PtyPeer() {
    if (master_ >= 0) ::close(master_);
  }
  const std::string& Path() const { return path_; }
  void Send(std::uint8_t byte) { ASSERT_EQ(::write(master_, &byte, 1), 1); }

 private:
  int master_ = -1;
  std::string path_;
};

LineSettings Settings(std::uint32_t multiplierMs) {
  LineSettings s;
  s.baudRate = 9600;
  s.timeouts = {200, multiplierMs, 100, multiplierMs, 100};
  return s;
}

TEST(PosixPort, SlowReplyGetsItsPerByteShare) {
  PtyPeer peer;
  OpenFailure why;
  // 10 ms a byte: the budget is 2.65 s, far more than 255 bytes about 1 ms
  // apart need even on a loaded machine, and far past the 100 ms constant.
  auto port = PlatformPorts().Open(0, peer.Path().c_str(), Settings(10), why);
  ASSERT_NE(port, nullptr);
  std::thread sender([&] {
    for (int i = 0; i < 255; ++i) {
      peer.Send(static_cast<std::uint8_t>(i));
      std::this_thread::sleep_for(1ms);
    }
  });
  std::uint8_t buffer[255];
  const std::size_t got = port->Read(buffer, sizeof buffer);
  sender.join();
  EXPECT_EQ(got, 255u);
  EXPECT_EQ(port->LastEnd(), TransferEnd::kDone);
}

// A thread that runs late on a busy machine may look only after its time is
// up: bytes that are there by then still count. With no time at all, every
// read is such a late look; before, it never took a byte.
TEST(PosixPort, ALookAfterTheTimeStillTakesWhatArrived) {
  PtyPeer peer;
  OpenFailure why;
  LineSettings none = Settings(0);
  none.timeouts.readConstantMs = 0;
  auto port = PlatformPorts().Open(0, peer.Path().c_str(), none, why);
  ASSERT_NE(port, nullptr);
  for (const std::uint8_t byte : {std::uint8_t{0x45}, std::uint8_t{0x67}, std::uint8_t{0x89}}) peer.Send(byte);
  std::uint8_t buffer[3] = {};
  std::size_t got = 0;
  // The pty hands bytes over a moment after they are written: until they are there.
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (got < sizeof buffer && std::chrono::steady_clock::now() < end) {
    got += port->Read(buffer + got, sizeof buffer - got);
    if (got < sizeof buffer) std::this_thread::sleep_for(1ms);
  }
  ASSERT_EQ(got, 3u);
  EXPECT_EQ(buffer[2], 0x89);
  EXPECT_EQ(port->LastEnd(), TransferEnd::kDone);
}

TEST(PosixPort, ReplyThatStopsEndsAfterTheGap) {
  PtyPeer peer;
  OpenFailure why;
  auto port = PlatformPorts().Open(0, peer.Path().c_str(), Settings(100), why);  // budget 25.6 s
  ASSERT_NE(port, nullptr);
  for (int i = 0; i < 100; ++i) peer.Send(0x55);
  std::uint8_t buffer[255];
  const auto start = std::chrono::steady_clock::now();
  const std::size_t got = port->Read(buffer, sizeof buffer);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  EXPECT_EQ(got, 100u);
  EXPECT_EQ(port->LastEnd(), TransferEnd::kTimeout);
  EXPECT_GE(ms.count(), 150);
  EXPECT_LT(ms.count(), 12000);  // the 200 ms gap ended it, not the whole budget
}

TEST_F(SimulatorTest, ClosedPortIsNotLeftExclusive) {
  ASSERT_EQ(LinkCom(0), 0);
  ASSERT_EQ(UnLinkCom(), 0);
  const int fd = ::open(reader->SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(fd, 0);
  int exclusive = -1;
  ASSERT_EQ(::ioctl(fd, TIOCGEXCL, &exclusive), 0);
  EXPECT_EQ(exclusive, 0);
  ::close(fd);
}

// A pty has no latency setting: the open goes on and says so for the trace.
TEST(PosixPort, PtyWithoutLowLatencyStillOpens) {
  PtyPeer peer;
  OpenFailure why;
  auto port = PlatformPorts().Open(0, peer.Path().c_str(), Settings(1), why);
  ASSERT_NE(port, nullptr);
  EXPECT_EQ(port->OpenReport().rfind("low latency: not a setting of this port (", 0), 0u) << port->OpenReport();
}

}  // namespace
}  // namespace kulve::test

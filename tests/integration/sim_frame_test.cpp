// SPDX-License-Identifier: MIT
// The simulated reader driven byte by byte through its pseudo-terminal.

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/cpucard_commands.h"
#include "sim/housekeeping.h"
#include "sim/mifare_reader.h"
#include "sim/slot_map_command.h"
#include "sim/simulator.h"

namespace kulve::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

// A minimal host: raw bytes on the pty slave, reads bounded by poll().
class RawHost {
 public:
  explicit RawHost(const std::string& path, speed_t speed = B57600) {
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) return;
    SetSpeed(speed);
    ::tcflush(fd_, TCIOFLUSH);
  }
  ~RawHost() {
    if (fd_ >= 0) ::close(fd_);
  }
  RawHost(const RawHost&) = delete;
  RawHost& operator=(const RawHost&) = delete;

  bool Ok() const { return fd_ >= 0; }

  void SetSpeed(speed_t speed) {
    termios t{};
    ASSERT_EQ(::tcgetattr(fd_, &t), 0);
    ::cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    ::cfsetispeed(&t, speed);
    ::cfsetospeed(&t, speed);
    ASSERT_EQ(::tcsetattr(fd_, TCSANOW, &t), 0);
  }

  void Write(const Bytes& bytes) {
    ASSERT_EQ(::write(fd_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }

  // Reads until `count` bytes arrived or `timeout` passed; hangup ends it early.
  Bytes Read(std::size_t count, std::chrono::milliseconds timeout = 600ms) {
    Bytes got;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    hungUp_ = false;
    while (got.size() < count) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
      std::uint8_t buf[512];
      ssize_t n = ::read(fd_, buf, std::min(sizeof buf, count - got.size()));
      if (n <= 0) {
        if (n < 0 && errno == EAGAIN) continue;
        hungUp_ = true;
        break;
      }
      got.insert(got.end(), buf, buf + n);
    }
    return got;
  }
  bool HungUp() const { return hungUp_; }

 private:
  int fd_ = -1;
  bool hungUp_ = false;
};

Bytes Request(std::uint8_t code, const Bytes& data = {}) {
  Bytes frame(data.size() + 3);
  frame[0] = code;
  frame[1] = static_cast<std::uint8_t>(data.size());
  std::copy(data.begin(), data.end(), frame.begin() + 2);
  std::uint8_t sum = 0;
  for (std::size_t i = 0; i + 1 < frame.size(); ++i) sum ^= frame[i];
  frame.back() = sum;
  return frame;
}

// The reply as sent: status, length, data, checksum.
Bytes Reply(std::uint8_t status, const Bytes& data = {}) { return Request(status, data); }

class SimFrameTest : public ::testing::Test {
 protected:
  explicit SimFrameTest(SimulatorOptions options = {}) : sim_(std::move(options)) {}
  void SetUp() override {
    sim_.Start();
    host_ = std::make_unique<RawHost>(sim_.HostPath());
    ASSERT_TRUE(host_->Ok());
  }

  // One full exchange; returns every reader byte after 0x89 (up to the
  // announced length + checksum). Empty when the frame broke earlier.
  Bytes Exchange(std::uint8_t code, const Bytes& data = {}) {
    host_->Write({0x23});
    if (host_->Read(1) != Bytes{0x45}) return {};
    host_->Write(Request(code, data));
    if (host_->Read(1) != Bytes{0x67}) return {};
    host_->Write({0x89});
    Bytes head = host_->Read(2);
    if (head.size() < 2) return head;
    Bytes rest = host_->Read(std::size_t{head[1]} + 1);
    head.insert(head.end(), rest.begin(), rest.end());
    return head;
  }

  Simulator sim_;
  std::unique_ptr<RawHost> host_;
};

// The slot map: cards present, and in use once reset or selected; only on
// request, as no documented reader has it.
class SlotMapSimTest : public SimFrameTest {
 protected:
  SlotMapSimTest() : SimFrameTest(SimulatorOptions{.slotMap = SlotMapMode::kOn}) {}
};

TEST_F(SimFrameTest, SlotMapIsRefusedAsAnUnknownCode) {
  EXPECT_EQ(Exchange(code::kSlotMap), Reply(status::kUnknownCommand));
}

TEST_F(SlotMapSimTest, SlotMapTellsPresenceWithoutTouchingCards) {
  sim_.WithState([](ReaderState& s) {
    RemoveChipCard(s, 3);
    PutMifareCard(s, {0x11, 0x22, 0x33, 0x44});
  });
  EXPECT_EQ(Exchange(code::kSlotMap), Reply(0, {0x37, 0x00}));
  EXPECT_EQ(Exchange(0x3C)[0], 0x00);  // SAM 1 reset
  EXPECT_EQ(Exchange(code::kSlotMap), Reply(0, {0x37, 0x02}));
  sim_.WithState([](ReaderState& s) { ClearMifareField(s); });
  EXPECT_EQ(Exchange(code::kSlotMap), Reply(0, {0x17, 0x02}));
  EXPECT_EQ(Exchange(code::kSlotMap, {0x00}), Reply(status::kBadLength));
}

TEST_F(SimFrameTest, HousekeepingRepliesAreByteExact) {
  EXPECT_EQ(Exchange(code::kProbe), (Bytes{0x00, 0x00, 0x00}));

  EXPECT_EQ(Exchange(code::kInquire), Reply(0, {255, 0, 0}));
  EXPECT_EQ(Exchange(code::kSelectCard, {0x02}), Reply(0));
  EXPECT_EQ(Exchange(code::kPowerOn), Reply(0));
  sim_.WithState([](ReaderState& s) { s.slotState = 1; });
  EXPECT_EQ(Exchange(code::kInquire), (Bytes{0x00, 0x03, 0x02, 0x01, 0x01, 0x01}));
  EXPECT_EQ(Exchange(code::kPowerOff), Reply(0));
  EXPECT_EQ(Exchange(code::kInquire), Reply(0, {2, 1, 0}));

  EXPECT_EQ(Exchange(code::kDeviceNumber), Reply(0, {'K', 'S', '2', '6', '0', '0', '0', '1'}));
  sim_.WithState([](ReaderState& s) { s.version = {1, 2, 3, 4, 5, 6, 7, 8}; });
  EXPECT_EQ(Exchange(code::kVersion), Reply(0, {1, 2, 3, 4, 5, 6, 7, 8}));

  EXPECT_EQ(Exchange(code::kStandby), Reply(0));
  EXPECT_TRUE(sim_.WithState([](ReaderState& s) { return s.standby; }));
  EXPECT_EQ(Exchange(code::kAlarm, {3, 0x10, 0x20, 0x30}), Reply(0));
  EXPECT_FALSE(sim_.WithState([](ReaderState& s) { return s.standby; }));  // any command wakes it
  EXPECT_EQ(sim_.WithState([](ReaderState& s) { return s.lastAlarm; }),
            (std::array<std::uint8_t, 4>{3, 0x10, 0x20, 0x30}));

  EXPECT_EQ(sim_.ExchangeCount(), 11u);
  ASSERT_EQ(sim_.Requests().size(), 11u);
  EXPECT_EQ(sim_.Requests()[2], (kulve::sim::Request{code::kSelectCard, {0x02}}));
}

TEST_F(SimFrameTest, RefusalsCarryTheirOwnStatus) {
  EXPECT_EQ(Exchange(0x99), Reply(status::kUnknownCommand));
  EXPECT_EQ(Exchange(code::kSelectCard), Reply(status::kBadLength));
  EXPECT_EQ(Exchange(code::kProbe, {1}), Reply(status::kBadLength));
  EXPECT_EQ(Exchange(code::kAlarm, {8, 0, 0, 0}), Reply(status::kBadParameter));
  EXPECT_EQ(Exchange(code::kAlarm, {0, 0, 0, 0}), Reply(status::kBadParameter));
  EXPECT_EQ(sim_.WithState([](ReaderState& s) { return s.alarmCount; }), 0u);

  // A handler that fails or answers too much never reaches the line as such.
  sim_.Register(0x90, [](ReaderState&, std::span<const std::uint8_t>) -> kulve::sim::Reply {
    throw std::runtime_error("broken");
  });
  sim_.Register(0x91, [](ReaderState&, std::span<const std::uint8_t>) {
    return kulve::sim::Reply{0, Bytes(256, 0xAA)};
  });
  sim_.Register(0x92, [](ReaderState&, std::span<const std::uint8_t> d) {
    return kulve::sim::Reply{0, Bytes(d.begin(), d.end())};
  });
  EXPECT_EQ(Exchange(0x90), Reply(status::kInternalError));
  EXPECT_EQ(Exchange(0x91), Reply(status::kInternalError));
  // The largest frames both ways.
  Bytes big(255);
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<std::uint8_t>(i * 7);
  EXPECT_EQ(Exchange(0x92, big), Reply(0, big));
}

TEST_F(SimFrameTest, BadChecksumIsNotAcknowledgedAndTheLineRecovers) {
  host_->Write({0x00, 0x89, 0x45, 0x23});  // noise while idle, then a start
  EXPECT_EQ(host_->Read(1), Bytes{0x45});
  host_->Write({code::kSelectCard, 0x01, 0x02, 0x0A});  // checksum should be 0x09
  EXPECT_EQ(host_->Read(1, 400ms), Bytes{});
  EXPECT_EQ(sim_.WithState([](ReaderState& s) { return s.selectedCard; }), 255);
  EXPECT_TRUE(sim_.Requests().empty());

  EXPECT_EQ(Exchange(code::kSelectCard, {0x02}), Reply(0));
  EXPECT_EQ(sim_.WithState([](ReaderState& s) { return s.selectedCard; }), 2);
}

// Lines of the simulator's trace, and a wait for one of them.
class TraceLines {
 public:
  std::function<void(const std::string&)> Sink() {
    return [this](const std::string& line) {
      std::lock_guard<std::mutex> hold(lock_);
      lines_.push_back(line);
      changed_.notify_all();
    };
  }
  bool WaitFor(const std::string& text) {
    std::unique_lock<std::mutex> hold(lock_);
    return changed_.wait_for(hold, 30s, [&] {
      for (const std::string& line : lines_)
        if (line.find(text) != std::string::npos) return true;
      return false;
    });
  }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  std::vector<std::string> lines_;
};

TEST(SimFrameSilenceTest, HostFallingSilentMidFrameDoesNotWedgeTheReader) {
  // The reader gives up on the frame when its silence ends; the host waits
  // for that in the reader's trace rather than sleeping past it, as a late
  // reader thread would otherwise take the next frame's bytes for this one's.
  TraceLines trace;
  SimulatorOptions options;
  options.trace = trace.Sink();
  Simulator sim(options);
  sim.Start();
  RawHost host(sim.HostPath());
  ASSERT_TRUE(host.Ok());
  host.Write({0x23});
  EXPECT_EQ(host.Read(1), Bytes{0x45});
  host.Write({code::kSelectCard, 0x01});  // and then nothing
  ASSERT_TRUE(trace.WaitFor("host fell silent in the middle of a request"));
  host.Write({0x23});
  EXPECT_EQ(host.Read(1), Bytes{0x45});
  host.Write(Request(code::kProbe));
  EXPECT_EQ(host.Read(1), Bytes{0x67});
  host.Write({0x89});
  EXPECT_EQ(host.Read(3), Reply(0));
}

TEST_F(SimFrameTest, HostMovingOnWithoutTheReplyRequestStartsAFreshExchange) {

  // Silence instead of 0x89: the next '#' starts a fresh exchange.
  host_->Write({0x23});
  EXPECT_EQ(host_->Read(1), Bytes{0x45});
  host_->Write(Request(code::kPowerOn));
  EXPECT_EQ(host_->Read(1), Bytes{0x67});
  EXPECT_EQ(Exchange(code::kInquire), Reply(0, {255, 0, 1}));
}

TEST(SimSpeedTest, AnswersOnlyAtAcceptedSpeeds) {
  Simulator sim;  // 57600 only
  sim.Start();
  RawHost host(sim.HostPath(), B9600);
  ASSERT_TRUE(host.Ok());
  host.Write({0x23});
  EXPECT_EQ(host.Read(1, 250ms), Bytes{});

  host.SetSpeed(B57600);
  host.Write({0x23});
  EXPECT_EQ(host.Read(1), Bytes{0x45});
  host.Write(Request(code::kProbe));
  EXPECT_EQ(host.Read(1), Bytes{0x67});
  host.Write({0x89});
  EXPECT_EQ(host.Read(3), Reply(0));

  sim.SetAcceptedSpeeds(SpeedSet::k9600Only);
  host.Write({0x23});
  EXPECT_EQ(host.Read(1, 250ms), Bytes{});
  host.SetSpeed(B9600);
  host.Write({0x23});
  EXPECT_EQ(host.Read(1), Bytes{0x45});
  host.Write(Request(code::kProbe));
  EXPECT_EQ(host.Read(1), Bytes{0x67});
  host.Write({0x89});
  EXPECT_EQ(host.Read(3), Reply(0));

  sim.SetAcceptedSpeeds(SpeedSet::kBoth);
  host.SetSpeed(B57600);
  host.Write({0x23});
  EXPECT_EQ(host.Read(1), Bytes{0x45});
}

// One reader byte goes wrong; the host sees exactly what a faulty reader sends.
TEST_F(SimFrameTest, FaultsChangeExactlyTheChosenByte) {
  // Silence instead of 'E'; the next exchange is untouched.
  ASSERT_TRUE(sim_.InjectFault({FaultKind::kSilent, ReaderByte::kStart}));
  host_->Write({0x23});
  EXPECT_EQ(host_->Read(1, 250ms), Bytes{});
  EXPECT_EQ(Exchange(code::kProbe), Reply(0));

  // A chosen wrong answer to '#'.
  sim_.InjectFault({FaultKind::kWrongByte, ReaderByte::kStart, 0, 0x21});
  host_->Write({0x23});
  EXPECT_EQ(host_->Read(1), Bytes{0x21});

  // No acknowledgement, but the command was carried out.
  sim_.InjectFault({FaultKind::kSilent, ReaderByte::kAck}, FaultTrigger::NextWithCode(code::kPowerOn));
  EXPECT_EQ(Exchange(code::kProbe), Reply(0));  // other codes pass
  EXPECT_EQ(Exchange(code::kPowerOn), Bytes{});
  EXPECT_EQ(sim_.WithState([](ReaderState& s) { return s.power; }), PowerState::kOn);

  // Status but no length.
  sim_.InjectFault({FaultKind::kSilent, ReaderByte::kLength});
  EXPECT_EQ(Exchange(code::kInquire), Bytes{0x00});

  // Short data: all but the last byte; with no data, a length of 1 and nothing.
  sim_.InjectFault({FaultKind::kSilent, ReaderByte::kData});
  EXPECT_EQ(Exchange(code::kInquire), (Bytes{0x00, 0x03, 255, 0}));
  sim_.InjectFault({FaultKind::kSilent, ReaderByte::kData});
  EXPECT_EQ(Exchange(code::kProbe), (Bytes{0x00, 0x01}));

  // Missing and wrong checksum.
  sim_.InjectFault({FaultKind::kSilent, ReaderByte::kChecksum});
  EXPECT_EQ(Exchange(code::kProbe), (Bytes{0x00, 0x00}));
  sim_.InjectFault({FaultKind::kWrongByte, ReaderByte::kChecksum});
  EXPECT_EQ(Exchange(code::kProbe), (Bytes{0x00, 0x00, 0xFF}));

  EXPECT_EQ(sim_.PendingFaults(), 0u);
  EXPECT_EQ(Exchange(code::kProbe), Reply(0));
}

TEST_F(SimFrameTest, TriggersPickTheirExchanges) {
  sim_.InjectFault({FaultKind::kSilent, ReaderByte::kStatus}, FaultTrigger::NthFromNow(3));
  EXPECT_EQ(Exchange(code::kProbe), Reply(0));
  EXPECT_EQ(Exchange(code::kProbe), Reply(0));
  EXPECT_EQ(Exchange(code::kProbe), Bytes{});
  EXPECT_EQ(Exchange(code::kProbe), Reply(0));

  sim_.InjectFault({FaultKind::kWrongByte, ReaderByte::kAck},
                   FaultTrigger::EveryWithCode(code::kStandby));
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(Exchange(code::kProbe), Reply(0));
    EXPECT_EQ(Exchange(code::kStandby), Bytes{});
  }
  sim_.ClearFaults();
  EXPECT_EQ(Exchange(code::kStandby), Reply(0));

  // The start byte comes before the code, so a code cannot select it.
  EXPECT_FALSE(sim_.InjectFault({FaultKind::kSilent, ReaderByte::kStart},
                                FaultTrigger::NextWithCode(code::kProbe)));
  EXPECT_EQ(sim_.PendingFaults(), 0u);
}

TEST_F(SimFrameTest, DelayHoldsBackTheChosenByte) {
  sim_.InjectFault({FaultKind::kDelay, ReaderByte::kChecksum, 800});
  host_->Write({0x23});
  ASSERT_EQ(host_->Read(1), Bytes{0x45});
  host_->Write(Request(code::kProbe));
  ASSERT_EQ(host_->Read(1), Bytes{0x67});
  host_->Write({0x89});
  EXPECT_EQ(host_->Read(3, 400ms), (Bytes{0x00, 0x00}));
  EXPECT_EQ(host_->Read(1, 2000ms), Bytes{0x00});
}

TEST_F(SimFrameTest, VanishingLineHangsUpTheHost) {
  sim_.InjectFault({FaultKind::kVanish, ReaderByte::kStatus});
  host_->Write({0x23});
  ASSERT_EQ(host_->Read(1), Bytes{0x45});
  host_->Write(Request(code::kProbe));
  ASSERT_EQ(host_->Read(1), Bytes{0x67});
  host_->Write({0x89});
  EXPECT_EQ(host_->Read(1, 2000ms), Bytes{});
  EXPECT_TRUE(host_->HungUp());
  EXPECT_FALSE(sim_.Serving());

  // A new line after a restart; Vanish() itself returns with the line closed.
  sim_.Start();
  host_ = std::make_unique<RawHost>(sim_.HostPath());
  ASSERT_TRUE(host_->Ok());
  EXPECT_EQ(Exchange(code::kProbe), Reply(0));
  sim_.Vanish();
  EXPECT_FALSE(sim_.Serving());
  EXPECT_EQ(host_->Read(1, 2000ms), Bytes{});
  EXPECT_TRUE(host_->HungUp());
  sim_.Vanish();
  sim_.Stop();
  sim_.Stop();
}

TEST(SimLineTest, StableLinkFollowsThePty) {
  const std::filesystem::path link =
      std::filesystem::temp_directory_path() / ("kulvesim-link-" + std::to_string(::getpid()));
  SimulatorOptions options;
  options.linkPath = link.string();
  {
    Simulator sim(options);
    sim.Start();
    EXPECT_EQ(sim.HostPath(), link.string());
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), sim.SlavePath());
    RawHost host(sim.HostPath());
    ASSERT_TRUE(host.Ok());
    host.Write({0x23});
    EXPECT_EQ(host.Read(1), Bytes{0x45});
  }
  EXPECT_FALSE(std::filesystem::is_symlink(link));

  // Never replaces something that is not a link.
  { std::FILE* f = std::fopen(link.c_str(), "w"); ASSERT_NE(f, nullptr); std::fclose(f); }
  Simulator sim(options);
  EXPECT_THROW(sim.Start(), std::system_error);
  EXPECT_TRUE(std::filesystem::is_regular_file(link));
  std::filesystem::remove(link);
}

// A device path: here the slave of a pty that the test holds the master of.
TEST(SimLineTest, ServesADevicePath) {
  int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(::grantpt(master), 0);
  ASSERT_EQ(::unlockpt(master), 0);
  SimulatorOptions options;
  options.devicePath = ::ptsname(master);
  Simulator sim(options);
  sim.Start();
  EXPECT_EQ(sim.HostPath(), options.devicePath);
  ASSERT_EQ(::write(master, "#", 1), 1);
  pollfd p{master, POLLIN, 0};
  ASSERT_EQ(::poll(&p, 1, 1000), 1);
  std::uint8_t b = 0;
  ASSERT_EQ(::read(master, &b, 1), 1);
  EXPECT_EQ(b, 0x45);
  sim.Stop();
  ::close(master);

  SimulatorOptions missing;
  missing.devicePath = "/nonexistent/kulvesim-device";
  Simulator none(missing);
  EXPECT_THROW(none.Start(), std::system_error);
  EXPECT_FALSE(none.Serving());
}

}  // namespace
}  // namespace kulve::sim

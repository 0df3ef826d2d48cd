// SPDX-License-Identifier: MIT
// Faults written as text, control commands and the kulvesim program itself.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "sim/cards/e5550_transponder.h"
#include "sim/control.h"
#include "sim/fault_text.h"
#include "sim/simulator.h"

namespace kulve::sim {
namespace {

ScheduledFault Parse(const std::string& text) {
  std::string error;
  auto parsed = ParseFault(text, error);
  EXPECT_TRUE(parsed.has_value()) << text << ": " << error;
  return parsed.value_or(ScheduledFault{});
}

TEST(SimFaultTextTest, ReadsEveryPart) {
  ScheduledFault s = Parse("ack:silent@code=13");
  EXPECT_EQ(s.fault.kind, FaultKind::kSilent);
  EXPECT_EQ(s.fault.at, ReaderByte::kAck);
  EXPECT_EQ(s.trigger.code, std::optional<std::uint8_t>{13});
  EXPECT_EQ(s.trigger.times, 0u);  // every matching exchange

  s = Parse("start:wrong=0x21@next");
  EXPECT_EQ(s.fault.kind, FaultKind::kWrongByte);
  EXPECT_EQ(s.fault.replacement, std::optional<std::uint8_t>{0x21});
  EXPECT_EQ(s.trigger.times, 1u);
  EXPECT_FALSE(s.trigger.code);

  s = Parse("checksum:delay=300");
  EXPECT_EQ(s.fault.kind, FaultKind::kDelay);
  EXPECT_EQ(s.fault.delayMs, 300u);
  EXPECT_EQ(s.trigger.times, 0u);

  s = Parse("data:vanish@nth=3");
  EXPECT_EQ(s.fault.kind, FaultKind::kVanish);
  EXPECT_EQ(s.trigger.skip, 2u);
  EXPECT_EQ(s.trigger.times, 1u);

  s = Parse("length:wrong@code=0x0a,skip=1,times=2");
  EXPECT_EQ(s.trigger.code, std::optional<std::uint8_t>{10});
  EXPECT_EQ(s.trigger.skip, 1u);
  EXPECT_EQ(s.trigger.times, 2u);
  EXPECT_FALSE(s.fault.replacement);
}

TEST(SimFaultTextTest, RefusesMalformedText) {
  for (const char* bad :
       {"", "ack", "ack:", "nowhere:silent", "ack:loud", "ack:silent=1", "ack:wrong=256",
        "ack:wrong=0x", "status:delay", "status:delay=60001", "status:delay=-1", "ack:silent@",
        "ack:silent@nth=0", "ack:silent@code=300", "ack:silent@often", "start:silent@code=1",
        "ack:silent@times=4294967296", "ack:vanish@code=1,"}) {
    std::string error;
    EXPECT_FALSE(ParseFault(bad, error).has_value()) << "'" << bad << "'";
    EXPECT_FALSE(error.empty()) << "'" << bad << "'";
  }
}

TEST(SimControlTest, CommandsSteerTheReader) {
  Simulator sim;
  EXPECT_EQ(RunControlCommand(sim, "fault status:silent@next"), "ok");
  EXPECT_EQ(sim.PendingFaults(), 1u);
  EXPECT_EQ(RunControlCommand(sim, "  clear \r"), "ok");
  EXPECT_EQ(sim.PendingFaults(), 0u);
  EXPECT_EQ(RunControlCommand(sim, "speed both"), "ok");
  EXPECT_EQ(sim.AcceptedSpeeds(), SpeedSet::kBoth);
  EXPECT_EQ(RunControlCommand(sim, "speed 1200").rfind("error:", 0), 0u);
  EXPECT_EQ(RunControlCommand(sim, "count"), "count 0");
  EXPECT_EQ(RunControlCommand(sim, "state"), "state card=255 slot=0 power=0 standby=0");
  EXPECT_EQ(RunControlCommand(sim, "fault ack"), "error: expected BYTE:KIND");
  EXPECT_EQ(RunControlCommand(sim, "launch"), "error: unknown command 'launch'");
  EXPECT_EQ(RunControlCommand(sim, ""), "");
  EXPECT_EQ(RunControlCommand(sim, "# a comment"), "");
  EXPECT_EQ(RunControlCommand(sim, "vanish"), "ok");  // harmless before Start
}

TEST(SimControlTest, TransponderComesAndGoes) {
  Simulator sim;
  auto present = [&] { return sim.WithState([](ReaderState& s) { return s.transponder != nullptr; }); };
  EXPECT_EQ(RunControlCommand(sim, "e5550 leave"), "error: no transponder in the field");
  EXPECT_EQ(RunControlCommand(sim, "e5550 place"), "ok");
  EXPECT_TRUE(present());
  sim.WithState([](ReaderState& s) { s.transponder->Wake({}); });
  EXPECT_EQ(RunControlCommand(sim, "e5550 leave"), "ok");
  EXPECT_FALSE(sim.WithState([](ReaderState& s) { return s.transponder->Awake(); }));
  EXPECT_EQ(RunControlCommand(sim, "e5550 remove"), "ok");
  EXPECT_FALSE(present());
  EXPECT_EQ(RunControlCommand(sim, "e5550"), "error: e5550 takes place, remove or leave");
}

// The program next to this test program in the build tree, if built.
std::string ProgramPath() {
  std::error_code ec;
  auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return {};
  auto path = self.parent_path().parent_path() / "sim" / "kulvesim";
  return std::filesystem::exists(path) ? path.string() : std::string{};
}

// Reads one line from fd within the timeout.
std::string ReadLine(int fd, int timeoutMs) {
  std::string line;
  char c = 0;
  while (true) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0 || ::read(fd, &c, 1) != 1 || c == '\n') break;
    line += c;
  }
  return line;
}

TEST(SimProgramTest, ServesUntilTerminatedWithStdinClosed) {
  const std::string program = ProgramPath();
  if (program.empty()) GTEST_SKIP() << "kulvesim not built";
  int out[2];
  ASSERT_EQ(::pipe(out), 0);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, STDIN_FILENO);
    ::dup2(null, STDERR_FILENO);
    ::dup2(out[1], STDOUT_FILENO);
    ::execl(program.c_str(), "kulvesim", "--speed", "9600", "--fault", "checksum:wrong@code=32", "--devno", "7",
            "--control", "strict 0 on", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(out[1]);
  const std::string path = ReadLine(out[0], 5000);
  ASSERT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;

  int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(fd, 0);
  termios t{};
  ASSERT_EQ(::tcgetattr(fd, &t), 0);
  ::cfmakeraw(&t);
  ::cfsetspeed(&t, B9600);
  ASSERT_EQ(::tcsetattr(fd, TCSANOW, &t), 0);
  const std::uint8_t frame[] = {0x23, 0x20, 0x00, 0x20, 0x89};  // the device number
  ASSERT_EQ(::write(fd, frame, sizeof frame), static_cast<ssize_t>(sizeof frame));
  std::string reply;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);  // a loaded machine
  while (reply.size() < 13 && std::chrono::steady_clock::now() < deadline) {
    pollfd p{fd, POLLIN, 0};
    char buf[8];
    if (::poll(&p, 1, 200) > 0) {
      ssize_t n = ::read(fd, buf, sizeof buf);
      if (n > 0) reply.append(buf, static_cast<std::size_t>(n));
    }
  }
  ASSERT_EQ(reply.size(), 13u);
  EXPECT_EQ(reply.substr(0, 12), std::string("Eg\x00\x08KS260007", 12));
  EXPECT_NE(reply[12], static_cast<char>(0x08 ^ 'K' ^ 'S' ^ '2' ^ '6' ^ '0' ^ '0' ^ '0' ^ '7'));  // the wrong checksum
  ::close(fd);

  ASSERT_EQ(::kill(pid, SIGTERM), 0);
  int status = 0;
  pid_t done = 0;
  for (int i = 0; i < 50 && done == 0; ++i) {
    done = ::waitpid(pid, &status, WNOHANG);
    if (done == 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  if (done != pid) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    FAIL() << "kulvesim did not stop on SIGTERM";
  }
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  ::close(out[0]);
}

}  // namespace
}  // namespace kulve::sim

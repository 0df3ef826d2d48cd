// SPDX-License-Identifier: MIT
// Result texts, the link error kept for "why did it fail", and the wire trace.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "kulve32.h"
#include "link/link.h"
#include "link/trace.h"
#include "results/result_text.h"
#include "link/transact.h"
#include "support/fake_reader.h"

#if !defined(_WIN32)
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#endif

namespace kulve::test {
namespace {

TEST(ResultText, EveryByteValueHasItsOwnWords) {
  std::set<std::string> seen;
  for (int value = 0; value <= 255; ++value) {
    const std::string text = ResultText(value);
    ASSERT_FALSE(text.empty()) << value;
    EXPECT_TRUE(seen.insert(text).second) << "two results share \"" << text << "\"";
    if (value >= 'e' && value <= 's') {
      EXPECT_EQ(text.rfind(std::string("link failure '") + static_cast<char>(value) + "': ", 0), 0u) << text;
      EXPECT_STREQ(text.c_str() + 18, LinkStepText(static_cast<std::uint8_t>(value)));
    } else if (value != 0 && value != 3 && value != 4 && value != 19 && value != KULVE_NO_CHANGE &&
               (value < KULVE_T1_NOT_AN_ANSWER || value > KULVE_CALL_TIME_BOUND)) {
      char expected[24];
      std::snprintf(expected, sizeof expected, "reader status 0x%02X", value);
      EXPECT_EQ(text, expected);
    }
  }
  EXPECT_STREQ(ResultText(0), "ok");
  EXPECT_STREQ(ResultText(4), "argument out of range (nothing sent)");
  EXPECT_STREQ(ResultText(-1), "unknown result");
  EXPECT_STREQ(ResultText(1 << 20), "unknown result");
  EXPECT_EQ(LinkStepText('d'), nullptr);
  EXPECT_EQ(LinkStepText('t'), nullptr);
}

void SetEnvironment(const char* name, const char* value) {
#ifdef _WIN32
  _putenv_s(name, value != nullptr ? value : "");
#else
  if (value != nullptr) {
    setenv(name, value, 1);
  } else {
    unsetenv(name);
  }
#endif
}

// The trace an application asks for without code: KULVE32_TRACE picks the
// level, KULVE32_TRACE_FILE a file every line is appended to; each line
// carries the library's prefix wherever it goes.
// What the library writes itself starts with a header; times from a fixed clock.
constexpr const char* kHeaderStart = "kulve32: 2026-12-07T17:00:54.123Z library ";
std::chrono::system_clock::time_point FixedWallClock() {
  return std::chrono::system_clock::time_point(std::chrono::milliseconds(1796662854123LL));
}

TEST(TraceEnvironment, LevelAndDestinationComeFromTheEnvironment) {
  SetEnvironment("KULVE32_TRACE_FILE", nullptr);
  const std::pair<const char*, int> levels[] = {{"0", 0}, {"1", 1}, {"2", 2}, {"3", 3}, {"4", 0}, {"13", 0}, {"", 0}};
  for (const auto& [text, level] : levels) {
    SetEnvironment("KULVE32_TRACE", text);
    Tracer tracer;
    tracer.FromEnvironment();
    EXPECT_EQ(tracer.Level(), level) << '"' << text << '"';
    SetEnvironment("KULVE32_TRACE_SECRETS", text);  // only "1" shows secrets
    Tracer secrets;
    secrets.FromEnvironment();
    EXPECT_EQ(secrets.ShowsSecrets(), std::string(text) == "1") << '"' << text << '"';
  }
  SetEnvironment("KULVE32_TRACE_SECRETS", nullptr);

  SetEnvironment("KULVE32_TRACE", "2");
  {
    Tracer tracer;
    tracer.FromEnvironment();
    tracer.wallNow = FixedWallClock;
    ::testing::internal::CaptureStderr();
    tracer.Line(2, "request code %02X", 2);
    const std::string written = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(written.rfind(kHeaderStart, 0), 0u) << written;
    EXPECT_EQ(written.substr(written.find('\n') + 1), "kulve32: 17:00:54.123 request code 02\n");
  }

  const std::string path = ::testing::TempDir() + "kulve32_trace_environment.txt";
  std::ofstream(path, std::ios::trunc) << "an earlier run\n";
#if !defined(_WIN32)
  chmod(path.c_str(), 0600);  // an existing trace file must be private
#endif
  SetEnvironment("KULVE32_TRACE", "3");
  SetEnvironment("KULVE32_TRACE_FILE", path.c_str());
  {
    Tracer tracer;
    tracer.FromEnvironment();
    tracer.wallNow = FixedWallClock;
    tracer.Line(3, "  write 1 of 1: 23");
    tracer.Line(1, "failed");
  }
  std::ifstream file(path);
  std::vector<std::string> written;
  for (std::string line; std::getline(file, line);) written.push_back(line);
  ASSERT_EQ(written.size(), 4u);
  EXPECT_EQ(written[0], "an earlier run");
  EXPECT_EQ(written[1].rfind(kHeaderStart, 0), 0u) << written[1];
  EXPECT_EQ(written[2], "kulve32: 17:00:54.123   write 1 of 1: 23");
  EXPECT_EQ(written[3], "kulve32: 17:00:54.123 failed");
  SetEnvironment("KULVE32_TRACE", nullptr);
  SetEnvironment("KULVE32_TRACE_FILE", nullptr);
  std::remove(path.c_str());
}

#if !defined(_WIN32)
// A trace file is the user's own and private: anything else is refused with
// a line on standard error, and the trace goes there instead.
TEST(TraceEnvironment, OnlyAPrivateRegularFileOfTheUserTakesTheTrace) {
  const std::string path = ::testing::TempDir() + "kulve32_trace_file_check";
  struct Case {
    const char* what;
    std::function<void()> make;
    bool refused;
  };
  const Case cases[] = {
      {"a FIFO (no reader: the open must not block)", [&] { mkfifo(path.c_str(), 0600); }, true},
      {"a file others may read", [&] { std::ofstream(path) << ""; chmod(path.c_str(), 0640); }, true},
      {"another user's file", [&] { std::ofstream(path) << ""; chmod(path.c_str(), 0600);
                                     EXPECT_EQ(chown(path.c_str(), 65534, 65534), 0); }, true},
      {"a new file under umask 0277", [] { umask(0277); }, false},
  };
  SetEnvironment("KULVE32_TRACE", "1");
  SetEnvironment("KULVE32_TRACE_FILE", path.c_str());
  for (const Case& c : cases) {
    if (std::string(c.what) == "another user's file" && geteuid() != 0) continue;  // only root can make one
    SCOPED_TRACE(c.what);
    std::remove(path.c_str());
    const mode_t umaskBefore = umask(0022);
    umask(umaskBefore);
    c.make();  // a case may set its own umask
    {
      Tracer tracer;
      tracer.FromEnvironment();
      ::testing::internal::CaptureStderr();
      tracer.Line(1, "a line");
      const std::string written = ::testing::internal::GetCapturedStderr();
      EXPECT_EQ(written.find("kulve32: the trace file " + path) != std::string::npos, c.refused) << written;
      EXPECT_EQ(written.find("a line") != std::string::npos, c.refused) << written;
    }
    umask(umaskBefore);
    struct stat st {};
    if (!c.refused) {
      ASSERT_EQ(stat(path.c_str(), &st), 0);
      EXPECT_EQ(st.st_mode & 0777, 0600u);
    }
  }
  std::remove(path.c_str());
  SetEnvironment("KULVE32_TRACE", nullptr);
  SetEnvironment("KULVE32_TRACE_FILE", nullptr);
}
#endif

class DiagnosticsTest : public ::testing::Test, protected FakeReaderFixture {
 protected:
  static void KULVE_CALL Collect(int level, const char* line, void* context) {
    static_cast<DiagnosticsTest*>(context)->lines.push_back(std::to_string(level) + " " + line);
  }
  // A clock that moves 300 us each time it is read, so times are exact.
  static Tracer::Clock::time_point Ticking() {
    static Tracer::Clock::time_point t{};
    t += std::chrono::microseconds(300);
    return t;
  }
  void Trace(int level) {
    ASSERT_EQ(SetTrace(reader, level, &Collect, this), 0);
    reader.trace.now = &Ticking;
  }
  std::string Error() {
    char text[kLinkErrorTextSize];
    GetLinkError(reader, text, sizeof text);
    return text;
  }
  std::vector<std::string> lines;
};

TEST_F(DiagnosticsTest, FramesTracedByteForByte) {
  OpenLink();
  Trace(2);
  peer.replies.push_back({.status = 0, .data = {0x4B, 0x53, 0x00}});
  const std::vector<std::uint8_t> send{0x12, 0x00, 0xFF};
  EXPECT_EQ(Exchange(reader, 0x14, send).status, 0);
  peer.faults.hashAnswer.reset();
  EXPECT_EQ(Exchange(reader, 0x20, {}).status, 'f');
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "2 request code 14 data[3] 12 00 FF",
                       "2 reply status 00 data[3] 4B 53 00 (0.3 ms)",
                       "2 request code 20 data[0]",
                       "2 failed: link failure 'f': no answer to the start byte; timed out (0.3 ms)",
                   }));
}

TEST_F(DiagnosticsTest, LevelsChooseWhatIsTraced) {
  OpenLink();
  Trace(1);
  EXPECT_EQ(Exchange(reader, 0x02, {}).status, 0);
  EXPECT_TRUE(lines.empty());  // failures only
  peer.replies.push_back({.ack = 'x'});
  EXPECT_EQ(Exchange(reader, 0x02, {}).status, 'm');
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "1 request code 02 failed: link failure 'm': the acknowledgement byte was not 'g'; "
                      "the reader broke the frame (0.3 ms)");

  lines.clear();
  OpenLink();  // a new line: nothing trails from the failure above
  Trace(3);
  EXPECT_EQ(Exchange(reader, 0x02, {}).status, 0);
  // '#', 'E', code, length, checksum, 'g', 0x89, status, length, checksum.
  std::size_t transfers = 0;
  for (const auto& line : lines) transfers += line.rfind("3   ", 0) == 0 ? 1u : 0u;
  EXPECT_EQ(transfers, 10u);
  EXPECT_EQ(lines[1], "3   write 1 of 1: 23 (0.3 ms, done)");

  lines.clear();
  Trace(0);
  peer.faults.hashAnswer.reset();
  EXPECT_EQ(Exchange(reader, 0x02, {}).status, 'f');
  EXPECT_TRUE(lines.empty());
  EXPECT_EQ(SetTrace(reader, 4, nullptr, nullptr), 4);
  EXPECT_EQ(SetTrace(reader, -1, nullptr, nullptr), 4);
}

TEST_F(DiagnosticsTest, ExchangeFailuresSayHowTheLineEnded) {
  struct Case {
    const char* what;
    std::function<void(FakeReader&)> arrange;
    int code;
    std::string text;
    int osError = 0;
  };
  const Case cases[] = {
      {"silent reader", [](FakeReader& p) { p.faults.hashAnswer.reset(); }, KULVE_LINK_ERROR_TIMEOUT,
       "request code 02: link failure 'f': no answer to the start byte (timed out)"},
      {"wrong checksum", [](FakeReader& p) { p.replies.push_back({.checksum = 0x77}); }, KULVE_LINK_ERROR_PROTOCOL,
       "request code 02: link failure 's': the reply checksum did not match (the reader broke the frame)"},
      {"line hung up",
       [](FakeReader& p) {
         p.faults.hashAnswer.reset();
         p.hungUp = true;
         p.hangupError = EIO;
       },
       KULVE_LINK_ERROR_HANGUP,
       "request code 02: link failure 'f': no answer to the start byte (the line hung up: " +
           std::string(std::strerror(EIO)) + ")",
       EIO},
  };
  for (const Case& c : cases) {
    peer = {};
    OpenLink();
    c.arrange(peer);
    Exchange(reader, 0x02, {});
    char text[kLinkErrorTextSize];
    EXPECT_EQ(GetLinkError(reader, text, sizeof text), c.code) << c.what;
    EXPECT_EQ(std::string(text), c.text) << c.what;
    EXPECT_EQ(GetLinkOsError(reader), c.osError) << c.what;
  }
}

TEST_F(DiagnosticsTest, LinkErrorIsKeptUntilTheNextGoodLink) {
  EXPECT_EQ(Exchange(reader, 0x02, {}).status, 'e');  // nothing open
  EXPECT_EQ(GetLinkError(reader, nullptr, 0), KULVE_LINK_ERROR_NOT_OPEN);

  peer.failAllOpens = true;
  peer.openFailure = {KULVE_LINK_ERROR_PERMISSION, EACCES, "open", ""};
  EXPECT_EQ(LinkCom(reader, 2), 1);
  EXPECT_EQ(Error(), "open fake2: " + std::string(std::strerror(EACCES)));
  EXPECT_EQ(GetLinkOsError(reader), EACCES);

  peer.failAllOpens = false;
  peer.faults.hashAnswer.reset();
  EXPECT_EQ(LinkCom(reader, 2), 1);
  EXPECT_EQ(GetLinkError(reader, nullptr, 0), KULVE_LINK_ERROR_NO_ANSWER);
  EXPECT_EQ(Error(), "no answer at 57600 or 9600 on fake2 (link failure 'f': no answer to the start byte)");

  // Cut to the caller's size, always terminated; nothing past it written.
  char small[8];
  for (const auto& [size, text] : {std::pair{5, "no a"}, std::pair{1, ""}}) {
    std::memset(small, 'X', sizeof small);
    EXPECT_EQ(GetLinkError(reader, small, size), KULVE_LINK_ERROR_NO_ANSWER);
    EXPECT_STREQ(small, text);
    EXPECT_EQ(small[size], 'X');
  }

  EXPECT_EQ(LinkCom(reader, 10), 1);
  EXPECT_EQ(GetLinkError(reader, nullptr, 0), KULVE_LINK_ERROR_BAD_INDEX);

  peer.faults.hashAnswer = 'E';
  peer.ResetFrame();  // the silent reader's half-begun frame is over
  EXPECT_EQ(LinkCom(reader, 2), 0);
  EXPECT_EQ(GetLinkError(reader, small, sizeof small), KULVE_LINK_ERROR_NONE);
  EXPECT_STREQ(small, "");
  EXPECT_EQ(GetLinkOsError(reader), 0);
}

// The trace file's name is copied when the environment is read: the string
// getenv pointed into may change before the first line is written.
TEST(TraceFile, NameIsTakenWhenTheEnvironmentIsRead) {
  const std::string first = ::testing::TempDir() + "kulve-trace-first.log";
  const std::string second = ::testing::TempDir() + "kulve-trace-second.log";
  std::remove(first.c_str());
  std::remove(second.c_str());
  static char entry[512];
  std::snprintf(entry, sizeof entry, "KULVE32_TRACE_FILE=%s", first.c_str());
  ::putenv(entry);
  ::setenv("KULVE32_TRACE", "1", 1);
  {
    Tracer trace;
    trace.FromEnvironment();
    trace.wallNow = FixedWallClock;
    std::snprintf(entry, sizeof entry, "KULVE32_TRACE_FILE=%s", second.c_str());
    trace.Line(trace_level::kFailures, "to the first file");
  }
  ::unsetenv("KULVE32_TRACE_FILE");
  ::unsetenv("KULVE32_TRACE");
  std::FILE* file = std::fopen(first.c_str(), "r");
  ASSERT_NE(file, nullptr) << "the line did not go to the name read from the environment";
  char line[256] = {};
  ASSERT_NE(std::fgets(line, sizeof line, file), nullptr);  // the header
  ASSERT_NE(std::fgets(line, sizeof line, file), nullptr);
  std::fclose(file);
  EXPECT_STREQ(line, "kulve32: 17:00:54.123 to the first file\n");
  EXPECT_EQ(std::fopen(second.c_str(), "r"), nullptr);
  std::remove(first.c_str());
}

}  // namespace
}  // namespace kulve::test

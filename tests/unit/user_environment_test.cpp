// SPDX-License-Identifier: MIT
// What the library takes from the environment: nothing in a privileged
// process; trace files private and never through a symbolic link; a bad
// trace level said once.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "link/config/config_inputs.h"
#include "link/trace.h"
#include "link/user_environment.h"

namespace kulve::test {
namespace {

struct Variable {
  const char* name;
  std::string value;
};

class UserEnvironmentTest : public ::testing::Test {
 protected:
  void Set(const std::vector<Variable>& variables) {
    for (const auto& v : variables) {
      setenv(v.name, v.value.c_str(), 1);
      set_.push_back(v.name);
    }
  }
  void TearDown() override {
    for (const char* name : set_) unsetenv(name);
    setenv("KULVE32_CONFIG", "", 1);  // as the tests run: no port map file
    PretendPrivileged(std::nullopt);
  }
  std::string Slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  std::vector<const char*> set_;
  const std::string dir_ = ::testing::TempDir();
};

TEST_F(UserEnvironmentTest, APrivilegedProcessTakesNothingFromItsCaller) {
  const std::string traceFile = dir_ + "kulve-privileged-trace.log";
  std::remove(traceFile.c_str());
  Set({{"KULVE32_TRACE", "3"}, {"KULVE32_TRACE_FILE", traceFile}, {"KULVE32_TRACE_SECRETS", "1"},
       {"KULVE32_PORTS", "0=/tmp/x"}, {"XDG_CONFIG_HOME", "/tmp/xdg"}, {"HOME", "/tmp/home"}});
  unsetenv("KULVE32_CONFIG");
  for (const bool privileged : {false, true}) {
    SCOPED_TRACE(privileged ? "privileged" : "plain");
    PretendPrivileged(privileged);
    Tracer trace;
    trace.FromEnvironment();
    EXPECT_EQ(trace.Level(), privileged ? 0 : 3);
    EXPECT_EQ(trace.ShowsSecrets(), !privileged);
    EXPECT_EQ(SystemConfigInputs().Variable("KULVE32_PORTS").has_value(), !privileged);
    const auto files = PosixConfigFiles(SystemConfigInputs());
    const std::vector<std::string> expected =
        privileged ? std::vector<std::string>{"/etc/kulve32.conf"}
                   : std::vector<std::string>{"/tmp/xdg/kulve32.conf", "/etc/kulve32.conf"};
    EXPECT_EQ(files, expected);
  }
  std::remove(traceFile.c_str());
}

TEST_F(UserEnvironmentTest, TraceFilesArePrivateAppendedAndNeverThroughALink) {
  const std::string file = dir_ + "kulve-private-trace.log";
  const std::string target = dir_ + "kulve-link-target.txt";
  const std::string link = dir_ + "kulve-trace-link.log";
  std::remove(file.c_str());
  std::remove(link.c_str());
  { std::ofstream(target) << "not the trace's\n"; }
  ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);

  const mode_t saved = umask(0);
  for (const std::string& path : {file, file, link}) {
    Set({{"KULVE32_TRACE", "1"}, {"KULVE32_TRACE_FILE", path}});
    Tracer trace;
    trace.FromEnvironment();
    ::testing::internal::CaptureStderr();
    trace.Line(1, "a line");
    const std::string fallback = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(fallback.empty(), path == file) << path;  // the link refused, the line goes to stderr
  }
  umask(saved);
  struct stat info {};
  ASSERT_EQ(stat(file.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_EQ(Slurp(target), "not the trace's\n");
  const std::string written = Slurp(file);
  EXPECT_NE(written.find("a line\n"), written.rfind("a line\n")) << "the second run appends";
  std::remove(file.c_str());
  std::remove(link.c_str());
  std::remove(target.c_str());
}

// In a child process, where nothing has said it yet: two tracers read the
// same bad value, and standard error names it once. 0 when it did.
int BadLevelSaidOnce(const char* bad) {
  setenv("KULVE32_TRACE", bad, 1);
  const std::string path = ::testing::TempDir() + "kulve-bad-level.txt";
  if (std::freopen(path.c_str(), "w", stderr) == nullptr) return 90;
  Tracer first, second;
  first.FromEnvironment();
  second.FromEnvironment();
  std::fflush(stderr);
  std::ifstream in(path);
  int said = 0;
  for (std::string line; std::getline(in, line);) {
    said += line.find(std::string("KULVE32_TRACE=") + bad + " is not a trace level") != std::string::npos;
  }
  return first.Level() == 0 && said == 1 ? 0 : 1;
}

TEST(TraceLevelValue, ABadValueIsSaidOnceOnStandardError) {
  // A fresh process: a forked one would inherit what earlier tests had said.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (const char* bad : {"9", "abc"}) {
    EXPECT_EXIT(std::_Exit(BadLevelSaidOnce(bad)), ::testing::ExitedWithCode(0), "") << bad;
  }
}

}  // namespace
}  // namespace kulve::test

// SPDX-License-Identifier: MIT
// kulve's mifare dump and restore, run as a program against its built-in
// simulator: the dump is the simulated card, byte for byte.
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "sim/mifare_reader.h"

namespace kulve::test {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

// The tool in the build tree next to this test program, if built.
std::string ToolPath() {
  std::error_code ec;
  const auto self = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return {};
  const auto path = self.parent_path().parent_path() / "tools" / "kulve";
  return fs::exists(path) ? path.string() : std::string{};
}

// Runs the tool with these words after "--quiet --sim"; returns its exit
// status. With a trace file, the library appends every frame it sends there.
int RunTool(const std::string& tool, const std::vector<std::string>& words, const std::string& traceFile = {}) {
  std::vector<std::string> argv = {"kulve", "--quiet", "--sim"};
  argv.insert(argv.end(), words.begin(), words.end());
  std::vector<char*> pointers;
  for (std::string& word : argv) pointers.push_back(word.data());
  pointers.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (!traceFile.empty()) {
      ::setenv("KULVE32_TRACE", "2", 1);
      ::setenv("KULVE32_TRACE_FILE", traceFile.c_str(), 1);
    }
    std::freopen("/dev/null", "w", stdout);
    std::freopen("/dev/null", "w", stderr);
    ::execv(tool.c_str(), pointers.data());
    ::_exit(127);
  }
  int status = 0;
  if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

Bytes ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string ReadText(const fs::path& path) {
  const Bytes bytes = ReadFile(path);
  return std::string(bytes.begin(), bytes.end());
}

class MifareToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tool_ = ToolPath();
    if (tool_.empty()) GTEST_SKIP() << "kulve not built";
    dir_ = fs::temp_directory_path() / ("kulve-mifare-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ec;
    if (!dir_.empty()) fs::remove_all(dir_, ec);
  }
  std::string File(const char* name) const { return (dir_ / name).string(); }

  std::string tool_;
  fs::path dir_;
};

TEST_F(MifareToolTest, DumpIsTheSimulatedCardAndRestoreGivesItBack) {
  ASSERT_EQ(RunTool(tool_, {"mifare", "dump", File("card.bin")}), 0);
  sim::ReaderState state;
  const sim::MifareClassicCard& card = sim::PutSampleMifareCard(state);
  Bytes contents;
  for (const auto& block : card.Blocks()) contents.insert(contents.end(), block.begin(), block.end());
  EXPECT_EQ(ReadFile(File("card.bin")), contents);

  // A changed card, dumped; a fresh simulated card restored from that dump
  // and dumped again gives the same file.
  ASSERT_EQ(RunTool(tool_, {"mifare", "write", "9", "00112233445566778899AABBCCDDEEFF", "set", "5", "-42", "dump",
                            File("changed.bin")}),
            0);
  ASSERT_EQ(RunTool(tool_, {"mifare", "restore", File("changed.bin"), "dump", File("back.bin")}), 0);
  const Bytes changed = ReadFile(File("changed.bin"));
  EXPECT_NE(changed, contents);
  EXPECT_EQ(ReadFile(File("back.bin")), changed);
}

TEST_F(MifareToolTest, BadWordsSendNothing) {
  std::ofstream(File("short.bin")) << "too short";
  const std::vector<std::vector<std::string>> lines = {
      {"mifare", "restore", File("short.bin")},
      {"mifare", "restore", File("missing.bin")},
      {"mifare", "read", "64"},
      {"mifare", "key", "FFFF", "uid"},
      {"mifare", "uid", "dump"},
      {"mifare", "fly"},
  };
  for (const auto& words : lines) {
    fs::remove(File("trace.txt"));
    EXPECT_EQ(RunTool(tool_, words, File("trace.txt")), 2) << words.back();
    EXPECT_EQ(ReadText(File("trace.txt")).find("request code"), std::string::npos) << words.back();
  }
  // The trace does show a frame the tool sends.
  EXPECT_EQ(RunTool(tool_, {"mifare", "read", "5"}, File("trace.txt")), 0);
  EXPECT_NE(ReadText(File("trace.txt")).find("request code"), std::string::npos);
}

// A trailer whose access bytes contradict themselves would lock its sector
// for good: the tool refuses it (nothing sent) unless told --force.
TEST_F(MifareToolTest, SelfContradictingTrailerNeedsForce) {
  const std::string bad = "FFFFFFFFFFFF" "000780" "69" "FFFFFFFFFFFF";  // byte 6 should be FF
  const std::string good = "FFFFFFFFFFFF" "FF0780" "69" "FFFFFFFFFFFF";
  ASSERT_EQ(RunTool(tool_, {"mifare", "dump", File("card.bin")}), 0);
  Bytes dump = ReadFile(File("card.bin"));
  dump[16 * 11 + 6] = 0x00;  // sector 2's trailer
  std::ofstream(File("bad.bin"), std::ios::binary).write(reinterpret_cast<const char*>(dump.data()), 1024);
  struct Case {
    std::vector<std::string> words;
    int status;
    bool sent;
  };
  const Case cases[] = {
      {{"mifare", "write", "7", bad}, 2, false},
      {{"mifare", "restore-all", File("bad.bin")}, 2, false},
      {{"mifare", "write", "7", good, "read", "4"}, 0, true},
      // Written: the card locks the sector, so even its read-back is refused.
      {{"mifare", "--force", "write", "7", bad}, 1, true},
  };
  for (const Case& c : cases) {
    fs::remove(File("trace.txt"));
    EXPECT_EQ(RunTool(tool_, c.words, File("trace.txt")), c.status) << c.words[2];
    EXPECT_EQ(ReadText(File("trace.txt")).find("request code") != std::string::npos, c.sent) << c.words[2];
  }
}

}  // namespace
}  // namespace kulve::test

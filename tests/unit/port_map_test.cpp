// SPDX-License-Identifier: MIT
// The port map: parsing hostile text, where the files are, which source wins,
// reading again when a source changed; and the trace's header and stamps.
#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "link/config/port_map_state.h"
#include "link/latency_watch.h"
#include "link/link.h"
#include "link/port_paths.h"
#include "support/fake_reader.h"

namespace kulve::test {
namespace {

// "0=/dev/a 3=/dev/b": the indices a map names, for comparing whole maps.
std::string Named(const PortMap& map) {
  std::string out;
  for (std::size_t i = 0; i < map.size(); ++i) {
    if (!map[i].path.empty()) out += (out.empty() ? "" : " ") + std::to_string(i) + "=" + map[i].path;
  }
  return out;
}

struct ParseCase {
  const char* what;
  std::string text;
  std::string named;
  std::vector<std::string> problems;  // each must appear, in order, in one complaint
};

void Check(const ParseCase& c, bool file) {
  PortMap map;
  std::vector<std::string> problems;
  if (file) {
    ParsePortFile(c.text, "my.conf", map, problems);
  } else {
    ParsePortList(c.text, "KULVE32_PORTS", map, problems);
  }
  EXPECT_EQ(Named(map), c.named) << c.what;
  ASSERT_EQ(problems.size(), c.problems.size()) << c.what << ": " << (problems.empty() ? "" : problems[0]);
  for (std::size_t i = 0; i < problems.size(); ++i) {
    EXPECT_NE(problems[i].find(c.problems[i]), std::string::npos) << c.what << ": " << problems[i];
  }
}

TEST(PortMapParse, FileLines) {
  const ParseCase cases[] = {
      {"plain", "0=/dev/ttyUSB0\n1 = rfc2217://10.1.2.3:4001 \n", "0=/dev/ttyUSB0 1=rfc2217://10.1.2.3:4001", {}},
      {"CRLF, BOM, no last newline", "\xEF\xBB\xBF" "0=COM3\r\n2=\\\\.\\COM12", "0=COM3 2=\\\\.\\COM12", {}},
      {"comments, blanks, [ports]", "# ports\n; more\n\n[ports]\n  \t\n4=/dev/x\n", "4=/dev/x", {}},
      {"other sections are not read", "1=/dev/a\n[other]\n2=/dev/b\n[Ports]\n3=/dev/c\n", "1=/dev/a 3=/dev/c", {}},
      {"no '='", "0 /dev/ttyUSB0\n1=/dev/b\n", "1=/dev/b", {"my.conf line 1: \"0 /dev/ttyUSB0\" is not index=path"}},
      {"index out of range or not one digit", "10=/a\n-1=/b\n01=/c\nx=/d\n=/e\n9=/f\n", "9=/f",
       {"line 1: the index \"10\"", "line 2: the index \"-1\"", "line 3", "line 4", "line 5: the index \"\""}},
      {"duplicate: the later counts", "0=/first\n0=/second\n", "0=/second", {"line 2: port 0 given again (first at line 1)"}},
      {"no path", "5=\n5=   \n", "", {"line 1: no path for port 5", "line 2: no path for port 5"}},
      {"path one byte too long", "1=" + std::string(256, 'p') + "\n2=" + std::string(255, 'q'), "2=" + std::string(255, 'q'),
       {"line 1: the path for port 1 is longer than 255 bytes"}},
      {"line too long, whatever it holds", "3=/a" + std::string(2000, ' ') + "x\n", "", {"line 1: longer than 1024 bytes"}},
      {"control bytes are not printed back", "0=/dev/\x1b[2Jtty\n", "", {"\"0=/dev/?[2Jtty\" holds a control character"}},
      {"a NUL inside a line", std::string("0=/a\0b\n1=/c", 11), "1=/c", {"line 1"}},
      {"empty file", "", "", {}},
  };
  for (const ParseCase& c : cases) Check(c, true);
}

TEST(PortMapParse, EnvironmentList) {
  const ParseCase cases[] = {
      {"two entries", "0=rfc2217://10.1.2.3:4001;1=/dev/ttyUSB0", "0=rfc2217://10.1.2.3:4001 1=/dev/ttyUSB0", {}},
      {"empty entries and a trailing ';'", ";0=/a;;1=/b;", "0=/a 1=/b", {}},
      {"bad entries are counted from 1", "0=/a;junk;11=/b", "0=/a", {"entry 2: \"junk\"", "entry 3: the index \"11\""}},
      {"duplicate", "2=/x;2=/y", "2=/y", {"entry 2: port 2 given again (first at entry 1)"}},
      {"a line break is no separator", "0=/a\n1=/b", "", {"entry 1"}},
      {"too long as a whole", "0=/a;" + std::string(64 * 1024, ';'), "", {"KULVE32_PORTS: longer than 65536 bytes"}},
  };
  for (const ParseCase& c : cases) Check(c, false);
}

TEST(PortMapParse, AFloodOfBadEntriesIsCounted) {
  std::string text;
  for (int i = 0; i < 1000; ++i) text += "junk;";
  PortMap map;
  std::vector<std::string> problems;
  ParsePortList(text, "KULVE32_PORTS", map, problems);
  ASSERT_EQ(problems.size(), 21u);
  EXPECT_EQ(problems.back(), "KULVE32_PORTS: 980 more complaints not shown");
}

class FakeInputs final : public ConfigInputs {
 public:
  std::map<std::string, std::string> variables;
  std::map<std::string, std::string> files;
  std::string folder;
  mutable std::vector<std::string> reads;

  std::optional<std::string> Variable(const char* name) const override {
    const auto found = variables.find(name);
    if (found == variables.end()) return std::nullopt;
    return found->second;
  }
  std::optional<std::string> ReadFile(const std::string& path) const override {
    reads.push_back(path);
    const auto found = files.find(path);
    if (found == files.end()) return std::nullopt;
    return found->second;
  }
  std::string LibraryFolder() const override { return folder; }
};

TEST(PortMapFiles, WhereTheFilesAre) {
  struct Case {
    std::map<std::string, std::string> variables;
    std::string folder;
    std::vector<std::string> posix;
    std::vector<std::string> windows;
  };
  const Case cases[] = {
      {{{"HOME", "/home/ann"}}, "", {"/home/ann/.config/kulve32.conf", "/etc/kulve32.conf"}, {}},
      {{{"HOME", "/home/ann"}, {"XDG_CONFIG_HOME", "/cfg"}}, "", {"/cfg/kulve32.conf", "/etc/kulve32.conf"}, {}},
      // A relative XDG_CONFIG_HOME is not valid and falls back to HOME.
      {{{"HOME", "/h"}, {"XDG_CONFIG_HOME", "cfg"}}, "", {"/h/.config/kulve32.conf", "/etc/kulve32.conf"}, {}},
      {{}, "C:\\app", {"/etc/kulve32.conf"}, {"C:\\app\\KULVE32.INI"}},
      {{{"APPDATA", "C:\\Users\\ann\\AppData\\Roaming"}},
       "C:\\app",
       {"/etc/kulve32.conf"},
       {"C:\\app\\KULVE32.INI", "C:\\Users\\ann\\AppData\\Roaming\\KULVE32.INI"}},
      {{{"KULVE32_CONFIG", "/tmp/only.conf"}, {"HOME", "/h"}}, "C:\\app", {"/tmp/only.conf"}, {"/tmp/only.conf"}},
      {{{"KULVE32_CONFIG", ""}, {"HOME", "/h"}, {"APPDATA", "C:\\x"}}, "C:\\app", {}, {}},
  };
  for (const Case& c : cases) {
    FakeInputs inputs;
    inputs.variables = c.variables;
    inputs.folder = c.folder;
    EXPECT_EQ(PosixConfigFiles(inputs), c.posix);
    EXPECT_EQ(WindowsConfigFiles(inputs), c.windows);
  }
}

#if !defined(_WIN32)
// Only a regular file is read: a FIFO (its writer holding text in it), a
// device or a folder named as the configuration file reads as no file.
TEST(PortMapFiles, OnlyARegularFileIsRead) {
  char folder[] = "/tmp/kulve-config.XXXXXX";
  ASSERT_NE(::mkdtemp(folder), nullptr);
  const std::string regular = std::string(folder) + "/kulve32.conf", fifo = std::string(folder) + "/fifo";
  std::FILE* file = std::fopen(regular.c_str(), "w");
  ASSERT_NE(file, nullptr);
  std::fputs("0=/dev/from-file\n", file);
  std::fclose(file);
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const int writer = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(writer, 0);
  ASSERT_EQ(::write(writer, "0=/dev/from-fifo\n", 17), 17);
  const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);  // tells whether anyone opens the FIFO
  ASSERT_GE(watch, 0);
  ASSERT_GE(::inotify_add_watch(watch, fifo.c_str(), IN_OPEN), 0);
  const std::pair<std::string, std::optional<std::string>> cases[] = {
      {regular, "0=/dev/from-file\n"},
      {fifo, std::nullopt},
      {"/dev/null", std::nullopt},
      {"/dev/zero", std::nullopt},
      {folder, std::nullopt},
      {std::string(folder) + "/none", std::nullopt},
  };
  for (const auto& [path, text] : cases) EXPECT_EQ(SystemConfigInputs().ReadFile(path), text) << path;
  char event[256];
  EXPECT_LT(::read(watch, event, sizeof event), 0) << "the FIFO was opened, not only looked at";
  ::close(watch);
  ::close(writer);
  std::remove(fifo.c_str());
  std::remove(regular.c_str());
  ::rmdir(folder);
}
#endif

class PortMapLinkTest : public ::testing::Test, protected FakeReaderFixture {
 protected:
  void SetUp() override {
    inputs.variables["KULVE32_CONFIG"] = "/user.conf";  // one file; the second below is /etc's
    reader.context.portMap.inputs = &inputs;
    SetTrace(reader, 1, &Collect, this);
  }
  static void KULVE_CALL Collect(int, const char* line, void* context) {
    static_cast<PortMapLinkTest*>(context)->lines.push_back(line);
  }
  std::string Path(int index) {
    char out[kMaxPortPath + 1] = {};
    EXPECT_EQ(GetComPortPath(reader, index, out, sizeof out), 0);
    return out;
  }
  FakeInputs inputs;
  std::vector<std::string> lines;
};

TEST_F(PortMapLinkTest, EachSourceCountsForTheIndicesItNames) {
  inputs.files["/user.conf"] = "0=/dev/from-file\n1=/dev/file-1\n2=/dev/file-2\n";
  inputs.variables["KULVE32_PORTS"] = "1=rfc2217://sim:4001";
  EXPECT_EQ(SetComPortPath(reader, 2, "/dev/program"), 0);
  EXPECT_EQ(Path(0), "/dev/from-file");
  EXPECT_EQ(PathOrigin(reader, 0), "/user.conf line 1");
  EXPECT_EQ(Path(1), "rfc2217://sim:4001");
  EXPECT_EQ(PathOrigin(reader, 1), "KULVE32_PORTS");
  EXPECT_EQ(Path(2), "/dev/program");
  EXPECT_EQ(PathOrigin(reader, 2), "SetComPortPath");
  EXPECT_EQ(Path(3), "fake3");
  EXPECT_EQ(PathOrigin(reader, 3), "default");
  EXPECT_EQ(LinkCom(reader, 0), 0);
  EXPECT_EQ(peer.openedDevices, std::vector<std::string>{"/dev/from-file"});
}

TEST_F(PortMapLinkTest, SystemFileBeneathTheUsersOne) {
  inputs.variables.erase("KULVE32_CONFIG");
  inputs.variables["HOME"] = "/home/ann";
  inputs.files["/etc/kulve32.conf"] = "0=/dev/etc-0\n1=/dev/etc-1\n";
  inputs.files["/home/ann/.config/kulve32.conf"] = "1=/dev/user-1\n";
  EXPECT_EQ(Path(0), "/dev/etc-0");
  EXPECT_EQ(Path(1), "/dev/user-1");
}

TEST_F(PortMapLinkTest, LinkComReadsAgainWhatChanged) {
  inputs.files["/user.conf"] = "0=/dev/one\n";
  EXPECT_EQ(Path(0), "/dev/one");
  inputs.files["/user.conf"] = "0=/dev/two\nbroken\n";
  EXPECT_EQ(Path(0), "/dev/one");  // only LinkCom reads again
  EXPECT_TRUE(lines.empty());
  EXPECT_EQ(LinkCom(reader, 0), 0);
  EXPECT_EQ(peer.openedDevices.back(), "/dev/two");
  EXPECT_EQ(lines, std::vector<std::string>{"port map: /user.conf line 2: \"broken\" is not index=path; skipped"});
  EXPECT_EQ(LinkCom(reader, 0), 0);  // unchanged: read, not parsed, nothing said again
  EXPECT_EQ(lines.size(), 1u);
  inputs.files.erase("/user.conf");
  EXPECT_EQ(LinkCom(reader, 0), 0);
  EXPECT_EQ(peer.openedDevices.back(), "fake0");
}

TEST_F(PortMapLinkTest, OversizedFileIsSkipped) {
  inputs.files["/user.conf"] = "0=/dev/big\n" + std::string(kMaxConfigFile, '#');
  EXPECT_EQ(Path(0), "fake0");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "port map: /user.conf: larger than 65536 bytes; skipped");
}

TEST(TraceOutput, HeaderThenStampedLines) {
  Tracer trace;
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  trace.WriteTo(file);
  trace.wallNow = [] {
    // 2026-12-07 17:00:54.123 UTC
    return std::chrono::system_clock::time_point(std::chrono::milliseconds(1796662854123LL));
  };
  ASSERT_TRUE(trace.Set(2, nullptr, nullptr));
  trace.Session("port 0 = /dev/ttyUSB0 (KULVE32_PORTS)");
  trace.Line(2, "open %s", "/dev/ttyUSB0");
  trace.Line(2, "closed");
  trace.Session("port 0 = /dev/ttyUSB0 (KULVE32_PORTS)");  // a relink: no second header
  trace.Line(2, "again");
  trace.Session("port 1 = /dev/ttyUSB1 (default)");
  trace.Line(1, "failed");
  std::rewind(file);
  std::vector<std::string> written;
  char line[512];
  while (std::fgets(line, sizeof line, file) != nullptr) written.emplace_back(line);
  std::fclose(file);
  const std::string header = "kulve32: 2026-12-07T17:00:54.123Z library ";
  ASSERT_EQ(written.size(), 6u);
  EXPECT_EQ(written[0].rfind(header, 0), 0u) << written[0];
  EXPECT_NE(written[0].find("(DLLVER 7321, "), std::string::npos) << written[0];
  EXPECT_NE(written[0].find("), port 0 = /dev/ttyUSB0 (KULVE32_PORTS)\n"), std::string::npos) << written[0];
  EXPECT_EQ(written[1], "kulve32: 17:00:54.123 open /dev/ttyUSB0\n");
  EXPECT_EQ(written[2], "kulve32: 17:00:54.123 closed\n");
  EXPECT_EQ(written[3], "kulve32: 17:00:54.123 again\n");
  EXPECT_NE(written[4].find("port 1 = /dev/ttyUSB1 (default)"), std::string::npos) << written[4];
  EXPECT_EQ(written[5], "kulve32: 17:00:54.123 failed\n");
}

TEST(LatencyWatch, SaysSoOnceAfterThreeSlowTurns) {
  struct Case {
    bool local;
    std::vector<double> turns;
    int toldAt;  // 0-based turn that tells; -1: never
  };
  const Case cases[] = {
      {true, {15.6, 15.9, 15.2, 15.8}, 2},
      {true, {15.6, 0.4, 15.9, 15.2}, 3},  // slow turns need not follow each other
      {true, {4.0, 4.0, 4.0, 4.0}, -1},    // the threshold itself is fine
      {true, {1.1, 0.9, 1.3, 2.0}, -1},    // a 1 ms adapter
      {false, {30.0, 30.0, 30.0, 30.0}, -1},  // a network address
  };
  for (const Case& c : cases) {
    LatencyWatch watch;
    watch.Opened(c.local);
    int toldAt = -1;
    for (std::size_t i = 0; i < c.turns.size(); ++i) {
      if (watch.Turnaround(c.turns[i])) {
        EXPECT_EQ(toldAt, -1) << "told twice";
        toldAt = static_cast<int>(i);
      }
    }
    EXPECT_EQ(toldAt, c.toldAt);
  }
}

}  // namespace
}  // namespace kulve::test

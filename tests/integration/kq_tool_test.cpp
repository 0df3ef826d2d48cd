// SPDX-License-Identifier: MIT
// kulve kq records: the CSV printed for a range of days is exactly the
// simulated terminal's records of those days.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>

#include "sim/terminal/attendance_terminal.h"
#include "sim/terminal/sample_records.h"

namespace kulve::sim {
namespace {

std::string ToolPath() {
  std::error_code ec;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return {};
  const auto path = self.parent_path().parent_path() / "tools" / "kulve";
  return std::filesystem::exists(path) ? path.string() : std::string{};
}

std::string IsoDate(std::uint32_t dayNumber) {
  const TerminalDate d = DateOfDayNumber(dayNumber);
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", kFirstCalendarYear + d.year, d.month, d.day);
  return text;
}

// The CSV the tool should print for the sample records of a terminal whose
// clock shows today's date.
std::string ExpectedCsv(std::uint32_t from, std::uint32_t to) {
  AttendanceTerminal terminal;
  FillWithSampleRecords(terminal);
  std::string csv = "date,time,badge,kind\n";
  for (const AttendanceRecord& r : terminal.Records()) {
    const std::uint32_t day = r.dayIndex - kDayIndexOffset;
    if (day < from || day > to) continue;
    char line[64];
    std::snprintf(line, sizeof line, "%s,%02d:%02d:%02d,%u,%s\n", IsoDate(day).c_str(), r.hour, r.minute, r.second,
                  r.badge, r.kind == PunchKind::kIn ? "in" : "out");
    csv += line;
  }
  return csv;
}

std::string RunCapturing(const std::string& command, int& status) {
  std::string out;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  status = ::pclose(pipe);
  return out;
}

TEST(KqToolTest, RecordsAsCsvAreTheSimulatedRecordsOfTheRange) {
  const std::string tool = ToolPath();
  if (tool.empty()) GTEST_SKIP() << "kulve not built";
  // A range with working days and a weekend inside the three sampled weeks,
  // and one reaching past their start.
  for (const auto& [back, forth] : {std::pair{10u, 4u}, std::pair{30u, 18u}}) {
    std::string expected, got;
    int status = -1;
    for (int attempt = 0; attempt < 2; ++attempt) {  // once more if the day changed in between
      const std::uint32_t today = AttendanceTerminal().Today();
      expected = ExpectedCsv(today - back, today - forth);
      got = RunCapturing(tool + " --quiet --sim --sim-terminal kq records --from " + IsoDate(today - back) + " --to " +
                    IsoDate(today - forth) + " --csv 2>&1",
                status);
      if (got == expected) break;
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << got;
    EXPECT_GT(std::count(expected.begin(), expected.end(), '\n'), 10);
    EXPECT_EQ(got, expected);
  }
}

}  // namespace
}  // namespace kulve::sim

// SPDX-License-Identifier: MIT
// The attendance terminal over a real pty against the simulated one. The
// suite links once: every relink costs the 1 s pause of UnLinkCom.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <vector>

#include "sim/attendance_commands.h"
#include "sim/terminal/attendance_terminal.h"
#include "sim/terminal/sample_records.h"
#include "support/sim_fixture.h"

namespace kulve::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

int Position(int first, const unsigned char* low) { return first << 16 | low[1] << 8 | low[0]; }

class AttendanceOverPty : public LinkedReaderSuite {
 protected:

  template <class F>
  decltype(auto) Terminal(F&& f) {
    return reader_->WithState([&](sim::ReaderState& s) -> decltype(auto) { return f(sim::TerminalOf(s)); });
  }

};

// Seconds from year byte 0 on, by the library's day numbers.
long long Seconds(const KqTime& t) {
  const KqDate date{static_cast<unsigned char>(t.field[0]), static_cast<unsigned char>(t.field[1]),
                    static_cast<unsigned char>(t.field[2])};
  return KQ_Daysbyte(&date) * 86400LL + t.field[3] * 3600 + t.field[4] * 60 + t.field[5];
}

TEST_F(AttendanceOverPty, ClockSetThenReadKeepsRunning) {
  const KqTime set{{24, 2, 29, 23, 59, 58, 0}};  // the weekday byte is the terminal's to work out
  ASSERT_EQ(KQ_SetTime(&set), 0);
  KqTime now{};
  ASSERT_EQ(KQ_GetTime(&now), 0);
  // A loaded machine may take its time, but the clock never runs backwards
  // and does not jump.
  const long long ran = Seconds(now) - Seconds(set);
  EXPECT_GE(ran, 0);
  EXPECT_LE(ran, 120);
  const bool stillLeapDay = now.field[1] == 2;
  EXPECT_EQ(now.field[6], stillLeapDay ? 4 : 5);  // Thursday 2024-02-29, Friday 2024-03-01

  const KqTime notReal[] = {{{24, 13, 1, 0, 0, 0, 1}}, {{23, 2, 29, 0, 0, 0, 1}}, {{24, 1, 1, 24, 0, 0, 1}}};
  for (const KqTime& bad : notReal) EXPECT_EQ(KQ_SetTime(&bad), sim::status::kBadParameter);
  ASSERT_EQ(KQ_GetTime(&now), 0);
  EXPECT_LE(Seconds(now) - Seconds(set), 120);  // refused settings changed nothing
}

// Every day of a range, read through its start and end positions, gives
// exactly the terminal's records of that day.
TEST_F(AttendanceOverPty, RecordsOfADayRangeAreTheTerminalsOwn) {
  const auto records = Terminal([](sim::AttendanceTerminal& t) {
    t.SetTime({{24, 6, 14}, 9, 0, 0});
    sim::FillWithSampleRecords(t);  // working days of 2024-05-24 .. 06-13
    return t.Records();
  });
  ASSERT_FALSE(records.empty());
  const KqDate from{24, 5, 20}, to{24, 6, 16};
  int emptyDays = 0;
  std::size_t seen = 0;
  for (int n = KQ_Daysbyte(&from); n <= KQ_Daysbyte(&to); ++n) {
    KqDate d{};
    ASSERT_EQ(KQ_Datebyte(n, &d), 0);
    const int date[3] = {d.year, d.month, d.day};
    int first = -1;
    unsigned char low[4];
    ASSERT_EQ(KQ_GetStartPos(date, &first, low), 0);
    const int start = Position(first, low);
    ASSERT_EQ(KQ_GetEndPos(date, &first, low), 0);
    const int end = Position(first, low);
    ASSERT_LE(start, end);
    emptyDays += start == end;

    Bytes got;
    for (int at = start; at < end; at += 31) {
      const int count = std::min(end - at, 31);
      Bytes buffer(255, 0xEE);
      ASSERT_EQ(KQ_ReadRecord(at >> 16, at & 0xFFFF, count, buffer.data()), 0);
      got.insert(got.end(), buffer.begin(), buffer.begin() + count * 8);
    }
    const auto index = static_cast<std::uint16_t>(sim::DayNumberOf({d.year, d.month, d.day}) + sim::kDayIndexOffset);
    Bytes expected;
    for (std::size_t i = 0; i < records.size(); ++i) {
      if (records[i].dayIndex != index) continue;
      const Bytes one = Terminal([i](sim::AttendanceTerminal& t) { return t.ReadRecords(static_cast<std::uint32_t>(i), 1); });
      expected.insert(expected.end(), one.begin(), one.end());
      ++seen;
    }
    EXPECT_EQ(got, expected) << int{d.year} << "-" << int{d.month} << "-" << int{d.day};
  }
  EXPECT_EQ(seen, records.size());
  EXPECT_GE(emptyDays, 4 + 4 + 3);  // days before the records, weekends, days after

  int first = -1;
  unsigned char low[4];
  ASSERT_EQ(KQ_GetCurrentPos(&first, low), 0);
  EXPECT_EQ(Position(first, low), static_cast<int>(records.size()));
  Bytes past(255, 0xEE);
  ASSERT_EQ(KQ_ReadRecord(first, low[1] << 8 | low[0], 31, past.data()), 0);
  EXPECT_EQ(past, Bytes(255, 0xEE));  // nothing there: an empty reply writes nothing

  ASSERT_EQ(KQ_EndTrans(), 0);
  EXPECT_FALSE(Terminal([](sim::AttendanceTerminal& t) { return t.transferOpen; }));
}

// Positions are 24 bits: the byte half carries on past record 65535.
TEST_F(AttendanceOverPty, PositionsBeyondTheFirstBank) {
  Terminal([](sim::AttendanceTerminal& t) {
    t.EraseRecords();
    for (std::uint32_t i = 0; i < 0x10010; ++i) t.Add({i, 9000, 8, 0, 0, sim::PunchKind::kIn});
  });
  int first = -1;
  unsigned char low[4];
  ASSERT_EQ(KQ_GetCurrentPos(&first, low), 0);
  EXPECT_EQ(first, 1);
  EXPECT_EQ(Bytes(low, low + 4), (Bytes{0x10, 0x00, 0, 0}));
  Bytes buffer(255);
  ASSERT_EQ(KQ_ReadRecord(0, 0xFFFF, 2, buffer.data()), 0);  // the last of bank 0, the first of bank 1
  EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 16),
            (Bytes{0xFF, 0xFF, 0, 0, 8, 0, 0, 1, 0x00, 0x00, 1, 0, 8, 0, 0, 1}));
  ASSERT_EQ(KQ_SysInit(), 0);
  ASSERT_EQ(KQ_GetCurrentPos(&first, low), 0);
  EXPECT_EQ(Position(first, low), 0);
}

TEST_F(AttendanceOverPty, DisplayPasswordsAndPassThrough) {
  const char text[16] = {'I', 'N', ' ', 0, 'O', 'U', 'T', ' ', '1', '2', '3', '4', '5', '6', '7', '8'};
  ASSERT_EQ(KQ_Display(text), 0);
  const auto shown = Terminal([](sim::AttendanceTerminal& t) { return t.display; });
  EXPECT_TRUE(std::equal(shown.begin(), shown.end(), text));

  const unsigned char password[6] = {1, 2, 3, 4, 5, 6};
  EXPECT_EQ(KQ_DownloadPSW(1, password), 0);
  EXPECT_EQ(KQ_DownloadPSW(3, password), 0);
  EXPECT_EQ(KQ_DownloadPSW(257, password), sim::status::kBadLength);  // kind byte 1 with 6 bytes
  EXPECT_EQ(KQ_DownloadPSW(9, password), sim::status::kBadParameter);
  const auto kept = Terminal([](sim::AttendanceTerminal& t) { return t.passwords; });
  EXPECT_EQ(kept.at(1), (Bytes{1, 2, 3, 4}));
  EXPECT_EQ(kept.at(3), (Bytes{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(kept.size(), 2u);

  Bytes buffer(256);
  std::iota(buffer.begin(), buffer.end(), std::uint8_t{0x40});
  const Bytes request(buffer.begin(), buffer.begin() + 254);
  ASSERT_EQ(KQ_TransCmd(sim::terminal_sub::kEcho, 255, buffer.data()), 0);  // the longest request
  EXPECT_EQ(buffer[0], 254);
  EXPECT_EQ(Bytes(buffer.begin() + 1, buffer.begin() + 255), request);

  ASSERT_EQ(KQ_TransCmd(sim::terminal_sub::kIdentity, 1, buffer.data()), 0);
  EXPECT_EQ(std::string(buffer.begin() + 1, buffer.begin() + 1 + buffer[0]), sim::kTerminalIdentity);

  const Bytes before = buffer;
  const auto exchanges = reader_->ExchangeCount();
  EXPECT_EQ(KQ_TransCmd(0x55, 1, buffer.data()), sim::terminal_status::kUnknownSub);
  EXPECT_EQ(KQ_TransCmd(0, 0, buffer.data()), KULVE_BAD_ARGUMENT);
  EXPECT_EQ(KQ_TransCmd(0, 256, buffer.data()), KULVE_BAD_ARGUMENT);
  EXPECT_EQ(buffer, before);
  EXPECT_EQ(reader_->ExchangeCount(), exchanges + 1);  // the refused counts sent nothing
}

}  // namespace
}  // namespace kulve::test

// SPDX-License-Identifier: MIT
// The attendance-terminal section of the demo.
#include <string>
#include <vector>

#include "kulve32.h"
#include "sim/attendance_commands.h"
#include "sim/terminal/attendance_terminal.h"
#include "sim/terminal/sample_records.h"
#include "tools/attendance_records.h"
#include "tools/demo_steps.h"
#include "tools/hex.h"

namespace kulve::tool {

void RunAttendanceDemo(sim::Simulator& reader) {
  reader.WithState([](sim::ReaderState& s) {
    sim::AttendanceTerminal& terminal = sim::TerminalOf(s);
    terminal.SetTime(sim::TerminalTime{{24, 6, 14}, 9, 0, 0});
    sim::FillWithSampleRecords(terminal);
  });
  Say("The attendance terminal answers on the same link. Its clock stands at 2024-06-14");
  Say("09:00 and it holds three weeks of records: twelve badges coming and going.");
  KqTime now{};
  Show("KQ_GetTime", KQ_GetTime(&now));
  Say("the terminal's clock: %s (year byte %d; kulve takes year byte 0 as 2000)", FormatClock(now).c_str(),
      now.field[0]);

  int first = 0;
  unsigned char low[4] = {};
  Show("KQ_GetCurrentPos", KQ_GetCurrentPos(&first, low));
  Say("the next record goes to position %d", first << 16 | low[1] << 8 | low[0]);
  const int day[3] = {24, 6, 13};
  Show("KQ_GetStartPos(24, 6, 13)", KQ_GetStartPos(day, &first, low));
  const int start = first << 16 | low[1] << 8 | low[0];
  Show("KQ_GetEndPos(24, 6, 13)", KQ_GetEndPos(day, &first, low));
  Say("Thursday 2024-06-13 holds the records from position %d up to %d.", start, first << 16 | low[1] << 8 | low[0]);

  std::vector<RecordRow> rows;
  Show("KQ_ReadRecord over that range", ReadRecordsOfDays({24, 6, 13}, {24, 6, 13}, rows));
  Say("%zu records; the first three:", rows.size());
  if (rows.size() > 3) rows.resize(3);
  for (const RecordRow& r : rows) {
    Say("  %02d:%02d:%02d  badge %u  %s", r.hour, r.minute, r.second, r.badge, r.kind == 1 ? "in" : "out");
  }
  Show("KQ_EndTrans", KQ_EndTrans());

  const KqTime leapDay = ClockBytes({24, 2, 29}, 23, 59, 58);
  Show("KQ_SetTime(2024-02-29 23:59:58)", KQ_SetTime(&leapDay));
  Show("KQ_GetTime", KQ_GetTime(&now));
  Say("the terminal's clock: %s", FormatClock(now).c_str());
  KqDate date{24, 2, 29};
  Say("KQ_Daysbyte(24, 2, 29) = %d: every fourth year byte is a leap year.", KQ_Daysbyte(&date));
  Show("KQ_Datebyte(93505)", KQ_Datebyte(93505, &date));
  Say("gives year %d, month %d, day %d: the year byte wraps after 255.", date.year, date.month, date.day);

  Show("KQ_Display(\"Good morning\")", KQ_Display("Good morning    "));
  const std::string shown = reader.WithState([](sim::ReaderState& s) {
    const auto& text = sim::TerminalOf(s).display;
    return std::string(text.begin(), text.end());
  });
  Say("the display now shows \"%s\"", shown.c_str());

  unsigned char buffer[256] = {0x11, 0x22, 0x33};
  Show("KQ_TransCmd(0, 4, 11 22 33): the echo sub", KQ_TransCmd(0, 4, buffer));
  Say("byte 0 holds the reply length %d, then %s", buffer[0], FormatHex(std::span(buffer + 1, buffer[0])).c_str());
  Show("KQ_TransCmd(0, 0, ...): no room for the sub byte", KQ_TransCmd(0, 0, buffer));
  const unsigned char pin[6] = {1, 2, 3, 4, 5, 6};
  Show("KQ_DownloadPSW(1, 4 bytes)", KQ_DownloadPSW(1, pin));
  Show("KQ_DownloadPSW(257, ...): kind byte 1 with 6 bytes", KQ_DownloadPSW(257, pin));
}

}  // namespace kulve::tool

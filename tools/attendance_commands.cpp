// SPDX-License-Identifier: MIT
// The kq command of the kulve tool: the attendance terminal on the link.
//
//   kq time                       the terminal's clock
//   kq time set [DATE TIME]       set it (from this computer's clock when no value is given)
//   kq records --from DATE [--to DATE] [--csv]
//   kq display TEXT               up to 16 characters
//   kq pos | kq end | kq init | kq password KIND HEX | kq trans SUB [HEX]
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "kulve32.h"
#include "tools/attendance_records.h"
#include "tools/command.h"
#include "tools/hex.h"

namespace kulve::tool {
namespace {

constexpr std::size_t kDisplayChars = 16;

KqDate DateArg(const std::string& text) {
  const auto date = ParseDate(text);
  if (!date) throw UsageError("a date is YYYY-MM-DD, a real day of 2000..2255, not \"" + text + "\"");
  return *date;
}

int ShowTime(Session& s) {
  KqTime time{};
  const int result = KQ_GetTime(&time);
  if (result == 0) std::printf("%s\n", FormatClock(time).c_str());
  return Report(s, "terminal clock", result);
}

KqTime HostClock() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  const int year = local.tm_year + 1900 - kYearOfYearByteZero;
  if (year < 0 || year > 255) throw UsageError("this computer's year is outside 2000..2255; give DATE TIME");
  const KqDate date{static_cast<unsigned char>(year), static_cast<unsigned char>(local.tm_mon + 1),
                    static_cast<unsigned char>(local.tm_mday)};
  return ClockBytes(date, local.tm_hour, local.tm_min, std::min(local.tm_sec, 59));  // a leap second shows as :59
}

// kq time set: nothing (this computer's clock), "DATE TIME" or "DATETTIME".
Action SetTime(const Args& words) {
  std::optional<KqTime> time;
  if (words.size() == 2 || (words.size() == 1 && words[0].size() == 19 && words[0][10] == 'T')) {
    const std::string date = words.size() == 2 ? words[0] : words[0].substr(0, 10);
    const std::string clock = words.size() == 2 ? words[1] : words[0].substr(11);
    time = ParseTimeOfDay(clock, ClockBytes(DateArg(date), 0, 0, 0));
    if (!time) throw UsageError("a time is HH:MM:SS, not \"" + clock + "\"");
  } else if (!words.empty()) {
    throw UsageError("time set takes DATE TIME (2024-06-13 08:00:00) or nothing");
  }
  return [time](Session& s) {
    const KqTime value = time ? *time : HostClock();
    const int result = KQ_SetTime(&value);
    if (result == 0) std::printf("set to %s\n", FormatClock(value).c_str());
    return Report(s, "set terminal clock", result);
  };
}

Action Records(const Args& words) {
  std::optional<KqDate> from, to;
  bool csv = false;
  for (std::size_t i = 0; i < words.size(); ++i) {
    const bool hasValue = i + 1 < words.size();
    if (words[i] == "--from" && hasValue) {
      from = DateArg(words[++i]);
    } else if (words[i] == "--to" && hasValue) {
      to = DateArg(words[++i]);
    } else if (words[i] == "--csv") {
      csv = true;
    } else {
      throw UsageError("records takes --from DATE [--to DATE] [--csv], not \"" + words[i] + "\"");
    }
  }
  if (!from) throw UsageError("records needs --from DATE");
  if (!to) to = from;
  if (KQ_Daysbyte(&*to) < KQ_Daysbyte(&*from)) throw UsageError("--to comes before --from");
  return [first = *from, last = *to, csv](Session& s) {
    std::vector<RecordRow> rows;
    const int result = ReadRecordsOfDays(first, last, rows);
    if (result == 0) {
      std::fputs(FormatRecords(rows, csv).c_str(), stdout);
      if (!s.Quiet()) std::fprintf(stderr, "%zu records from %s to %s\n", rows.size(), FormatDate(first).c_str(),
                                   FormatDate(last).c_str());
    }
    const int ended = KQ_EndTrans();
    return Report(s, "read records", result != 0 ? result : ended);
  };
}

Action Display(const Args& words) {
  std::string text;
  for (const std::string& w : words) text += (text.empty() ? "" : " ") + w;
  if (text.size() > kDisplayChars) throw UsageError("the display shows at most 16 characters");
  text.resize(kDisplayChars, ' ');
  return [text](Session& s) { return Report(s, "display", KQ_Display(text.c_str())); };
}

int ShowPosition(Session& s) {
  int first = 0;
  unsigned char low[4] = {};
  const int result = KQ_GetCurrentPos(&first, low);
  if (result == 0) std::printf("current position %d (first %d, number %d)\n", first << 16 | low[1] << 8 | low[0], first,
                               low[1] << 8 | low[0]);
  return Report(s, "current position", result);
}

Action Password(const Args& words) {
  if (words.size() != 2) throw UsageError("password takes KIND HEX");
  const int kind = IntArg(words[0], 0, 255, "the password kind");
  const std::size_t size = kind == 1 ? 4 : 6;
  const Bytes password = HexArg(words[1], size, size, kind == 1 ? "a kind 1 password" : "the password");
  return [kind, password](Session& s) { return Report(s, "password", KQ_DownloadPSW(kind, password.data())); };
}

Action Trans(const Args& words) {
  if (words.empty() || words.size() > 2) throw UsageError("trans takes SUB [HEX]");
  const int sub = IntArg(words[0], 0, 255, "the sub byte");
  const Bytes request = words.size() == 2 ? HexArg(words[1], 0, 254, "the request") : Bytes{};
  return [sub, request](Session& s) {
    Bytes buffer(256, 0);
    std::copy(request.begin(), request.end(), buffer.begin());
    const int result = KQ_TransCmd(sub, static_cast<int>(request.size()) + 1, buffer.data());
    if (result == 0) std::printf("%s\n", FormatHex(std::span(buffer.data() + 1, buffer[0])).c_str());
    return Report(s, "pass-through", result);
  };
}

Action Fixed(const Args& words, const char* name, int (*run)(Session&)) {
  if (!words.empty()) throw UsageError(std::string(name) + " takes nothing more");
  return Action(run);
}

Action Kq(const Args& args) {
  if (args.empty()) throw UsageError("kq takes time, records, display, pos, end, init, password or trans");
  const std::string& what = args[0];
  const Args rest(args.begin() + 1, args.end());
  if (what == "time" && !rest.empty() && rest[0] == "set") return SetTime(Args(rest.begin() + 1, rest.end()));
  if (what == "time") return Fixed(rest, "time", ShowTime);
  if (what == "records") return Records(rest);
  if (what == "display") return Display(rest);
  if (what == "pos") return Fixed(rest, "pos", ShowPosition);
  if (what == "end") return Fixed(rest, "end", [](Session& s) { return Report(s, "end of transfer", KQ_EndTrans()); });
  if (what == "init") return Fixed(rest, "init", [](Session& s) { return Report(s, "initialise", KQ_SysInit()); });
  if (what == "password") return Password(rest);
  if (what == "trans") return Trans(rest);
  throw UsageError("unknown kq command \"" + what + "\"");
}

}  // namespace

void AddAttendanceCommands(CommandList& commands) {
  commands.push_back({"kq", kRestOfLine, "WHAT ...",
                      "the attendance terminal (last on the line): time, time set [DATE TIME], "
                      "records --from DATE [--to DATE] [--csv], display TEXT, pos, end, init, "
                      "password KIND HEX, trans SUB [HEX]",
                      true, Kq});
}

}  // namespace kulve::tool

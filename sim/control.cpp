// SPDX-License-Identifier: MIT
#include "sim/control.h"

#include <cstdio>
#include <cstdlib>

#include "sim/attendance_commands.h"
#include "sim/card_files.h"
#include "sim/cards/at1608_card.h"
#include "sim/cards/chip_card.h"
#include "sim/cards/e5550_transponder.h"
#include "sim/cards/memory_card.h"
#include "sim/terminal/attendance_terminal.h"
#include "sim/terminal/sample_records.h"
#include "sim/cpucard_commands.h"
#include "sim/hex_text.h"
#include "sim/mifare_reader.h"

#include "sim/fault_text.h"

namespace kulve::sim {

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

std::string DescribeClock(const AttendanceTerminal& terminal) {
  const TerminalTime t = terminal.Time();
  char text[64];
  std::snprintf(text, sizeof text, "clock %04d-%02d-%02d %02d:%02d:%02d weekday=%d", kFirstCalendarYear + t.date.year,
                t.date.month, t.date.day, t.hour, t.minute, t.second, WeekdayOf(DayNumberOf(t.date)));
  return text;
}

std::string DescribeDisplay(const AttendanceTerminal& terminal) {
  std::string text = "display \"";
  for (std::uint8_t c : terminal.display) text += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '.';
  return text + "\"";
}

std::string Punch(Simulator& sim, std::string_view arg) {
  const auto space = arg.find(' ');
  const std::string badgeText(arg.substr(0, space));
  const std::string_view kindText = space == std::string_view::npos ? std::string_view{} : Trim(arg.substr(space + 1));
  char* end = nullptr;
  const unsigned long long badge = std::strtoull(badgeText.c_str(), &end, 0);
  const bool badgeOk = !badgeText.empty() && badgeText[0] != '-' && *end == '\0' && badge <= 0xFFFFFFFFull;
  if (!badgeOk || (kindText != "in" && kindText != "out")) return "error: punch takes BADGE in|out";
  const PunchKind kind = kindText == "in" ? PunchKind::kIn : PunchKind::kOut;
  const bool filed = sim.WithState(
      [&](ReaderState& s) { return TerminalOf(s).Punch(static_cast<std::uint32_t>(badge), kind); });
  return filed ? "ok" : "error: the terminal cannot file a record at its clock's time";
}

std::string RunE5550Control(Simulator& sim, std::string_view arg) {
  if (arg == "place") {
    sim.WithState([](ReaderState& s) { PlaceTransponder(s); });
    return "ok";
  }
  if (arg == "remove") {
    sim.WithState([](ReaderState& s) { RemoveTransponder(s); });
    return "ok";
  }
  if (arg == "leave") {
    const bool present = sim.WithState([](ReaderState& s) {
      if (s.transponder) s.transponder->LeaveField();
      return s.transponder != nullptr;
    });
    return present ? "ok" : "error: no transponder in the field";
  }
  return "error: e5550 takes place, remove or leave";
}

// Splits off the first word of arg.
std::string_view NextWord(std::string_view& arg) {
  const auto space = arg.find(' ');
  const std::string_view word = arg.substr(0, space);
  arg = space == std::string_view::npos ? std::string_view{} : Trim(arg.substr(space + 1));
  return word;
}

std::string Done(const std::string& error) { return error.empty() ? "ok" : "error: " + error; }

std::string Load(Simulator& sim, std::string_view arg) {
  const std::string_view kind = NextWord(arg);
  if (kind == "card") {
    const std::string text(NextWord(arg));
    char* end = nullptr;
    const long type = std::strtol(text.c_str(), &end, 0);
    if (text.empty() || *end != '\0' || type < 0 || type > 255 || arg.empty())
      return "error: load card takes TYPE FILE";
    const std::string path(arg);
    return Done(sim.WithState([&](ReaderState& s) { return LoadMemoryCardFile(s, static_cast<std::uint8_t>(type), path); }));
  }
  const std::string path(arg);
  if (path.empty()) return "error: load takes card TYPE FILE, mifare FILE, at1608 FILE or e5550 FILE";
  if (kind == "mifare") return Done(sim.WithState([&](ReaderState& s) { return LoadMifareFile(s, std::nullopt, path); }));
  if (kind == "at1608") return Done(sim.WithState([&](ReaderState& s) { return LoadAt1608File(s, std::nullopt, path); }));
  if (kind == "e5550") return Done(sim.WithState([&](ReaderState& s) { return LoadE5550File(s, path); }));
  return "error: load takes card TYPE FILE, mifare FILE, at1608 FILE or e5550 FILE";
}

std::string Save(Simulator& sim, std::string_view arg) {
  const std::string kind(NextWord(arg));
  std::optional<MifareUid> uid;
  if (kind == "mifare") {
    uid = ParseUid(NextWord(arg));
    if (!uid) return "error: save mifare takes UID FILE";
  }
  const std::string path(arg);
  if (path.empty()) return "error: save takes card FILE, mifare UID FILE, at1608 FILE, e5550 FILE or state DIR";
  if (kind == "state") {
    std::vector<std::string> written;
    const std::string error = sim.WithState([&](ReaderState& s) { return SaveReaderState(s, path, written); });
    return error.empty() ? "ok " + std::to_string(written.size()) + " files" : "error: " + error;
  }
  return Done(sim.WithState([&](ReaderState& s) { return SaveCardFile(s, kind, uid, path); }));
}

std::string RunStrictControl(Simulator& sim, std::string_view arg) {
  const auto space = arg.find(' ');
  const std::string slotText(arg.substr(0, space));
  const std::string_view rest = space == std::string_view::npos ? std::string_view{} : Trim(arg.substr(space + 1));
  char* end = nullptr;
  const long slot = std::strtol(slotText.c_str(), &end, 10);
  const char* usage = "error: strict takes SLOT on|off|slow MS|compute MS [wtx M]|drop [N]";
  if (slotText.empty() || *end != '\0' || slot < 0 || slot >= static_cast<long>(kChipSlots)) return usage;
  const auto at = static_cast<std::size_t>(slot);
  if (rest == "on" || rest == "off") {
    const bool done = sim.WithState([&](ReaderState& s) { return SetChipStrict(s, at, rest == "on"); });
    return done ? "ok" : "error: no T=1 card in that slot";
  }
  if (rest.starts_with("compute ")) {
    // compute MS [wtx M]: the work of each command, with or without S(WTX M).
    unsigned long ms = 0, wtx = 0;
    char extra = 0;
    const std::string words(rest.substr(8));
    const int n = std::sscanf(words.c_str(), "%lu wtx %lu %c", &ms, &wtx, &extra);
    if (n < 1 || n == 3 || ms > 60000 || wtx > 255 || (n == 1 && words.find_first_not_of("0123456789 ") != std::string::npos)) {
      return "error: compute takes 0..60000 ms, then optionally wtx 0..255";
    }
    const bool set = sim.WithState([&](ReaderState& s) {
      ChipCard* card = s.chipCards[at].get();
      if (card == nullptr || card->Strict() == nullptr) return false;
      card->Strict()->SetCompute(static_cast<unsigned>(ms), static_cast<std::uint8_t>(wtx));
      return true;
    });
    return set ? "ok" : "error: the card in that slot is not strict (strict SLOT on)";
  }
  unsigned slowMs = 0;
  unsigned skip = 0;
  const bool drop = rest == "drop" || rest.starts_with("drop ");
  if (drop && rest != "drop") {
    const std::string n(Trim(rest.substr(5)));
    const unsigned long value = std::strtoul(n.c_str(), &end, 10);
    if (n.empty() || *end != '\0' || value > 1000) return "error: drop takes 0..1000 blocks to skip";
    skip = static_cast<unsigned>(value);
  }
  if (!drop) {
    if (!rest.starts_with("slow ")) return usage;
    const std::string ms(Trim(rest.substr(5)));
    const unsigned long value = std::strtoul(ms.c_str(), &end, 10);
    if (ms.empty() || *end != '\0' || value > 60000) return "error: slow takes 0..60000 ms";
    slowMs = static_cast<unsigned>(value);
  }
  const bool done = sim.WithState([&](ReaderState& s) {
    ChipCard* card = s.chipCards[at].get();
    if (card == nullptr || card->Strict() == nullptr) return false;
    if (drop) {
      card->Strict()->DropBlock(skip);
    } else {
      card->Strict()->SetSlow(slowMs);
    }
    return true;
  });
  return done ? "ok" : "error: the card in that slot is not strict (strict SLOT on)";
}

}  // namespace

std::string PutChipCard(Simulator& sim, std::string_view slot, std::string_view atr) {
  const std::string slotText(slot);
  char* end = nullptr;
  const long index = std::strtol(slotText.c_str(), &end, 10);
  if (slotText.empty() || *end != '\0' || index < 0 || index >= static_cast<long>(kChipSlots)) {
    return "the slot is 0 (CPU card) or 1..4 (SAM)";
  }
  const auto at = static_cast<std::size_t>(index);
  if (atr == "none") {
    sim.WithState([at](ReaderState& s) { RemoveChipCard(s, at); });
    return {};
  }
  auto bytes = ParseHexText(atr);
  if (!bytes || bytes->size() < 2 || bytes->size() > kMaxAtrSize) return "the ATR is 2 to 33 hex bytes, or none";
  sim.WithState([at, &bytes](ReaderState& s) { InsertChipCard(s, at, std::move(*bytes)); });
  return {};
}

std::string RunControlCommand(Simulator& sim, std::string_view line) {
  line = Trim(line);
  if (line.empty() || line.front() == '#') return {};
  const auto space = line.find(' ');
  const std::string_view verb = line.substr(0, space);
  const std::string_view arg =
      space == std::string_view::npos ? std::string_view{} : Trim(line.substr(space + 1));

  if (verb == "fault") {
    std::string error;
    auto parsed = ParseFault(arg, error);
    if (!parsed) return "error: " + error;
    sim.InjectFault(parsed->fault, parsed->trigger);
    return "ok";
  }
  if (verb == "clear" && arg.empty()) {
    sim.ClearFaults();
    return "ok";
  }
  if (verb == "speed") {
    SpeedSet speeds;
    if (!ParseSpeedSet(std::string(arg), speeds)) return "error: speed takes 57600, 9600 or both";
    sim.SetAcceptedSpeeds(speeds);
    return "ok";
  }
  if (verb == "vanish" && arg.empty()) {
    sim.Vanish();
    return "ok";
  }
  if (verb == "insert") {
    const std::string text(arg);
    char* end = nullptr;
    const long type = std::strtol(text.c_str(), &end, 0);
    if (text.empty() || *end != '\0' || type < 0 || type > 255) return "error: insert takes a card type 0..255";
    sim.WithState([&](ReaderState& s) { InsertMemoryCard(s, static_cast<std::uint8_t>(type)); });
    return "ok";
  }
  if (verb == "at1608") {
    const auto seed = ParseAt1608Seed(arg);
    if (!seed) return "error: at1608 takes a seed of 16 hex digits";
    sim.WithState([&](ReaderState& s) { InsertAt1608Card(s, *seed); });
    return "ok";
  }
  if (verb == "remove" && arg.empty()) {
    sim.WithState([](ReaderState& s) {
      RemoveMemoryCard(s);
      RemoveAt1608Card(s);
    });
    return "ok";
  }
  if (verb == "clock" && arg.empty()) {
    return sim.WithState([](ReaderState& s) { return DescribeClock(TerminalOf(s)); });
  }
  if (verb == "display" && arg.empty()) {
    return sim.WithState([](ReaderState& s) { return DescribeDisplay(TerminalOf(s)); });
  }
  if (verb == "terminal" && arg.empty()) {
    return sim.WithState([](ReaderState& s) {
      const AttendanceTerminal& t = TerminalOf(s);
      return "terminal records=" + std::to_string(t.CurrentPosition()) +
             " transfer=" + std::to_string(t.transferOpen ? 1 : 0) + " ended=" + std::to_string(t.transfersEnded);
    });
  }
  if (verb == "punch") return Punch(sim, arg);
  if (verb == "fill" && arg.empty()) {
    sim.WithState([](ReaderState& s) { FillWithSampleRecords(TerminalOf(s)); });
    return "ok";
  }
  if (verb == "e5550") return RunE5550Control(sim, arg);
  if (verb == "chip") {
    const auto space2 = arg.find(' ');
    if (space2 == std::string_view::npos) return "error: chip takes SLOT ATR|none";
    const std::string error = PutChipCard(sim, arg.substr(0, space2), Trim(arg.substr(space2 + 1)));
    return error.empty() ? "ok" : "error: " + error;
  }
  if (verb == "strict") return RunStrictControl(sim, arg);
  if (verb == "t1errors" && arg.empty()) {
    const auto errors = sim.WithState([](ReaderState& s) { return TakeChipProtocolErrors(s); });
    std::string answer = "t1errors " + std::to_string(errors.size());
    for (std::size_t i = 0; i < errors.size(); ++i) answer += (i == 0 ? ": " : "; ") + errors[i];
    return answer;
  }
  if (verb == "mifare") {
    if (arg == "clear") {
      sim.WithState([](ReaderState& s) { ClearMifareField(s); });
      return "ok";
    }
    const auto uid = arg.starts_with("add ") ? ParseUid(Trim(arg.substr(4))) : std::nullopt;
    if (!uid) return "error: mifare takes add UID (8 hex digits) or clear";
    sim.WithState([&](ReaderState& s) { PutMifareCard(s, *uid); });
    return "ok";
  }
  if (verb == "load") return Load(sim, arg);
  if (verb == "save") return Save(sim, arg);
  if (verb == "count" && arg.empty()) return "count " + std::to_string(sim.ExchangeCount());
  if (verb == "state" && arg.empty()) {
    return sim.WithState([](ReaderState& s) {
      return "state card=" + std::to_string(s.selectedCard) + " slot=" + std::to_string(s.slotState) +
             " power=" + std::to_string(static_cast<int>(s.power)) +
             " standby=" + std::to_string(s.standby ? 1 : 0);
    });
  }
  return "error: unknown command '" + std::string(verb) + "'";
}

}  // namespace kulve::sim

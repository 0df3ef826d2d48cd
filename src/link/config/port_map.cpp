// SPDX-License-Identifier: MIT
#include "link/config/port_map.h"

#include <array>

#include "link/reader_context.h"

namespace kulve {
namespace {

constexpr std::string_view kBlanks = " \t";

std::string_view Trim(std::string_view s) {
  const auto first = s.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(kBlanks) - first + 1);
}

// The start of a line for a message: at most 40 bytes, control bytes and
// bytes outside ASCII shown as '?', so a hostile file cannot garble the trace.
std::string Shown(std::string_view s) {
  std::string out = "\"";
  for (std::size_t i = 0; i < s.size() && i < 40; ++i) {
    const auto c = static_cast<unsigned char>(s[i]);
    out += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
  }
  out += s.size() > 40 ? "...\"" : "\"";
  return out;
}

// Complaints one source may add; the rest are counted in one more line, so
// a hostile source cannot flood the trace.
constexpr std::size_t kMaxComplaints = 20;

struct Parser {
  std::string_view origin;
  std::string_view where;  // "line", "entry"
  PortMap& map;
  std::vector<std::string>& problems;
  std::array<std::size_t, kMappedPorts> seenAt{};  // 0: not yet in this source
  std::size_t complaints = 0;

  ~Parser() {
    if (complaints > kMaxComplaints) {
      problems.push_back(std::string(origin) + ": " + std::to_string(complaints - kMaxComplaints) +
                         " more complaints not shown");
    }
  }

  void Say(std::size_t number, const std::string& what) {
    if (++complaints > kMaxComplaints) return;
    problems.push_back(std::string(origin) + " " + std::string(where) + " " + std::to_string(number) + ": " + what);
  }
  void Complain(std::size_t number, const std::string& what) { Say(number, what + "; skipped"); }

  void Entry(std::string_view raw, std::size_t number) {
    if (raw.size() > kMaxPortMapLine) {
      Complain(number, "longer than " + std::to_string(kMaxPortMapLine) + " bytes");
      return;
    }
    for (const char c : raw) {
      if (static_cast<unsigned char>(c) < 0x20 && c != '\t') {
        Complain(number, Shown(raw) + " holds a control character");
        return;
      }
    }
    const auto equals = raw.find('=');
    if (equals == std::string_view::npos) {
      Complain(number, Shown(raw) + " is not index=path");
      return;
    }
    const std::string_view key = Trim(raw.substr(0, equals));
    const std::string_view path = Trim(raw.substr(equals + 1));
    // One digit: 0..9, nothing else ("01", "+1", "1x" and "10" are refused).
    if (key.size() != 1 || key[0] < '0' || key[0] > '9') {
      Complain(number, "the index " + Shown(key) + " is not 0..9");
      return;
    }
    if (path.empty()) {
      Complain(number, "no path for port " + std::string(key));
      return;
    }
    if (path.size() > kMaxPortPath) {
      Complain(number, "the path for port " + std::string(key) + " is longer than " + std::to_string(kMaxPortPath) +
                           " bytes");
      return;
    }
    const auto index = static_cast<std::size_t>(key[0] - '0');
    if (seenAt[index] != 0) {
      Say(number, "port " + std::string(key) + " given again (first at " + std::string(where) + " " +
                      std::to_string(seenAt[index]) + "); the later one counts");
    }
    seenAt[index] = number;
    map[index].path.assign(path);
    map[index].origin = std::string(origin);
    if (where == "line") map[index].origin += " line " + std::to_string(number);
  }
};

}  // namespace

void ParsePortList(std::string_view text, std::string_view origin, PortMap& map,
                   std::vector<std::string>& problems) {
  if (text.size() > kMaxPortList) {
    problems.push_back(std::string(origin) + ": longer than " + std::to_string(kMaxPortList) + " bytes; skipped");
    return;
  }
  Parser parser{origin, "entry", map, problems};
  std::size_t number = 0;
  while (!text.empty()) {
    const auto end = text.find(';');
    const std::string_view entry = text.substr(0, end);
    ++number;
    if (!Trim(entry).empty()) parser.Entry(entry, number);  // "0=a;;1=b" and a trailing ';' are fine
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
}

void ParsePortFile(std::string_view text, std::string_view origin, PortMap& map,
                   std::vector<std::string>& problems) {
  Parser parser{origin, "line", map, problems};
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  bool inPorts = true;  // entries before any section line count
  std::size_t number = 0;
  while (!text.empty()) {
    const auto end = text.find('\n');
    std::string_view line = text.substr(0, end);
    ++number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::string_view trimmed = Trim(line);
    if (trimmed.size() > kMaxPortMapLine) {
      parser.Entry(trimmed, number);  // refused for its length
    } else if (!trimmed.empty() && trimmed.front() == '[') {
      inPorts = trimmed == "[ports]" || trimmed == "[Ports]" || trimmed == "[PORTS]";
    } else if (inPorts && !trimmed.empty() && trimmed.front() != '#' && trimmed.front() != ';') {
      parser.Entry(trimmed, number);
    }
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
}

}  // namespace kulve

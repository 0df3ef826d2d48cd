// SPDX-License-Identifier: MIT
// The port map: which device a port index leads to when the program has not
// set one itself. It comes from the KULVE32_PORTS environment variable
// ("0=rfc2217://10.1.2.3:4001;1=/dev/ttyUSB0") and from configuration files
// with one "index=path" a line. Parsing is pure: the text in, the entries and
// the complaints about lines that were skipped out.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace kulve {

inline constexpr int kMappedPorts = 10;
// Longer lines are skipped whole (a path is at most 255 bytes).
inline constexpr std::size_t kMaxPortMapLine = 1024;
// A longer KULVE32_PORTS is skipped whole.
inline constexpr std::size_t kMaxPortList = 64 * 1024;

struct PortMapEntry {
  std::string path;    // empty: the source does not name this index
  std::string origin;  // "KULVE32_PORTS", "/etc/kulve32.conf line 3"
};

using PortMap = std::array<PortMapEntry, kMappedPorts>;

// Entries go into `map`, overwriting what an earlier (weaker) source put
// there; each skipped entry adds one line to `problems` (the first 20 of a
// source, then one line counting the rest). Within one source an index
// given twice keeps the later path, with a complaint.
void ParsePortList(std::string_view text, std::string_view origin, PortMap& map,
                   std::vector<std::string>& problems);
// A file: one entry a line; blank lines, lines starting with '#' or ';' and
// a "[ports]" section line are skipped; a UTF-8 byte order mark and CR
// before LF are allowed; lines of other sections are skipped.
void ParsePortFile(std::string_view text, std::string_view origin, PortMap& map,
                   std::vector<std::string>& problems);

}  // namespace kulve

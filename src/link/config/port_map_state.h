// SPDX-License-Identifier: MIT
// The port map a reader works with: read when first needed and read again
// when its sources changed.
#pragma once

#include <string>
#include <vector>

#include "link/config/config_inputs.h"
#include "link/config/port_map.h"

namespace kulve {

struct PortMapState {
  const ConfigInputs* inputs = nullptr;  // null: no map (a reader tests build)
  bool loaded = false;
  std::string sources;  // everything read last time, to tell a change
  PortMap map;
};

// Reads the sources when never read or when they changed since. Weakest
// first, each stronger source overwriting the indices it names: the files
// from last to first, then KULVE32_PORTS. True when the map was (re)built;
// the lines that were skipped are then in `problems`.
bool RefreshPortMap(PortMapState& state, std::vector<std::string>& problems);

}  // namespace kulve

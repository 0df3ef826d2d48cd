// SPDX-License-Identifier: MIT
// The line speeds a reader answers at (declared in line.h); apart from the
// line itself, so builds without a pseudo-terminal have them too.
#include <cstdint>
#include <string>

#include "sim/line.h"

namespace kulve::sim {

bool Accepts(SpeedSet speeds, std::uint32_t bps) {
  const bool fast = bps == 57600 || bps == 38400;
  switch (speeds) {
    case SpeedSet::k57600Only: return fast;
    case SpeedSet::k9600Only: return bps == 9600;
    case SpeedSet::kBoth: return fast || bps == 9600;
  }
  return false;
}

bool ParseSpeedSet(const std::string& text, SpeedSet& out) {
  if (text == "57600") out = SpeedSet::k57600Only;
  else if (text == "9600") out = SpeedSet::k9600Only;
  else if (text == "both") out = SpeedSet::kBoth;
  else return false;
  return true;
}

}  // namespace kulve::sim

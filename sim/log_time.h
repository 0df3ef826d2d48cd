// SPDX-License-Identifier: MIT
// The time stamp at the head of each line of the simulator's log, in the
// form and zone of the library's trace (UTC, "17:00:54.123"), so that the
// two logs of one session line up.
#pragma once

#include <string>

namespace kulve::sim {

std::string LogTime();

}  // namespace kulve::sim

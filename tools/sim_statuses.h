// SPDX-License-Identifier: MIT
// What the simulator means by each reader status it answers with. A real
// reader's statuses are its own; the tool names these only when it talks to
// the simulator (--sim). docs/reader-statuses.md lists the same table.
#pragma once

#include <string>

namespace kulve::tool {

// The meaning of reader status 0x80..0xFF in the simulator, or "" when it
// answers no such status.
std::string SimulatorStatusText(int status);

}  // namespace kulve::tool

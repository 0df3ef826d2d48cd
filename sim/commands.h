// SPDX-License-Identifier: MIT
// The full command set of the simulated reader.
#pragma once

#include "sim/firmware.h"

namespace kulve::sim {

// Registers every family's commands. Each family adds one line here.
void RegisterReaderCommands(Firmware& firmware);

}  // namespace kulve::sim

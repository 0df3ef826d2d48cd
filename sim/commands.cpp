// SPDX-License-Identifier: MIT
#include "sim/commands.h"

#include "sim/cpucard_commands.h"
#include "sim/housekeeping.h"
#include "sim/memcard_commands.h"

namespace kulve::sim {

void RegisterReaderCommands(Firmware& firmware) {
  RegisterHousekeepingCommands(firmware);
  RegisterMemoryCardCommands(firmware);
  RegisterChipCardCommands(firmware);
}

}  // namespace kulve::sim

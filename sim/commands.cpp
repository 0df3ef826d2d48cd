// SPDX-License-Identifier: MIT
#include "sim/commands.h"

#include "sim/housekeeping.h"
#include "sim/memcard_commands.h"
#include "sim/mifare_commands.h"

namespace kulve::sim {

void RegisterReaderCommands(Firmware& firmware) {
  RegisterHousekeepingCommands(firmware);
  RegisterMemoryCardCommands(firmware);
  RegisterMifareCommands(firmware);
}

}  // namespace kulve::sim

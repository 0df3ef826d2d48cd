// SPDX-License-Identifier: MIT
#include "sim/commands.h"

#include "sim/attendance_commands.h"
#include "sim/at1608_commands.h"
#include "sim/cpucard_commands.h"
#include "sim/housekeeping.h"
#include "sim/memcard_commands.h"
#include "sim/rf5550_commands.h"
#include "sim/rf_module_commands.h"
#include "sim/mifare_commands.h"

namespace kulve::sim {

void RegisterReaderCommands(Firmware& firmware) {
  RegisterHousekeepingCommands(firmware);
  RegisterMemoryCardCommands(firmware);
  RegisterAttendanceCommands(firmware);
  RegisterAt1608Commands(firmware);
  RegisterE5550Commands(firmware);
  RegisterRfModuleCommands(firmware);
  RegisterChipCardCommands(firmware);
  RegisterMifareCommands(firmware);
}

}  // namespace kulve::sim

#include "sim/commands.h"

#include "sim/housekeeping.h"

namespace kulve::sim {

void RegisterReaderCommands(Firmware& firmware) {
  RegisterHousekeepingCommands(firmware);
}

}  // namespace kulve::sim

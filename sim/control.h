// SPDX-License-Identifier: MIT
// Commands a running kulvesim takes on its standard input, one per line,
// so a test script can steer a reader in another process:
//
//   fault FAULT    schedule a fault (syntax in fault_text.h)   -> ok | error: ...
//   clear          drop every scheduled fault                  -> ok
//   speed S        accept 57600, 9600 or both                  -> ok | error: ...
//   vanish         close the line now (kulvesim opens a new one) -> ok
//   count          exchanges completed so far                  -> count N
//   state          the reader state                            -> state card=.. slot=.. power=.. standby=..
//   insert TYPE    a new contact memory card of TYPE in the slot -> ok | error: ...
//   remove         empty the contact slot                      -> ok
//   mifare add UID a new Mifare Classic card (UID: 8 hex digits) in the field -> ok | error: ...
//   mifare clear   every Mifare card leaves the field          -> ok
// Empty lines and lines starting with '#' are ignored (no answer).
#pragma once

#include <string>
#include <string_view>

#include "sim/simulator.h"

namespace kulve::sim {

// Runs one command line; returns the answer line (empty for none).
std::string RunControlCommand(Simulator& sim, std::string_view line);

}  // namespace kulve::sim

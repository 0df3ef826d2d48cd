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
//   chip SLOT ATR  a new CPU card (SLOT 0) or SAM (1..4) answering reset
//                  with the hex ATR; "none" empties the slot   -> ok | error: ...
//   t1errors       T=1 protocol errors the cards logged since the last ask
//                                                              -> t1errors N[: slot: error; ...]
// Empty lines and lines starting with '#' are ignored (no answer).
#pragma once

#include <string>
#include <string_view>

#include "sim/simulator.h"

namespace kulve::sim {

// Runs one command line; returns the answer line (empty for none).
std::string RunControlCommand(Simulator& sim, std::string_view line);

// Puts a new chip card answering with the hex ATR (or none, for "none") into
// slot 0..4; returns why not, or an empty string when done.
std::string PutChipCard(Simulator& sim, std::string_view slot, std::string_view atr);

}  // namespace kulve::sim

// SPDX-License-Identifier: MIT
// Faults written as text, for the command line:
//
//   BYTE:KIND[@TRIGGER]
//   BYTE     start | ack | status | length | data | checksum
//   KIND     silent | wrong | wrong=N | delay=MS | vanish
//   TRIGGER  every (the default) | next | nth=N | code=C
//            or a comma list of code=C, skip=N, times=N (times=0: no end)
//
// Numbers are decimal or 0x-prefixed hex. Examples: "ack:silent@code=13",
// "start:wrong=0x21@next", "checksum:delay=300", "status:vanish@nth=3".
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "sim/faults.h"

namespace kulve::sim {

struct ScheduledFault {
  Fault fault;
  FaultTrigger trigger;
};

// Nothing when the text is not a valid fault; `error` then says why.
std::optional<ScheduledFault> ParseFault(std::string_view text, std::string& error);

}  // namespace kulve::sim

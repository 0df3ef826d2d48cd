// SPDX-License-Identifier: MIT
// Reader: all state of the one reader connection. The exported functions use
// the process-wide instance; tests build their own over a scripted port.
#pragma once

#include "link/command_block.h"
#include "link/family_state.h"
#include "link/reader_context.h"
#include "link/trace.h"

namespace kulve {

struct Reader {
  explicit Reader(PortSystem& platform) : context(platform) {}

  ReaderContext context;
  CommandBlock block;
  CpuCardState cpuCard;
  At1608AuthState at1608Auth;
  Tracer trace;
};

// The process-wide reader, created on first use over the platform ports and
// never destroyed (an open port is not closed when the library unloads).
Reader& ProcessReader();

}  // namespace kulve

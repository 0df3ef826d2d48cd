// SPDX-License-Identifier: MIT
// Reader: all state of the one reader connection. The exported functions use
// the process-wide instance; tests build their own over a scripted port.
#pragma once

#include <mutex>

#include "cpucard/chip_protocol_state.h"
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
  ChipProtocolState chipProtocol;  // the full block protocol (cpucard family)
  At1608AuthState at1608Auth;
  Tracer trace;
};

// The process-wide reader, created on first use over the platform ports and
// never destroyed (an open port is not closed when the library unloads),
// handed out under the process-wide lock. The lock is held for as long as the
// returned guard lives: in an export, `return Foo(ProcessReader(), ...);`
// holds it until Foo returns, so two threads that call at once get two whole
// calls, never interleaved exchanges. It is recursive, so a trace callback
// may call the library.
class ReaderGuard {
 public:
  ReaderGuard(Reader& reader, std::recursive_mutex& lock) : reader_(reader), lock_(lock) {}
  ReaderGuard(const ReaderGuard&) = delete;
  ReaderGuard& operator=(const ReaderGuard&) = delete;
  operator Reader&() const { return reader_; }

 private:
  Reader& reader_;
  std::lock_guard<std::recursive_mutex> lock_;
};
ReaderGuard ProcessReader();

}  // namespace kulve

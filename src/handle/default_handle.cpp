// SPDX-License-Identifier: MIT
#include <new>

#include "handle/handle.h"
#include "handle/process_reader.h"

namespace kulve {

Handle& DefaultHandle() {
  // Built in static storage on first use and never destroyed, so a call
  // during the process's exit still finds it and its port stays open.
  alignas(Handle) static unsigned char storage[sizeof(Handle)];
  static Handle* const handle = [] {
    Handle* made = new (storage) Handle(PlatformPorts());
    made->reader.trace.FromEnvironment();
    return made;
  }();
  return *handle;
}

ReaderGuard ProcessReader() {
  Handle& handle = DefaultHandle();
  return ReaderGuard(handle.reader, handle.lock);
}

}  // namespace kulve

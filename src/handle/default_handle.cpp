// SPDX-License-Identifier: MIT
#include <new>

#include "handle/handle.h"
#include "link/config/config_inputs.h"
#include "handle/process_reader.h"

namespace kulve {

Handle& DefaultHandle() {
  // Built in static storage on first use and never destroyed, so a call
  // during the process's exit still finds it and its port stays open.
  alignas(Handle) static unsigned char storage[sizeof(Handle)];
  static Handle* const handle = [] {
    Handle* made = new (storage) Handle(PlatformPorts());
    made->reader.trace.FromEnvironment();
    // Only the process's reader reads the machine's port map; readers that
    // tests and applications build have none unless handed their own inputs.
    made->reader.context.portMap.inputs = &SystemConfigInputs();
    return made;
  }();
  return *handle;
}

ReaderGuard ProcessReader() {
  Handle& handle = DefaultHandle();
  return ReaderGuard(handle.reader, handle.lock);
}

}  // namespace kulve

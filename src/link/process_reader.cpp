// SPDX-License-Identifier: MIT
#include <new>

#include "link/config/config_inputs.h"
#include "link/reader.h"

namespace kulve {

ReaderGuard ProcessReader() {
  // Built in static storage on first use and never destroyed: unloading the
  // library must not close the application's port behind its back.
  alignas(Reader) static unsigned char storage[sizeof(Reader)];
  static Reader* const reader = [] {
    Reader* made = new (storage) Reader(PlatformPorts());
    made->trace.FromEnvironment();
    // Only the process's reader reads the machine's port map; readers that
    // tests build have none unless they hand in their own inputs.
    made->context.portMap.inputs = &SystemConfigInputs();
    return made;
  }();
  // Never destroyed either, so a call during the process's exit still finds it.
  alignas(std::recursive_mutex) static unsigned char lockStorage[sizeof(std::recursive_mutex)];
  static std::recursive_mutex* const lock = new (lockStorage) std::recursive_mutex;
  return ReaderGuard(*reader, *lock);
}

}  // namespace kulve

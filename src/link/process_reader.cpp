// SPDX-License-Identifier: MIT
#include <new>

#include "link/reader.h"

namespace kulve {

Reader& ProcessReader() {
  // Built in static storage on first use and never destroyed: unloading the
  // library must not close the application's port behind its back.
  alignas(Reader) static unsigned char storage[sizeof(Reader)];
  static Reader* const reader = [] {
    Reader* made = new (storage) Reader(PlatformPorts());
    made->trace.FromEnvironment();
    return made;
  }();
  return *reader;
}

}  // namespace kulve

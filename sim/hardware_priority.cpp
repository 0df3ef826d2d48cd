// SPDX-License-Identifier: MIT
#include "sim/hardware_priority.h"

#if defined(__linux__)
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace kulve::sim {

// Enough weight that a waking serving thread is picked before CPU-bound
// work at the default priority; not real-time, so a fault in the simulator
// can never starve the host.
inline constexpr int kServingNice = -15;

void ServeLikeHardware() {
#if defined(__linux__)
  // On Linux a thread's nice value is its own: this raises the calling
  // thread alone.
  const auto thread = static_cast<id_t>(::syscall(SYS_gettid));
  (void)::setpriority(PRIO_PROCESS, thread, kServingNice);
#endif
}

}  // namespace kulve::sim

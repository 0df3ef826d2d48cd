// SPDX-License-Identifier: MIT
// A reader handle: one reader object, its own lock, and what the last call
// on it made of its exchanges. The handle API gives these to applications;
// the documented exports use one process-wide handle (DefaultHandle).
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "device/presence_policy.h"
#include "device/reader.h"
#include "kulve32.h"

struct kulve_reader {
  explicit kulve_reader(kulve::PortSystem& platform) : reader(platform) {}

  kulve::Reader reader;
  // Recursive so that a trace callback calling back into its own reader
  // reaches the refusal instead of deadlocking.
  std::recursive_mutex lock;

  // The last call that got past the refusal: whether it made an exchange,
  // and the status of its last one.
  bool lastCallExchanged = false;
  std::uint8_t lastStatus = 0;
  bool lastLineFailed = false;
  // Whether that call was a link call (kulve_open, kulve_reader_relink,
  // LinkCom), whose result 1 means "no reader linked".
  // Atomic: result texts read it without waiting for the lock.
  std::atomic<bool> lastCallLinked = false;

  // How often the presence wait asks this reader, and what it last saw.
  kulve::PresencePolicy presence;
};

namespace kulve {

using Handle = kulve_reader;

// The process-wide handle, over the platform's ports: created on first use
// and never destroyed (unloading the library must not close the
// application's port behind its back).
Handle& DefaultHandle();

}  // namespace kulve

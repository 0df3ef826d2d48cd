// SPDX-License-Identifier: MIT
// The platform's real ports, with the 1 s pause after every close counted
// instead of slept: tests and benchmarks that relink hundreds of times (the
// Mifare family relinks after every line failure) stay quick while every
// byte still crosses a real port. Port indices without a path of their own
// open a path that does not exist, never a real serial device.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>

#include "link/serial_port.h"

namespace kulve::test {

class UnpausedPorts final : public PortSystem {
 public:
  std::unique_ptr<SerialPort> Open(int index, const char* device, const LineSettings& settings,
                                   OpenFailure& why) override {
    return PlatformPorts().Open(index, device, settings, why);
  }
  void Sleep(std::uint32_t milliseconds) override { pausedMs += milliseconds; }
  void DefaultDevicePath(int index, char* out, std::size_t size) const override {
    std::snprintf(out, size, "/nonexistent/kulve-port-%d", index);
  }

  std::uint64_t pausedMs = 0;  // pauses asked for and skipped
};

}  // namespace kulve::test

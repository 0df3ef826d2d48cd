// SPDX-License-Identifier: MIT
// The devices this process's links hold open, so that a port found busy is
// blamed on the right holder: another handle of this process, or another
// program.
#pragma once

#include <string>

namespace kulve {

// Marks the device held for as long as the object lives.
class HeldPort {
 public:
  explicit HeldPort(std::string device);
  ~HeldPort();
  HeldPort(const HeldPort&) = delete;
  HeldPort& operator=(const HeldPort&) = delete;

  // Whether a link of this process holds the device (by the same path).
  static bool HeldHere(const std::string& device);

 private:
  std::string device_;
};

}  // namespace kulve

// SPDX-License-Identifier: MIT
#include "link/held_ports.h"

#include <mutex>
#include <set>

namespace kulve {
namespace {

std::mutex& Lock() {
  static std::mutex lock;
  return lock;
}

std::multiset<std::string>& Held() {
  static std::multiset<std::string> held;
  return held;
}

}  // namespace

HeldPort::HeldPort(std::string device) : device_(std::move(device)) {
  const std::lock_guard guard(Lock());
  Held().insert(device_);
}

HeldPort::~HeldPort() {
  const std::lock_guard guard(Lock());
  if (const auto it = Held().find(device_); it != Held().end()) Held().erase(it);
}

bool HeldPort::HeldHere(const std::string& device) {
  const std::lock_guard guard(Lock());
  return Held().contains(device);
}

}  // namespace kulve

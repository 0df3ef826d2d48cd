// SPDX-License-Identifier: MIT
#include "handle/registry.h"

#include <cstdint>
#include <mutex>
#include <unordered_map>

namespace kulve::api {
namespace {

struct Registry {
  std::mutex lock;
  std::unordered_map<std::uintptr_t, std::shared_ptr<kulve_reader>> open;
  std::uintptr_t next = 1;  // tokens are never reused
};

// Never destroyed: a call during the process's exit still finds the registry.
Registry& TheRegistry() {
  static Registry* const registry = new Registry;
  return *registry;
}

// A token is a number dressed as a pointer, never dereferenced.
std::uintptr_t NumberOf(const kulve_reader* token) { return reinterpret_cast<std::uintptr_t>(token); }

}  // namespace

kulve_reader* Register(std::shared_ptr<kulve_reader> handle) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> guard(r.lock);
  const std::uintptr_t number = r.next++ * alignof(kulve_reader);
  r.open.emplace(number, std::move(handle));
  return reinterpret_cast<kulve_reader*>(number);
}

std::shared_ptr<kulve_reader> Find(const kulve_reader* token) {
  if (token == nullptr) return nullptr;
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> guard(r.lock);
  const auto found = r.open.find(NumberOf(token));
  return found != r.open.end() ? found->second : nullptr;
}

std::shared_ptr<kulve_reader> Unregister(const kulve_reader* token) {
  if (token == nullptr) return nullptr;
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> guard(r.lock);
  const auto found = r.open.find(NumberOf(token));
  if (found == r.open.end()) return nullptr;
  std::shared_ptr<kulve_reader> handle = std::move(found->second);
  r.open.erase(found);
  return handle;
}

}  // namespace kulve::api

// SPDX-License-Identifier: MIT
// The one rule of the handle API's buffer sizes: a null handle, or a buffer
// whose size is below the minimum its family function needs, gives
// KULVE_BAD_ARGUMENT with nothing sent and nothing written. Otherwise the
// family function runs under the handle's lock.
#pragma once

#include <cstdint>

#include "handle/call.h"
#include "handle/registry.h"

namespace kulve::api {

// Whether a caller's size covers the minimum (a negative minimum asks for nothing).
constexpr bool Fits(int size, std::int64_t minimum) { return size >= minimum || minimum <= 0; }

template <auto Function, typename... Args>
int Checked(kulve_reader* handle, bool sizesFit, Args... args) {
  const auto found = Find(handle);
  if (!found) return result::kBadArgument;
  return Locked(*found, [&](Reader& reader) -> int {
    return sizesFit ? Function(reader, args...) : int{result::kBadArgument};
  });
}

// A function with no buffer.
template <auto Function, typename... Args>
int Plain(kulve_reader* handle, Args... args) {
  return Checked<Function>(handle, true, args...);
}

}  // namespace kulve::api

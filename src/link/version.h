// SPDX-License-Identifier: MIT
// The library's version as DLLVER reports it; the trace's header names it too.
#pragma once

#include <cstdint>

namespace kulve {

inline constexpr std::int32_t kLibraryVersion = 7321;

}  // namespace kulve

// SPDX-License-Identifier: MIT
// Narration helpers shared by the demo's sections.
#pragma once

#include <cstdio>
#include <string>

#include "sim/simulator.h"
#include "tools/results.h"

namespace kulve::tool {

inline void Heading(const char* title) { std::printf("\n== %s ==\n", title); }

template <class... Args>
void Say(const char* format, Args... args) {
  std::printf("  ");
  if constexpr (sizeof...(Args) == 0) {
    std::fputs(format, stdout);
  } else {
    std::printf(format, args...);
  }
  std::printf("\n");
}

inline int Show(const std::string& call, int result) {
  std::printf("  > %-40s -> %s\n", call.c_str(), DescribeResult(result).c_str());
  return result;
}

// The memory-card section, given the linked simulator.
void RunMemoryCardDemo(sim::Simulator& reader);
// The attendance-terminal section, given the linked simulator.
void RunAttendanceDemo(sim::Simulator& reader);
// The AT88SC1608 section, given the linked simulator.
void RunAt1608Demo(sim::Simulator& reader);
// The e5550 transponder section, given the linked simulator.
void RunE5550Demo(sim::Simulator& reader);
// The CPU card and SAM section, given the linked simulator.
void RunCpuCardDemo(sim::Simulator& reader);
// The Mifare section, given the linked simulator.
void RunMifareDemo(sim::Simulator& reader);

}  // namespace kulve::tool

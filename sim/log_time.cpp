// SPDX-License-Identifier: MIT
#include "sim/log_time.h"

#include <chrono>
#include <cstdio>

namespace kulve::sim {

std::string LogTime() {
  using namespace std::chrono;
  const auto now = floor<milliseconds>(system_clock::now());
  const hh_mm_ss<milliseconds> time{now - floor<days>(now)};
  char text[48];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", static_cast<int>(time.hours().count()),
                static_cast<int>(time.minutes().count()), static_cast<int>(time.seconds().count()),
                static_cast<int>(time.subseconds().count()));
  return text;
}

}  // namespace kulve::sim

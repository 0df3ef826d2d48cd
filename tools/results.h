// SPDX-License-Identifier: MIT
// Human-readable meaning of the library's result codes.
#pragma once

#include <string>

namespace kulve::tool {

// "ok", a library code's meaning, a link-failure letter's meaning, or the
// reader's own refusal.
std::string DescribeResult(int result);

}  // namespace kulve::tool

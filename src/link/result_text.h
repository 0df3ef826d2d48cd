// SPDX-License-Identifier: MIT
// Words for results: what a library code, a link-failure letter or a
// reader status means. Static text, shared by the result-text export, the
// link error and the trace.
#pragma once

#include <cstdint>

namespace kulve {

// The description of a result 0..255; "unknown result" outside that range.
const char* ResultText(int result);

// The step a link-failure letter names ("no answer to the start byte"), or
// null for any other value.
const char* LinkStepText(std::uint8_t letter);

}  // namespace kulve

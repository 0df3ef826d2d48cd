// SPDX-License-Identifier: MIT
// Words for results: what a library code, a link-failure letter or a
// reader status means. Static text, shared by the result-text export, the
// link error and the trace.
#pragma once

#include <cstdint>

namespace kulve {

// The description of a result 0..255 or a negative library code; "unknown
// result" for any other value.
const char* ResultText(int result);

// "reader status 0xNN", whatever the library means by the same value.
const char* ReaderStatusText(std::uint8_t status);

// The step a link-failure letter names ("no answer to the start byte"), or
// null for any other value.
const char* LinkStepText(std::uint8_t letter);

}  // namespace kulve

// SPDX-License-Identifier: MIT
// The narrated tour of the library against the built-in simulator.
#pragma once

namespace kulve::tool {

int RunDemo();

}  // namespace kulve::tool

// SPDX-License-Identifier: MIT
// The simulated reader stands for hardware, which answers in its own time
// whatever the host is doing. Its serving threads ask for a higher
// scheduling priority so that a busy host (a build beside the tests, a load
// generator) does not make its answers late beyond the line's timeouts; the
// library's own threads keep theirs. Without the right to raise it (not
// root, no CAP_SYS_NICE) the threads run as they are.
#pragma once

namespace kulve::sim {

void ServeLikeHardware();

}  // namespace kulve::sim

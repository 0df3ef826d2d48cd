// SPDX-License-Identifier: MIT
// The device a port index leads to, strongest first: the program's own
// SetComPortPath, the port map (link/config/), the platform's default.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "link/link_state.h"

namespace kulve {

// Reads the port map when never read or changed, tracing (level 1) each
// line it skipped.
void RefreshPorts(Link& reader);
// Reads the port map only when it was never read.
void LoadPorts(Link& reader);

// The path port `index` (0..9) opens, NUL-terminated into out.
void DevicePath(const Link& reader, std::int32_t index, char* out, std::size_t size);
// Where that path comes from: "SetComPortPath", "KULVE32_PORTS",
// "/etc/kulve32.conf line 3" or "default".
std::string PathOrigin(const Link& reader, std::int32_t index);

}  // namespace kulve

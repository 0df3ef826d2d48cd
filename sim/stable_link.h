// SPDX-License-Identifier: MIT
// A fixed path (e.g. the one a Windows compatibility layer maps COM1 to)
// kept pointing at whatever pseudo-terminal the reader serves this run.
#pragma once

#include <string>

namespace kulve::sim {

// Points the symbolic link `link` at `target`, replacing an earlier symbolic
// link atomically. Refuses (std::system_error) to replace anything that is
// not a symbolic link.
void PointLinkAt(const std::string& link, const std::string& target);

// Removes `link` if it is a symbolic link that still points at `target`.
void RemoveLinkTo(const std::string& link, const std::string& target);

}  // namespace kulve::sim

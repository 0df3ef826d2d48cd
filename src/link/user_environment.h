// SPDX-License-Identifier: MIT
// What the library takes from the person who started the process: its
// environment variables and per-user files. A privileged process (setuid,
// setgid, file capabilities) takes none of it: its caller may not choose
// where it writes a trace, which file it quotes or which device it opens.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

namespace kulve {

// True when the process runs with privileges its caller lacks (Linux:
// AT_SECURE; other POSIX systems: real and effective ids differ). Windows has
// no such processes: false.
bool PrivilegedProcess();

// The variable's value, copied; nullopt when unset or in a privileged process.
std::optional<std::string> UserVariable(const char* name);

// Tests pretend the process is privileged (true), or not (false), or go back
// to asking the system (nullopt).
void PretendPrivileged(std::optional<bool> privileged);

// Opens `path` for appending a trace: created with mode 0600 whatever the
// umask, writes always at the end. POSIX refuses a symbolic link as the last
// part of the path, what is not a regular file (a FIFO never blocks the
// open), and an existing file owned by another user or with any group or
// other permission. Null, with a line on standard error, when it is refused
// or cannot be opened.
std::FILE* OpenTraceFile(const std::string& path);

}  // namespace kulve

// SPDX-License-Identifier: MIT
// The command table of the kulve tool: each family adds its own commands.
//
// A command first checks its words and turns them into an action; every
// command of a line is checked before the first one runs, so a bad argument
// anywhere sends nothing. Data goes to standard output; "what: ok" and
// failures go to standard error ("ok" lines are dropped with --quiet).
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/session.h"

namespace kulve::tool {

using Args = std::vector<std::string>;
using Bytes = std::vector<std::uint8_t>;

// Returns 0 when the operation succeeded, 1 when the device refused or the
// line failed.
using Action = std::function<int(Session&)>;

// A complaint about the command line (exit status 2).
struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// argCount for a command that takes every remaining word (it must come last).
inline constexpr int kRestOfLine = -1;

struct Command {
  std::string name;
  int argCount;       // words that follow the name, or kRestOfLine
  std::string args;   // for the usage text
  std::string help;
  bool needsReader;   // link to the reader (or simulator) before running
  // Checks the words, throwing UsageError, and returns what to run.
  std::function<Action(const Args&)> prepare;
};

using CommandList = std::vector<Command>;

void AddReaderCommands(CommandList& commands);
void AddDesCommands(CommandList& commands);
void AddMemoryCardCommands(CommandList& commands);
void AddAttendanceCommands(CommandList& commands);
void AddAt1608Commands(CommandList& commands);
void AddE5550Commands(CommandList& commands);
void AddCpuCardCommands(CommandList& commands);
void AddMifareCommands(CommandList& commands);
void AddPortCommands(CommandList& commands);
void AddWatchCommand(CommandList& commands);

// Argument checks; each throws UsageError naming `what` on a bad word.
// An integer (decimal or 0x-hex) within [min, max].
int IntArg(const std::string& text, long long min, long long max, const std::string& what);
// Hex bytes ("0A1B", "0a 1b", "0A:1B"), between minBytes and maxBytes of them.
Bytes HexArg(const std::string& text, std::size_t minBytes, std::size_t maxBytes, const std::string& what);

// The meaning of a result as Report words it.
std::string DescribeStatus(Session& session, int result);

// Prints "<what>: ok" (unless quiet) or "<what>: <meaning of the result>" on
// standard error; returns 0 for result 0, else 1.
int Report(Session& session, const std::string& what, int result);

}  // namespace kulve::tool

// The command table of the kulve tool: each family adds its own commands.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "tools/session.h"

namespace kulve::tool {

using Args = std::vector<std::string>;

struct Command {
  std::string name;
  int argCount;       // words that follow the name
  std::string args;   // for the usage text
  std::string help;
  bool needsReader;   // link to the reader (or simulator) before running
  // Returns 0 when the operation succeeded, 1 when the device refused or the
  // line failed, 2 for a usage error.
  std::function<int(Session&, const Args&)> run;
};

using CommandList = std::vector<Command>;

void AddReaderCommands(CommandList& commands);
void AddDesCommands(CommandList& commands);
void AddMemoryCardCommands(CommandList& commands);

// Prints "<what>: ok" or "<what>: <meaning of the result>", returns 0 or 1.
int Report(Session& session, const std::string& what, int result);
// Prints a usage complaint and returns 2.
int BadArgument(const std::string& what);

}  // namespace kulve::tool

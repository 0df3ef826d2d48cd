// SPDX-License-Identifier: MIT
// "ports": where each port index leads, and why.
#include <cstdio>
#include <string>
#include <vector>

#include "handle/process_reader.h"
#include "link/port_paths.h"
#include "tools/command.h"

namespace kulve::tool {
namespace {

// One line a port: index, path, where the path came from (tab-separated);
// entries the map skipped go to standard error. Reads the map afresh.
int ShowPorts(Session&) {
  ReaderGuard guard = ProcessReader();
  Reader& reader = guard;
  std::vector<std::string> problems;
  reader.context.portMap.loaded = false;
  RefreshPortMap(reader.context.portMap, problems);
  for (const std::string& problem : problems) std::fprintf(stderr, "kulve: port map: %s\n", problem.c_str());
  for (int index = 0; index < kPortCount; ++index) {
    char path[kMaxPortPath + 1];
    DevicePath(reader, index, path, sizeof path);
    std::printf("%d\t%s\t%s\n", index, path, PathOrigin(reader, index).c_str());
  }
  return 0;
}

}  // namespace

void AddPortCommands(CommandList& commands) {
  commands.push_back({"ports", 0, "",
                      "where each port index leads, and why", false,
                      [](const Args&) { return Action(ShowPorts); }});
}

}  // namespace kulve::tool

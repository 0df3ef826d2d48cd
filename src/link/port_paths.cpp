// SPDX-License-Identifier: MIT
#include "link/port_paths.h"

#include <cstring>
#include <vector>

namespace kulve {
namespace {

bool Overridden(const Link& reader, std::int32_t index) {
  return reader.context.devicePaths[static_cast<std::size_t>(index)][0] != '\0';
}

const PortMapEntry& Mapped(const Link& reader, std::int32_t index) {
  return reader.context.portMap.map[static_cast<std::size_t>(index)];
}

}  // namespace

void RefreshPorts(Link& reader) {
  std::vector<std::string> problems;
  if (!RefreshPortMap(reader.context.portMap, problems)) return;
  for (const std::string& problem : problems) reader.trace.Line(trace_level::kFailures, "port map: %s", problem.c_str());
}

void LoadPorts(Link& reader) {
  if (!reader.context.portMap.loaded) RefreshPorts(reader);
}

void DevicePath(const Link& reader, std::int32_t index, char* out, std::size_t size) {
  if (Overridden(reader, index)) {
    std::strncpy(out, reader.context.devicePaths[static_cast<std::size_t>(index)].data(), size - 1);
    out[size - 1] = '\0';
  } else if (!Mapped(reader, index).path.empty()) {
    std::strncpy(out, Mapped(reader, index).path.c_str(), size - 1);
    out[size - 1] = '\0';
  } else {
    reader.context.system->DefaultDevicePath(index, out, size);
  }
}

std::string PathOrigin(const Link& reader, std::int32_t index) {
  if (Overridden(reader, index)) return "SetComPortPath";
  if (!Mapped(reader, index).path.empty()) return Mapped(reader, index).origin;
  return "default";
}

}  // namespace kulve

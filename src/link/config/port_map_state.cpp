// SPDX-License-Identifier: MIT
#include "link/config/port_map_state.h"

namespace kulve {

bool RefreshPortMap(PortMapState& state, std::vector<std::string>& problems) {
  if (state.inputs == nullptr) return false;
  const ConfigInputs& inputs = *state.inputs;
  struct Source {
    std::string name;
    std::optional<std::string> text;
  };
  std::vector<Source> files;
  for (const std::string& path : ConfigFiles(inputs)) files.push_back({path, inputs.ReadFile(path)});
  const auto list = inputs.Variable("KULVE32_PORTS");

  // A record of all that was read; one byte tells a missing source from an empty one.
  std::string sources;
  for (const Source& file : files) {
    sources += file.name + '\0' + (file.text ? "+" + *file.text : "-") + '\0';
  }
  sources += list ? "+" + *list : "-";
  if (state.loaded && sources == state.sources) return false;

  PortMap map;
  for (auto file = files.rbegin(); file != files.rend(); ++file) {
    if (!file->text) continue;
    if (file->text->size() > kMaxConfigFile) {
      problems.push_back(file->name + ": larger than " + std::to_string(kMaxConfigFile) + " bytes; skipped");
      continue;
    }
    ParsePortFile(*file->text, file->name, map, problems);
  }
  if (list) ParsePortList(*list, "KULVE32_PORTS", map, problems);
  state.map = std::move(map);
  state.sources = std::move(sources);
  state.loaded = true;
  return true;
}

}  // namespace kulve

// SPDX-License-Identifier: MIT
#include "link/config/config_inputs.h"

namespace kulve {
namespace {

// KULVE32_CONFIG decides alone when set; true when it did.
bool Overridden(const ConfigInputs& inputs, std::vector<std::string>& files) {
  const auto chosen = inputs.Variable("KULVE32_CONFIG");
  if (!chosen) return false;
  if (!chosen->empty()) files.push_back(*chosen);
  return true;
}

}  // namespace

std::vector<std::string> PosixConfigFiles(const ConfigInputs& inputs) {
  std::vector<std::string> files;
  if (Overridden(inputs, files)) return files;
  // The XDG rule: a relative XDG_CONFIG_HOME is invalid and ignored.
  const auto xdg = inputs.Variable("XDG_CONFIG_HOME");
  const auto home = inputs.Variable("HOME");
  if (xdg && !xdg->empty() && xdg->front() == '/') {
    files.push_back(*xdg + "/kulve32.conf");
  } else if (home && !home->empty()) {
    files.push_back(*home + "/.config/kulve32.conf");
  }
  files.push_back("/etc/kulve32.conf");
  return files;
}

std::vector<std::string> WindowsConfigFiles(const ConfigInputs& inputs) {
  std::vector<std::string> files;
  if (Overridden(inputs, files)) return files;
  const std::string folder = inputs.LibraryFolder();
  if (!folder.empty()) files.push_back(folder + "\\KULVE32.INI");
  const auto appData = inputs.Variable("APPDATA");
  if (appData && !appData->empty()) files.push_back(*appData + "\\KULVE32.INI");
  return files;
}

std::vector<std::string> ConfigFiles(const ConfigInputs& inputs) {
#if defined(_WIN32)
  return WindowsConfigFiles(inputs);
#else
  return PosixConfigFiles(inputs);
#endif
}

}  // namespace kulve

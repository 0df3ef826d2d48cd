// SPDX-License-Identifier: MIT
// Where the port map is read from: environment variables and files, behind
// an interface so tests hand in their own and never touch the real
// configuration of the machine they run on.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kulve {

class ConfigInputs {
 public:
  virtual ~ConfigInputs() = default;
  // The value of an environment variable; nullopt when it is not set.
  virtual std::optional<std::string> Variable(const char* name) const = 0;
  // The text of a file, at most kMaxConfigFile bytes of it (more reads as a
  // file too large); nullopt when it does not exist or cannot be read.
  virtual std::optional<std::string> ReadFile(const std::string& path) const = 0;
  // The folder of the library's own file (Windows: where KULVE32.INI sits
  // beside the DLL); empty when unknown.
  virtual std::string LibraryFolder() const = 0;
};

inline constexpr std::size_t kMaxConfigFile = 64 * 1024;

// The configuration files, strongest first. KULVE32_CONFIG, when set, names
// the only one (set and empty: none). Otherwise, POSIX:
// $XDG_CONFIG_HOME/kulve32.conf (an absolute XDG_CONFIG_HOME; else
// $HOME/.config/kulve32.conf), then /etc/kulve32.conf. Windows: KULVE32.INI
// in the library's folder, then %APPDATA%\KULVE32.INI.
std::vector<std::string> PosixConfigFiles(const ConfigInputs& inputs);
std::vector<std::string> WindowsConfigFiles(const ConfigInputs& inputs);
std::vector<std::string> ConfigFiles(const ConfigInputs& inputs);  // this platform's

// The real environment and file system.
const ConfigInputs& SystemConfigInputs();

}  // namespace kulve

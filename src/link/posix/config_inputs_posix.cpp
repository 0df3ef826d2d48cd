// SPDX-License-Identifier: MIT
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "link/config/config_inputs.h"
#include "link/user_environment.h"

namespace kulve {
namespace {

class PosixConfigInputs final : public ConfigInputs {
 public:
  std::optional<std::string> Variable(const char* name) const override {
    return UserVariable(name);  // nothing in a privileged process
  }

  // Regular files only: a FIFO or a device under the name must not block or
  // feed the library endless bytes. Nothing else is even opened (opening a
  // serial line moves its modem lines); the second look covers a swap
  // between the two.
  std::optional<std::string> ReadFile(const std::string& path) const override {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return std::nullopt;
    std::optional<std::string> text;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
      text.emplace();
      char chunk[4096];
      for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        text->append(chunk, static_cast<std::size_t>(n));
        if (text->size() > kMaxConfigFile) break;  // reads as too large
      }
    }
    ::close(fd);
    return text;
  }

  std::string LibraryFolder() const override { return {}; }
};

}  // namespace

const ConfigInputs& SystemConfigInputs() {
  static const PosixConfigInputs inputs;
  return inputs;
}

}  // namespace kulve

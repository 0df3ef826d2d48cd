// SPDX-License-Identifier: MIT
#include "link/user_environment.h"

#include <atomic>
#include <cstdlib>

#if !defined(_WIN32)
#include <fcntl.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/auxv.h>
#endif
#endif

namespace kulve {
namespace {

// -1: ask the system; 0 or 1: what a test pretends.
std::atomic<int> pretended{-1};

bool SystemSaysPrivileged() {
#if defined(_WIN32)
  return false;
#elif defined(__linux__)
  return getauxval(AT_SECURE) != 0;
#else
  return getuid() != geteuid() || getgid() != getegid();
#endif
}

}  // namespace

bool PrivilegedProcess() {
  const int pretend = pretended.load();
  return pretend >= 0 ? pretend != 0 : SystemSaysPrivileged();
}

void PretendPrivileged(std::optional<bool> privileged) { pretended = privileged ? (*privileged ? 1 : 0) : -1; }

std::optional<std::string> UserVariable(const char* name) {
  if (PrivilegedProcess()) return std::nullopt;
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

std::FILE* OpenTraceFile(const std::string& path) {
#if defined(_WIN32)
  return std::fopen(path.c_str(), "a");
#else
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0600);
  if (fd < 0) return nullptr;
  std::FILE* file = ::fdopen(fd, "a");
  if (file == nullptr) ::close(fd);
  return file;
#endif
}

}  // namespace kulve

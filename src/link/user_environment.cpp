// SPDX-License-Identifier: MIT
#include "link/user_environment.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/stat.h>
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
  // Non-blocking, so that a FIFO with no reader cannot hold the process at
  // its first line; what is not a regular file is then refused.
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK,
                        0600);
  if (fd < 0) {
    std::fprintf(stderr, "kulve32: the trace file %s cannot be opened: the trace goes to standard error\n",
                 path.c_str());
    return nullptr;
  }
  struct stat st {};
  const char* refusal = nullptr;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    refusal = "is not a regular file";
  } else if (st.st_uid != ::geteuid()) {
    refusal = "belongs to another user";
  } else if ((st.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
    refusal = "is open to other users (group or other permissions)";
  } else if (::fchmod(fd, 0600) != 0) {  // a new file had the umask applied to 0600
    refusal = "cannot be given mode 0600";
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (refusal == nullptr && (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0)) refusal = "cannot be written";
  if (refusal != nullptr) {
    std::fprintf(stderr, "kulve32: the trace file %s %s: the trace goes to standard error\n", path.c_str(), refusal);
    ::close(fd);
    return nullptr;
  }
  std::FILE* file = ::fdopen(fd, "a");
  if (file == nullptr) ::close(fd);
  return file;
#endif
}

}  // namespace kulve

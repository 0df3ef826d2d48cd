// SPDX-License-Identifier: MIT
#include "tools/io_files.h"

#include <fcntl.h>
#include <unistd.h>
#ifdef _WIN32
#include <io.h>  // _setmode: standard input and output carry raw bytes
#endif

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tools/command.h"
#include "tools/hex.h"

#ifndef O_CLOEXEC
#define O_CLOEXEC 0  // Windows: no descriptors are inherited by programs started later
#endif
#ifndef O_BINARY
#define O_BINARY 0  // POSIX: files are bytes already
#endif

namespace kulve::tool {
namespace {

void RawBytes(int fd) {
#ifdef _WIN32
  _setmode(fd, O_BINARY);
#else
  (void)fd;
#endif
}

std::string Reason(const std::string& what, const std::string& path) {
  return what + " " + (path == "-" ? std::string("standard output") : path) + ": " + std::strerror(errno);
}

bool WriteAll(int fd, std::span<const std::uint8_t> bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    // Pieces a Windows write (an unsigned int count) takes as well.
    const auto piece = static_cast<unsigned>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
    const ssize_t n = ::write(fd, bytes.data() + done, piece);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

DataFiles& Files() {
  static DataFiles files;
  return files;
}

std::vector<std::uint8_t> ReadInputFile(const std::string& path) {
  const int fd = path == "-" ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_BINARY | O_CLOEXEC);
  if (path == "-") RawBytes(STDIN_FILENO);
  const std::string name = path == "-" ? "standard input" : path;
  if (fd < 0) throw UsageError("cannot read " + name + ": " + std::strerror(errno));
  std::vector<std::uint8_t> bytes;
  std::uint8_t buffer[4096];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const std::string why = std::strerror(errno);
      if (fd != STDIN_FILENO) ::close(fd);
      throw UsageError("cannot read " + name + ": " + why);
    }
    if (n == 0) break;
    bytes.insert(bytes.end(), buffer, buffer + n);
  }
  if (fd != STDIN_FILENO) ::close(fd);
  return bytes;
}

void CheckOutputFile(const std::string& path) {
  if (path == "-") return;
  if (path.empty()) throw UsageError("an empty file name");
  const bool existed = ::access(path.c_str(), F_OK) == 0;
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_BINARY | O_CLOEXEC, 0644);
  if (fd < 0) throw UsageError(Reason("cannot write", path));
  ::close(fd);
  if (!existed) ::unlink(path.c_str());
}

bool WriteOutputFile(const std::string& path, std::span<const std::uint8_t> bytes, bool append,
                     const std::string& what) {
  bool ok = true;
  if (path == "-") {
    std::fflush(stdout);
    RawBytes(STDOUT_FILENO);
    ok = WriteAll(STDOUT_FILENO, bytes);
  } else {
    const int fd =
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_BINARY | O_CLOEXEC | (append ? O_APPEND : O_TRUNC), 0644);
    ok = fd >= 0 && WriteAll(fd, bytes);
    if (fd >= 0) {
      const int savedErrno = errno;
      if (::close(fd) != 0) ok = false;
      else errno = savedErrno;
    }
  }
  if (!ok) std::fprintf(stderr, "%s: %s\n", what.c_str(), Reason("cannot write", path).c_str());
  return ok;
}

std::string WrappedHex(std::span<const std::uint8_t> bytes) {
  constexpr std::size_t kPerLine = 16;
  std::string text;
  for (std::size_t at = 0; at < bytes.size(); at += kPerLine)
    text += FormatHex(bytes.subspan(at, std::min(kPerLine, bytes.size() - at))) + "\n";
  return text;
}

bool ShowsProgress(bool quiet) { return !quiet && ::isatty(STDERR_FILENO) == 1; }

std::function<void(int, int)> ProgressLine(bool quiet, const std::string& what) {
  const bool show = ShowsProgress(quiet);
  return [show, what](int done, int total) {
    if (!show) return;
    std::fprintf(stderr, "\r%s: %d/%d", what.c_str(), done, total);
    if (done == total) std::fputs("\r\033[K", stderr);
  };
}

}  // namespace kulve::tool

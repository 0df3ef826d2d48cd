// SPDX-License-Identifier: MIT
#include "sim/stable_link.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace kulve::sim {

namespace {

bool ReadLink(const std::string& link, std::string& target) {
  char buf[4096];
  ssize_t n = ::readlink(link.c_str(), buf, sizeof buf);
  if (n < 0 || static_cast<std::size_t>(n) >= sizeof buf) return false;
  target.assign(buf, static_cast<std::size_t>(n));
  return true;
}

}  // namespace

void PointLinkAt(const std::string& link, const std::string& target) {
  struct stat st {};
  if (::lstat(link.c_str(), &st) == 0 && !S_ISLNK(st.st_mode))
    throw std::system_error(EEXIST, std::generic_category(),
                            link + " exists and is not a symbolic link");
  const std::string temp = link + ".tmp" + std::to_string(::getpid());
  ::unlink(temp.c_str());
  if (::symlink(target.c_str(), temp.c_str()) != 0)
    throw std::system_error(errno, std::generic_category(), "symlink " + temp);
  if (::rename(temp.c_str(), link.c_str()) != 0) {
    int err = errno;
    ::unlink(temp.c_str());
    throw std::system_error(err, std::generic_category(), "rename to " + link);
  }
}

void RemoveLinkTo(const std::string& link, const std::string& target) {
  std::string current;
  if (ReadLink(link, current) && current == target) ::unlink(link.c_str());
}

}  // namespace kulve::sim

// SPDX-License-Identifier: MIT
#include "link/usb_adapter.h"

#include <limits.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace kulve {
namespace {

std::string& SysfsRoot() {
  static std::string root = "/sys";
  return root;
}

// The last component of a symbolic link's target; empty when it is none.
std::string LinkTargetName(const std::string& path) {
  char target[PATH_MAX];
  const ssize_t n = ::readlink(path.c_str(), target, sizeof target - 1);
  if (n <= 0) return {};
  const std::string whole(target, static_cast<std::size_t>(n));
  const std::size_t slash = whole.find_last_of('/');
  return slash == std::string::npos ? whole : whole.substr(slash + 1);
}

}  // namespace

void SetSysfsRootForTests(const char* root) { SysfsRoot() = root != nullptr ? root : "/sys"; }

std::string UsbSerialLatencyAdvice(int fd) {
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISCHR(info.st_mode)) return {};
  // /sys/dev/char/MAJOR:MINOR is the tty itself; its "device" is the port
  // beneath it, whose bus tells an adapter from a UART or a pty (none).
  char node[64];
  std::snprintf(node, sizeof node, "/dev/char/%u:%u", major(info.st_rdev), minor(info.st_rdev));
  const std::string tty = SysfsRoot() + node;
  if (LinkTargetName(tty + "/device/subsystem") != "usb-serial") return {};

  const std::string name = LinkTargetName(tty);
  const std::string driver = LinkTargetName(tty + "/device/driver");
  const std::string timer = "/sys/bus/usb-serial/devices/" + name + "/latency_timer";
  const bool hasTimer = ::access((tty + "/device/latency_timer").c_str(), F_OK) == 0;
  if (!hasTimer) {
    return "a USB-serial adapter's driver (" + driver + ") is likely holding them; see its driver's settings";
  }
  return "a USB-serial adapter's latency timer is likely holding them; set it to 1 ms: as root, echo 1 > " + timer +
         ", or for every plug-in a udev rule: ACTION==\"add\", SUBSYSTEM==\"usb-serial\", DRIVER==\"" + driver +
         "\", ATTR{latency_timer}=\"1\"";
}

}  // namespace kulve

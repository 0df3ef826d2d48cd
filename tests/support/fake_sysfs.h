// SPDX-License-Identifier: MIT
// A sysfs tree of a test's own, in which the character device of a given
// path (a pty, /dev/null) sits on the bus the test names, so the library's
// reading of sysfs is exercised without a USB-serial adapter on the machine.
#pragma once

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "link/usb_adapter.h"

namespace kulve::test {

class FakeSysfs {
 public:
  // `bus`: the port's subsystem ("usb-serial", "usb", "platform");
  // `withTimer`: whether the port has a latency_timer attribute.
  FakeSysfs(const std::string& devicePath, const std::string& bus, const std::string& driver, bool withTimer) {
    char dir[] = "/tmp/kulve-sysfs-XXXXXX";
    root_ = ::mkdtemp(dir) != nullptr ? dir : "";
    struct stat info {};
    if (root_.empty() || ::stat(devicePath.c_str(), &info) != 0) return;
    namespace fs = std::filesystem;
    const fs::path root(root_);
    const fs::path port = root / "devices/port0";
    fs::create_directories(port);
    fs::create_directories(root / "devices/port0/tty/ttyUSB7");
    fs::create_directories(root / "bus" / bus / "drivers" / driver);
    fs::create_directories(root / "dev/char");
    fs::create_directory_symlink(root / "bus" / bus, port / "subsystem");
    fs::create_directory_symlink(root / "bus" / bus / "drivers" / driver, port / "driver");
    fs::create_directory_symlink(port, root / "devices/port0/tty/ttyUSB7/device");
    if (withTimer) std::fclose(std::fopen((port / "latency_timer").c_str(), "w"));
    char node[32];
    std::snprintf(node, sizeof node, "%u:%u", major(info.st_rdev), minor(info.st_rdev));
    fs::create_directory_symlink(root / "devices/port0/tty/ttyUSB7", root / "dev/char" / node);
    SetSysfsRootForTests(root_.c_str());
  }
  ~FakeSysfs() {
    SetSysfsRootForTests(nullptr);
    std::error_code ignored;
    if (!root_.empty()) std::filesystem::remove_all(root_, ignored);
  }
  FakeSysfs(const FakeSysfs&) = delete;
  FakeSysfs& operator=(const FakeSysfs&) = delete;

 private:
  std::string root_;
};

}  // namespace kulve::test

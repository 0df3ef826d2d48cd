// SPDX-License-Identifier: MIT
// Whether an open serial device can be a USB-serial adapter, whose driver
// holds received bytes for a latency timer, and how to shorten that timer on
// this system. Only such a device gets the trace's latency hint: a pty, a
// network address or an on-board UART never holds bytes that way.
#pragma once

#include <string>

namespace kulve {

// Linux: the advice for the tty open on fd when sysfs says its device sits on
// the usb-serial bus (ftdi_sio, pl2303, cp210x, ch341, ...), naming its
// latency_timer file and a udev rule; empty for any other device.
std::string UsbSerialLatencyAdvice(int fd);

// Where sysfs is read: "/sys" unless a test points it at a tree of its own.
void SetSysfsRootForTests(const char* root);

}  // namespace kulve

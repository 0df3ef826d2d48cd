// SPDX-License-Identifier: MIT
// Only a tty on the usb-serial bus is told about latency timers, and the
// advice names its own sysfs file and a udev rule for its driver.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "link/usb_adapter.h"
#include "support/fake_sysfs.h"

namespace kulve::test {
namespace {

TEST(UsbSerialLatencyAdvice, OnlyForATtyOnTheUsbSerialBus) {
  struct Case {
    const char* bus;
    const char* driver;
    bool withTimer;
    const char* wanted;  // a part of the advice; nullptr: no advice
  };
  const Case cases[] = {
      {"usb-serial", "ftdi_sio", true, "echo 1 > /sys/bus/usb-serial/devices/ttyUSB7/latency_timer"},
      {"usb-serial", "ftdi_sio", true, "DRIVER==\"ftdi_sio\", ATTR{latency_timer}=\"1\""},
      {"usb-serial", "pl2303", false, "driver (pl2303)"},
      {"usb", "cdc_acm", false, nullptr},
      {"platform", "serial8250", false, nullptr},
  };
  const int fd = ::open("/dev/null", O_RDWR);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(UsbSerialLatencyAdvice(fd), "") << "the machine's own sysfs";
  for (const Case& c : cases) {
    FakeSysfs sysfs("/dev/null", c.bus, c.driver, c.withTimer);
    const std::string advice = UsbSerialLatencyAdvice(fd);
    if (c.wanted == nullptr) {
      EXPECT_EQ(advice, "") << c.bus;
    } else {
      EXPECT_NE(advice.find(c.wanted), std::string::npos) << c.bus << ": " << advice;
      EXPECT_EQ(advice.find("FTDI: the latency timer in the driver's advanced"), std::string::npos) << advice;
    }
  }
  ::close(fd);
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  EXPECT_EQ(UsbSerialLatencyAdvice(ends[0]), "") << "not a character device";
  ::close(ends[0]);
  ::close(ends[1]);
}

}  // namespace
}  // namespace kulve::test

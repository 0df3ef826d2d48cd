// SPDX-License-Identifier: MIT
#include "sim/line.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>
#include <utility>

namespace kulve::sim {

namespace {

[[noreturn]] void Fail(const std::string& what) {
  throw std::system_error(errno, std::generic_category(), what);
}

speed_t ToSpeed(std::uint32_t bps) { return bps == 9600 ? B9600 : B57600; }

std::uint32_t FromSpeed(speed_t s) {
  switch (s) {
    case B1200: return 1200;
    case B2400: return 2400;
    case B4800: return 4800;
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    case B57600: return 57600;
    case B115200: return 115200;
    default: return 0;
  }
}

void MakeRaw(int fd, std::uint32_t bps, const std::string& what) {
  termios t{};
  if (::tcgetattr(fd, &t) != 0) Fail("tcgetattr " + what);
  ::cfmakeraw(&t);
  t.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CRTSCTS);
  t.c_cflag |= CLOCAL | CREAD | CS8;
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
  ::cfsetispeed(&t, ToSpeed(bps));
  ::cfsetospeed(&t, ToSpeed(bps));
  if (::tcsetattr(fd, TCSANOW, &t) != 0) Fail("tcsetattr " + what);
}

}  // namespace

Line Line::OpenPty(std::uint32_t initialBps) {
  Line line;
  line.isPty_ = true;
  line.fd_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (line.fd_ < 0) Fail("posix_openpt");
  if (::grantpt(line.fd_) != 0 || ::unlockpt(line.fd_) != 0) Fail("grantpt/unlockpt");
  char name[128];
  if (::ptsname_r(line.fd_, name, sizeof name) != 0) Fail("ptsname");
  line.path_ = name;
  line.slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (line.slave_ < 0) Fail("open " + line.path_);
  MakeRaw(line.slave_, initialBps, line.path_);
  int flags = ::fcntl(line.fd_, F_GETFL);
  if (flags < 0 || ::fcntl(line.fd_, F_SETFL, flags | O_NONBLOCK) != 0) Fail("fcntl");
  return line;
}

Line Line::OpenDevice(const std::string& path, std::uint32_t bps) {
  Line line;
  line.fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (line.fd_ < 0) Fail("open " + path);
  line.path_ = path;
  if (!::isatty(line.fd_)) {
    errno = ENOTTY;
    Fail(path);
  }
  MakeRaw(line.fd_, bps, path);
  ::tcflush(line.fd_, TCIOFLUSH);
  return line;
}

Line::Line(Line&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      slave_(std::exchange(other.slave_, -1)),
      isPty_(std::exchange(other.isPty_, false)),
      path_(std::move(other.path_)) {}

Line& Line::operator=(Line&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
    slave_ = std::exchange(other.slave_, -1);
    isPty_ = std::exchange(other.isPty_, false);
    path_ = std::move(other.path_);
  }
  return *this;
}

Line::~Line() { Close(); }

std::uint32_t Line::HostSpeed() const {
  termios t{};
  if (fd_ < 0 || ::tcgetattr(fd_, &t) != 0) return 0;
  speed_t s = ::cfgetispeed(&t);
  if (s == B0) s = ::cfgetospeed(&t);  // input speed 0 means "same as output"
  return FromSpeed(s);
}

bool Line::BecomeControllingTerminal() {
  if (slave_ < 0) {
    errno = ENOTTY;
    return false;
  }
  if (::getsid(0) != ::getpid() && ::setsid() < 0) return false;
  return ::ioctl(slave_, TIOCSCTTY, 0) == 0;
}

void Line::Close() {
  // The master goes first: the host sees the hangup at once.
  if (fd_ >= 0) ::close(fd_);
  if (slave_ >= 0) ::close(slave_);
  fd_ = -1;
  slave_ = -1;
}

}  // namespace kulve::sim

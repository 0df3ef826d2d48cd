// SPDX-License-Identifier: MIT
// POSIX serial backend: termios raw 8N1, exclusive open, and transfers driven
// by poll() against a monotonic deadline that follows the Windows timeout
// rules the reader protocol was timed for. Network paths go to link/net/.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#if defined(__linux__)
#include <linux/serial.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "link/deadline.h"
#include "kulve32.h"
#include "link/net/network_path.h"
#include "link/net/network_port.h"
#include "link/serial_port.h"
#include "link/usb_adapter.h"

namespace kulve {
namespace {

using std::chrono::milliseconds;

speed_t SpeedFor(std::uint32_t baudRate) {
  // 56000 is what the settings record holds for the fast speed; standard UART
  // divisors make it 57600 on the line, so that is what we program.
  return baudRate == 9600 ? B9600 : B57600;
}

class PosixPort final : public SerialPort {
 public:
  PosixPort(int fd, const PortTimeouts& timeouts) : fd_(fd), timeouts_(timeouts) {}
  ~PosixPort() override { Close(); }
  PosixPort(const PosixPort&) = delete;
  PosixPort& operator=(const PosixPort&) = delete;

  std::size_t Write(const std::uint8_t* data, std::size_t count) override {
    Ended(TransferEnd::kDone);
    if (fd_ < 0 || count == 0) return 0;
    const Deadline deadline = WriteDeadline(timeouts_, count);
    std::size_t written = 0;
    while (written < count) {
      const ssize_t n = ::write(fd_, data + written, count - written);
      if (n > 0) {
        written += static_cast<std::size_t>(n);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno != EAGAIN) {  // the line is gone
        EndedByError(errno);
        break;
      }
      if (!WaitFor(POLLOUT, deadline.RemainingMs())) break;
    }
    return written;
  }

  // Ends by the rules of ReadTimer (link/deadline.h).
  std::size_t Read(std::uint8_t* buffer, std::size_t count) override {
    Ended(TransferEnd::kDone);
    if (fd_ < 0 || count == 0) return 0;
    ReadTimer timer(timeouts_, count);
    std::size_t got = 0;
    while (got < count) {
      const int wait = timer.WaitMs();
      if (wait <= 0) {
        // The time is up; what has arrived still counts, as a thread that
        // ran late on a busy machine may only now be looking.
        const ssize_t n = ::read(fd_, buffer + got, count - got);
        if (n > 0) got += static_cast<std::size_t>(n);
        Ended(got == count ? TransferEnd::kDone : TransferEnd::kTimeout);
        break;
      }
      if (!WaitFor(POLLIN, wait)) break;
      const ssize_t n = ::read(fd_, buffer + got, count - got);
      if (n > 0) {
        got += static_cast<std::size_t>(n);
        timer.Received();
        continue;
      }
      if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      // End of file or a line error: the device went away.
      if (n == 0) {
        Ended(TransferEnd::kHangup);
      } else {
        EndedByError(errno);
      }
      break;
    }
    return got;
  }

  // A line that has hung up (device unplugged, pty closed) has nothing left
  // to purge; reporting that as a failure would leave the port impossible to
  // close with UnLinkCom.
  bool Purge() override { return fd_ >= 0 && (::tcflush(fd_, TCIOFLUSH) == 0 || errno == EIO); }

  std::string OpenReport() const override { return report_; }
  void SetReport(std::string report) { report_ = std::move(report); }
  std::string LatencyAdvice() const override { return latencyAdvice_; }
  void SetLatencyAdvice(std::string advice) { latencyAdvice_ = std::move(advice); }

  bool Close() override {
    if (fd_ < 0) return false;
    ::ioctl(fd_, TIOCNXCL);  // a pty's other side may keep it open: leave it openable
    const int result = ::close(fd_);
    fd_ = -1;
    return result == 0 || errno == EINTR;  // on Linux the descriptor is gone either way
  }

 private:
  // True when the descriptor is ready for `events` within timeoutMs; false on
  // timeout or when the line hung up with nothing left to read (the end is
  // recorded either way).
  bool WaitFor(short events, int timeoutMs) {
    const Deadline deadline(milliseconds{timeoutMs});
    for (;;) {
      pollfd entry{fd_, events, 0};
      const int ready = ::poll(&entry, 1, deadline.RemainingMs());
      if (ready > 0) {
        if (entry.revents & events) return true;
        Ended(TransferEnd::kHangup);  // POLLHUP, POLLERR or POLLNVAL alone
        return false;
      }
      if (ready == 0) {
        Ended(TransferEnd::kTimeout);
        return false;
      }
      if (errno != EINTR) {
        EndedByError(errno);
        return false;
      }
    }
  }

  // EIO and friends are what a vanished device gives; anything else is the
  // system's own failure.
  void EndedByError(int error) {
    const bool gone = error == EIO || error == ENXIO || error == ENODEV || error == EPIPE;
    Ended(gone ? TransferEnd::kHangup : TransferEnd::kOsError, error);
  }

  int fd_;
  PortTimeouts timeouts_;
  std::string report_;
  std::string latencyAdvice_;
};

// Asks the driver to hand over received bytes at once. A USB-serial
// adapter's driver otherwise holds them for its latency timer (16 ms on the
// common FTDI chips; the FTDI driver maps this flag to 1 ms), and every
// exchange turns the line around four times. A port without the setting (a
// pty, a plain UART driver) works the same without it. Says which for the trace.
std::string RequestLowLatency(int fd) {
#if defined(__linux__) && defined(ASYNC_LOW_LATENCY)
  serial_struct serial{};
  if (::ioctl(fd, TIOCGSERIAL, &serial) != 0) {
    return std::string("low latency: not a setting of this port (") + std::strerror(errno) + ")";
  }
  if ((serial.flags & ASYNC_LOW_LATENCY) != 0) return "low latency: already on";
  serial.flags |= ASYNC_LOW_LATENCY;
  if (::ioctl(fd, TIOCSSERIAL, &serial) != 0) {
    return std::string("low latency: refused (") + std::strerror(errno) + ")";
  }
  return "low latency: on";
#else
  (void)fd;
  return "low latency: not asked on this system";
#endif
}

int OpenErrorCode(int error) {
  switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ENOTDIR:
      return KULVE_LINK_ERROR_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
      return KULVE_LINK_ERROR_PERMISSION;
    case EBUSY:
      return KULVE_LINK_ERROR_BUSY;
    default:
      return KULVE_LINK_ERROR_SYSTEM;
  }
}

// Fills `why` from errno and returns no port.
std::unique_ptr<SerialPort> Failed(OpenFailure& why, int code, const char* step) {
  why.code = code;
  why.osError = errno;
  why.step = step;
  return nullptr;
}

class PosixPortSystem final : public PortSystem {
 public:
  std::unique_ptr<SerialPort> Open(int /*index*/, const char* device, const LineSettings& settings,
                                   OpenFailure& why) override {
    if (net::IsNetworkPath(device)) return net::OpenNetworkPort(device, settings, why);
    const int fd = ::open(device, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return Failed(why, OpenErrorCode(errno), "open");
    // From here the port object owns fd, so every failure below closes it.
    auto port = std::make_unique<PosixPort>(fd, settings.timeouts);
    // Another process's TIOCEXCL makes open() itself fail with EBUSY.
    if (::ioctl(fd, TIOCEXCL) != 0) return Failed(why, KULVE_LINK_ERROR_SETTINGS, "exclusive mode");
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      return Failed(why, errno == EWOULDBLOCK ? KULVE_LINK_ERROR_BUSY : KULVE_LINK_ERROR_SYSTEM, "lock");
    }

    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) return Failed(why, KULVE_LINK_ERROR_SETTINGS, "configure");
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    const speed_t speed = SpeedFor(settings.baudRate);
    if (::cfsetispeed(&tio, speed) != 0 || ::cfsetospeed(&tio, speed) != 0 || ::tcsetattr(fd, TCSANOW, &tio) != 0) {
      return Failed(why, KULVE_LINK_ERROR_SETTINGS, "configure");
    }
    // Driver queue sizes have no termios counterpart; the kernel's are larger.
    port->SetReport(RequestLowLatency(fd));
    port->SetLatencyAdvice(UsbSerialLatencyAdvice(fd));
    if (!port->Purge()) return Failed(why, KULVE_LINK_ERROR_SETTINGS, "purge");
    return port;
  }

  void Sleep(std::uint32_t ms) override {
    timespec pause{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    while (::nanosleep(&pause, &pause) != 0 && errno == EINTR) {
    }
  }

  void DefaultDevicePath(int index, char* out, std::size_t size) const override {
    std::snprintf(out, size, "/dev/ttyS%d", index);
  }
};

// strerror_r comes in two forms: the XSI one fills the buffer and returns
// int, the GNU one returns the text (perhaps a string of its own).
[[maybe_unused]] const char* ErrorTextFrom(int, const char* buffer) { return buffer; }
[[maybe_unused]] const char* ErrorTextFrom(const char* text, const char*) { return text; }

}  // namespace

// strerror's buffer is shared by every thread; readers on several threads may fail at once.
std::string OsErrorText(int osError) {
  char buffer[256] = "";
  return ErrorTextFrom(::strerror_r(osError, buffer, sizeof buffer), buffer);
}

PortSystem& PlatformPorts() {
  static PosixPortSystem system;
  return system;
}

}  // namespace kulve

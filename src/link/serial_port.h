// SPDX-License-Identifier: MIT
// The serial line beneath the exchange: one open device and the platform
// service that opens devices. Only the link layer touches these.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace kulve {

// Read/write timeouts with the meaning of the Windows COMMTIMEOUTS record:
// a transfer of n bytes may take multiplier * n + constant ms in all, and a
// read also ends when intervalMs pass between two received bytes.
struct PortTimeouts {
  std::uint32_t readIntervalMs = 0;
  std::uint32_t readMultiplierMs = 0;
  std::uint32_t readConstantMs = 0;
  std::uint32_t writeMultiplierMs = 0;
  std::uint32_t writeConstantMs = 0;
};

// Everything the link configures on a port at open. Framing is always 8N1
// without flow control.
struct LineSettings {
  std::uint32_t baudRate = 0;  // value placed in the settings record: 56000 or 9600
  PortTimeouts timeouts;
  std::uint32_t inputQueue = 512;
  std::uint32_t outputQueue = 512;
};

// How the last transfer on a port ended.
enum class TransferEnd : std::uint8_t {
  kDone,     // every byte asked for was moved
  kTimeout,  // the time allowed ran out first
  kHangup,   // the line went away (device unplugged, pty or connection closed)
  kOsError,  // the system failed the transfer
};

class SerialPort {
 public:
  virtual ~SerialPort() = default;
  // Each returns the number of bytes moved before the timeout or a line error.
  virtual std::size_t Write(const std::uint8_t* data, std::size_t count) = 0;
  virtual std::size_t Read(std::uint8_t* buffer, std::size_t count) = 0;
  // Aborts pending transfers and clears both queues; false when the OS refuses.
  virtual bool Purge() = 0;
  // Releases the device; false when the OS refuses (the port is unusable anyway).
  virtual bool Close() = 0;

  // How a hang-up reads in the link error and the trace.
  virtual const char* HangupText() const { return "the line hung up"; }
  // What the open agreed with the far end beyond the line settings (a
  // network port's negotiation), for the trace; empty when nothing.
  virtual std::string OpenReport() const { return {}; }
  // When the device can hold received bytes for a latency timer (a USB-serial
  // adapter), what the user can do about it; empty for any other device.
  virtual std::string LatencyAdvice() const { return {}; }
  // How much later than on a local line the far end's bytes may arrive (a
  // network path's own delays). An exchange adds it once to each of its
  // waits, through AwaitInput; 0 for a local line.
  virtual std::uint32_t DelayAllowanceMs() const { return 0; }
  // Waits up to `ms` for received bytes without taking them; true when some
  // are there. Only a port with a delay allowance needs to wait.
  virtual bool AwaitInput(std::uint32_t ms) {
    (void)ms;
    return false;
  }

  // How the last Write or Read ended, and the system's error number (errno,
  // GetLastError) when it failed; kept only for telling the user why.
  TransferEnd LastEnd() const { return lastEnd_; }
  int LastOsError() const { return lastOsError_; }

 protected:
  void Ended(TransferEnd end, int osError = 0) {
    lastEnd_ = end;
    lastOsError_ = osError;
  }

 private:
  TransferEnd lastEnd_ = TransferEnd::kDone;
  int lastOsError_ = 0;
};

// Why a device could not be opened: one of the KULVE_LINK_ERROR_* codes of
// the public header, the system's error number and the step that failed.
struct OpenFailure {
  int code = 0;
  int osError = 0;
  std::string step;    // "open", "lock", "configure", "resolve", "connect", ...
  std::string detail;  // the system's own words, when it has them
};

// The platform: opens a device path for a port index and sleeps.
class PortSystem {
 public:
  virtual ~PortSystem() = default;
  // index is 0..9 (it selects the settings definition on Windows); device is
  // the path to open: a device, or a network address (tcp://HOST:PORT,
  // rfc2217://HOST:PORT, see link/net/network_port.h). Null when the device
  // cannot be opened or configured, with the reason in `why`.
  virtual std::unique_ptr<SerialPort> Open(int index, const char* device, const LineSettings& settings,
                                           OpenFailure& why) = 0;
  virtual void Sleep(std::uint32_t milliseconds) = 0;
  // Default device path of a port index, written NUL-terminated into out.
  virtual void DefaultDevicePath(int index, char* out, std::size_t size) const = 0;
};

// The real backend of this build: POSIX termios or Win32.
PortSystem& PlatformPorts();

// The system's text for an error number of this platform (strerror or
// FormatMessage).
std::string OsErrorText(int osError);

}  // namespace kulve

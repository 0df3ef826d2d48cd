// SPDX-License-Identifier: MIT
// The Win32 serial backend: a COM port opened for overlapped I/O, configured
// from the classic "COMn: baud=9600 ..." definition string with the baud rate
// then overwritten, and byte transfers that start overlapped and wait at once.
// Network paths go to link/net/.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdio>
#include <limits>
#include <memory>
#include <string>

#include "kulve32.h"
#include "link/net/network_path.h"
#include "link/net/network_port.h"
#include "link/serial_port.h"

namespace kulve {
namespace {

constexpr DWORD kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;

// A transfer never asks for more than a DWORD can count.
DWORD ClampCount(std::size_t count) {
  constexpr std::size_t kMax = std::numeric_limits<DWORD>::max();
  return static_cast<DWORD>(count < kMax ? count : kMax);
}

// Line errors are cleared around every transfer and never examined: a short
// transfer is what the exchange sees.
void ClearErrors(HANDLE handle) {
  DWORD errors = 0;
  COMSTAT status{};
  ::ClearCommError(handle, &errors, &status);
}

class Win32Port final : public SerialPort {
 public:
  explicit Win32Port(HANDLE handle) : handle_(handle) {}
  ~Win32Port() override {
    if (handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(handle_);
  }
  Win32Port(const Win32Port&) = delete;
  Win32Port& operator=(const Win32Port&) = delete;

  std::size_t Write(const std::uint8_t* data, std::size_t count) override {
    ClearErrors(handle_);
    writeDone_ = OVERLAPPED{};
    DWORD moved = 0;
    if (::WriteFile(handle_, data, ClampCount(count), &moved, &writeDone_)) {
      ClearErrors(handle_);
      return Finished(moved, count, 0);
    }
    const DWORD error = ::GetLastError();
    if (error != ERROR_IO_PENDING) {
      ClearErrors(handle_);
      return Finished(moved, count, error);
    }
    DWORD waitError = 0;
    moved = WaitFor(writeDone_, waitError);
    ClearErrors(handle_);
    return Finished(moved, count, waitError);
  }

  std::size_t Read(std::uint8_t* buffer, std::size_t count) override {
    ClearErrors(handle_);
    readDone_ = OVERLAPPED{};
    DWORD moved = 0;
    if (::ReadFile(handle_, buffer, ClampCount(count), &moved, &readDone_)) {
      return Finished(moved, count, 0);
    }
    const DWORD error = ::GetLastError();
    if (error != ERROR_IO_PENDING) {
      ClearErrors(handle_);
      return Finished(moved, count, error);
    }
    DWORD waitError = 0;
    moved = WaitFor(readDone_, waitError);
    ClearErrors(handle_);
    return Finished(moved, count, waitError);
  }

  bool Purge() override {
    ClearErrors(handle_);
    if (!::SetCommMask(handle_, 0) || !::PurgeComm(handle_, kPurgeAll)) {
      ClearErrors(handle_);
      return false;
    }
    return true;
  }

  // Windows has no call for it: an adapter's latency timer is a setting of
  // its driver (docs/windows.md).
  std::string OpenReport() const override {
    return "low latency: not asked (a USB adapter's latency timer is set in its driver)";
  }
  // Windows does not tell a USB adapter's COM port from another here: every
  // local port may be one.
  std::string LatencyAdvice() const override {
    return "a USB-serial adapter's latency timer is likely holding them; set it to 1 ms (FTDI: the latency "
           "timer in the driver's advanced port settings)";
  }

  bool Close() override {
    const HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return handle != INVALID_HANDLE_VALUE && ::CloseHandle(handle) != 0;
  }

 private:
  // Waits for a pending transfer and returns the count it reports. A transfer
  // that ends in failure still reports what it moved; that includes a read
  // whose timeouts expired with nothing received, which Wine completes with
  // ERROR_TIMEOUT where Windows reports success with 0 bytes.
  DWORD WaitFor(OVERLAPPED& done, DWORD& error) {
    DWORD moved = 0;
    while (!::GetOverlappedResult(handle_, &done, &moved, TRUE)) {
      error = ::GetLastError();
      if (error != ERROR_IO_INCOMPLETE) {
        ClearErrors(handle_);
        break;
      }
      error = 0;
    }
    return moved;
  }

  // Records how the transfer ended and returns what it moved; the driver
  // never reports more than was asked, and this keeps it so.
  std::size_t Finished(DWORD moved, std::size_t count, DWORD error) {
    const std::size_t n = moved < count ? moved : count;
    if (n == count) {
      Ended(TransferEnd::kDone);
    } else if (error == 0 || error == ERROR_TIMEOUT || error == ERROR_SEM_TIMEOUT) {
      Ended(TransferEnd::kTimeout);
    } else if (error == ERROR_DEVICE_REMOVED || error == ERROR_BAD_COMMAND || error == ERROR_GEN_FAILURE ||
               error == ERROR_OPERATION_ABORTED || error == ERROR_INVALID_HANDLE) {
      Ended(TransferEnd::kHangup, static_cast<int>(error));
    } else {
      Ended(TransferEnd::kOsError, static_cast<int>(error));
    }
    return n;
  }

  HANDLE handle_;
  // One completion record per direction, kept with the port for as long as it
  // is open, zeroed before each transfer.
  OVERLAPPED writeDone_{};
  OVERLAPPED readDone_{};
};

int OpenErrorCode(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
      return KULVE_LINK_ERROR_NOT_FOUND;
    // A COM port another program has open answers "access denied".
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
      return KULVE_LINK_ERROR_BUSY;
    default:
      return KULVE_LINK_ERROR_SYSTEM;
  }
}

// Fills `why` from GetLastError and returns no port.
std::unique_ptr<SerialPort> Failed(OpenFailure& why, int code, const char* step) {
  why.code = code;
  why.osError = static_cast<int>(::GetLastError());
  why.step = step;
  return nullptr;
}

class Win32Ports final : public PortSystem {
 public:
  std::unique_ptr<SerialPort> Open(int index, const char* device, const LineSettings& settings,
                                   OpenFailure& why) override {
    if (index < 0 || index > 9 || device == nullptr || device[0] == '\0') {
      why.code = KULVE_LINK_ERROR_BAD_INDEX;
      why.step = "open";
      return nullptr;
    }
    if (net::IsNetworkPath(device)) return net::OpenNetworkPort(device, settings, why);

    const HANDLE handle = ::CreateFileA(device, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                        OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return Failed(why, OpenErrorCode(::GetLastError()), "open");
    // From here on the port object owns the handle and closes it on failure.
    auto port = std::make_unique<Win32Port>(handle);

    char definition[48];
    std::snprintf(definition, sizeof definition, "COM%d: baud=9600 parity=N data=8 stop=1",
                  index + 1);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::BuildCommDCBA(definition, &dcb)) return Failed(why, KULVE_LINK_ERROR_SETTINGS, "configure");
    dcb.BaudRate = settings.baudRate;

    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = settings.timeouts.readIntervalMs;
    timeouts.ReadTotalTimeoutMultiplier = settings.timeouts.readMultiplierMs;
    timeouts.ReadTotalTimeoutConstant = settings.timeouts.readConstantMs;
    timeouts.WriteTotalTimeoutMultiplier = settings.timeouts.writeMultiplierMs;
    timeouts.WriteTotalTimeoutConstant = settings.timeouts.writeConstantMs;

    if (!::SetCommState(handle, &dcb) || !::SetCommTimeouts(handle, &timeouts) ||
        !::SetupComm(handle, settings.inputQueue, settings.outputQueue) ||
        !::PurgeComm(handle, kPurgeAll)) {
      const DWORD error = ::GetLastError();
      ClearErrors(handle);
      ::SetLastError(error);
      return Failed(why, KULVE_LINK_ERROR_SETTINGS, "configure");
    }
    if (!::SetCommMask(handle, 0)) return Failed(why, KULVE_LINK_ERROR_SETTINGS, "configure");
    return port;
  }

  void Sleep(std::uint32_t milliseconds) override { ::Sleep(milliseconds); }

  // The \\.\ form opens every port, including COM10 and above, which the
  // plain name "COM10" cannot reach.
  void DefaultDevicePath(int index, char* out, std::size_t size) const override {
    if (out == nullptr || size == 0) return;
    out[0] = '\0';
    if (index < 0 || index > 9) return;
    const int written = std::snprintf(out, size, "\\\\.\\COM%d", index + 1);
    if (written < 0) out[0] = '\0';
  }
};

}  // namespace

std::string OsErrorText(int osError) {
  char text[256] = {};
  const DWORD n = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                   static_cast<DWORD>(osError), 0, text, sizeof text, nullptr);
  std::string out(text, n);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == '.')) out.pop_back();
  if (out.empty()) out = "system error " + std::to_string(osError);
  return out;
}

PortSystem& PlatformPorts() {
  static Win32Ports ports;
  return ports;
}

}  // namespace kulve

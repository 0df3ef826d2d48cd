// SPDX-License-Identifier: MIT
// The line the reader serves: a pseudo-terminal, or a serial device given
// by path.
#pragma once

#include <cstdint>
#include <string>

namespace kulve::sim {

enum class SpeedSet : std::uint8_t { k57600Only, k9600Only, kBoth };

// The fast speed is 57600, or 38400 seen on a pty: a host that asks for a
// non-standard rate (a Windows program's 56000, under Wine) gets a custom UART
// divisor with B38400 as its marker, and on a real UART that divisor runs the
// line at 57600. A pty has no divisor, so the marker is all it shows.
bool Accepts(SpeedSet speeds, std::uint32_t bitsPerSecond);
// "57600", "9600" or "both"; false for anything else.
bool ParseSpeedSet(const std::string& text, SpeedSet& out);

class Line {
 public:
  // A new pseudo-terminal. The slave is put in raw mode at `initialBps` and
  // stays open here for the life of the line, so the master never sees a
  // hangup between host opens. Throws std::system_error.
  static Line OpenPty(std::uint32_t initialBps);
  // A serial device (or any terminal) in raw mode, 8N1, no flow control, at
  // `bps`. Throws std::system_error.
  static Line OpenDevice(const std::string& path, std::uint32_t bps);

  Line() = default;
  Line(Line&& other) noexcept;
  Line& operator=(Line&& other) noexcept;
  Line(const Line&) = delete;
  Line& operator=(const Line&) = delete;
  ~Line();

  bool IsOpen() const { return fd_ >= 0; }
  bool IsPty() const { return isPty_; }
  // The non-blocking descriptor the reader reads and writes.
  int Fd() const { return fd_; }
  // What the host opens: the pty slave's path or the device path.
  const std::string& HostPath() const { return path_; }

  // The line speed the host has set, in bits/s (on a pty the master reports
  // the slave's settings); 0 when it cannot be read or is not standard.
  std::uint32_t HostSpeed() const;

  // Makes the pty the controlling terminal of this process (new session).
  // For a standalone program only; false with errno set when refused.
  bool BecomeControllingTerminal();

  // Closes everything; on a pty the host sees a hangup.
  void Close();

 private:
  int fd_ = -1;
  int slave_ = -1;
  bool isPty_ = false;
  std::string path_;
};

}  // namespace kulve::sim

// SPDX-License-Identifier: MIT
// The reader's side of the frame protocol on one open line.
//
// Idle, the server skips every byte but '#'. On '#' (at a line speed the
// reader accepts) it answers 'E' and reads the command code, the length,
// that many data bytes and the XOR checksum of code, length and data. With
// a good checksum it runs the command, acknowledges with 'g', waits for the
// host's 0x89 and sends status, reply length, reply data and the XOR
// checksum of those. The command runs before the acknowledgement: once the
// host has seen 'g', the command has taken effect.
//
// A request with a bad checksum is not acknowledged and the server goes back
// to idle, so the host runs out of acknowledgement reads. Silence of
// kFrameSilenceMs in the middle of a frame, or a byte other than 0x89 after
// the acknowledgement, also drops back to idle (a '#' there starts the next
// exchange at once).
//
// Paced (ServerHooks::PacedBitRate), the server keeps to a real line's
// timing (line_pacer.h): it acts on a byte of the host only once the byte
// would have arrived, and puts each byte of its own on the line only when it
// would have left.
//
// With an adapter latency (ServerHooks::AdapterLatencyMs) the server also
// plays the host's USB-serial adapter as the common FTDI chips behave: the
// adapter holds the bytes it receives from the reader and hands them to the
// host when its latency timer, started by the first byte it holds, runs out,
// or at once when it holds a full USB packet (kAdapterPacket bytes).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "sim/faults.h"
#include "sim/firmware.h"
#include "sim/line_pacer.h"

namespace kulve::sim {

inline constexpr int kFrameSilenceMs = 500;
inline constexpr std::size_t kAdapterPacket = 62;  // an FTDI USB packet's payload

inline constexpr std::uint8_t kStartByte = 0x23;     // '#', host
inline constexpr std::uint8_t kStartAnswer = 0x45;   // 'E', reader
inline constexpr std::uint8_t kAckByte = 0x67;       // 'g', reader
inline constexpr std::uint8_t kReplyRequest = 0x89;  // host, after 'g'

std::uint8_t XorChecksum(std::span<const std::uint8_t> bytes);

// What the server needs from its owner. Called on the server's thread.
class ServerHooks {
 public:
  virtual ~ServerHooks() = default;
  // Whether the host's current line speed is one the reader answers at.
  virtual bool SpeedAccepted() = 0;
  // A '#' has been taken up: the faults for this exchange.
  virtual FaultPlan BeginExchange() = 0;
  // A well-formed request: record it, add code-filtered faults to the plan
  // and run the command.
  virtual Reply Execute(std::uint8_t code, std::span<const std::uint8_t> data,
                        FaultPlan& plan) = 0;
  // The last byte of a reply is about to go out.
  virtual void ExchangeCompleted() = 0;
  // One line of trace; only called when Tracing() is true.
  virtual bool Tracing() const = 0;
  virtual void Trace(const std::string& line) = 0;
  // The line speed to keep to in the exchange that is starting; 0 = none.
  virtual std::uint32_t PacedBitRate() { return 0; }
  // The hold time of the host's USB-serial adapter to play; 0 = none.
  virtual std::uint32_t AdapterLatencyMs() { return 0; }
  // Bytes taken from or put on the line.
  virtual void LineBytes(std::size_t /*count*/) {}
};

class FrameServer {
 public:
  enum class End {
    kWoken,     // the wake descriptor became readable (stop or vanish asked)
    kVanished,  // a fault asked for the line to be closed
    kLineLost,  // the line failed or hung up
  };

  // lineFd must be non-blocking. Neither descriptor is closed here.
  FrameServer(int lineFd, int wakeFd, ServerHooks& hooks);

  // Serves exchanges until one of the ends above.
  End Run();

 private:
  enum class Io { kOk, kTimeout, kWoken, kLost, kVanished, kDropped };

  Io Exchange();
  Io ReadByte(int timeoutMs, std::uint8_t& byte);
  // A byte in the middle of a frame: ReadByte with the frame's silence limit,
  // then the byte's time on the line.
  Io ReadFrameByte(std::uint8_t& byte);
  Io ReadRequest(std::uint8_t& code, std::vector<std::uint8_t>& data);
  Io SendReply(const Reply& reply, const FaultPlan& plan);
  // Queues bytes for the reader step, applying the plan; flushes first when
  // the step delays or vanishes.
  Io Queue(ReaderByte step, std::span<const std::uint8_t> bytes, const FaultPlan& plan);
  Io Flush();
  Io FlushThroughAdapter(std::uint32_t holdMs);
  Io WriteAll(const std::uint8_t* bytes, std::size_t count);
  Io Wait(std::uint32_t ms);  // returns kWoken early on wake
  Io WaitUntil(LinePacer::Clock::time_point when);  // likewise

  int line_;
  int wake_;
  ServerHooks& hooks_;
  std::uint8_t in_[512];
  std::size_t inPos_ = 0;
  std::size_t inLen_ = 0;
  std::vector<std::uint8_t> out_;
  LinePacer pacer_;
  LinePacer::Clock::time_point seen_{};  // when the bytes in in_ were taken from the line
};

}  // namespace kulve::sim

// SPDX-License-Identifier: MIT
// The device server's side of Telnet with the COM port control option
// (RFC 854, RFC 2217), as a serial device server speaks it: it asks for the
// option and binary transmission when a client connects, answers option
// requests, carries out SET-BAUDRATE and PURGE-DATA on the line and
// confirms every COM port command. Written from the server's side; the
// library's client is not used here.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace kulve::sim {

using Bytes = std::vector<std::uint8_t>;

// What the COM port commands act on.
class ComPortLine {
 public:
  virtual ~ComPortLine() = default;
  // Sets the line speed (0 asks for the current one); returns the speed in
  // effect afterwards.
  virtual std::uint32_t SetSpeed(std::uint32_t bitsPerSecond) = 0;
  // 1: data from the line not yet sent to the client; 2: data from the
  // client not yet on the line; 3: both.
  virtual void Purge(std::uint8_t which) = 0;
};

class TelnetServer {
 public:
  // DO COM-PORT-OPTION, and binary transmission and suppressed go-ahead
  // both ways.
  void Greet(Bytes& out);
  // The client's bytes: data to `data`, answers to `out`.
  void Receive(std::span<const std::uint8_t> in, Bytes& data, Bytes& out, ComPortLine& line);
  // Data for the client, 0xFF doubled.
  static void Escape(std::span<const std::uint8_t> data, Bytes& out);

 private:
  enum class State : std::uint8_t { kData, kCommand, kOption, kSub, kSubIac };
  struct Agreement {
    bool ours = false;    // we perform the option
    bool theirs = false;  // the client performs it
    bool askedOurs = false;
    bool askedTheirs = false;
  };

  void Negotiate(std::uint8_t verb, std::uint8_t option, Bytes& out);
  void ComPortCommand(ComPortLine& line, Bytes& out);

  State state_ = State::kData;
  std::uint8_t verb_ = 0;
  Agreement agreed_[256];
  Bytes sub_;
};

}  // namespace kulve::sim

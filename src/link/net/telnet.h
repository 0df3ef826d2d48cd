// SPDX-License-Identifier: MIT
// The client's side of a Telnet stream with the COM port control option
// (RFC 854, RFC 2217): option negotiation, subnegotiation, and the IAC
// escaping of data bytes. Pure byte work, no sockets.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace kulve::telnet {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::uint8_t kIac = 255;
inline constexpr std::uint8_t kDont = 254;
inline constexpr std::uint8_t kDo = 253;
inline constexpr std::uint8_t kWont = 252;
inline constexpr std::uint8_t kWill = 251;
inline constexpr std::uint8_t kSb = 250;
inline constexpr std::uint8_t kSe = 240;

inline constexpr std::uint8_t kBinary = 0;
inline constexpr std::uint8_t kEcho = 1;
inline constexpr std::uint8_t kSuppressGoAhead = 3;
inline constexpr std::uint8_t kComPortOption = 44;

// COM-PORT-OPTION commands the client sends; the server answers each with
// the same command plus kServerReply.
namespace com_port {
inline constexpr std::uint8_t kSetBaudRate = 1;
inline constexpr std::uint8_t kSetDataSize = 2;
inline constexpr std::uint8_t kSetParity = 3;
inline constexpr std::uint8_t kSetStopSize = 4;
inline constexpr std::uint8_t kSetControl = 5;
inline constexpr std::uint8_t kPurgeData = 12;
inline constexpr std::uint8_t kServerReply = 100;

inline constexpr std::uint8_t kParityNone = 1;
inline constexpr std::uint8_t kOneStopBit = 1;
inline constexpr std::uint8_t kNoFlowControl = 1;
inline constexpr std::uint8_t kPurgeBothBuffers = 3;
}  // namespace com_port

// Appends data with every 0xFF doubled.
void AppendEscaped(std::span<const std::uint8_t> data, Bytes& out);

// IAC SB COM-PORT-OPTION command value IAC SE, the value escaped.
void AppendComPortCommand(std::uint8_t command, std::span<const std::uint8_t> value, Bytes& out);
// The line settings a port opens with: speed, 8 data bits, no parity, one
// stop bit, no flow control.
void AppendLineSettings(std::uint32_t baudRate, Bytes& out);
void AppendPurgeBoth(Bytes& out);

class Client {
 public:
  enum class ComPort : std::uint8_t { kAsked, kAgreed, kRefused };

  // What a client opens with: WILL COM-PORT-OPTION, and binary transmission
  // and suppressed go-ahead in both directions.
  void Start(Bytes& out);

  // Takes bytes the server sent, in pieces of any size: data bytes go to
  // data, answers to the server's requests to out.
  void Receive(std::span<const std::uint8_t> in, Bytes& data, Bytes& out);

  ComPort ComPortState() const;
  // The speed the server reported after a SET-BAUDRATE, once it has.
  std::optional<std::uint32_t> ConfirmedBaudRate() const { return confirmedBaud_; }

 private:
  enum class State : std::uint8_t { kData, kCommand, kOption, kSub, kSubIac };
  // RFC 1143 style, without the queue bits: one side of one option.
  struct Side {
    bool enabled = false;
    bool asked = false;  // our request is waiting for the answer
  };
  struct Option {
    Side us;   // we perform it (WILL/WONT from us)
    Side him;  // the server performs it (WILL/WONT from him)
  };

  void Command(std::uint8_t verb, std::uint8_t option, Bytes& out);
  void Subnegotiation();
  static void Send(std::uint8_t verb, std::uint8_t option, Bytes& out);

  State state_ = State::kData;
  std::uint8_t verb_ = 0;
  Option options_[256];
  bool comPortRefused_ = false;
  Bytes sub_;
  bool subOverflow_ = false;
  std::optional<std::uint32_t> confirmedBaud_;
};

}  // namespace kulve::telnet

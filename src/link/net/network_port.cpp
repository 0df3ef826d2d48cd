// SPDX-License-Identifier: MIT
#include "link/net/network_port.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "kulve32.h"
#include "link/deadline.h"
#include "link/net/network_path.h"
#include "link/net/socket.h"
#include "link/net/telnet.h"

namespace kulve::net {
namespace {

using telnet::Bytes;

// The settings record holds 56000 for the fast speed; a UART divisor makes
// that 57600 on the line, so that is the speed the server is asked for.
std::uint32_t LineSpeed(std::uint32_t baudRate) { return baudRate == 56000 ? 57600 : baudRate; }

// A network path adds delays a serial line does not have: the server's own
// buffering, a busy network, the network stack's deferred work. Reads keep a
// local port's rules; the path's delay allowance is given to each wait of an
// exchange as a whole (DelayAllowanceMs), not to every read, so a silent
// reader is found out nearly as soon as on a local line.
class NetworkPort final : public SerialPort {
 public:
  NetworkPort(std::unique_ptr<StreamSocket> socket, const PortTimeouts& timeouts, Protocol protocol,
              std::uint32_t delayMs)
      : socket_(std::move(socket)), timeouts_(timeouts), telnet_(protocol == Protocol::kRfc2217), delayMs_(delayMs) {}
  ~NetworkPort() override { Close(); }
  NetworkPort(const NetworkPort&) = delete;
  NetworkPort& operator=(const NetworkPort&) = delete;

  std::size_t Write(const std::uint8_t* data, std::size_t count) override {
    Ended(TransferEnd::kDone);
    if (!socket_ || count == 0) return 0;
    if (closedByServer_) {
      Ended(TransferEnd::kHangup, closeError_);
      return 0;
    }
    // Whatever must precede the data (answers to the server, the second half
    // of an escaped byte) goes first.
    Bytes wire;
    wire.swap(pendingOut_);
    const std::size_t head = wire.size();
    if (telnet_) {
      telnet::AppendEscaped({data, count}, wire);
    } else {
      wire.insert(wire.end(), data, data + count);
    }
    const std::size_t sent = SendWithin(wire, WriteDeadline(timeouts_, count));
    if (sent < head) {
      pendingOut_.assign(wire.begin() + static_cast<std::ptrdiff_t>(sent),
                         wire.begin() + static_cast<std::ptrdiff_t>(head));
      return 0;
    }
    // Count the data bytes that are wholly on the wire. An escaped 0xFF cut
    // in half has reached the server as a command start, so its second half
    // must follow: it is written, and goes out first next time.
    std::size_t at = head;
    std::size_t written = 0;
    for (; written < count; ++written) {
      const std::size_t width = telnet_ && data[written] == telnet::kIac ? 2 : 1;
      if (at + width <= sent) {
        at += width;
        continue;
      }
      if (width == 2 && at + 1 == sent) {
        pendingOut_.push_back(telnet::kIac);
        ++written;
      }
      break;
    }
    return written;
  }

  // Ends by the rules of ReadTimer, like a local port; Telnet commands that
  // arrive meanwhile are answered and do not count as received bytes.
  std::size_t Read(std::uint8_t* buffer, std::size_t count) override {
    Ended(TransferEnd::kDone);
    if (!socket_ || count == 0) return 0;
    ReadTimer timer(timeouts_, count);
    std::size_t got = Take(buffer, count);
    if (got > 0) timer.Received();
    while (got < count) {
      const int wait = timer.WaitMs();
      if (wait <= 0) {
        Ended(TransferEnd::kTimeout);
        break;
      }
      if (Pump(wait) == Pumped::kEnded) break;
      const std::size_t n = Take(buffer + got, count - got);
      if (n > 0) {
        got += n;
        timer.Received();
      }
    }
    if (got == count) Ended(TransferEnd::kDone);
    return got;
  }

  // Drops what has arrived and, through RFC 2217, has the server clear both
  // of its buffers. A connection the server has closed has nothing left to
  // purge; as on a hung-up local line that is no failure.
  bool Purge() override {
    if (!socket_) return false;
    DrainArrived();
    if (telnet_ && !closedByServer_ && client_.ComPortState() == telnet::Client::ComPort::kAgreed) {
      telnet::AppendPurgeBoth(pendingOut_);
      SendNow();
    }
    return true;
  }

  bool Close() override {
    if (!socket_) return false;
    const bool closed = socket_->Close();
    socket_.reset();
    return closed;
  }

  std::uint32_t DelayAllowanceMs() const override { return delayMs_; }

  bool AwaitInput(std::uint32_t ms) override {
    if (!socket_) return false;
    const Deadline deadline(std::chrono::milliseconds{ms});
    while (inputAt_ == input_.size()) {
      const int wait = deadline.RemainingMs();
      if (wait <= 0 || Pump(wait) == Pumped::kEnded) return false;
    }
    return true;
  }

  const char* HangupText() const override { return "the server closed the connection"; }
  std::string OpenReport() const override { return report_; }

  // Agrees on the COM port option and sets the remote line; true unless the
  // connection failed meanwhile (then `why` says how).
  bool Negotiate(std::uint32_t speed, OpenFailure& why) {
    const Deadline budget(std::chrono::milliseconds{kNegotiationMs});
    client_.Start(pendingOut_);
    if (!SendPending(budget, why)) return false;
    while (client_.ComPortState() == telnet::Client::ComPort::kAsked && !budget.Expired()) {
      if (Pump(budget.RemainingMs()) == Pumped::kEnded) return Failed(why);
    }
    char text[160];
    switch (client_.ComPortState()) {
      case telnet::Client::ComPort::kRefused:
        report_ = "the server refuses the COM port option; the line speed is its own";
        break;
      case telnet::Client::ComPort::kAsked:
        std::snprintf(text, sizeof text,
                      "no answer to the COM port option within %d ms; the line speed is the server's", kNegotiationMs);
        report_ = text;
        break;
      case telnet::Client::ComPort::kAgreed:
        telnet::AppendLineSettings(speed, pendingOut_);
        telnet::AppendPurgeBoth(pendingOut_);
        if (!SendPending(budget, why)) return false;
        while (!client_.ConfirmedBaudRate() && !budget.Expired()) {
          if (Pump(budget.RemainingMs()) == Pumped::kEnded) return Failed(why);
        }
        if (client_.ConfirmedBaudRate()) {
          std::snprintf(text, sizeof text, "the server set its line to %u bit/s, 8N1, no flow control",
                        static_cast<unsigned>(*client_.ConfirmedBaudRate()));
        } else {
          std::snprintf(text, sizeof text, "asked the server for %u bit/s, 8N1; no confirmation within %d ms",
                        static_cast<unsigned>(speed), kNegotiationMs);
        }
        report_ = text;
        break;
    }
    DrainArrived();
    return true;
  }

  // Drops whatever the line delivered before the port was ours.
  void DropStaleInput() { DrainArrived(); }

 private:
  enum class Pumped : std::uint8_t { kSome, kNothing, kEnded };

  // Waits up to waitMs for bytes from the server and decodes them; the end
  // of a wait or a connection is recorded.
  Pumped Pump(int waitMs) {
    if (closedByServer_) {
      Ended(TransferEnd::kHangup, closeError_);
      return Pumped::kEnded;
    }
    int osError = 0;
    switch (socket_->Wait(false, waitMs, osError)) {
      case Readiness::kTimeout:
        Ended(TransferEnd::kTimeout);
        return Pumped::kNothing;
      case Readiness::kFailed:
        Ended(TransferEnd::kOsError, osError);
        return Pumped::kEnded;
      case Readiness::kReady:
        break;
    }
    return ReceiveArrived();
  }

  // One receive of what is there; the end of the connection is recorded.
  Pumped ReceiveArrived() {
    std::uint8_t raw[512];
    const IoResult r = socket_->Receive(raw, sizeof raw);
    switch (r.end) {
      case IoEnd::kMoved:
        break;
      case IoEnd::kWouldBlock:
        return Pumped::kNothing;
      case IoEnd::kClosed:
        closedByServer_ = true;
        closeError_ = r.osError;
        Ended(TransferEnd::kHangup, r.osError);
        return Pumped::kEnded;
      case IoEnd::kFailed:
        Ended(TransferEnd::kOsError, r.osError);
        return Pumped::kEnded;
    }
    if (telnet_) {
      const std::size_t answered = pendingOut_.size();
      client_.Receive({raw, r.bytes}, input_, pendingOut_);
      if (pendingOut_.size() != answered) SendNow();
    } else {
      input_.insert(input_.end(), raw, raw + r.bytes);
    }
    return Pumped::kSome;
  }

  // Everything that has arrived, read and dropped (a flood is cut off).
  void DrainArrived() {
    for (int i = 0; i < 128 && !closedByServer_ && ReceiveArrived() == Pumped::kSome; ++i) {
    }
    input_.clear();
    inputAt_ = 0;
  }

  std::size_t Take(std::uint8_t* out, std::size_t count) {
    const std::size_t n = std::min(count, input_.size() - inputAt_);
    std::copy_n(input_.begin() + static_cast<std::ptrdiff_t>(inputAt_), n, out);
    inputAt_ += n;
    if (inputAt_ == input_.size()) {
      input_.clear();
      inputAt_ = 0;
    }
    return n;
  }

  // Sends wire within the deadline; returns the bytes sent, the end recorded.
  std::size_t SendWithin(const Bytes& wire, const Deadline& deadline) {
    std::size_t sent = 0;
    while (sent < wire.size()) {
      const IoResult r = socket_->Send(wire.data() + sent, wire.size() - sent);
      if (r.end == IoEnd::kMoved) {
        sent += r.bytes;
        continue;
      }
      if (r.end == IoEnd::kClosed) {
        closedByServer_ = true;
        closeError_ = r.osError;
        Ended(TransferEnd::kHangup, r.osError);
        break;
      }
      if (r.end == IoEnd::kFailed) {
        Ended(TransferEnd::kOsError, r.osError);
        break;
      }
      int osError = 0;
      const Readiness ready = socket_->Wait(true, deadline.RemainingMs(), osError);
      if (ready == Readiness::kTimeout) {
        Ended(TransferEnd::kTimeout);
        break;
      }
      if (ready == Readiness::kFailed) {
        Ended(TransferEnd::kOsError, osError);
        break;
      }
    }
    return sent;
  }

  // Sends what is pending without waiting; the rest stays pending.
  void SendNow() {
    std::size_t sent = 0;
    while (sent < pendingOut_.size()) {
      const IoResult r = socket_->Send(pendingOut_.data() + sent, pendingOut_.size() - sent);
      if (r.end != IoEnd::kMoved) {
        if (r.end == IoEnd::kClosed) {
          closedByServer_ = true;
          closeError_ = r.osError;
        }
        break;
      }
      sent += r.bytes;
    }
    pendingOut_.erase(pendingOut_.begin(), pendingOut_.begin() + static_cast<std::ptrdiff_t>(sent));
  }

  bool SendPending(const Deadline& deadline, OpenFailure& why) {
    Bytes wire;
    wire.swap(pendingOut_);
    if (SendWithin(wire, deadline) == wire.size()) return true;
    return Failed(why);
  }

  // Fills `why` from the way the last transfer ended.
  bool Failed(OpenFailure& why) const {
    why.step = "negotiate";
    why.osError = LastOsError();
    if (LastEnd() == TransferEnd::kHangup) {
      why.code = KULVE_LINK_ERROR_HANGUP;
      why.detail = HangupText();
    } else if (LastEnd() == TransferEnd::kTimeout) {
      why.code = KULVE_LINK_ERROR_TIMEOUT;
      why.detail = "the server takes nothing";
    } else {
      why.code = KULVE_LINK_ERROR_SYSTEM;
    }
    return false;
  }

  std::unique_ptr<StreamSocket> socket_;
  PortTimeouts timeouts_;
  bool telnet_;
  std::uint32_t delayMs_;
  telnet::Client client_;
  Bytes input_;            // received data bytes not yet read
  std::size_t inputAt_ = 0;
  Bytes pendingOut_;       // bytes that must go out before the next data
  bool closedByServer_ = false;
  int closeError_ = 0;
  std::string report_;
};

}  // namespace

std::unique_ptr<SerialPort> OpenNetworkPort(const char* path, const LineSettings& settings, OpenFailure& why) {
  NetworkPath address;
  if (!ParseNetworkPath(path, address)) {
    why.code = KULVE_LINK_ERROR_NOT_FOUND;
    why.step = "open";
    why.detail =
        "not a network port: expected tcp://HOST:PORT or rfc2217://HOST:PORT, port 1..65535, optionally ?delay=MS "
        "(0..30000)";
    return nullptr;
  }
  std::unique_ptr<StreamSocket> socket = Connect(address.host, address.port, kConnectTimeoutMs, why);
  if (!socket) return nullptr;
  return OpenNetworkPortOn(std::move(socket), address.protocol, settings, why, address.delayMs);
}

std::unique_ptr<SerialPort> OpenNetworkPortOn(std::unique_ptr<StreamSocket> socket, Protocol protocol,
                                              const LineSettings& settings, OpenFailure& why, std::uint32_t delayMs) {
  auto port = std::make_unique<NetworkPort>(std::move(socket), settings.timeouts, protocol, delayMs);
  if (protocol == Protocol::kRfc2217) {
    if (!port->Negotiate(LineSpeed(settings.baudRate), why)) return nullptr;
  } else {
    port->DropStaleInput();
  }
  return port;
}

}  // namespace kulve::net

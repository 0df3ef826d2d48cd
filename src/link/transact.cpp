// SPDX-License-Identifier: MIT
#include "link/transact.h"

#include <algorithm>
#include <cassert>
#include <cstdio>
#include <string>
#include <utility>

#include "link/latency_watch.h"
#include "link/link.h"
#include "results/result_text.h"
#include "text/hex.h"

namespace kulve {
namespace {

constexpr std::uint8_t kStart = '#';
constexpr std::uint8_t kStartAnswer = 'E';
constexpr std::uint8_t kAck = 'g';
constexpr std::uint8_t kGo = 0x89;
// The most a late reply can leave on the line: acknowledgement, status,
// length, 255 data bytes and the checksum.
constexpr std::size_t kMaxStaleBytes = 259;

const char* EndText(TransferEnd end, const SerialPort& port) {
  switch (end) {
    case TransferEnd::kDone: return "done";
    case TransferEnd::kTimeout: return "timed out";
    case TransferEnd::kHangup: return port.HangupText();
    case TransferEnd::kOsError: return "system error";
  }
  return "?";
}

// The bytes of a transfer the trace must not show: the marked request or
// reply bytes, or (a check byte computed over a secret) all of them.
struct Masked {
  const SecretSpan* secret = nullptr;
  bool reply = false;
  bool all = false;
  bool Covers(std::size_t i) const {
    return all || (secret != nullptr && (reply ? secret->InReply(i) : secret->InSend(i)));
  }
  bool Any() const { return all || (secret != nullptr && (reply ? secret->AnyInReply() : secret->AnyInSend())); }
};

// " 4B 53 32" for the trace; masked bytes read "**".
std::string HexBytes(const std::uint8_t* bytes, std::size_t count, Masked masked = {}) {
  std::string out;
  if (count == 0) return out;
  out.push_back(' ');
  out.append(FormatHex(std::span(bytes, count)));
  for (std::size_t i = 0; i < count; ++i) {
    if (masked.Covers(i)) out.replace(1 + 3 * i, 2, "**");
  }
  return out;
}

// What of the request and the reply the trace masks, from the block's marks.
Masked RequestSecret(const Link& reader) {
  if (reader.trace.ShowsSecrets()) return {};
  return {&reader.block.secret, false};
}
Masked ReplySecret(const Link& reader) {
  if (reader.trace.ShowsSecrets()) return {};
  return {&reader.block.secret, true};
}
// A frame's check byte is the XOR of its bytes, so it goes with the secret.
Masked CheckByteOf(Masked data) { return {nullptr, false, data.Any()}; }

// The port operations of one exchange. Traced, every transfer is timed and
// logged at the transfers level; untraced, they are the plain port calls.
template <bool kTraced>
class Wire {
 public:
  explicit Wire(Link& reader) : reader_(reader) {}

  std::size_t Write(const std::uint8_t* data, std::size_t count, Masked masked = {}) {
    if constexpr (!kTraced) {
      return PortWrite(reader_, data, count);
    } else {
      if (!reader_.trace.Wants(trace_level::kTransfers)) return PortWrite(reader_, data, count);
      const auto start = reader_.trace.now();
      const std::size_t n = PortWrite(reader_, data, count);
      Log("write", count, n, data, start, masked);
      return n;
    }
  }

  std::size_t Read(std::uint8_t* buffer, std::size_t count, Masked masked = {}) {
    if constexpr (!kTraced) {
      return PortRead(reader_, buffer, count);
    } else {
      const auto started = Tracer::Clock::now();
      if (!reader_.trace.Wants(trace_level::kTransfers)) {
        const std::size_t n = PortRead(reader_, buffer, count);
        readMs_ += ElapsedMs(started, Tracer::Clock::now());
        return n;
      }
      const auto start = reader_.trace.now();
      const std::size_t n = PortRead(reader_, buffer, count);
      readMs_ += ElapsedMs(started, Tracer::Clock::now());
      Log("read", count, n, buffer, start, masked);
      return n;
    }
  }

  // Time spent in reads since the last call, on the real clock (not the
  // trace's, which tests replace) and without the trace's own writing.
  double TakeReadMs() { return std::exchange(readMs_, 0.0); }

  bool WriteByte(std::uint8_t byte, Masked masked = {}) { return Write(&byte, 1, masked) == 1; }

 private:
  void Log(const char* what, std::size_t asked, std::size_t moved, const std::uint8_t* bytes,
           Tracer::Clock::time_point start, Masked masked) {
    Tracer& trace = reader_.trace;
    const SerialPort* port = reader_.context.port.get();
    const char* end = port != nullptr ? EndText(port->LastEnd(), *port) : "no port is open";
    trace.Line(trace_level::kTransfers, "  %s %u of %u:%s (%.1f ms, %s)", what, static_cast<unsigned>(moved),
               static_cast<unsigned>(asked),
               HexBytes(bytes, moved, masked).c_str(), ElapsedMs(start, trace.now()), end);
  }

  Link& reader_;
  double readMs_ = 0;
};

// Reading the answer to the start byte took `ms`; says once per open when that
// keeps exceeding what the line needs by more than a turnaround should.
// Timed with the real clock: it is the line's delay that matters here.
void WatchTurnaround(Link& reader, double ms) {
  const double lineMs = 20000.0 / (reader.context.settings.baudRate == 9600 ? 9600.0 : 57600.0);
  if (!reader.context.latency.Turnaround(ms - lineMs) || !reader.context.port) return;
  reader.trace.Line(trace_level::kFailures,
                    "the reader's answers keep coming late (%.1f ms to the start byte's answer, %.1f ms of it on "
                    "the line): %s",
                    ms, lineMs, reader.context.port->LatencyAdvice().c_str());
}

// The frame, byte by byte. Returns the status, which is also left in the
// block; lineFailed tells a failure letter from a reader status of the same
// value.
template <bool kTraced>
std::uint8_t RunFrame(Link& reader, bool& lineFailed) {
  Wire<kTraced> wire(reader);
  CommandBlock& block = reader.block;
  block.status = 0;
  block.received = 0;
  block.lineFailed = false;
  ++block.exchanges;
  lineFailed = false;
  auto Fail = [&](CommandBlock& b, std::uint8_t letter) {
    reader.context.replyMayTrail = true;
    lineFailed = true;
    b.lineFailed = true;
    b.status = letter;
    return letter;
  };

  auto writeTrying = [&](std::uint8_t byte, int tries, Masked masked = {}) {
    for (int i = 0; i < tries; ++i) {
      if (wire.WriteByte(byte, masked)) return true;
    }
    return false;
  };
  auto readTrying = [&](std::uint8_t& byte, std::int32_t tries) {
    for (std::int32_t i = 0; i < tries; ++i) {
      if (wire.Read(&byte, 1) == 1) return true;
    }
    return false;
  };
  Masked requestSecret;
  Masked replySecret;
  if constexpr (kTraced) {
    requestSecret = RequestSecret(reader);
    replySecret = ReplySecret(reader);
  }

  // After a failed exchange, a reply that came too late (a busy reader, a
  // loaded host) must not be read as the answer to this one: what has
  // arrived is dropped, and bytes of it still arriving are passed over
  // while waiting for the answer to '#'. Without this, each stale byte
  // failed one exchange, and the reader took the next start bytes for the
  // rest of a frame.
  const bool skipStale = reader.context.replyMayTrail;
  if (skipStale && reader.context.port) reader.context.port->Purge();
  reader.context.replyMayTrail = false;

  if (!writeTrying(kStart, 2)) return Fail(block, link_failure::kHashNotWritten);
  std::uint8_t answer = 0;
  if constexpr (kTraced) wire.TakeReadMs();
  if (!readTrying(answer, 2)) return Fail(block, link_failure::kNoAnswer);
  for (std::size_t skipped = 0; skipStale && answer != kStartAnswer && skipped < kMaxStaleBytes; ++skipped) {
    if (!readTrying(answer, 2)) break;  // nothing more came: the answer was wrong
  }
  if constexpr (kTraced) WatchTurnaround(reader, wire.TakeReadMs());
  if (answer != kStartAnswer) return Fail(block, link_failure::kBadAnswer);

  if (!wire.WriteByte(block.code)) return Fail(block, link_failure::kCodeNotWritten);
  if (!wire.WriteByte(block.sendLength)) return Fail(block, link_failure::kLengthNotWritten);
  if (block.sendLength != 0 && wire.Write(block.sendData.data(), block.sendLength, requestSecret) < block.sendLength) {
    return Fail(block, link_failure::kDataNotWritten);
  }
  std::uint8_t requestCheck = block.code ^ block.sendLength;
  for (std::size_t i = 0; i < block.sendLength; ++i) requestCheck ^= block.sendData[i];
  if (!writeTrying(requestCheck, 2, CheckByteOf(requestSecret))) return Fail(block, link_failure::kCheckNotWritten);

  const std::int32_t tries = block.code == 0 ? reader.context.probeAckTries : reader.context.commandAckTries;
  if (tries < 1) return Fail(block, link_failure::kNoAck);
  std::uint8_t ack = 0;
  if (!readTrying(ack, tries)) return Fail(block, link_failure::kNoAck);
  if (ack != kAck) return Fail(block, link_failure::kBadAck);
  if (!wire.WriteByte(kGo)) return Fail(block, link_failure::kGoNotWritten);

  std::uint8_t status = 0;
  if (wire.Read(&status, 1) != 1) return Fail(block, link_failure::kNoStatus);
  block.status = status;
  std::uint8_t replyCheck = status;

  std::uint8_t length = 0;
  if (wire.Read(&length, 1) != 1) return Fail(block, link_failure::kNoLength);
  block.replyLength = length;
  replyCheck ^= length;

  if (length != 0) {
    const std::size_t got = wire.Read(block.replyData.data(), length, replySecret);
    block.received = static_cast<std::uint8_t>(got);
    for (std::size_t i = 0; i < got; ++i) replyCheck ^= block.replyData[i];
    if (got < length) return Fail(block, link_failure::kShortReply);
  }

  std::uint8_t check = 0;
  if (wire.Read(&check, 1, CheckByteOf(replySecret)) != 1) return Fail(block, link_failure::kNoChecksum);
  if (check != replyCheck) return Fail(block, link_failure::kBadChecksum);
  return block.status;
}

// Why the exchange failed, from the letter and how the last transfer ended:
// the code and a short reason ("read timed out", "the line hung up: ...").
void RecordFailure(Link& reader, std::uint8_t letter, std::string& reason) {
  ReaderContext& context = reader.context;
  char text[160];
  if (!context.port) {
    reason = "no port is open";
    SetLinkError(context.lastError, KULVE_LINK_ERROR_NOT_OPEN, 0, "request code %02X: %s: %s",
                 reader.block.code, ResultText(letter), reason.c_str());
    return;
  }
  const TransferEnd end = context.port->LastEnd();
  const int osError = context.port->LastOsError();
  int code = KULVE_LINK_ERROR_TIMEOUT;
  switch (end) {
    case TransferEnd::kHangup:
      code = KULVE_LINK_ERROR_HANGUP;
      std::snprintf(text, sizeof text, "%s%s%s", context.port->HangupText(), osError != 0 ? ": " : "",
                    osError != 0 ? OsErrorText(osError).c_str() : "");
      break;
    case TransferEnd::kOsError:
      code = KULVE_LINK_ERROR_SYSTEM;
      std::snprintf(text, sizeof text, "system error: %s", OsErrorText(osError).c_str());
      break;
    case TransferEnd::kTimeout:
      std::snprintf(text, sizeof text, "timed out");
      break;
    case TransferEnd::kDone:
      // Every transfer completed: the reader sent a wrong byte or checksum.
      code = KULVE_LINK_ERROR_PROTOCOL;
      std::snprintf(text, sizeof text, "the reader broke the frame");
      break;
  }
  reason = text;
  SetLinkError(context.lastError, code, osError, "request code %02X: %s (%s)", reader.block.code,
               ResultText(letter), reason.c_str());
}

std::uint8_t TracedTransact(Link& reader) {
  Tracer& trace = reader.trace;
  const CommandBlock& block = reader.block;
  trace.Line(trace_level::kFrames, "request code %02X data[%u]%s", block.code, block.sendLength,
             HexBytes(block.sendData.data(), block.sendLength, RequestSecret(reader)).c_str());
  const auto start = trace.now();
  bool lineFailed = false;
  const std::uint8_t status = RunFrame<true>(reader, lineFailed);
  const double ms = ElapsedMs(start, trace.now());
  if (lineFailed) {
    std::string reason;
    RecordFailure(reader, status, reason);
    if (trace.Wants(trace_level::kFrames)) {
      trace.Line(trace_level::kFrames, "failed: %s; %s (%.1f ms)", ResultText(status), reason.c_str(), ms);
    } else {
      trace.Line(trace_level::kFailures, "request code %02X failed: %s; %s (%.1f ms)", block.code,
                 ResultText(status), reason.c_str(), ms);
    }
    return status;
  }
  trace.Line(trace_level::kFrames, "reply status %02X data[%u]%s (%.1f ms)", status, block.received,
             HexBytes(block.replyData.data(), block.received, ReplySecret(reader)).c_str(), ms);
  return status;
}

}  // namespace

std::uint8_t Transact(Link& reader) {
  if (reader.trace.Level() != trace_level::kOff) return TracedTransact(reader);
  bool lineFailed = false;
  const std::uint8_t status = RunFrame<false>(reader, lineFailed);
  if (lineFailed) {
    std::string reason;
    RecordFailure(reader, status, reason);
  }
  return status;
}

void LoadRequest(Link& reader, std::uint8_t code, std::span<const std::uint8_t> send, SecretSpan secret) {
  CommandBlock& block = reader.block;
  // Every family checks its lengths before it builds a request; a longer one
  // is a fault in the library, caught where assertions are on.
  assert(send.size() <= kMaxRequestBytes);
  const std::size_t length = std::min<std::size_t>(send.size(), kMaxRequestBytes);
  block.code = code;
  block.sendLength = static_cast<std::uint8_t>(length);
  std::copy_n(send.begin(), length, block.sendData.begin());
  block.secret = secret;
}

ReplyView Exchange(Link& reader, std::uint8_t code, std::span<const std::uint8_t> send, SecretSpan secret) {
  LoadRequest(reader, code, send, secret);
  Transact(reader);
  return LastReply(reader);
}

}  // namespace kulve

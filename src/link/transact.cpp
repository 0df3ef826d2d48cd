// SPDX-License-Identifier: MIT
#include "link/transact.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <chrono>
#include <cstdio>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "link/deadline.h"
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

using Bytes = std::vector<std::uint8_t>;

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

// One wait of an exchange (the answer to '#', the acknowledgement, the
// reply): the port's delay allowance, spent at most once across its reads.
class Allowance {
 public:
  explicit Allowance(SerialPort* port) : port_(port), leftMs_(port != nullptr ? port->DelayAllowanceMs() : 0) {}

  // After a read came up short: waits what is left of the allowance for
  // more bytes; true when some came.
  bool Extend() {
    if (port_ == nullptr || leftMs_ == 0) return false;
    const Deadline::Clock::time_point start = Deadline::Clock::now();
    const bool came = port_->AwaitInput(leftMs_);
    const auto spent = std::chrono::ceil<std::chrono::milliseconds>(Deadline::Clock::now() - start).count();
    leftMs_ = spent >= static_cast<long long>(leftMs_) ? 0 : leftMs_ - static_cast<std::uint32_t>(spent);
    return came;
  }

 private:
  SerialPort* port_;
  std::uint32_t leftMs_;
};

// Reads `count` bytes in at most `tries` reads, then, while they come up
// short, within what is left of the wait's allowance.
template <bool kTraced>
std::size_t ReadFor(Wire<kTraced>& wire, std::uint8_t* buffer, std::size_t count, std::int32_t tries,
                    Allowance& allowance, Masked masked = {}) {
  std::size_t got = 0;
  for (std::int32_t i = 0; i < tries && got < count; ++i) got += wire.Read(buffer + got, count - got, masked);
  while (got < count && allowance.Extend()) got += wire.Read(buffer + got, count - got, masked);
  return got;
}

// One frame as the reader sees it: the request goes out, the reply comes
// back into `reply`. The status is stored as soon as it arrives.
struct Frame {
  std::uint8_t code = 0;
  std::span<const std::uint8_t> send;
  Masked requestSecret;
  Masked replySecret;
  std::int32_t ackTries = 0;
  std::uint8_t* reply = nullptr;  // room for 255 bytes
  std::uint8_t status = 0;
  std::uint8_t replyLength = 0;
  std::uint8_t received = 0;
};

// How long the line must be quiet: the read interval, and when the reader
// is not waiting for us, the port's delay allowance too.
enum class Quiet : std::uint8_t { kInterval, kWithAllowance };

template <bool kTraced>
bool DrainUntilQuiet(Link& reader, Wire<kTraced>& wire, Quiet quiet, Masked masked, Bytes& dropped,
                     std::uint8_t* last = nullptr);


// The frame's steps; 0 when every step succeeded (the reader's status is
// then in frame.status), else the letter of the step that failed. With
// `stale`, the answer to '#' is the last byte before the line falls quiet
// (the reader answers after any late bytes it still had to send), and the
// bytes before it are dropped and kept there. That quiet is the read interval
// alone: the reader now waits for the code, and gives up on a frame that
// stalls much longer.
template <bool kTraced>
std::uint8_t RunSteps(Link& reader, Wire<kTraced>& wire, Frame& frame, Bytes* stale = nullptr) {
  SerialPort* port = reader.context.port.get();
  auto writeTrying = [&](std::uint8_t byte, int tries, Masked masked = {}) {
    for (int i = 0; i < tries; ++i) {
      if (wire.WriteByte(byte, masked)) return true;
    }
    return false;
  };

  if (!writeTrying(kStart, 2)) return link_failure::kHashNotWritten;
  std::uint8_t answer = 0;
  if constexpr (kTraced) wire.TakeReadMs();
  Allowance startWait(port);
  if (ReadFor(wire, &answer, 1, 2, startWait, stale != nullptr ? frame.replySecret : Masked{}) != 1) {
    return link_failure::kNoAnswer;
  }
  if (stale != nullptr && !DrainUntilQuiet(reader, wire, Quiet::kInterval, frame.replySecret, *stale, &answer)) {
    return link_failure::kBadAnswer;
  }
  if constexpr (kTraced) {
    if (stale == nullptr) WatchTurnaround(reader, wire.TakeReadMs());
  }
  if (answer != kStartAnswer) return link_failure::kBadAnswer;

  const auto length = static_cast<std::uint8_t>(frame.send.size());
  if (!wire.WriteByte(frame.code)) return link_failure::kCodeNotWritten;
  if (!wire.WriteByte(length)) return link_failure::kLengthNotWritten;
  if (length != 0 && wire.Write(frame.send.data(), length, frame.requestSecret) < length) {
    return link_failure::kDataNotWritten;
  }
  std::uint8_t requestCheck = frame.code ^ length;
  for (const std::uint8_t byte : frame.send) requestCheck ^= byte;
  if (!writeTrying(requestCheck, 2, CheckByteOf(frame.requestSecret))) return link_failure::kCheckNotWritten;

  if (frame.ackTries < 1) return link_failure::kNoAck;
  std::uint8_t ack = 0;
  Allowance ackWait(port);
  if (ReadFor(wire, &ack, 1, frame.ackTries, ackWait) != 1) return link_failure::kNoAck;
  if (ack != kAck) return link_failure::kBadAck;
  if (!wire.WriteByte(kGo)) return link_failure::kGoNotWritten;

  Allowance replyWait(port);
  std::uint8_t status = 0;
  if (ReadFor(wire, &status, 1, 1, replyWait) != 1) return link_failure::kNoStatus;
  frame.status = status;
  std::uint8_t replyCheck = status;

  std::uint8_t replyLength = 0;
  if (ReadFor(wire, &replyLength, 1, 1, replyWait) != 1) return link_failure::kNoLength;
  frame.replyLength = replyLength;
  replyCheck ^= replyLength;

  if (replyLength != 0) {
    const std::size_t got = ReadFor(wire, frame.reply, replyLength, 1, replyWait, frame.replySecret);
    frame.received = static_cast<std::uint8_t>(got);
    for (std::size_t i = 0; i < got; ++i) replyCheck ^= frame.reply[i];
    if (got < replyLength) return link_failure::kShortReply;
  }

  std::uint8_t check = 0;
  if (ReadFor(wire, &check, 1, 1, replyWait, CheckByteOf(frame.replySecret)) != 1) return link_failure::kNoChecksum;
  if (check != replyCheck) return link_failure::kBadChecksum;
  return 0;
}

// Reads and drops what comes until the line has been quiet for the read
// interval (two empty reads) and, as asked, the port's delay allowance;
// `last` gets the last byte read, and the bytes before it count as dropped.
// False when the line keeps talking past a whole reply and its frame's bytes.
template <bool kTraced>
bool DrainUntilQuiet(Link& reader, Wire<kTraced>& wire, Quiet quiet, Masked masked, Bytes& dropped,
                     std::uint8_t* last) {
  Allowance allowance(quiet == Quiet::kWithAllowance ? reader.context.port.get() : nullptr);
  int empty = 0;
  for (std::size_t n = 0; n <= kMaxStaleBytes + 4;) {
    std::uint8_t byte = 0;
    if (wire.Read(&byte, 1, masked) == 1) {
      ++n;
      if (last != nullptr) std::swap(*last, byte);  // the byte it was before is dropped
      dropped.push_back(byte);
      empty = 0;
      continue;
    }
    if (++empty < 2) continue;
    if (!allowance.Extend()) return true;
    empty = 0;
  }
  return false;
}

void TraceDropped(Link& reader, const char* state, const Bytes& dropped, Masked masked) {
  if (!reader.trace.Wants(trace_level::kFrames)) return;
  reader.trace.Line(trace_level::kFrames, "line %s after a failed exchange; late bytes dropped[%u]%s", state,
                    static_cast<unsigned>(dropped.size()), HexBytes(dropped.data(), dropped.size(), masked).c_str());
}

// After a failed exchange the rest of its reply may still come, at any time
// and holding any bytes (card data can hold a whole well-formed frame), so no
// byte on the line can be told from the reader's answer by its value. The
// line is proved clean instead: it must fall quiet, the link probe (code 0)
// must then be answered in full with status 0, and the line must stay quiet
// after that answer. The reader answers in turn, so stale bytes still on
// their way show up before or inside the probe's answer, or right after it.
// Two rounds; 0 when the line is clean, else the letter to fail with.
template <bool kTraced>
std::uint8_t Resynchronise(Link& reader, Wire<kTraced>& wire) {
  ReaderContext& context = reader.context;
  const Masked stale{.all = context.trailIsSecret && !reader.trace.ShowsSecrets()};
  if (context.port) context.port->Purge();
  Bytes dropped;
  dropped.reserve(2 * kMaxStaleBytes);
  std::uint8_t letter = link_failure::kBadAnswer;
  std::array<std::uint8_t, kBlockDataSize> probeReply{};
  for (int round = 0; round < 2; ++round) {
    if (!DrainUntilQuiet(reader, wire, Quiet::kWithAllowance, stale, dropped)) {
      letter = link_failure::kBadAnswer;
      continue;
    }
    Frame probe{.code = 0, .replySecret = stale, .ackTries = context.probeAckTries, .reply = probeReply.data()};
    letter = RunSteps(reader, wire, probe, &dropped);
    if (letter == 0 && probe.status != 0) letter = link_failure::kBadAnswer;
    if (letter == link_failure::kNoAnswer && dropped.empty()) break;  // a silent line: a second round cannot help
    if (letter != 0) continue;
    const std::size_t before = dropped.size();
    if (DrainUntilQuiet(reader, wire, Quiet::kWithAllowance, stale, dropped) && dropped.size() == before) {
      TraceDropped(reader, "clean", dropped, stale);
      context.replyMayTrail = false;
      context.trailIsSecret = false;
      return 0;
    }
    letter = link_failure::kBadAnswer;
  }
  TraceDropped(reader, "not clean", dropped, stale);
  return letter;
}

// The frame, byte by byte. Returns the status, which is also left in the
// block; lineFailed tells a failure letter from a reader status of the same
// value.
template <bool kTraced>
std::uint8_t RunFrame(Link& reader, bool& lineFailed) {
  Wire<kTraced> wire(reader);
  CommandBlock& block = reader.block;
  ReaderContext& context = reader.context;
  block.status = 0;
  block.received = 0;
  block.lineFailed = false;
  ++block.exchanges;
  lineFailed = false;

  Frame frame{.code = block.code,
              .send = std::span<const std::uint8_t>(block.sendData.data(), block.sendLength),
              .ackTries = block.code == 0 ? context.probeAckTries : context.commandAckTries,
              .reply = block.replyData.data(),
              .replyLength = block.replyLength};  // kept when no length comes
  if constexpr (kTraced) {
    frame.requestSecret = RequestSecret(reader);
    frame.replySecret = ReplySecret(reader);
  }
  std::uint8_t letter = context.replyMayTrail ? Resynchronise(reader, wire) : 0;
  if (letter == 0) letter = RunSteps(reader, wire, frame);
  block.status = frame.status;
  block.replyLength = frame.replyLength;
  block.received = frame.received;
  if (letter == 0) return block.status;

  // The rest of this reply may still come: the next exchange proves the line
  // clean first.
  context.replyMayTrail = true;
  context.trailIsSecret = context.trailIsSecret || block.secret.AnyInReply();
  lineFailed = true;
  block.lineFailed = true;
  block.status = letter;
  return letter;
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

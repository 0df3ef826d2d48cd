// SPDX-License-Identifier: MIT
#include "sim/frame_server.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>

namespace kulve::sim {

namespace {

std::string Hex(std::span<const std::uint8_t> bytes) {
  std::string s;
  char buf[4];
  for (std::uint8_t b : bytes) {
    std::snprintf(buf, sizeof buf, " %02X", b);
    s += buf;
  }
  return s;
}

std::string Hex(std::uint8_t b) { return Hex(std::span<const std::uint8_t>(&b, 1)); }

}  // namespace

std::uint8_t XorChecksum(std::span<const std::uint8_t> bytes) {
  std::uint8_t sum = 0;
  for (std::uint8_t b : bytes) sum ^= b;
  return sum;
}

FrameServer::FrameServer(int lineFd, int wakeFd, ServerHooks& hooks)
    : line_(lineFd), wake_(wakeFd), hooks_(hooks) {}

FrameServer::End FrameServer::Run() {
  for (;;) {
    std::uint8_t byte = 0;
    Io io = ReadByte(-1, byte);
    if (io == Io::kOk && byte == kStartByte) io = Exchange();
    switch (io) {
      case Io::kWoken: return End::kWoken;
      case Io::kLost: return End::kLineLost;
      case Io::kVanished: return End::kVanished;
      default: break;  // idle again
    }
  }
}

FrameServer::Io FrameServer::ReadByte(int timeoutMs, std::uint8_t& byte) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (inPos_ == inLen_) {
    int wait = -1;
    if (timeoutMs >= 0) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      wait = left.count() > 0 ? static_cast<int>(left.count()) : 0;
    }
    pollfd fds[2] = {{line_, POLLIN, 0}, {wake_, POLLIN, 0}};
    int n = ::poll(fds, 2, wait);
    if (n < 0) {
      if (errno == EINTR) continue;
      return Io::kLost;
    }
    if (fds[1].revents != 0) return Io::kWoken;
    if (n == 0) return Io::kTimeout;
    if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
      ssize_t got = ::read(line_, in_, sizeof in_);
      if (got > 0) {
        inPos_ = 0;
        inLen_ = static_cast<std::size_t>(got);
        seen_ = LinePacer::Clock::now();
      } else if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
        return Io::kLost;
      }
    } else if (fds[0].revents & POLLNVAL) {
      return Io::kLost;
    }
  }
  byte = in_[inPos_++];
  hooks_.LineBytes(1);
  return Io::kOk;
}

FrameServer::Io FrameServer::ReadFrameByte(std::uint8_t& byte) {
  const Io io = ReadByte(kFrameSilenceMs, byte);
  if (io == Io::kOk) pacer_.Received(seen_);
  return io;
}

FrameServer::Io FrameServer::Exchange() {
  if (!hooks_.SpeedAccepted()) return Io::kDropped;  // silence, as a reader at another speed
  pacer_.Start(hooks_.PacedBitRate(), seen_);
  FaultPlan plan = hooks_.BeginExchange();
  const std::uint8_t start = kStartAnswer;
  Io io = Queue(ReaderByte::kStart, {&start, 1}, plan);
  if (io == Io::kOk) io = Flush();
  if (io != Io::kOk) return io;
  // After a wrong answer the host abandons the frame; so does the reader.
  if (plan.at(ReaderByte::kStart).action == FaultKind::kWrongByte) return Io::kDropped;

  std::uint8_t code = 0;
  std::vector<std::uint8_t> data;
  io = ReadRequest(code, data);
  if (io != Io::kOk) return io;

  if (hooks_.Tracing())
    hooks_.Trace("request code" + Hex(code) + " data[" + std::to_string(data.size()) + "]" + Hex(data));
  Reply reply = hooks_.Execute(code, data, plan);

  const std::uint8_t ack = kAckByte;
  io = Queue(ReaderByte::kAck, {&ack, 1}, plan);
  if (io == Io::kOk) io = Flush();
  if (io != Io::kOk) return io;
  if (plan.at(ReaderByte::kAck).action == FaultKind::kWrongByte) return Io::kDropped;

  std::uint8_t next = 0;
  io = ReadFrameByte(next);
  if (io == Io::kTimeout) {
    if (hooks_.Tracing()) hooks_.Trace("no 0x89 after the acknowledgement");
    return Io::kDropped;
  }
  if (io != Io::kOk) return io;
  if (next != kReplyRequest) {
    if (hooks_.Tracing()) hooks_.Trace("expected 0x89, got" + Hex(next));
    if (next == kStartByte) --inPos_;  // the host has moved on to a new frame
    return Io::kDropped;
  }
  return SendReply(reply, plan);
}

FrameServer::Io FrameServer::ReadRequest(std::uint8_t& code, std::vector<std::uint8_t>& data) {
  std::uint8_t length = 0;
  std::uint8_t checksum = 0;
  Io io = ReadFrameByte(code);
  if (io == Io::kOk) io = ReadFrameByte(length);
  data.resize(length);
  for (std::size_t i = 0; io == Io::kOk && i < length; ++i) io = ReadFrameByte(data[i]);
  if (io == Io::kOk) io = ReadFrameByte(checksum);
  if (io == Io::kTimeout) {
    if (hooks_.Tracing()) hooks_.Trace("host fell silent in the middle of a request");
    return Io::kDropped;
  }
  if (io != Io::kOk) return io;
  const std::uint8_t expected = static_cast<std::uint8_t>(code ^ length ^ XorChecksum(data));
  if (checksum != expected) {
    if (hooks_.Tracing())
      hooks_.Trace("request code" + Hex(code) + ": checksum" + Hex(checksum) + " should be" +
                   Hex(expected) + ", not acknowledged");
    return Io::kDropped;
  }
  return Io::kOk;
}

FrameServer::Io FrameServer::SendReply(const Reply& reply, const FaultPlan& plan) {
  std::vector<std::uint8_t> data = reply.data;
  if (data.size() > kMaxFrameData) data.resize(kMaxFrameData);  // Firmware never lets this happen
  auto length = static_cast<std::uint8_t>(data.size());
  const std::uint8_t sum = static_cast<std::uint8_t>(reply.status ^ length ^ XorChecksum(data));
  if (hooks_.Tracing())
    hooks_.Trace("reply status" + Hex(reply.status) + " data[" + std::to_string(length) + "]" +
                 Hex(data));

  const FaultPlan::Step& dataStep = plan.at(ReaderByte::kData);
  const bool cutShort = dataStep.action == FaultKind::kSilent;
  if (cutShort && data.empty()) length = 1;  // announce a byte that never comes

  Io io = Queue(ReaderByte::kStatus, {&reply.status, 1}, plan);
  if (io == Io::kOk) io = Queue(ReaderByte::kLength, {&length, 1}, plan);
  if (io == Io::kOk) {
    if (cutShort) {
      // Silent data: send all but the last byte, then stop.
      io = Flush();
      if (io == Io::kOk && dataStep.delayMs > 0) io = Wait(dataStep.delayMs);
      if (io == Io::kOk && data.size() > 1) {
        out_.assign(data.begin(), data.end() - 1);
        io = Flush();
      }
      return io == Io::kOk ? Io::kDropped : io;
    }
    io = Queue(ReaderByte::kData, data, plan);
  }
  if (io != Io::kOk) return io;
  // Counted before the last byte leaves, so a host that has its reply always
  // finds the exchange counted. Only replies sent in full count.
  const auto& last = plan.at(ReaderByte::kChecksum).action;
  if (!last || *last == FaultKind::kWrongByte) hooks_.ExchangeCompleted();
  io = Queue(ReaderByte::kChecksum, {&sum, 1}, plan);
  if (io == Io::kOk) io = Flush();
  return io;
}

FrameServer::Io FrameServer::Queue(ReaderByte step, std::span<const std::uint8_t> bytes,
                                   const FaultPlan& plan) {
  const FaultPlan::Step& f = plan.at(step);
  if (f.delayMs > 0) {
    Io io = Flush();
    if (io == Io::kOk) io = Wait(f.delayMs);
    if (io != Io::kOk) return io;
  }
  if (!f.action) {
    out_.insert(out_.end(), bytes.begin(), bytes.end());
    return Io::kOk;
  }
  switch (*f.action) {
    case FaultKind::kSilent: {
      Io io = Flush();
      return io == Io::kOk ? Io::kDropped : io;
    }
    case FaultKind::kVanish: {
      Io io = Flush();
      return io == Io::kOk || io == Io::kDropped ? Io::kVanished : io;
    }
    case FaultKind::kWrongByte: {
      std::size_t first = out_.size();
      out_.insert(out_.end(), bytes.begin(), bytes.end());
      if (!bytes.empty())
        out_[first] = f.replacement ? *f.replacement : static_cast<std::uint8_t>(~out_[first]);
      return Io::kOk;
    }
    case FaultKind::kDelay: break;  // never stored as an action
  }
  return Io::kOk;
}

FrameServer::Io FrameServer::Flush() {
  Io result = Io::kOk;
  if (const std::uint32_t holdMs = hooks_.AdapterLatencyMs(); holdMs != 0) {
    result = FlushThroughAdapter(holdMs);
  } else if (!pacer_.On()) {
    result = WriteAll(out_.data(), out_.size());
  } else {
    pacer_.BeginBurst();
    for (std::size_t i = 0; result == Io::kOk && i < out_.size(); ++i) {
      result = WaitUntil(pacer_.NextSend());
      if (result == Io::kOk) result = WriteAll(&out_[i], 1);
    }
  }
  out_.clear();
  return result;
}

// Each byte reaches the adapter when it has crossed the line (at once,
// unpaced); the adapter passes on what it holds when the timer started by
// the first of them runs out, or when a USB packet is full.
FrameServer::Io FrameServer::FlushThroughAdapter(std::uint32_t holdMs) {
  using Clock = LinePacer::Clock;
  const auto hold = std::chrono::duration_cast<Clock::duration>(std::chrono::milliseconds(holdMs));
  if (pacer_.On()) pacer_.BeginBurst();
  Io result = Io::kOk;
  std::size_t first = 0;
  Clock::time_point timerEnds{};
  Clock::time_point lastArrived{};
  auto handOver = [&](std::size_t end, Clock::time_point when) {
    if (result == Io::kOk) result = WaitUntil(when);
    if (result == Io::kOk) result = WriteAll(out_.data() + first, end - first);
    first = end;
  };
  for (std::size_t i = 0; i < out_.size(); ++i) {
    const Clock::time_point arrives = pacer_.On() ? pacer_.NextSend() : Clock::now();
    if (i > first && arrives > timerEnds) handOver(i, timerEnds);
    if (i == first) timerEnds = arrives + hold;
    lastArrived = arrives;
    if (i + 1 - first == kAdapterPacket) handOver(i + 1, lastArrived);
  }
  if (first < out_.size()) handOver(out_.size(), timerEnds);
  return result;
}

FrameServer::Io FrameServer::WriteAll(const std::uint8_t* bytes, std::size_t count) {
  hooks_.LineBytes(count);  // before they leave, so a host that has them finds them counted
  std::size_t done = 0;
  Io result = Io::kOk;
  while (done < count) {
    ssize_t n = ::write(line_, bytes + done, count - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) {
      result = Io::kLost;
      break;
    }
    // The host is not reading: wait a while for room, then give the frame up.
    pollfd fds[2] = {{line_, POLLOUT, 0}, {wake_, POLLIN, 0}};
    int r = ::poll(fds, 2, kFrameSilenceMs);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) {
      result = Io::kLost;
      break;
    }
    if (fds[1].revents != 0) {
      result = Io::kWoken;
      break;
    }
    if (r == 0) {
      if (hooks_.Tracing()) hooks_.Trace("host does not take the reply: frame dropped");
      result = Io::kDropped;
      break;
    }
    if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) {
      result = Io::kLost;
      break;
    }
  }
  return result;
}

FrameServer::Io FrameServer::Wait(std::uint32_t ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return Io::kOk;
    pollfd wake = {wake_, POLLIN, 0};
    int n = ::poll(&wake, 1, static_cast<int>(left.count()));
    if (n > 0) return Io::kWoken;
    if (n < 0 && errno != EINTR) return Io::kOk;
  }
}

FrameServer::Io FrameServer::WaitUntil(LinePacer::Clock::time_point when) {
  for (;;) {
    const auto left = when - LinePacer::Clock::now();
    if (left <= LinePacer::Clock::duration::zero()) return Io::kOk;
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    const timespec timeout{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
    pollfd wake = {wake_, POLLIN, 0};
    const int n = ::ppoll(&wake, 1, &timeout, nullptr);
    if (n > 0) return Io::kWoken;
    if (n < 0 && errno != EINTR) return Io::kOk;
  }
}

}  // namespace kulve::sim

// SPDX-License-Identifier: MIT
#include "cpucard/card_timing.h"

#include <algorithm>
#include <atomic>
#include <cmath>

#include "link/transact.h"
#include "results/results.h"

namespace kulve {
namespace {

constexpr double kCharacterEtu = 12;      // start, 8 data, parity, guard time (T=1 and T=0 at N = 0)
constexpr double kBlockFrame = 3 + 2;     // prologue and a CRC
constexpr double kDefaultFd = 372;        // BWT counts in Fd clocks, whatever TA1 says
constexpr double kT0LongestAnswer = 256 + 2 + 1;  // data, SW and the procedure byte

std::atomic<std::int64_t> callBoundMs{kCallBound.count()};

double EtuMs(const ChipSlotProtocol& st) { return st.clocksPerEtu * 1000.0 / kAssumedCardClockHz; }

std::uint32_t Ceil(double ms) { return static_cast<std::uint32_t>(std::min(std::ceil(ms), 4.0e9)); }

}  // namespace

void SetCallBoundForTests(std::optional<std::chrono::milliseconds> bound) {
  callBoundMs = bound.value_or(kCallBound).count();
}

CardCall::CardCall() : deadline_(std::chrono::steady_clock::now() + std::chrono::milliseconds(callBoundMs.load())) {}

std::uint32_t T1BlockWaitMs(const ChipSlotProtocol& st, std::size_t sent, std::size_t ifsd, std::uint32_t wtx) {
  const double etu = EtuMs(st);
  const double bwt = 11 * etu + std::ldexp(960.0 * kDefaultFd * 1000.0 / kAssumedCardClockHz, st.bwi);
  // ISO/IEC 7816-3 11.4.3: each of the card's characters may follow the last by up to CWT.
  const double cwt = std::max(kCharacterEtu, 11 + std::ldexp(1.0, st.cwi)) * etu;
  const double line = static_cast<double>(sent) * kCharacterEtu * etu + (static_cast<double>(ifsd) + kBlockFrame) * cwt;
  return Ceil(bwt * std::max<std::uint32_t>(1, wtx) + line + kReaderMarginMs);
}

std::uint32_t T0CommandWaitMs(const ChipSlotProtocol& st, std::size_t sent) {
  const double wwt = 960.0 * st.wi * st.fi * 1000.0 / kAssumedCardClockHz;
  const double line = (static_cast<double>(sent) + kT0LongestAnswer) * kCharacterEtu * EtuMs(st);
  return Ceil(2 * wwt + line + kReaderMarginMs);
}

ReplyView CardCall::Exchange(Reader& reader, std::uint8_t code, std::span<const std::uint8_t> send,
                             std::uint32_t waitMs, SecretSpan secret) const {
  std::int32_t& ackTries = reader.context.commandAckTries;
  const std::int32_t saved = ackTries;
  const PortTimeouts& t = reader.context.settings.timeouts;
  // One try is one read of the acknowledgement byte.
  const std::uint32_t tryMs = std::max<std::uint32_t>(1, t.readMultiplierMs + t.readConstantMs);
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - std::chrono::steady_clock::now());
  const auto wanted = std::min<long long>(waitMs, std::max<long long>(0, left.count()));
  const auto tries = static_cast<std::int32_t>(std::min<long long>((wanted + tryMs - 1) / tryMs, 1 << 20));
  ackTries = std::max(saved, tries);
  ReplyView reply = kulve::Exchange(reader, code, send, secret);
  ackTries = saved;
  // The wait ran to the bound: silence now is the bound's, not the card's.
  if (reply.lineFailed && wanted < waitMs) reply.status = result::kCallTimeBound;
  return reply;
}

}  // namespace kulve

// SPDX-License-Identifier: MIT
#include "fuzz/fuzz_session.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <string_view>

#include "link/link.h"

namespace kulve::fuzz {
namespace {

constexpr std::int32_t kEdges[] = {0,   1,   -1,  2,   3,   4,    5,    7,     8,     9,     15,      16,
                                   17,  18,  19,  21,  25,  26,   47,   48,    63,    64,    65,      66,
                                   67,  127, 128, 129, 159, 160,  161,  254,   255,   256,   257,     263,
                                   264, 265, 511, 512, 4096, 65535, 65536, 65537, INT_MAX, INT_MIN};
constexpr std::uint8_t kStatusEdges[] = {0, 1, 3, 4, 19, 'e', 'f', 'l', 'q', 's', 0x80, 0x83, 0x90, 0xFF};

bool StartsWith(const char* line, std::string_view prefix) { return std::string_view(line).starts_with(prefix); }

}  // namespace

Bytes SeenExchange::Padded(std::size_t n) const {
  Bytes out(received.begin(), received.begin() + static_cast<std::ptrdiff_t>(std::min(n, received.size())));
  out.resize(n, 0);
  return out;
}

FuzzSession::FuzzSession(FuzzedDataProvider& input) : input_(input) {
  peer_.respond = [this](const test::Request&) { return NextReply(); };
  SetTrace(reader_, 2, &FuzzSession::OnTrace, this);
  OpenPort(reader_, 0, kFastSpeed);
}

std::int32_t FuzzSession::Int() {
  if (input_.ConsumeProbability<float>() < 0.75f) return input_.PickValueInArray(kEdges);
  return input_.ConsumeIntegral<std::int32_t>();
}

std::int32_t FuzzSession::InRange(std::int32_t lo, std::int32_t hi) {
  const float p = input_.ConsumeProbability<float>();
  if (p < 0.5f) return input_.ConsumeIntegralInRange(lo, hi);
  if (p < 0.8f) {
    const std::int32_t edges[] = {lo - 1, lo, hi, hi + 1};
    return input_.PickValueInArray(edges);
  }
  return Int();
}

std::int32_t FuzzSession::Count() {
  const float p = input_.ConsumeProbability<float>();
  if (p < 0.5f) return input_.PickValueInArray(kEdges);
  if (p < 0.95f) return input_.ConsumeIntegralInRange<std::int32_t>(0, 600);
  // Counts no buffer of a card could hold, which every function must refuse;
  // counts between those and the edges above would only make slow calls.
  const std::int32_t wild = input_.ConsumeIntegral<std::int32_t>();
  return wild >= 0 && wild < (1 << 25) ? wild | (1 << 25) : wild;
}

bool FuzzSession::Null() { return input_.ConsumeIntegralInRange<int>(0, 31) == 0; }

test::ScriptedReply FuzzSession::NextReply() {
  test::ScriptedReply r;
  if (input_.remaining_bytes() == 0) return r;  // a well-behaved reader once the input runs out
  const std::uint8_t shape = input_.ConsumeIntegral<std::uint8_t>();
  r.status = (shape & 3) == 0 ? input_.ConsumeIntegral<std::uint8_t>()
                              : ((shape & 3) == 1 ? input_.PickValueInArray(kStatusEdges) : 0);
  const std::size_t length = (shape & 0x0C) == 0 ? input_.ConsumeIntegralInRange<std::size_t>(0, 255)
                                                 : input_.ConsumeIntegralInRange<std::size_t>(0, 20);
  r.data = input_.ConsumeBytes<std::uint8_t>(length);
  r.data.resize(length, 0xA5);
  if (shape & 0x10) r.claimedLength = input_.ConsumeIntegral<std::uint8_t>();
  if (shape & 0x20) r.dataSent = input_.ConsumeIntegralInRange<std::size_t>(0, length);
  if (shape & 0x40) r.checksum = input_.ConsumeIntegral<std::uint8_t>();
  if ((shape & 0x80) && input_.ConsumeBool()) {
    switch (input_.ConsumeIntegralInRange<int>(0, 3)) {
      case 0: r.ack.reset(); break;
      case 1: r.ack = input_.ConsumeIntegral<std::uint8_t>(); break;
      case 2: r.sendStatus = false; break;
      default: r.sendChecksum = false; break;
    }
  }
  return r;
}

// The trace runs inside the exchange, so the command block holds exactly
// this exchange's request and what arrived of its reply.
void KULVE_CALL FuzzSession::OnTrace(int, const char* line, void* self) {
  auto& session = *static_cast<FuzzSession*>(self);
  const CommandBlock& block = session.reader_.block;
  Exchanges& seen = session.exchanges_;
  if (StartsWith(line, "request code")) {
    SeenExchange exchange;
    exchange.code = block.code;
    exchange.sent.assign(block.sendData.begin(), block.sendData.begin() + block.sendLength);
    seen.push_back(std::move(exchange));
    return;
  }
  const bool replied = StartsWith(line, "reply status");
  const bool failed = StartsWith(line, "failed:");
  if (!replied && !failed) return;
  FUZZ_CHECK(!seen.empty());
  SeenExchange& exchange = seen.back();
  exchange.status = block.status;
  exchange.lineFailed = failed;
  exchange.received.assign(block.replyData.begin(), block.replyData.begin() + block.received);
}

Exchanges FuzzSession::TakeExchanges() {
  Exchanges taken;
  taken.swap(exchanges_);
  return taken;
}

void FuzzSession::Settle() {
  peer_.ResetFrame();
  peer_.ClearInput();
}

CallerBuffer::CallerBuffer(std::size_t size, std::uint8_t fill) : bytes_(size, fill), before_(bytes_) {}

CallerBuffer::CallerBuffer(std::size_t size, FuzzedDataProvider& input)
    : bytes_(input.ConsumeBytes<std::uint8_t>(size)) {
  bytes_.resize(size, 0x5A);
  before_ = bytes_;
}

bool CallerBuffer::AllZero() const {
  return std::all_of(bytes_.begin(), bytes_.end(), [](std::uint8_t b) { return b == 0; });
}

Bytes Statuses(const Exchanges& exchanges) {
  Bytes statuses;
  for (const SeenExchange& e : exchanges) statuses.push_back(e.status);
  return statuses;
}

bool AllOk(const Exchanges& exchanges) {
  return std::all_of(exchanges.begin(), exchanges.end(), [](const SeenExchange& e) { return e.Ok(); });
}

bool ResultFollowsExchanges(int result, const Exchanges& exchanges) {
  if (exchanges.empty()) return false;
  const bool earlierOk = std::all_of(exchanges.begin(), exchanges.end() - 1, [](const SeenExchange& e) { return e.Ok(); });
  return earlierOk && result == exchanges.back().status;
}

bool OneExchange(int result, const Exchanges& exchanges) {
  return exchanges.size() == 1 && result == exchanges.front().status;
}

Bytes WithAt(Bytes before, std::size_t at, std::span<const std::uint8_t> part) {
  std::copy(part.begin(), part.end(), before.begin() + static_cast<std::ptrdiff_t>(at));
  return before;
}

}  // namespace kulve::fuzz

// SPDX-License-Identifier: MIT
// e5550 transponders: block reads and writes with the block-0 guard, the
// option byte, wake, and the module query.
#include <algorithm>
#include <optional>

#include "fuzz/calls.h"
#include "rf5550/rf5550.h"

namespace kulve::fuzz {
namespace {

constexpr std::size_t kBlock = 4;

// A block argument: the guard's edges (0, -1, values with a low byte of 0)
// over-represented.
std::int32_t PickBlock(FuzzSession& s) {
  constexpr std::int32_t kBlockEdges[] = {0, -1, 1, 7, 255, 256, -256, 512, 0x10000, -2};
  return s.input().ConsumeBool() ? s.input().PickValueInArray(kBlockEdges) : s.Int();
}

// The byte a write sends for block, or none where the guard refuses.
std::optional<std::uint8_t> WriteBlockByte(std::int32_t block) {
  if (block == -1) return 0;
  if (Low(block) == 0) return std::nullopt;
  return Low(block);
}

// A successful read or write hands back at most one block of its reply;
// anything else leaves data as it was.
void CheckBlockCopy(const SeenExchange& e, const CallerBuffer& data) {
  if (!e.Ok()) {
    FUZZ_CHECK(data.Untouched());
    return;
  }
  const std::size_t m = std::min(e.received.size(), kBlock);
  FUZZ_CHECK(data.bytes() == WithAt(data.before(), 0, std::span(e.received).first(m)));
}

void Read(FuzzSession& s, bool afterWake) {
  const std::int32_t block = PickBlock(s);
  const bool nullPassword = afterWake && s.Null(), nullData = s.Null();
  CallerBuffer password(afterWake && !nullPassword ? 4 : 0, s.input()), data(nullData ? 0 : kBlock, 0x5A);
  const int result = afterWake ? RF5550_ReadAfterWake(s.reader(), block, password.data(), data.data())
                               : RF5550_ReadBlk(s.reader(), block, data.data());
  const Exchanges ex = s.TakeExchanges();
  FUZZ_CHECK(password.Untouched());
  if (nullPassword || nullData) {
    FUZZ_CHECK(result == 4 && ex.empty() && data.Untouched());
    return;
  }
  FUZZ_CHECK(OneExchange(result, ex));
  Bytes request;
  PutBytes(request, password);
  request.push_back(Low(block));
  FUZZ_CHECK(ex[0].sent == request);
  CheckBlockCopy(ex[0], data);
}

void Write(FuzzSession& s, bool afterWake) {
  const std::int32_t block = PickBlock(s), lock = s.Int();
  const bool nullPassword = s.Null(), nullData = s.Null();
  CallerBuffer password(nullPassword ? 0 : 4, s.input()), data(nullData ? 0 : kBlock, s.input());
  const int result = afterWake ? RF5550_WriteAfterWake(s.reader(), block, password.data(), data.data(), lock)
                               : RF5550_WriteBlk(s.reader(), block, password.data(), data.data(), lock);
  const Exchanges ex = s.TakeExchanges();
  FUZZ_CHECK(password.Untouched());
  const auto blockByte = WriteBlockByte(block);
  if (!blockByte || nullPassword || nullData) {
    FUZZ_CHECK(result == 4 && ex.empty() && data.Untouched());
    return;
  }
  FUZZ_CHECK(OneExchange(result, ex));
  Bytes request;
  PutBytes(request, password);
  request.push_back(*blockByte);
  PutBytes(request, data);
  request.push_back(Low(lock));
  FUZZ_CHECK(ex[0].sent == request);
  CheckBlockCopy(ex[0], data);
}

void Init(FuzzSession& s) {
  const bool nullRecord = s.Null(), nullPassword = s.Null();
  CallerBuffer record(nullRecord ? 0 : sizeof(Rf5550InitRecord), s.input()), password(nullPassword ? 0 : 4, s.input());
  auto* values = record.As<Rf5550InitRecord>();
  if (values != nullptr && s.input().ConsumeBool()) values->value[9] = s.InRange(0, 7);
  record.Given();
  const std::int32_t flag = s.Int();
  const int result = RF5550_Init(s.reader(), values, password.data(), flag);
  const Exchanges ex = s.TakeExchanges();
  FUZZ_CHECK(record.Untouched() && password.Untouched());
  if (nullRecord || nullPassword) {
    FUZZ_CHECK(result == 4 && ex.empty());
    return;
  }
  FUZZ_CHECK(OneExchange(result, ex));
  const auto top = static_cast<std::uint32_t>(values->value[9]);
  const auto option = static_cast<std::uint8_t>((top <= 7 ? top : 7u) << 5 | (values->value[3] != 0 ? 0x10 : 0) |
                                                (values->value[0] != 0 ? 0x08 : 0) | 0x07);
  Bytes request;
  PutBytes(request, password);
  request.push_back(option);
  request.push_back(Low(flag));
  FUZZ_CHECK(ex[0].sent == request);
}

void Wake(FuzzSession& s) {
  const bool null = s.Null();
  CallerBuffer password(null ? 0 : 4, s.input());
  const int result = RF5550_Wake(s.reader(), password.data());
  const Exchanges ex = s.TakeExchanges();
  if (null) {
    FUZZ_CHECK(result == 4 && ex.empty());
    return;
  }
  FUZZ_CHECK(OneExchange(result, ex) && ex[0].sent == password.before() && password.Untouched());
}

void ModuleQuery(FuzzSession& s) {
  const bool null = s.Null();
  CallerBuffer answer(null ? 0 : 4, 0x5A);
  const int result = RF5550_Mcmno(s.reader(), answer.data());
  const Exchanges ex = s.TakeExchanges();
  if (null) {
    FUZZ_CHECK(result == 4 && ex.empty());
    return;
  }
  // One exchange, never a relink, whatever the result.
  FUZZ_CHECK(OneExchange(result, ex) && ex[0].sent.empty());
  if (result == 0) {
    const Bytes two = ex[0].Padded(2);
    FUZZ_CHECK(answer.bytes() == (Bytes{two[0], two[1], 0, 0}));
  } else {
    FUZZ_CHECK(answer.Untouched());
  }
}

constexpr Call kCalls[] = {
    [](FuzzSession& s) { Read(s, false); },
    [](FuzzSession& s) { Read(s, true); },
    [](FuzzSession& s) { Write(s, false); },
    [](FuzzSession& s) { Write(s, true); },
    Init,
    Wake,
    ModuleQuery,
};

}  // namespace

std::span<const Call> Rf5550Calls() { return kCalls; }

}  // namespace kulve::fuzz

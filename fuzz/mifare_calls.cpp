// SPDX-License-Identifier: MIT
// Mifare: every function through the relinking exchange. A request that
// fails on the line is repeated, identical, after a relink (one or two
// probes), at most three tries in all; buffers receive the last try's bytes
// and zeros past them, whatever the result.
#include <algorithm>
#include <functional>

#include "fuzz/calls.h"
#include "results/results.h"
#include "mifare/command_codes.h"
#include "mifare/mifare.h"

namespace kulve::fuzz {
namespace {

namespace code = mifare_code;

constexpr int kMaxTries = 3;
constexpr std::int32_t kNoCardSelected = 255;
constexpr std::size_t kSectors = 16;
constexpr std::size_t kSectorBytes = 48;

// The tries of one request, starting at ex[at]: while a try fails on the
// line and tries are left, one or two probes (the relink) and the same
// request again. Returns the last try and moves `at` past it.
const SeenExchange& Tries(const Exchanges& ex, std::size_t& at, std::uint8_t requestCode, const Bytes& request,
                          bool& relinked) {
  FUZZ_CHECK(at < ex.size() && ex[at].code == requestCode && ex[at].sent == request);
  const SeenExchange* last = &ex[at++];
  for (int tries = 1; tries < kMaxTries && IsLinkFailure(last->status); ++tries) {
    std::size_t probes = 0;
    for (; at < ex.size() && ex[at].code == 0 && ex[at].sent.empty(); ++at) ++probes;
    FUZZ_CHECK(probes == 1 || probes == 2);
    FUZZ_CHECK(at < ex.size() && ex[at].code == requestCode && ex[at].sent == request);
    last = &ex[at++];
    relinked = true;
  }
  return *last;
}

// What a function does with the last try's reply.
enum class Copy {
  kNothing,    // the caller's bytes only go out
  kPadded,     // the reply's bytes, zeros past them
  kTwoBytes,   // reply bytes 0 and 1, then two zeros
};

struct Buffer {
  Buffer(FuzzSession& s, std::size_t size) : null(s.Null()), bytes(null ? 0 : size, s.input()) {}
  bool null;
  CallerBuffer bytes;
};

// Runs a call that makes one request and checks its tries, its result and
// what it wrote. `refused`: the arguments must be refused with 4.
void Run(FuzzSession& s, std::uint8_t requestCode, const Bytes& request, bool refused, Buffer* out, Copy copy,
         const std::function<int()>& call) {
  const int result = call();
  const Exchanges ex = s.TakeExchanges();
  if (refused) {
    FUZZ_CHECK(result == 4 && ex.empty() && (out == nullptr || out->bytes.Untouched()));
    return;
  }
  std::size_t at = 0;
  bool relinked = false;
  const SeenExchange& last = Tries(ex, at, requestCode, request, relinked);
  FUZZ_CHECK(at == ex.size() && result == last.status);
  if (relinked) FUZZ_CHECK(s.reader().cardType == kNoCardSelected);  // as LinkCom leaves it
  if (out == nullptr) return;
  const CallerBuffer& b = out->bytes;
  switch (copy) {
    case Copy::kNothing: FUZZ_CHECK(b.Untouched()); break;
    case Copy::kPadded: FUZZ_CHECK(b.bytes() == last.Padded(b.size())); break;
    case Copy::kTwoBytes: {
      const Bytes two = last.Padded(2);
      FUZZ_CHECK(b.bytes() == (Bytes{two[0], two[1], 0, 0}));
      break;
    }
  }
}

std::uint32_t Param(FuzzSession& s) { return static_cast<std::uint32_t>(s.Int()); }

Bytes BlockAndParam(std::int32_t block, std::uint32_t param) {
  Bytes request{Low(block)};
  PutLe32(request, param);
  return request;
}

// --- the reader's high-level operations ------------------------------------

void TwoByteAnswer(FuzzSession& s, std::uint8_t requestCode, int (*fn)(Reader&, std::uint8_t*)) {
  Buffer answer(s, 4);
  Run(s, requestCode, {}, answer.null, &answer, Copy::kTwoBytes, [&] { return fn(s.reader(), answer.bytes.data()); });
}

void Serial(FuzzSession& s, std::uint8_t requestCode, int (*fn)(Reader&, std::uint8_t*)) {
  Buffer serial(s, 4);
  Run(s, requestCode, {}, serial.null, &serial, Copy::kPadded, [&] { return fn(s.reader(), serial.bytes.data()); });
}

void TransKey(FuzzSession& s) {
  const std::int32_t slot = s.InRange(0, 15);
  Buffer key(s, 6);
  Bytes request{Low(slot)};
  PutBytes(request, key.bytes);
  Run(s, code::kStoreKey, request, slot < 0 || slot > 15 || key.null, &key, Copy::kNothing,
      [&] { return RFMifare_TransKey(s.reader(), slot, key.bytes.data()); });
}

void Authmode(FuzzSession& s) {
  const std::int32_t mode = s.InRange(0, 1);
  Run(s, code::kKeyMode, {Low(mode)}, mode != 0 && mode != 1, nullptr, Copy::kNothing,
      [&] { return RFMifare_Authmode(s.reader(), mode); });
}

// Block operations: block and param go out, then the caller's bytes for
// writes, and the reply comes back into the same buffer.
using BlockFn = int (*)(Reader&, std::int32_t, std::uint32_t, std::uint8_t*);

void BlockOperation(FuzzSession& s, std::uint8_t requestCode, BlockFn fn, std::size_t size, bool sendsBuffer) {
  const std::int32_t block = s.Int();
  const std::uint32_t param = Param(s);
  Buffer data(s, size);
  Bytes request = BlockAndParam(block, param);
  if (sendsBuffer) PutBytes(request, data.bytes);
  Run(s, requestCode, request, data.null, &data, Copy::kPadded,
      [&] { return fn(s.reader(), block, param, data.bytes.data()); });
}

void WriteKey(FuzzSession& s) {
  const std::int32_t selector = s.Int(), flag = s.Int();
  const std::uint32_t param = Param(s);
  Buffer key(s, 6);
  Bytes request = BlockAndParam(selector, param);
  PutBytes(request, key.bytes);
  request.push_back(Low(flag));
  Run(s, code::kWriteKey, request, key.null, &key, Copy::kNothing,
      [&] { return RFMifare_WriteKey(s.reader(), selector, param, key.bytes.data(), flag); });
}

// The whole card: one request per sector, each with its own tries. Status 1
// or a line failure that survived the relinks ends the read at once; any
// other refusal does not, and the result is then the last sector's.
void WholeCard(FuzzSession& s) {
  const std::int32_t first = s.Int();
  const std::uint32_t param = Param(s);
  Buffer card(s, kSectors * kSectorBytes);
  const int result = RFMifare_ReadBloca(s.reader(), first, param, card.bytes.data());
  const Exchanges ex = s.TakeExchanges();
  if (card.null) {
    FUZZ_CHECK(result == 4 && ex.empty());
    return;
  }
  Bytes expected = card.bytes.before();
  std::size_t at = 0;
  int last = 0;
  bool relinked = false;
  for (std::size_t sector = 0; sector < kSectors; ++sector) {
    const SeenExchange& got =
        Tries(ex, at, code::kReadSector, BlockAndParam(static_cast<std::int32_t>(sector * 4), param), relinked);
    expected = WithAt(expected, sector * kSectorBytes, got.Padded(kSectorBytes));
    last = got.status;
    if (last == 1 || IsLinkFailure(got.status)) break;
  }
  FUZZ_CHECK(at == ex.size() && result == last);
  FUZZ_CHECK(card.bytes.bytes() == expected);
  if (relinked) FUZZ_CHECK(s.reader().cardType == kNoCardSelected);
}

// --- single card steps ---------------------------------------------------------

void LoadKey(FuzzSession& s) {
  const std::int32_t first = s.Int(), second = s.Int();
  Buffer key(s, 6);
  Bytes request{Low(first), Low(second)};
  PutBytes(request, key.bytes);
  Run(s, code::kLoadKey, request, key.null, &key, Copy::kNothing,
      [&] { return RFMifare_LoadKey(s.reader(), first, second, key.bytes.data()); });
}

void Request(FuzzSession& s) {
  const std::int32_t mode = s.Int();
  Buffer answer(s, 4);
  Run(s, code::kRequest, {Low(mode)}, answer.null, &answer, Copy::kTwoBytes,
      [&] { return RFMifare_Request(s.reader(), mode, answer.bytes.data()); });
}

void Select(FuzzSession& s) {
  const auto serial = static_cast<std::uint32_t>(s.Int());
  Bytes request;
  PutLe32(request, serial);
  Run(s, code::kSelect, request, false, nullptr, Copy::kNothing, [&] { return RFMifare_Select(s.reader(), serial); });
}

void Authentication(FuzzSession& s) {
  const std::int32_t a = s.Int(), b = s.Int(), c = s.Int();
  Run(s, code::kAuthenticate, {Low(a), Low(b), Low(c)}, false, nullptr, Copy::kNothing,
      [&] { return RFMifare_Authentication(s.reader(), a, b, c); });
}

void ReadStep(FuzzSession& s) {
  const std::int32_t block = s.Int();
  Buffer data(s, 16);
  Run(s, code::kRead, {Low(block)}, data.null, &data, Copy::kPadded,
      [&] { return RFMifare_Read(s.reader(), block, data.bytes.data()); });
}

void WriteStep(FuzzSession& s) {
  const std::int32_t block = s.Int();
  Buffer data(s, 16);
  Bytes request{Low(block)};
  PutBytes(request, data.bytes);
  Run(s, code::kWrite, request, data.null, &data, Copy::kNothing,
      [&] { return RFMifare_Write(s.reader(), block, data.bytes.data()); });
}

void ValueStep(FuzzSession& s, std::uint8_t requestCode, int (*fn)(Reader&, std::int32_t, std::uint32_t)) {
  const std::int32_t block = s.Int();
  const auto amount = static_cast<std::uint32_t>(s.Int());
  Run(s, requestCode, BlockAndParam(block, amount), false, nullptr, Copy::kNothing,
      [&] { return fn(s.reader(), block, amount); });
}

void Halt(FuzzSession& s) {
  Run(s, code::kHalt, {}, false, nullptr, Copy::kNothing, [&] { return RFMifare_Halt(s.reader()); });
}

constexpr Call kCalls[] = {
    [](FuzzSession& s) { TwoByteAnswer(s, code::kModuleQuery, RFMifare_Mcmno); },
    [](FuzzSession& s) { TwoByteAnswer(s, code::kCardType, RFMifare_GetType); },
    [](FuzzSession& s) { Serial(s, code::kSerialNumber, RFMifare_GetSnr); },
    [](FuzzSession& s) { Serial(s, code::kAntiCollision, RFMifare_AntiColl); },
    TransKey,
    Authmode,
    [](FuzzSession& s) { BlockOperation(s, code::kReadBlock, RFMifare_ReadBlock, 16, false); },
    [](FuzzSession& s) { BlockOperation(s, code::kWriteBlock, RFMifare_WriteBlock, 16, true); },
    [](FuzzSession& s) { BlockOperation(s, code::kReadValue, RFMifare_ReadValue, 4, false); },
    [](FuzzSession& s) { BlockOperation(s, code::kWriteValue, RFMifare_WriteValue, 4, true); },
    [](FuzzSession& s) { BlockOperation(s, code::kIncrementValue, RFMifare_IncrementValue, 4, true); },
    [](FuzzSession& s) { BlockOperation(s, code::kDecrementValue, RFMifare_DecrementValue, 4, true); },
    WriteKey,
    WholeCard,
    WholeCard,
    LoadKey,
    Request,
    Select,
    Authentication,
    ReadStep,
    WriteStep,
    [](FuzzSession& s) { ValueStep(s, code::kIncrement, RFMifare_Increment); },
    [](FuzzSession& s) { ValueStep(s, code::kDecrement, RFMifare_Decrment); },
    Halt,
};

}  // namespace

std::span<const Call> MifareCalls() { return kCalls; }

}  // namespace kulve::fuzz

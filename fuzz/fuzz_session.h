// SPDX-License-Identifier: MIT
// A reader whose every answer comes from the fuzz input: status, a length
// byte that may lie, data, a checksum that may be wrong or missing, and now
// and then a reader that does not answer at all. Every exchange is recorded
// as the library saw it (through its own trace): the request that went out,
// the status, and the reply bytes that arrived, so a target can check a
// function's result and outputs against the replies it was given.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <vector>

#include "device/reader.h"
#include "support/fake_reader.h"

namespace kulve::fuzz {

// Stops the run loudly: libFuzzer keeps the input that got here.
#define FUZZ_CHECK(cond)                                                           \
  do {                                                                             \
    if (!(cond)) {                                                                 \
      std::fprintf(stderr, "check failed at %s:%d: %s\n", __FILE__, __LINE__, #cond); \
      std::abort();                                                                \
    }                                                                              \
  } while (0)

using Bytes = std::vector<std::uint8_t>;

// One exchange as the library made it.
struct SeenExchange {
  std::uint8_t code = 0;
  Bytes sent;             // the request's send data
  std::uint8_t status = 0;  // the LinkStatus
  bool lineFailed = false;  // a failure letter, not a reader status of the same value
  Bytes received;           // reply bytes that arrived in this exchange

  bool Ok() const { return status == 0; }
  // Exactly n bytes: the received ones, then zeros.
  Bytes Padded(std::size_t n) const;
};
using Exchanges = std::vector<SeenExchange>;

class FuzzSession {
 public:
  explicit FuzzSession(FuzzedDataProvider& input);
  FuzzSession(const FuzzSession&) = delete;
  FuzzSession& operator=(const FuzzSession&) = delete;

  Reader& reader() { return reader_; }
  FuzzedDataProvider& input() { return input_; }

  // A 32-bit argument: mostly a value at an edge of some range, else anything.
  std::int32_t Int();
  // An argument with a valid range lo..hi: mostly inside it or at its edges,
  // sometimes anything.
  std::int32_t InRange(std::int32_t lo, std::int32_t hi);
  // A byte count for a caller's buffer: edges, small values, and rarely one
  // beyond any card (from 32 MiB up, or negative).
  std::int32_t Count();
  // Now and then true, for passing a null pointer where the header promises
  // to refuse one.
  bool Null();

  // The exchanges made since the last call, oldest first.
  Exchanges TakeExchanges();
  // Forgets anything half-sent between calls, as a real line does after a pause.
  void Settle();

 private:
  static void KULVE_CALL OnTrace(int level, const char* line, void* self);
  test::ScriptedReply NextReply();

  FuzzedDataProvider& input_;
  test::FakeReader peer_;
  Reader reader_{peer_};
  Exchanges exchanges_;
};

// A heap buffer of exactly `size` bytes (ASan sees one byte past it), filled
// with a pattern, that remembers what it held.
class CallerBuffer {
 public:
  CallerBuffer(std::size_t size, std::uint8_t fill);
  // Filled from the fuzz input (the pattern where the input has run out).
  CallerBuffer(std::size_t size, FuzzedDataProvider& input);
  std::uint8_t* data() { return bytes_.empty() ? nullptr : bytes_.data(); }
  std::size_t size() const { return bytes_.size(); }
  bool Untouched() const { return bytes_ == before_; }
  // The caller has filled it in: what it holds now is what it gave.
  void Given() { before_ = bytes_; }
  bool AllZero() const;
  const Bytes& bytes() const { return bytes_; }
  const Bytes& before() const { return before_; }

  // The caller's bytes viewed as a T (int results, records).
  template <class T>
  T* As() {
    return reinterpret_cast<T*>(data());
  }

 private:
  Bytes bytes_;
  Bytes before_;
};

// The statuses of the exchanges, in order.
Bytes Statuses(const Exchanges& exchanges);

// A failed exchange never turns into success: true when every exchange
// returned 0.
bool AllOk(const Exchanges& exchanges);

// The usual shape of a device function's result: the first exchange that
// does not succeed ends the call and its status is the result; 0 only when
// every exchange succeeded.
bool ResultFollowsExchanges(int result, const Exchanges& exchanges);

// A single-exchange function: exactly one exchange, and its status is the result.
bool OneExchange(int result, const Exchanges& exchanges);

// `before` with `part` written at `at`.
Bytes WithAt(Bytes before, std::size_t at, std::span<const std::uint8_t> part);

}  // namespace kulve::fuzz

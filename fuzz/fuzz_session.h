// SPDX-License-Identifier: MIT
// A reader whose every answer comes from the fuzz input: status, a length
// byte that may lie, data, a checksum that may be wrong or missing, and now
// and then a reader that does not answer at all. Every exchange's outcome is
// recorded (through the library's own trace), so a target can check a
// function's result and outputs against the replies it was given.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "link/reader.h"
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

class FuzzSession {
 public:
  explicit FuzzSession(FuzzedDataProvider& input);
  FuzzSession(const FuzzSession&) = delete;
  FuzzSession& operator=(const FuzzSession&) = delete;

  Reader& reader() { return reader_; }
  FuzzedDataProvider& input() { return input_; }

  // A 32-bit argument: mostly a value at an edge of some range, else anything.
  std::int32_t Int();
  // A byte count for a caller's buffer: edges, small values, and rarely one
  // beyond any card (from 32 MiB up, or negative).
  std::int32_t Count();

  // The statuses of the exchanges made since the last call (0, a reader
  // status, or a link-failure letter).
  std::vector<std::uint8_t> TakeExchanges();
  // Forgets anything half-sent between calls, as a real line does after a pause.
  void Settle();

 private:
  static void KULVE_CALL OnTrace(int level, const char* line, void* self);
  test::ScriptedReply NextReply();

  FuzzedDataProvider& input_;
  test::FakeReader peer_;
  Reader reader_{peer_};
  std::vector<std::uint8_t> exchanges_;
};

// A heap buffer of exactly `size` bytes (ASan sees one byte past it), filled
// with a pattern, that remembers what it held.
class CallerBuffer {
 public:
  CallerBuffer(std::size_t size, std::uint8_t fill);
  std::uint8_t* data() { return bytes_.empty() ? nullptr : bytes_.data(); }
  std::size_t size() const { return bytes_.size(); }
  bool Untouched() const { return bytes_ == before_; }
  bool AllZero() const;
  const std::vector<std::uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
  std::vector<std::uint8_t> before_;
};

// A failed exchange never turns into success: when a call returns 0, every
// exchange it made returned 0.
inline bool AllOk(const std::vector<std::uint8_t>& exchanges) {
  for (std::uint8_t s : exchanges) {
    if (s != 0) return false;
  }
  return true;
}

// The usual shape of a device function's result: 0 only when every exchange
// succeeded; otherwise the status of the exchange that ended the call.
inline bool ResultFollowsExchanges(int result, const std::vector<std::uint8_t>& exchanges) {
  if (exchanges.empty()) return false;
  if (result == 0) return AllOk(exchanges);
  return result == exchanges.back();
}

}  // namespace kulve::fuzz

// SPDX-License-Identifier: MIT
// Every device function of the library against a reader whose answers come
// from the fuzz input. The input picks the function, its arguments (edges of
// every range over-represented) and every reply. Each call gets caller
// buffers of exactly their documented size on the heap, and its result and
// outputs are checked against what the header promises for the replies given
// (the checks live with each family's calls).
#include <fuzzer/FuzzedDataProvider.h>

#include <vector>

#include "fuzz/calls.h"

namespace {

std::vector<kulve::fuzz::Call> AllCalls() {
  using namespace kulve::fuzz;
  std::vector<Call> calls;
  for (auto family : {LinkCalls(), MemoryCardCalls(), CpuCardCalls(), At1608Calls(), Rf5550Calls(), MifareCalls(),
                      AttendanceCalls()}) {
    calls.insert(calls.end(), family.begin(), family.end());
  }
  return calls;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::vector<kulve::fuzz::Call> calls = AllCalls();
  FuzzedDataProvider input(data, size);
  kulve::fuzz::FuzzSession session(input);
  // A few calls in a row, so a call also meets what earlier ones left behind.
  for (int i = 0; i < 4 && input.remaining_bytes() > 0; ++i) {
    calls[input.ConsumeIntegralInRange<std::size_t>(0, calls.size() - 1)](session);
    session.Settle();
  }
  return 0;
}

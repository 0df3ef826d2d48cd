// SPDX-License-Identifier: MIT
// Exchanges per second through the real POSIX port against the in-process
// simulator. Wall time per iteration is the round trip over the pty (both
// sides' scheduling included); the CPU column is the calling thread alone,
// i.e. the library's own cost per exchange including its system calls.
#include <benchmark/benchmark.h>

#include <vector>

#include "device/reader.h"
#include "link/link.h"
#include "link/transact.h"
#include "sim/simulator.h"

namespace {

void RunExchanges(benchmark::State& state, std::uint8_t code, std::vector<std::uint8_t> data) {
  kulve::sim::Simulator simulator;
  simulator.Start();
  kulve::Reader reader(kulve::PlatformPorts());
  kulve::SetComPortPath(reader, 0, simulator.HostPath().c_str());
  if (kulve::OpenPort(reader, 0, kulve::kFastSpeed) != 0) {
    state.SkipWithError("cannot open the simulator's pty");
    return;
  }
  for (auto _ : state) {
    const std::uint8_t status = kulve::Exchange(reader, code, data).status;
    if (status != 0) {
      state.SkipWithError("exchange failed");
      break;
    }
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
  kulve::UnLinkCom(reader);
}

// The link probe: code 0, no data, no reply data.
void BM_ProbeOverPty(benchmark::State& state) { RunExchanges(state, 0x00, {}); }
// Device number: 8 reply bytes.
void BM_DeviceNumberOverPty(benchmark::State& state) { RunExchanges(state, 0x20, {}); }
// A 4-byte alarm request.
void BM_AlarmOverPty(benchmark::State& state) { RunExchanges(state, 0x7A, {1, 0, 0, 0}); }

BENCHMARK(BM_ProbeOverPty)->UseRealTime();
BENCHMARK(BM_DeviceNumberOverPty)->UseRealTime();
BENCHMARK(BM_AlarmOverPty)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

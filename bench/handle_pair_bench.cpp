// SPDX-License-Identifier: MIT
// Two readers through the handle API: the same work on two simulated readers
// done one reader after the other, and on two threads at once, timed side by
// side in every iteration. The simulators keep to a real line's timing at
// 57600 bit/s, so the time is the line's, as with real readers. The counter
// "ratio" is the parallel time over the sequential one: 0.5 is a perfect
// overlap, 1.0 none; the goal is at most 0.6.
#include <benchmark/benchmark.h>

#include <chrono>
#include <thread>
#include <vector>

#include "kulve32.h"
#include "sim/simulator.h"

namespace {

using Clock = std::chrono::steady_clock;

// One reader's share: 16 exchanges (device number and version, 8 reply bytes each).
bool Work(kulve_reader* reader) {
  unsigned char bytes[8];
  for (int i = 0; i < 8; ++i) {
    if (kulve_reader_device_number(reader, bytes, sizeof bytes) != 0) return false;
    if (kulve_reader_version(reader, bytes, sizeof bytes) != 0) return false;
  }
  return true;
}

double Seconds(Clock::time_point from) { return std::chrono::duration<double>(Clock::now() - from).count(); }

void BM_TwoReadersParallelVsSequential(benchmark::State& state) {
  kulve::sim::SimulatorOptions options;
  options.pace = true;
  kulve::sim::Simulator simA(options), simB(options);
  simA.Start();
  simB.Start();
  kulve_reader* a = nullptr;
  kulve_reader* b = nullptr;
  if (kulve_open(simA.HostPath().c_str(), &a) != 0 || kulve_open(simB.HostPath().c_str(), &b) != 0) {
    state.SkipWithError("cannot link the simulated readers");
    kulve_close(a);
    kulve_close(b);
    return;
  }
  double sequential = 0, parallel = 0;
  bool ok = true;
  for (auto _ : state) {
    const auto start = Clock::now();
    ok = Work(a) && Work(b) && ok;
    sequential += Seconds(start);

    const auto again = Clock::now();
    bool okA = false, okB = false;
    std::thread first([&] { okA = Work(a); });
    std::thread second([&] { okB = Work(b); });
    first.join();
    second.join();
    const double pair = Seconds(again);
    parallel += pair;
    ok = ok && okA && okB;
    state.SetIterationTime(pair);
  }
  if (!ok) state.SkipWithError("an exchange failed");
  state.counters["sequential_ms"] = 1000 * sequential / static_cast<double>(state.iterations());
  state.counters["parallel_ms"] = 1000 * parallel / static_cast<double>(state.iterations());
  state.counters["ratio"] = sequential > 0 ? parallel / sequential : 0;
  kulve_close(a);
  kulve_close(b);
}

BENCHMARK(BM_TwoReadersParallelVsSequential)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

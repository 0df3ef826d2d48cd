// SPDX-License-Identifier: MIT
// A whole-card Mifare dump (MifareDumpCard, which "kulve mifare dump" calls) through the
// library against a simulated reader that keeps to the line's real timing,
// beside the bound the line alone sets: every byte of every exchange the
// dump made (counted by the reader) takes 10 bit times. "ratio" is the dump's
// time over that bound; 1.00 would mean the line never idles. The unpaced run
// beside it shows what the exchanges cost without the line (library, pty and
// both sides' scheduling), the part that can push the ratio above 1.
// "adapter_ms" puts a USB-serial adapter between host and reader that holds
// each burst of the reader's bytes that long (kulvesim --adapter-latency):
// 16 ms is the FTDI default, 1 ms what the library asks for on Linux.
// "us_per_exchange" is the time beyond the line's per exchange (paced) or
// the whole exchange (unpaced). Unpaced an exchange costs about 0.07 ms in
// all, about 20 us of it the library's CPU time; paced, each exchange has
// three more waits of the reader thread for the moment a byte has crossed
// the line, and each of its six turns of the line costs a wake-up on the
// far side of the pty. Those wake-ups, not the library, are what keeps the
// unobstructed ratio near 1.06 on a two-core machine.
#include <benchmark/benchmark.h>

#include <array>
#include <chrono>

#include "kulve32.h"
#include "sim/mifare_reader.h"
#include "sim/simulator.h"

namespace {

using Clock = std::chrono::steady_clock;

// range(0): the line speed; range(1): 1 = the reader keeps to the line's
// timing; range(2): the adapter's latency in ms (0 = no adapter).
void BM_MifareDump(benchmark::State& state) {
  const auto speed = static_cast<std::uint32_t>(state.range(0));
  const bool paced = state.range(1) == 1;
  kulve::sim::SimulatorOptions options;
  options.pace = paced;
  options.adapterLatencyMs = static_cast<std::uint32_t>(state.range(2));
  options.speeds = speed == 9600 ? kulve::sim::SpeedSet::k9600Only : kulve::sim::SpeedSet::k57600Only;
  kulve::sim::Simulator reader(options);
  reader.Start();
  reader.WithState([](kulve::sim::ReaderState& s) { kulve::sim::PutSampleMifareCard(s); });
  for (int index = 0; index < 10; ++index) SetComPortPath(index, "/nonexistent/kulve-bench-port");
  SetComPortPath(0, reader.HostPath().c_str());
  if (LinkCom(0) != 0 || static_cast<std::uint32_t>(ComBaudRate()) != speed) {
    state.SkipWithError("the simulated reader did not link at the speed asked");
    return;
  }
  const double byteSeconds = 10.0 / speed;
  double dumpSeconds = 0;
  double lineSeconds = 0;
  double exchangeBytes = 0;
  double exchanges = 0;
  constexpr int kSectors = 16;
  const std::array<unsigned char, 7> keys{KULVE_MIFARE_EVERY_SECTOR, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  for (auto _ : state) {
    const std::uint64_t bytesBefore = reader.LineBytes();
    const std::uint64_t exchangesBefore = reader.ExchangeCount();
    std::array<unsigned char, KULVE_MIFARE_IMAGE_SIZE(kSectors)> image{};
    std::array<unsigned char, kSectors> status{};
    const auto start = Clock::now();
    const int result = MifareDumpCard(kSectors, keys.data(), static_cast<int>(keys.size()), image.data(),
                                      static_cast<int>(image.size()), status.data(), static_cast<int>(status.size()));
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    if (result != 0 || status != decltype(status){}) {
      state.SkipWithError("the dump failed");
      break;
    }
    const auto bytes = static_cast<double>(reader.LineBytes() - bytesBefore);
    state.SetIterationTime(elapsed);
    dumpSeconds += elapsed;
    lineSeconds += bytes * byteSeconds;
    exchangeBytes = bytes;
    exchanges = static_cast<double>(reader.ExchangeCount() - exchangesBefore);
  }
  if (lineSeconds > 0) {
    const auto runs = static_cast<double>(state.iterations());
    state.counters["dump_ms"] = dumpSeconds / runs * 1000;
    state.counters["bytes"] = exchangeBytes;
    if (paced) {
      state.counters["line_ms"] = lineSeconds / runs * 1000;
      state.counters["ratio"] = dumpSeconds / lineSeconds;
    }
    const double beyond = paced ? dumpSeconds - lineSeconds : dumpSeconds;
    if (exchanges > 0) state.counters["us_per_exchange"] = beyond / runs / exchanges * 1e6;
  }
  UnLinkCom();
}

BENCHMARK(BM_MifareDump)
    ->ArgNames({"bps", "paced", "adapter_ms"})
    ->Args({57600, 1, 0})
    ->Args({57600, 1, 1})
    ->Args({57600, 1, 16})
    ->Args({9600, 1, 0})
    ->Args({57600, 0, 0})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

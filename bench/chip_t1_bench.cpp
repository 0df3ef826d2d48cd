// SPDX-License-Identifier: MIT
// One READ BINARY of 255 bytes in the full mode (ChipTransmit) against the
// simulator's strict T=1 card, with the reader keeping to the line's real
// timing at 57600, beside the bound the line alone sets: every byte of every
// exchange the read made (its blocks in their frames, counted by the reader)
// takes 10 bit times. "ratio" is the read's time over that bound (goal: at
// most 1.10); the unpaced run shows what the exchanges cost without the line.
#include <benchmark/benchmark.h>

#include <chrono>
#include <vector>

#include "kulve32.h"
#include "sim/cards/card_application.h"
#include "sim/cpucard_commands.h"
#include "sim/simulator.h"

namespace {

using Clock = std::chrono::steady_clock;

int Transmit(const std::vector<unsigned char>& apdu, std::vector<unsigned char>& answer) {
  answer.resize(70000);
  int n = 0;
  const int r = ChipTransmit(0, apdu.data(), static_cast<int>(apdu.size()), answer.data(),
                             static_cast<int>(answer.size()), &n);
  answer.resize(static_cast<std::size_t>(n));
  return r;
}

// range(0): 1 = the reader keeps to the line's timing.
void BM_ReadBinary255Full(benchmark::State& state) {
  const bool paced = state.range(0) == 1;
  kulve::sim::SimulatorOptions options;
  options.pace = paced;
  kulve::sim::Simulator reader(options);
  reader.Start();
  reader.WithState([](kulve::sim::ReaderState& s) {
    kulve::sim::InsertChipCard(s, 0, kulve::sim::DefaultStrictCpuAtr());
    kulve::sim::SetChipStrict(s, 0, true);
  });
  for (int index = 0; index < 10; ++index) SetComPortPath(index, "/nonexistent/kulve-bench-port");
  SetComPortPath(0, reader.HostPath().c_str());
  std::vector<unsigned char> atr(KULVE_ATR_BUFFER_SIZE), answer;
  if (LinkCom(0) != 0 || ComBaudRate() != 57600 || SetChipProtocolMode(1) != 0 || CpuCardReset(atr.data()) != 0 ||
      Transmit({0x00, 0xA4, 0x00, 0x0C, 0x02, 0x7F, 0x10}, answer) != 0x9000 ||
      Transmit({0x00, 0xA4, 0x00, 0x0C, 0x02, 0x01, 0x03}, answer) != 0x9000) {
    state.SkipWithError("the simulated reader's strict card could not be set up");
    return;
  }
  const std::vector<unsigned char> read = {0x00, 0xB0, 0x00, 0x00, 0xFF};
  const double byteSeconds = 10.0 / 57600;
  double readSeconds = 0, lineSeconds = 0, bytes = 0;
  for (auto _ : state) {
    const std::uint64_t before = reader.LineBytes();
    const auto start = Clock::now();
    const int result = Transmit(read, answer);
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    if (result != 0x9000 || answer.size() != 257) {
      state.SkipWithError("the read failed");
      break;
    }
    bytes = static_cast<double>(reader.LineBytes() - before);
    state.SetIterationTime(elapsed);
    readSeconds += elapsed;
    lineSeconds += bytes * byteSeconds;
  }
  if (lineSeconds > 0) {
    const auto runs = static_cast<double>(state.iterations());
    state.counters["read_ms"] = readSeconds / runs * 1000;
    state.counters["bytes"] = bytes;
    if (paced) {
      state.counters["line_ms"] = lineSeconds / runs * 1000;
      state.counters["ratio"] = readSeconds / lineSeconds;
    }
  }
  SetChipProtocolMode(0);
  UnLinkCom();
}

BENCHMARK(BM_ReadBinary255Full)->ArgNames({"paced"})->Arg(1)->Arg(0)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

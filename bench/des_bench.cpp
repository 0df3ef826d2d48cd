// SPDX-License-Identifier: MIT
// Software DES against OpenSSL's DES, side by side on the same data.
//
// Every call takes the key afresh, as EnDesData does: one 8-byte block with
// its key schedule (a card MAC or key diversification), two blocks, and 4 KiB
// and 64 KiB buffers. After the usual output the program prints a table of
// bytes per second and the ratio ours / OpenSSL for every size. With
// --benchmark_repetitions=N the table uses the medians.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/des.h>

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "kulve32.h"

namespace {

constexpr unsigned char kKey[8] = {0x13, 0x34, 0x57, 0x79, 0x9B, 0xBC, 0xDF, 0xF1};

std::vector<unsigned char> Data(std::size_t size) {
  std::vector<unsigned char> data(size);
  std::uint32_t x = 2463534242u;
  for (auto& byte : data) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    byte = static_cast<unsigned char>(x);
  }
  return data;
}

void Ours(benchmark::State& state) {
  const auto size = static_cast<std::size_t>(state.range(0));
  const auto in = Data(size);
  std::vector<unsigned char> out(size);
  for (auto _ : state) {
    int rc = EnDesData(in.data(), kKey, out.data(), static_cast<int>(size));
    benchmark::DoNotOptimize(rc);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

// OpenSSL declares its read-only blocks without const.
const_DES_cblock* Block(const unsigned char* p) {
  return reinterpret_cast<const_DES_cblock*>(const_cast<unsigned char*>(p));
}

void OpenSsl(benchmark::State& state) {
  const auto size = static_cast<std::size_t>(state.range(0));
  const auto in = Data(size);
  std::vector<unsigned char> out(size);
  for (auto _ : state) {
    DES_key_schedule schedule;
    DES_set_key_unchecked(Block(kKey), &schedule);
    for (std::size_t i = 0; i < size; i += 8) {
      DES_ecb_encrypt(Block(in.data() + i), reinterpret_cast<DES_cblock*>(out.data() + i), &schedule,
                      DES_ENCRYPT);
    }
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

constexpr std::int64_t kSizes[] = {8, 16, 4096, 65536};

// Registered alternately so that both sides of a row run next to each other.
void Register() {
  for (std::int64_t size : kSizes) {
    benchmark::RegisterBenchmark("Ours", Ours)->Arg(size);
    benchmark::RegisterBenchmark("OpenSSL", OpenSsl)->Arg(size);
  }
}

// Prints as usual and keeps bytes per second per benchmark name.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& reports) override {
    ConsoleReporter::ReportRuns(reports);
    for (const Run& run : reports) {
      if (run.error_occurred) continue;
      bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      if (run.run_type == Run::RT_Aggregate && !median) continue;
      auto it = run.counters.find("bytes_per_second");
      if (it == run.counters.end()) continue;
      std::string name = run.run_name.function_name + "/" + run.run_name.args;
      // A median, once there is one, wins over the single runs.
      if (median || medians_.count(name) == 0) rates_[name] = it->second.value;
      if (median) medians_[name] = true;
    }
  }

  void PrintTable() const {
    std::printf("\n%-8s %14s %14s %8s\n", "bytes", "ours MB/s", "OpenSSL MB/s", "ratio");
    for (std::int64_t size : kSizes) {
      std::string arg = std::to_string(size);
      auto ours = rates_.find("Ours/" + arg);
      auto theirs = rates_.find("OpenSSL/" + arg);
      if (ours == rates_.end() || theirs == rates_.end() || theirs->second <= 0) continue;
      std::printf("%-8s %14.1f %14.1f %8.2f\n", arg.c_str(), ours->second / 1e6, theirs->second / 1e6,
                  ours->second / theirs->second);
    }
  }

 private:
  std::map<std::string, double> rates_;
  std::map<std::string, bool> medians_;
};

}  // namespace

int main(int argc, char** argv) {
  Register();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintTable();
  benchmark::Shutdown();
  return 0;
}

// SPDX-License-Identifier: MIT
// A soak: many exchanges against the simulator over a real pty, with a line
// fault injected into 1 % of them at random. Every result must be honest (0
// only with the right data, a failure's letter where a fault struck, and the
// simulator's count of replies sent in full matching what the library
// accepted), and open file descriptors and resident memory must be the same
// at the end as after the first thousand exchanges.
//
//   soak_bench                          2000 exchanges (what the test command runs)
//   soak_bench --soak_exchanges=100000  the full soak
//
// The mix: the device number, a 64-byte card read, and a Mifare block read,
// which relinks after a fault (close, reopen, probe) and so also exercises
// the port's open and close. The 1 s pause after each close is counted, not
// slept (see tests/support/unpaused_ports.h).
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "housekeeping/housekeeping.h"
#include "link/link.h"
#include "memcard/memcard.h"
#include "mifare/mifare.h"
#include "sim/cards/memory_card.h"
#include "sim/cards/mifare_classic.h"
#include "sim/mifare_reader.h"
#include "sim/simulator.h"
#include "support/unpaused_ports.h"

namespace {

using kulve::sim::FaultKind;
using kulve::sim::ReaderByte;
using Bytes = std::vector<std::uint8_t>;

std::uint64_t g_exchanges = 2000;
bool g_failed = false;

constexpr int kFaultPercent = 1;
constexpr std::uint64_t kCheckpoint = 1000;

struct SoakFault {
  kulve::sim::Fault fault;
  std::uint8_t letter;
  bool repliedInFull;  // the simulator counts the reply as sent
};

// Every fault whose letter is certain (a corrupted length byte loses the
// framing, so its outcome depends on the data that follows).
const SoakFault kFaults[] = {
    {{FaultKind::kSilent, ReaderByte::kStart}, 'f', false},   {{FaultKind::kWrongByte, ReaderByte::kStart}, 'g', false},
    {{FaultKind::kSilent, ReaderByte::kAck}, 'l', false},     {{FaultKind::kWrongByte, ReaderByte::kAck}, 'm', false},
    {{FaultKind::kSilent, ReaderByte::kStatus}, 'o', false},  {{FaultKind::kWrongByte, ReaderByte::kStatus}, 's', true},
    {{FaultKind::kSilent, ReaderByte::kLength}, 'p', false},  {{FaultKind::kSilent, ReaderByte::kData}, 'q', false},
    {{FaultKind::kWrongByte, ReaderByte::kData}, 's', true},  {{FaultKind::kSilent, ReaderByte::kChecksum}, 'r', false},
    {{FaultKind::kWrongByte, ReaderByte::kChecksum}, 's', true},
};

// Counts the library's exchanges and those it accepted, from its own trace.
struct ExchangeCounter {
  std::uint64_t made = 0;
  std::uint64_t accepted = 0;  // a reply taken in full with a good checksum
  std::uint64_t opens = 0;     // the port opened (a relink)
  static void KULVE_CALL OnTrace(int, const char* line, void* self) {
    auto& c = *static_cast<ExchangeCounter*>(self);
    const std::string_view text(line);
    if (text.starts_with("request code")) ++c.made;
    if (text.starts_with("reply status")) ++c.accepted;
    if (text.starts_with("line clean")) ++c.accepted;  // the probe that proved it, answered in full
    if (text.starts_with("open ")) ++c.opens;
  }
};

std::size_t OpenDescriptors() {
  std::size_t n = 0;
  if (DIR* dir = ::opendir("/proc/self/fd")) {
    while (const dirent* entry = ::readdir(dir)) {
      if (entry->d_name[0] != '.') ++n;
    }
    ::closedir(dir);
  }
  return n - 1;  // the directory stream's own
}

// Read with plain system calls, so that measuring allocates nothing.
std::size_t ResidentKiB() {
  char text[128] = {};
  const int fd = ::open("/proc/self/statm", O_RDONLY);
  if (fd < 0) return 0;
  const ssize_t n = ::read(fd, text, sizeof text - 1);
  ::close(fd);
  if (n <= 0) return 0;
  const char* resident = std::strchr(text, ' ');
  if (resident == nullptr) return 0;
  return std::strtoull(resident + 1, nullptr, 10) * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE)) / 1024;
}

void Fail(benchmark::State& state, const std::string& why) {
  g_failed = true;
  state.SkipWithError(why.c_str());
}

void BM_Soak(benchmark::State& state) {
  kulve::sim::Simulator sim;
  sim.Start();
  Bytes cardMemory;
  Bytes mifareBlock;
  sim.WithState([&](kulve::sim::ReaderState& s) {
    kulve::sim::InsertMemoryCard(s, 3);
    s.power = kulve::sim::PowerState::kOn;
    auto& memory = s.memoryCard->Memory();
    for (std::size_t a = 0; a < memory.size(); ++a) memory[a] = static_cast<std::uint8_t>(a * 13 + 5);
    cardMemory = memory;
    const auto& block = kulve::sim::PutSampleMifareCard(s).Blocks()[1];
    mifareBlock.assign(block.begin(), block.end());
  });
  const auto deviceNumber = sim.WithState([](kulve::sim::ReaderState& s) { return s.deviceNumber; });

  kulve::test::UnpausedPorts ports;
  kulve::Reader reader(ports);
  ExchangeCounter counter;
  kulve::SetTrace(reader, 2, &ExchangeCounter::OnTrace, &counter);
  kulve::SetComPortPath(reader, 0, sim.HostPath().c_str());
  if (kulve::LinkCom(reader, 0) != 0) return Fail(state, "cannot link to the simulator");
  reader.cardType = 3;

  std::mt19937 random(20240601);
  std::uint64_t faults = 0, repliesInFull = 0, relinks = 0, calls = 0;
  bool lastFailed = false;
  std::size_t fdsAtCheckpoint = 0, rssAtCheckpoint = 0, fds = 0, rss = 0;
  const std::uint64_t simBefore = sim.ExchangeCount();
  const std::uint64_t made0 = counter.made, accepted0 = counter.accepted;

  for (auto _ : state) {
    while (counter.made - made0 < g_exchanges) {
      if (fdsAtCheckpoint == 0 && counter.made - made0 >= kCheckpoint) {
        rssAtCheckpoint = ResidentKiB();
        fdsAtCheckpoint = OpenDescriptors();
      }
      const SoakFault* fault = nullptr;
      // After a failed exchange the next call first proves the line clean
      // with an exchange of its own, which a fault would strike instead of
      // the request: faults strike calls that follow a clean one.
      if (std::uniform_int_distribution<int>(0, 99)(random) < kFaultPercent && !lastFailed) {
        fault = &kFaults[std::uniform_int_distribution<std::size_t>(0, std::size(kFaults) - 1)(random)];
        sim.InjectFault(fault->fault);  // the next exchange: this call's request
        ++faults;
        repliesInFull += fault->repliedInFull ? 1 : 0;
      }
      ++calls;
      const int which = std::uniform_int_distribution<int>(0, 2)(random);
      int result = 0;
      bool dataRight = true;
      if (which == 0) {
        std::array<std::uint8_t, 8> number{};
        result = kulve::GetDeviceNumber(reader, number.data());
        dataRight = number == deviceNumber;
      } else if (which == 1) {
        const auto address = std::uniform_int_distribution<std::int32_t>(0, 65536 - 64)(random);
        Bytes read(64, 0x5A);
        result = kulve::ReadCard(reader, 18, address / 256, address % 256, 64, read.data());
        dataRight = std::equal(read.begin(), read.end(), cardMemory.begin() + address);
      } else {
        // A failed exchange before this call makes it prove the line clean
        // first (an exchange more): a relink is told by the port's opening.
        const std::uint64_t before = counter.opens;
        Bytes block(16, 0x5A);
        result = kulve::RFMifare_ReadBlock(reader, 1, 0, block.data());
        dataRight = block == mifareBlock;
        const bool relinked = counter.opens != before;
        relinks += relinked ? 1 : 0;
        // A fault here is mended by the relink and the repeated request.
        if ((fault != nullptr) != relinked) return Fail(state, "call " + std::to_string(calls) + ": relinked without a fault, or not after one");
        fault = nullptr;
        reader.cardType = 3;  // a relink leaves none selected
      }
      if (fault != nullptr ? result != fault->letter : (result != 0 || !dataRight)) {
        return Fail(state, "call " + std::to_string(calls) + ": result " + std::to_string(result) +
                               (result == 0 && !dataRight ? " with the wrong data" : "") +
                               (fault != nullptr ? ", expected the letter " + std::string(1, static_cast<char>(fault->letter)) : ""));
      }
      lastFailed = fault != nullptr;
      if (sim.PendingFaults() != 0) return Fail(state, "a fault was not used");
      if (calls % 100 == 0) sim.ClearRequests();  // the simulator's own log: bounded, but thousands long
    }
    // Measured here, before the benchmark library does its own bookkeeping.
    rss = ResidentKiB();
    fds = OpenDescriptors();
  }

  const std::uint64_t accepted = counter.accepted - accepted0;
  const std::uint64_t replied = sim.ExchangeCount() - simBefore;
  state.counters["exchanges"] = static_cast<double>(counter.made - made0);
  state.counters["calls"] = static_cast<double>(calls);
  state.counters["faults"] = static_cast<double>(faults);
  state.counters["relinks"] = static_cast<double>(relinks);
  state.counters["accepted"] = static_cast<double>(accepted);
  state.counters["sim_replies"] = static_cast<double>(replied);
  state.counters["fds_1k"] = static_cast<double>(fdsAtCheckpoint);
  state.counters["fds_end"] = static_cast<double>(fds);
  state.counters["rss_kib_1k"] = static_cast<double>(rssAtCheckpoint);
  state.counters["rss_kib_end"] = static_cast<double>(rss);
  state.counters["exchange_rate"] =
      benchmark::Counter(static_cast<double>(counter.made - made0), benchmark::Counter::kIsRate);
  // Every reply the reader sent in full was either accepted or corrupted on purpose.
  if (replied != accepted + repliesInFull) {
    return Fail(state, "the simulator sent " + std::to_string(replied) + " replies in full, the library accepted " +
                           std::to_string(accepted) + " and " + std::to_string(repliesInFull) + " were corrupted");
  }
  if (fds != fdsAtCheckpoint) return Fail(state, "open descriptors changed");
  // Resident memory may move by a page or two as the allocator settles;
  // anything that grows with the exchanges shows as far more.
  if (rss > rssAtCheckpoint + 16) {
    return Fail(state, "resident memory grew from " + std::to_string(rssAtCheckpoint) + " KiB to " + std::to_string(rss));
  }
  kulve::UnLinkCom(reader);
}

BENCHMARK(BM_Soak)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  // --soak_exchanges=N is ours; the rest goes to the benchmark library.
  std::vector<char*> rest;
  for (int i = 0; i < argc; ++i) {
    constexpr std::string_view kFlag = "--soak_exchanges=";
    if (std::string_view(argv[i]).starts_with(kFlag)) {
      g_exchanges = std::strtoull(argv[i] + kFlag.size(), nullptr, 10);
    } else {
      rest.push_back(argv[i]);
    }
  }
  int count = static_cast<int>(rest.size());
  benchmark::Initialize(&count, rest.data());
  if (benchmark::ReportUnrecognizedArguments(count, rest.data())) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return g_failed ? 1 : 0;
}

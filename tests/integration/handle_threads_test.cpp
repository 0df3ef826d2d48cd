// SPDX-License-Identifier: MIT
// Readers through the handle API on several threads: two simulated readers
// driven at once, one reader shared by two threads, and a trace callback
// that calls back into the process-wide reader. Correctness only; the speed
// of the pair is bench/handle_pair_bench.cpp's business.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "kulve32.h"
#include "sim/cards/memory_card.h"
#include "support/sim_fixture.h"

namespace kulve::test {
namespace {

constexpr int kRounds = 20;
constexpr int kBytes = 130;  // three pieces per call

struct SimulatedReader {
  std::unique_ptr<sim::Simulator> sim;
  kulve_reader* handle = nullptr;

  SimulatedReader() : sim(std::make_unique<sim::Simulator>()) {
    sim->WithState([](sim::ReaderState& s) { sim::InsertMemoryCard(s, 1); });
    sim->Start();
  }
  ~SimulatedReader() { kulve_close(handle); }
  int Open() { return kulve_open(LinkPath(*sim).c_str(), &handle); }
};

// Writes and reads back its own bytes of the card and asks for the device
// number, kRounds times; counts every call that did not come back right.
void Work(kulve_reader* handle, int offset, int seed, std::atomic<int>& wrong) {
  std::vector<unsigned char> mine(kBytes), back(kBytes);
  for (int round = 0; round < kRounds; ++round) {
    for (int i = 0; i < kBytes; ++i) mine[i] = static_cast<unsigned char>(seed * 31 + round + i);
    std::vector<unsigned char> copy = mine;
    if (kulve_memcard_write(handle, 18, 0, offset, kBytes, copy.data(), kBytes) != 0) ++wrong;
    if (kulve_memcard_read(handle, 18, 0, offset, kBytes, back.data(), kBytes) != 0 || back != mine) ++wrong;
    unsigned char number[8] = {};
    if (kulve_reader_device_number(handle, number, sizeof number) != 0 || number[0] != 'K') ++wrong;
  }
}

void Prepare(kulve_reader* handle) {
  ASSERT_EQ(kulve_reader_select_card(handle, 1), 0);
  ASSERT_EQ(kulve_reader_power_on(handle), 0);
}

TEST(HandleThreads, TwoReadersOnTwoThreads) {
  SimulatedReader a, b;
  ASSERT_EQ(a.Open(), 0);
  ASSERT_EQ(b.Open(), 0);
  Prepare(a.handle);
  Prepare(b.handle);
  const std::uint64_t beforeA = a.sim->ExchangeCount(), beforeB = b.sim->ExchangeCount();

  std::atomic<int> wrong{0};
  std::thread first([&] { Work(a.handle, 256, 1, wrong); });
  std::thread second([&] { Work(b.handle, 256, 2, wrong); });
  first.join();
  second.join();
  EXPECT_EQ(wrong.load(), 0);
  // 3 writes + 3 reads + 1 device number per round, each on its own reader.
  EXPECT_EQ(a.sim->ExchangeCount() - beforeA, std::uint64_t{kRounds} * 7);
  EXPECT_EQ(b.sim->ExchangeCount() - beforeB, std::uint64_t{kRounds} * 7);
  // Each handle keeps its own card type.
  EXPECT_EQ(kulve_reader_select_card(a.handle, 2), 0);
  int typeB = 0, state = 0, power = 0;
  EXPECT_EQ(kulve_reader_inquire(b.handle, &typeB, &state, &power), 0);
  EXPECT_EQ(typeB, 1);
}

TEST(HandleThreads, OneReaderSharedByTwoThreads) {
  SimulatedReader a;
  ASSERT_EQ(a.Open(), 0);
  Prepare(a.handle);
  const std::uint64_t before = a.sim->ExchangeCount();
  std::atomic<int> wrong{0};
  std::thread first([&] { Work(a.handle, 256, 1, wrong); });
  std::thread second([&] { Work(a.handle, 256 + kBytes, 2, wrong); });
  first.join();
  second.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(a.sim->ExchangeCount() - before, std::uint64_t{2 * kRounds} * 7);
}

// The review's reproduction, on the documented functions: a callback that
// calls the library while a frame is in progress.
std::vector<int> g_nested;

void KULVE_CALL CallLibraryFromTrace(int, const char*, void*) {
  unsigned char number[8];
  g_nested.push_back(GetDeviceNumber(number));
}

class TraceCallbackReentry : public SimulatorTest {};

TEST_F(TraceCallbackReentry, ADeviceCallFromTheCallbackIsRefused) {
  ASSERT_EQ(LinkCom(0), 0);
  g_nested.clear();
  ASSERT_EQ(SetTrace(2, &CallLibraryFromTrace, nullptr), 0);
  unsigned char number[8] = {};
  const int outer = GetDeviceNumber(number);
  SetTrace(0, nullptr, nullptr);
  EXPECT_EQ(outer, 0);
  EXPECT_EQ(number[0], 'K');
  ASSERT_FALSE(g_nested.empty());
  for (const int nested : g_nested) EXPECT_EQ(nested, KULVE_IN_CALLBACK);
}

}  // namespace
}  // namespace kulve::test

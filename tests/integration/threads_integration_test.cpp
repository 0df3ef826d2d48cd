// SPDX-License-Identifier: MIT
// Several threads calling the device functions at once: the process-wide lock
// makes each call whole, so every exchange reaches the reader intact and
// every answer belongs to its own call.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "sim/cards/memory_card.h"
#include "support/sim_fixture.h"

namespace kulve::test {
namespace {

class ThreadsOverPty : public SimulatorTest {};

TEST_F(ThreadsOverPty, CallsFromManyThreadsNeverInterleave) {
  reader->WithState([](sim::ReaderState& s) { sim::InsertMemoryCard(s, 1); });
  ASSERT_EQ(LinkCom(0), 0);
  ASSERT_EQ(SelectCard(1), 0);
  ASSERT_EQ(PowerOn(), 0);
  const std::uint64_t before = reader->ExchangeCount();

  constexpr int kThreads = 4;
  constexpr int kRounds = 40;
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &wrong] {
      // Each thread owns 130 bytes of the card (three pieces per call).
      const int offset = 256 + t * 130;  // clear of the read-only identification bytes
      std::vector<unsigned char> mine(130), back(130);
      for (int round = 0; round < kRounds; ++round) {
        for (std::size_t i = 0; i < mine.size(); ++i) mine[i] = static_cast<unsigned char>(t * 31 + round + i);
        std::vector<unsigned char> copy = mine;
        if (WriteCard(18, 0, offset, 130, copy.data()) != 0) ++wrong;
        if (ReadCard(18, 0, offset, 130, back.data()) != 0 || back != mine) ++wrong;
        unsigned char number[8] = {};
        if (GetDeviceNumber(number) != 0 || number[0] != 'K') ++wrong;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(wrong.load(), 0);
  // 3 writes + 3 reads + 1 device number per round: nothing lost, nothing repeated.
  EXPECT_EQ(reader->ExchangeCount() - before, std::uint64_t{kThreads} * kRounds * 7);
}

}  // namespace
}  // namespace kulve::test

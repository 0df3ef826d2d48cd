// SPDX-License-Identifier: MIT
// State that card families keep between calls. Each family has its own small
// record, owned by the reader object, so tests building their own reader get
// fresh state; the family's code is the only one that reads or writes it.
#pragma once

#include <array>
#include <cstdint>

namespace kulve {

// CPU card and SAM slots: one framing choice and one T=1 send-sequence bit,
// shared by all five slots.
struct CpuCardState {
  std::uint8_t protocol = 1;      // 1: T=1 blocks (the state before any reset), 0: T=0
  std::uint8_t sendSequence = 0;  // N(S) of the next T=1 I-block
};

// The working state of one AT88SC1608 authentication: the keystream
// generator's nineteen cells and the copies of the run's inputs and outputs.
struct At1608AuthState {
  std::array<std::uint8_t, 7> left{};    // 5-bit cells
  std::array<std::uint8_t, 7> middle{};  // 7-bit cells
  std::array<std::uint8_t, 5> right{};   // 5-bit cells
  std::array<std::uint8_t, 8> cryptogram{};
  std::array<std::uint8_t, 8> seed{};
  std::array<std::uint8_t, 8> challenge{};
  std::array<std::uint8_t, 8> expected{};
  std::array<std::uint8_t, 8> hostAnswer{};
};

}  // namespace kulve

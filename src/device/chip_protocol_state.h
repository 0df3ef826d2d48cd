// SPDX-License-Identifier: MIT
// The CPU card family's state for the full block protocol: which mode the reader's APDU calls
// use, and per slot the card's protocol, T=1 parameters and sequence numbers.
// The default mode does not read it; resets keep it current in both modes.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

namespace kulve {

inline constexpr int kChipModeDefault = 0;  // one exchange per APDU, as documented
inline constexpr int kChipModeFull = 1;     // ISO/IEC 7816-3 T=1 and T=0 in full

struct ChipSlotProtocol {
  bool reset = false;          // a reset succeeded since the reader was made
  std::uint8_t protocol = 1;   // 0: T=0, 1: T=1 (this slot's own last reset; T=1 before any)
  std::uint8_t atrIfsc = 32;   // IFSC as the ATR gives it
  std::uint8_t ifsc = 32;      // largest information field the card takes now
  bool crc = false;            // blocks end in a CRC instead of an LRC
  std::uint8_t sendSequence = 0;     // N(S) of our next I-block
  std::uint8_t receiveSequence = 0;  // N(S) we expect of the card's next I-block
  bool ifsdPending = false;    // S(IFS request) still to be sent
  bool resynchPending = false; // the default mode used the card since its reset
  bool mustReset = false;      // three S(RESYNCH) failed: nothing is sent until a reset
  std::uint8_t silentCalls = 0;  // calls in a row the reader left silent, no block of the card between
  std::uint8_t bwi = 4;        // T=1 block waiting time integer (TB3)
  std::uint8_t cwi = 13;       // T=1 character waiting time integer (TB3)
  std::uint8_t wi = 10;        // T=0 work waiting time integer (TC2)
  std::uint16_t fi = 372;      // clocks of Fi (TA1)
  std::uint16_t clocksPerEtu = 372;  // one character bit on the card's line, in clocks
};

struct ChipProtocolState {
  // Read without the reader's lock by nobody; atomic so that a switch from
  // one thread is seen whole by a call on another.
  std::atomic<int> mode{kChipModeDefault};
  std::array<ChipSlotProtocol, 5> slots{};
};

}  // namespace kulve

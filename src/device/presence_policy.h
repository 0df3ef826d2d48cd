// SPDX-License-Identifier: MIT
// How often a reader is asked whether its cards are there: one probe per
// turn of half a second at most (2 exchanges/s while idle), the slots named
// taking turns, and the SAM slots, among themselves, one probe per 2 s and
// no more than one turn in four. It also keeps what the last probe of each slot saw. Pure
// bookkeeping over time points handed in, so it can be checked without a
// clock; the handle's presence wait drives it.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

namespace kulve {

// Slot bits as kulve32.h names them (KULVE_SLOT_*).
inline constexpr int kPresenceCpu = 0x01;       // chip slot 0
inline constexpr int kPresenceSams = 0x1E;      // chip slots 1..4
inline constexpr int kPresenceField = 0x20;     // the Mifare field
inline constexpr int kPresenceMemory = 0x40;    // the memory-card contact slot
inline constexpr int kPresenceAll = 0x7F;
inline constexpr int kPresenceFrequent = kPresenceCpu | kPresenceField | kPresenceMemory;

class PresencePolicy {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr Clock::duration kTurn = std::chrono::milliseconds(500);
  static constexpr Clock::duration kSamInterval = 4 * kTurn;
  static constexpr unsigned kTurnsBetweenSams = 3;  // the other slots' turns between two SAM probes

  // The slot bit to probe now among `slots`, or 0 when no probe is due;
  // then `wait` says how long until one may be.
  int Next(int slots, Clock::time_point now, Clock::duration& wait);

  // What a probe saw.
  void Record(int slot, bool present);
  // Presence of the named slots as last seen; slots never probed keep the
  // bit of `assumed`.
  int Seen(int slots, int assumed) const;

 private:
  static int Following(int slots, int after);

  std::optional<Clock::time_point> lastTurn_;
  std::optional<Clock::time_point> lastSam_;
  unsigned turnsSinceSam_ = 0;
  int lastFrequent_ = 0;
  int lastSamSlot_ = 0;
  int seen_ = 0;     // slots probed at least once
  int present_ = 0;  // of those, the ones holding a card
};

}  // namespace kulve

// SPDX-License-Identifier: MIT
#include "device/presence_policy.h"


namespace kulve {

// The next named slot after `after`, going round the seven bits.
int PresencePolicy::Following(int slots, int after) {
  for (int step = 1; step <= 7; ++step) {
    const int bit = (after << step | after >> (7 - step)) & kPresenceAll;
    if ((slots & bit) != 0) return bit;
  }
  return 0;
}

int PresencePolicy::Next(int slots, Clock::time_point now, Clock::duration& wait) {
  slots &= kPresenceAll;
  const int frequent = slots & kPresenceFrequent;
  const int sams = slots & kPresenceSams;
  wait = kTurn;
  if (slots == 0) return 0;
  if (lastTurn_ && now - *lastTurn_ < kTurn) {
    wait = *lastTurn_ + kTurn - now;
    return 0;
  }
  const bool samDue = sams != 0 && (!lastSam_ || now - *lastSam_ >= kSamInterval);
  if (samDue && (frequent == 0 || turnsSinceSam_ >= kTurnsBetweenSams)) {
    lastTurn_ = lastSam_ = now;
    turnsSinceSam_ = 0;
    lastSamSlot_ = Following(sams, lastSamSlot_ == 0 ? 0x01 : lastSamSlot_);
    return lastSamSlot_;
  }
  if (frequent == 0) {  // only SAMs, none due yet
    wait = *lastSam_ + kSamInterval - now;
    return 0;
  }
  lastTurn_ = now;
  ++turnsSinceSam_;
  lastFrequent_ = Following(frequent, lastFrequent_ == 0 ? kPresenceMemory : lastFrequent_);
  return lastFrequent_;
}

void PresencePolicy::Record(int slot, bool present) {
  seen_ |= slot;
  present_ = present ? present_ | slot : present_ & ~slot;
}

int PresencePolicy::Seen(int slots, int assumed) const {
  return ((present_ & seen_) | (assumed & ~seen_)) & slots & kPresenceAll;
}

}  // namespace kulve

// SPDX-License-Identifier: MIT
// The presence wait: the probing policy of the handle says which slot to
// ask and when; each probe is one call under the handle's lock, and the
// lock is let go between probes so other calls on the handle go on.
#include <array>
#include <thread>

#include "cpucard/cpucard.h"
#include "handle/checked.h"
#include "handle/handle_api.h"
#include "housekeeping/housekeeping.h"
#include "mifare/mifare.h"

namespace kulve::api {
namespace {

using Clock = PresencePolicy::Clock;

constexpr int kLongestTimeout = 24 * 60 * 60 * 1000;  // a day, in ms
constexpr std::int32_t kWakeEveryCard = 1;  // Mifare request: halted cards answer too

// One probe of one slot: the status of its exchange; *present on status 0,
// and on a reader's refusal of a reset or a request (no card to answer).
int Probe(Reader& reader, int slot, bool& present) {
  if (slot == kPresenceMemory) {
    std::int32_t state = 0;
    const int status = InquireState(reader, &state);
    present = status == 0 && (state & 1) != 0;
    return status;
  }
  if (slot == kPresenceField) {
    std::array<std::uint8_t, kMifareAnswerSize> answer{};
    const int status = RFMifare_Request(reader, kWakeEveryCard, answer.data());
    present = status == 0;
    return reader.block.lineFailed ? status : 0;
  }
  int chip = 0;
  while ((slot >> chip) != 1) ++chip;
  std::array<std::uint8_t, KULVE_ATR_BUFFER_SIZE> atr{};
  const int status = ResetChip(reader, static_cast<ChipSlot>(chip), atr.data());
  present = status == 0;
  return reader.block.lineFailed ? status : 0;
}

}  // namespace

int WaitPresence(kulve_reader* token, int slots, int known, int timeoutMs, int* present) {
  if (present != nullptr) *present = 0;
  const auto handle = Find(token);
  if (!handle || present == nullptr || slots <= 0 || (slots & ~kPresenceAll) != 0 || timeoutMs < 0 ||
      timeoutMs > kLongestTimeout) {
    return result::kBadArgument;
  }
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (true) {
    Clock::duration wait{};
    int seen = 0;
    const int outcome = Locked(*handle, [&](Reader& reader) {
      PresencePolicy& policy = handle->presence;
      const int slot = policy.Next(slots, Clock::now(), wait);
      if (slot != 0) {
        bool there = false;
        const int status = Probe(reader, slot, there);
        if (status != 0) return status;
        policy.Record(slot, there);
      }
      seen = policy.Seen(slots, known);
      return 0;
    });
    if (outcome == result::kInCallback) return outcome;
    *present = seen;
    if (outcome != 0) return outcome;
    if (seen != (known & slots)) return 0;
    const Clock::time_point now = Clock::now();
    if (now >= deadline) return result::kNoChange;
    std::this_thread::sleep_for(std::min(wait, deadline - now));
  }
}

}  // namespace kulve::api

// SPDX-License-Identifier: MIT
// kulve watch: cards coming and going, one line each, through the library's
// presence wait on a handle of the tool's own.
#include <chrono>
#include <cstdio>
#include <sstream>

#include "kulve32.h"
#include "tools/command.h"

namespace kulve::tool {
namespace {

struct SlotName {
  const char* name;
  int bits;
};
constexpr SlotName kSlotNames[] = {
    {"cpu", KULVE_SLOT_CPU},   {"sam1", KULVE_SLOT_SAM1},   {"sam2", KULVE_SLOT_SAM2},
    {"sam3", KULVE_SLOT_SAM3}, {"sam4", KULVE_SLOT_SAM4},   {"field", KULVE_SLOT_FIELD},
    {"memory", KULVE_SLOT_MEMORY}, {"sams", KULVE_SLOT_SAMS}, {"all", KULVE_SLOT_ALL},
};
constexpr int kSingleSlots = 7;  // the first seven names: one slot each

int ParseSlots(const std::string& text) {
  int slots = 0;
  std::stringstream words(text);
  std::string word;
  while (std::getline(words, word, ',')) {
    int bits = 0;
    for (const SlotName& slot : kSlotNames) {
      if (word == slot.name) bits = slot.bits;
    }
    if (bits == 0) throw UsageError("slots are memory, cpu, sam1..sam4, sams, field or all, joined by commas");
    slots |= bits;
  }
  if (slots == 0) throw UsageError("name at least one slot");
  return slots;
}

int Watch(Session& session, int slots, int seconds) {
  kulve_reader* reader = session.Handle();
  if (reader == nullptr) return 1;
  using Clock = std::chrono::steady_clock;
  const Clock::time_point end = Clock::now() + std::chrono::seconds(seconds);
  int known = 0;
  while (true) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
    int present = 0;
    const int result = kulve_wait_presence(reader, slots, known, left > 0 ? static_cast<int>(left) : 0, &present);
    if (result == KULVE_NO_CHANGE) break;
    if (result != 0) {
      std::fprintf(stderr, "watch: %s\n", kulve_result_text(reader, result));
      return 1;
    }
    for (int i = 0; i < kSingleSlots; ++i) {
      const int bit = kSlotNames[i].bits;
      if (((present ^ known) & bit) != 0) std::printf("%s %s\n", kSlotNames[i].name, present & bit ? "in" : "out");
    }
    std::fflush(stdout);
    known = present;
  }
  if (!session.Quiet()) std::fprintf(stderr, "watch: ok\n");
  return 0;
}

}  // namespace

void AddWatchCommand(CommandList& commands) {
  commands.push_back(
      {"watch", 2, "SLOTS SECONDS",
       "print \"SLOT in\" or \"SLOT out\" as cards come and go in SLOTS (memory, cpu, sam1..sam4, sams, field, "
       "all; joined by commas) for SECONDS (0: one probe); the cards there at the start come first. The memory "
       "slot is asked without touching its card; a chip slot is probed with a reset and the field with a Mifare "
       "request, which end a session on them. At most 2 exchanges/s; a change shows within 1 to 2 s (a SAM "
       "within 2 s per SAM watched). Uses a handle of its own: after a command that linked, the link is closed "
       "first (a 1 s pause)",
       false, [](const Args& args) -> Action {
         const int slots = ParseSlots(args[0]);
         const int seconds = IntArg(args[1], 0, 86400, "the seconds to watch");
         return [slots, seconds](Session& s) { return Watch(s, slots, seconds); };
       }});
}

}  // namespace kulve::tool

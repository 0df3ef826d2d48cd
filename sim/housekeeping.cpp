// SPDX-License-Identifier: MIT
#include "sim/housekeeping.h"

#include "sim/cards/at1608_card.h"
#include "sim/cards/memory_card.h"

namespace kulve::sim {

namespace {

using Data = std::span<const std::uint8_t>;

// Wraps a handler so it only runs with exactly `length` data bytes.
template <class F>
Handler Expecting(std::size_t length, F f) {
  return [length, f](ReaderState& state, Data data) -> Reply {
    if (data.size() != length) return Refuse(status::kBadLength);
    return f(state, data);
  };
}

}  // namespace

void RegisterHousekeepingCommands(Firmware& firmware) {
  firmware.Register(code::kProbe, Expecting(0, [](ReaderState&, Data) { return Ok(); }));

  firmware.Register(code::kPowerOn, Expecting(0, [](ReaderState& s, Data) {
                      s.power = PowerState::kOn;
                      return Ok();
                    }));
  firmware.Register(code::kPowerOff, Expecting(0, [](ReaderState& s, Data) {
                      s.power = PowerState::kOff;
                      if (s.memoryCard) s.memoryCard->Lock();  // an unpowered card forgets presented codes
                      if (s.at1608Card) s.at1608Card->Reset();
                      return Ok();
                    }));

  firmware.Register(code::kSelectCard, Expecting(1, [](ReaderState& s, Data d) {
                      s.selectedCard = d[0];
                      return Ok();
                    }));

  firmware.Register(code::kInquire, Expecting(0, [](ReaderState& s, Data) {
                      return Ok({s.selectedCard, s.slotState,
                                 static_cast<std::uint8_t>(s.power)});
                    }));

  firmware.Register(code::kStandby, Expecting(0, [](ReaderState& s, Data) {
                      s.standby = true;
                      return Ok();
                    }));

  firmware.Register(code::kDeviceNumber, Expecting(0, [](ReaderState& s, Data) {
                      return Ok({s.deviceNumber.begin(), s.deviceNumber.end()});
                    }));
  firmware.Register(code::kVersion, Expecting(0, [](ReaderState& s, Data) {
                      return Ok({s.version.begin(), s.version.end()});
                    }));

  firmware.Register(code::kAlarm, Expecting(4, [](ReaderState& s, Data d) {
                      if (d[0] < 1 || d[0] > 7) return Refuse(status::kBadParameter);
                      for (std::size_t i = 0; i < s.lastAlarm.size(); ++i) s.lastAlarm[i] = d[i];
                      ++s.alarmCount;
                      return Ok();
                    }));
}

}  // namespace kulve::sim

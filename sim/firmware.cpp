// SPDX-License-Identifier: MIT
#include "sim/firmware.h"

#include <utility>

namespace kulve::sim {

namespace {
constexpr std::uint8_t kStandbyCode = 28;
}

void Firmware::Register(std::uint8_t code, Handler handler) {
  handlers_[code] = std::move(handler);
}

bool Firmware::Has(std::uint8_t code) const { return static_cast<bool>(handlers_[code]); }

Reply Firmware::Execute(ReaderState& state, std::uint8_t code,
                        std::span<const std::uint8_t> data) const {
  if (code != kStandbyCode) state.standby = false;
  const Handler& handler = handlers_[code];
  if (!handler) return Refuse(status::kUnknownCommand);
  try {
    Reply reply = handler(state, data);
    if (reply.data.size() > kMaxFrameData) return Refuse(status::kInternalError);
    return reply;
  } catch (...) {
    return Refuse(status::kInternalError);
  }
}

}  // namespace kulve::sim

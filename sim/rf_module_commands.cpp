// SPDX-License-Identifier: MIT
#include "sim/rf_module_commands.h"

namespace kulve::sim {

void RegisterRfModuleCommands(Firmware& firmware) {
  firmware.Register(code::kRfModuleQuery, [](ReaderState& state, std::span<const std::uint8_t> data) {
    if (!data.empty()) return Refuse(status::kBadLength);
    return Ok({state.rfModule.begin(), state.rfModule.end()});
  });
}

}  // namespace kulve::sim

// SPDX-License-Identifier: MIT
// Reader: one reader connection with everything kept about it: the link
// below, and the state the card families keep between calls. Each family
// reads and writes only its own part; tests build their own reader over a
// scripted port.
#pragma once

#include <cstdint>

#include "device/chip_protocol_state.h"
#include "device/family_state.h"
#include "link/link_state.h"

namespace kulve {

inline constexpr std::int32_t kNoCardSelected = 255;

struct Reader : Link {
  explicit Reader(PortSystem& platform) : Link(platform) {}

  // A new link leaves no card type selected.
  void LinkStarting() override { cardType = kNoCardSelected; }

  std::int32_t cardType = 0;  // written by the housekeeping family (SelectCard, Inquire)
  CpuCardState cpuCard;
  ChipProtocolState chipProtocol;  // the full block protocol (cpucard family)
  At1608AuthState at1608Auth;
};

}  // namespace kulve

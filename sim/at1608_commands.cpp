// SPDX-License-Identifier: MIT
#include "sim/at1608_commands.h"

#include <algorithm>
#include <utility>

#include "sim/cards/at1608_card.h"

namespace kulve::sim {
namespace {

using Data = std::span<const std::uint8_t>;
using CardHandler = Reply (*)(At1608Card&, Data);

// Runs `handle` on the card in the slot, once it is there and powered.
Handler WithCard(CardHandler handle) {
  return [handle](ReaderState& state, Data data) -> Reply {
    if (!state.at1608Card) return Refuse(status::kNoCard);
    if (state.power != PowerState::kOn) {
      state.at1608Card->Reset();
      return Refuse(status::kNotPowered);
    }
    return handle(*state.at1608Card, data);
  };
}

Reply Write(At1608Card& card, Data d) {
  if (d.size() < 3 || d.size() != 3u + d[2]) return Refuse(status::kBadLength);
  return card.Write(d[0], d[1], d.subspan(3));
}

Reply Read(At1608Card& card, Data d) {
  if (d.size() != 3) return Refuse(status::kBadLength);
  return card.Read(d[0], d[1], d[2]);
}

Reply Password(At1608Card& card, Data d) {
  if (d.size() != 1 + At1608Card::kPasswordLength) return Refuse(status::kBadLength);
  return card.PresentPassword(d[0], d.subspan<1, At1608Card::kPasswordLength>());
}

Reply Authenticate(At1608Card& card, Data d) {
  At1608Block challenge{}, answer{};
  if (d.size() != challenge.size() + answer.size()) return Refuse(status::kBadLength);
  std::copy_n(d.begin(), challenge.size(), challenge.begin());
  std::copy_n(d.begin() + static_cast<std::ptrdiff_t>(challenge.size()), answer.size(), answer.begin());
  return card.Authenticate(challenge, answer);
}

Reply ReadFuse(At1608Card& card, Data d) {
  if (!d.empty()) return Refuse(status::kBadLength);
  return card.ReadFuses();
}

Reply Reset(At1608Card& card, Data d) {
  if (!d.empty()) return Refuse(status::kBadLength);
  card.Reset();
  return Ok();
}

}  // namespace

void RegisterAt1608Commands(Firmware& firmware) {
  const std::pair<std::uint8_t, CardHandler> handlers[] = {
      {code::kAt1608Write, Write},
      {code::kAt1608Read, Read},
      {code::kAt1608Password, Password},
      {code::kAt1608Authenticate, Authenticate},
      {code::kAt1608ReadFuse, ReadFuse},
      {code::kAt1608Reset, Reset},
  };
  for (const auto& [c, handle] : handlers) firmware.Register(c, WithCard(handle));
}

}  // namespace kulve::sim

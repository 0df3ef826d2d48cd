// SPDX-License-Identifier: MIT
#include "sim/memcard_commands.h"

#include <optional>
#include <utility>

#include "sim/cards/memory_card.h"

namespace kulve::sim {
namespace {

using Data = std::span<const std::uint8_t>;
using CardHandler = Reply (*)(MemoryCard&, Data);

std::size_t Word(Data d, std::size_t at) { return (std::size_t{d[at]} << 8) | d[at + 1]; }

// Runs `handle` on the card in the slot, once it is there and powered.
Handler WithCard(CardHandler handle) {
  return [handle](ReaderState& state, Data data) -> Reply {
    if (!state.memoryCard) return Refuse(status::kNoCard);
    if (state.power != PowerState::kOn) {
      state.memoryCard->Lock();
      return Refuse(status::kNotPowered);
    }
    return handle(*state.memoryCard, data);
  };
}

Reply ReadCard(MemoryCard& card, Data d) {
  if (d.size() == 1 && d[0] == kSecurityMemoryArea) return card.ReadSecurityMemory();
  if (d.size() != 4) return Refuse(status::kBadLength);
  return card.Read(d[0], Word(d, 1), d[3]);
}

Reply WriteCard(MemoryCard& card, Data d) {
  if (d.size() >= 1 && d.size() <= 4 && d[0] == kSecurityMemoryArea) return card.ChangeCode(d.subspan(1));
  if (d.size() < 4 || d.size() != 4u + d[3]) return Refuse(status::kBadLength);
  return card.Write(d[0], Word(d, 1), d.subspan(4));
}

Reply EraseCard(MemoryCard& card, Data d) {
  if (d.size() < 4 || d.size() != 4u + d[3]) return Refuse(status::kBadLength);
  if (d[0] != kCardMemoryArea) return Refuse(status::kBadParameter);
  return card.Erase(Word(d, 1), d[3]);
}

// The flat card-memory address of a paged request, or nullopt when the
// bytes would pass the end of their page.
std::optional<std::size_t> PagedAddress(const MemoryCard& card, Data d) {
  const std::size_t offset = Word(d, 2);
  if (offset + d[4] > card.PageSize()) return std::nullopt;
  return Word(d, 0) * card.PageSize() + offset;
}

Reply PagedRead(MemoryCard& card, Data d) {
  if (d.size() != 5) return Refuse(status::kBadLength);
  const auto address = PagedAddress(card, d);
  return address ? card.Read(kCardMemoryArea, *address, d[4]) : Refuse(status::kBadParameter);
}

Reply PagedWrite(MemoryCard& card, Data d) {
  if (d.size() < 5 || d.size() != 5u + d[4]) return Refuse(status::kBadLength);
  const auto address = PagedAddress(card, d);
  return address ? card.Write(kCardMemoryArea, *address, d.subspan(5)) : Refuse(status::kBadParameter);
}

Reply PresentCode(MemoryCard& card, Data d) { return card.PresentCode(d); }

Reply PresentEraseKey(MemoryCard& card, Data d) {
  if (d.empty()) return Refuse(status::kBadLength);
  return card.PresentEraseKey(d[0], d.subspan(1));
}

Reply PresentZoneCode(MemoryCard& card, Data d) {
  if (d.empty()) return Refuse(status::kBadLength);
  return card.PresentZoneCode(d[0], d.subspan(1));
}

Reply SetZoneAccess(MemoryCard& card, Data d) {
  if (d.size() != 2) return Refuse(status::kBadLength);
  return card.SetZoneAccess(d[0], d[1]);
}

Reply Fuse(MemoryCard& card, Data d) {
  if (d.size() != 1) return Refuse(status::kBadLength);
  return card.Fuse(d[0]);
}

}  // namespace

void RegisterMemoryCardCommands(Firmware& firmware) {
  const std::pair<std::uint8_t, CardHandler> handlers[] = {
      {code::kReadCard, ReadCard},         {code::kWriteCard, WriteCard},
      {code::kEraseCard, EraseCard},       {code::kPagedRead, PagedRead},
      {code::kPagedWrite, PagedWrite},     {code::kPresentCode, PresentCode},
      {code::kPresentEraseKey, PresentEraseKey}, {code::kPresentZoneCode, PresentZoneCode},
      {code::kSetZoneAccess, SetZoneAccess}, {code::kFuse, Fuse},
  };
  for (const auto& [c, handle] : handlers) firmware.Register(c, WithCard(handle));
}

}  // namespace kulve::sim

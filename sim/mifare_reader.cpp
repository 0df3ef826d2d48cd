// SPDX-License-Identifier: MIT
#include "sim/mifare_reader.h"

#include <algorithm>
#include <cstring>

namespace kulve::sim {
namespace {

using State = MifareClassicCard::State;

MifareBlock Text(const char* text) {
  MifareBlock block{};
  std::memcpy(block.data(), text, std::min(block.size(), std::strlen(text)));
  return block;
}

}  // namespace

MifareReader::MifareReader() {
  slots.fill(kTransportKey);
  for (auto& keys : loadedKeys) keys.fill(kTransportKey);
}

MifareClassicCard* MifareReader::ActiveCard() {
  for (MifareClassicCard& card : field)
    if (card.CardState() == State::kActive) return &card;
  return nullptr;
}

bool MifareReader::Request(bool wakeHalted) {
  if (MifareClassicCard* active = ActiveCard()) active->Deselect();
  bool answered = false;
  for (MifareClassicCard& card : field) answered = card.Request(wakeHalted) || answered;
  return answered;
}

MifareClassicCard* MifareReader::AntiCollision() {
  std::vector<MifareClassicCard*> candidates;
  for (MifareClassicCard& card : field)
    if (card.CardState() == State::kReady) candidates.push_back(&card);
  for (std::size_t bit = 0; bit < 32 && candidates.size() > 1; ++bit) {
    auto one = [bit](const MifareClassicCard* card) { return (card->Uid()[bit / 8] >> (bit % 8)) & 1; };
    const bool collision = std::any_of(candidates.begin(), candidates.end(), one) &&
                           !std::all_of(candidates.begin(), candidates.end(), one);
    if (collision) std::erase_if(candidates, [&](const MifareClassicCard* card) { return !one(card); });
  }
  return candidates.empty() ? nullptr : candidates.front();
}

MifareClassicCard* MifareReader::Select(const MifareUid& uid) {
  MifareClassicCard* selected = nullptr;
  for (MifareClassicCard& card : field) {
    if (selected == nullptr && card.Select(uid)) {
      selected = &card;
    } else if (card.CardState() == State::kReady) {
      card.Deselect();
    }
  }
  return selected;
}

MifareClassicCard* MifareReader::FindCard(std::uint32_t serial) {
  if (!Request(true)) return nullptr;
  if (serial != 0) return Select(UidFromSerial(serial));
  MifareClassicCard* found = AntiCollision();
  return found ? Select(found->Uid()) : nullptr;
}

MifareReader& MifareOf(ReaderState& state) {
  if (!state.mifare) state.mifare = std::make_unique<MifareReader>();
  return *state.mifare;
}

MifareClassicCard& PutMifareCard(ReaderState& state, const MifareUid& uid) {
  return MifareOf(state).field.emplace_back(uid);
}

void ClearMifareField(ReaderState& state) { MifareOf(state).field.clear(); }

MifareClassicCard& PutSampleMifareCard(ReaderState& state) {
  MifareClassicCard& card = PutMifareCard(state, kSampleUid);
  card.Blocks()[1] = Text("KULVE32 sample  ");
  card.Blocks()[2] = Text("Mifare Classic  ");
  card.Blocks()[4] = MifareClassicCard::ValueBlock(100, 4);
  card.Blocks()[8] = Text("sector 2 block 8");
  return card;
}

MifareUid UidFromSerial(std::uint32_t serial) {
  return {static_cast<std::uint8_t>(serial), static_cast<std::uint8_t>(serial >> 8),
          static_cast<std::uint8_t>(serial >> 16), static_cast<std::uint8_t>(serial >> 24)};
}

std::optional<MifareUid> ParseUid(std::string_view text) {
  if (text.size() != 8) return std::nullopt;
  MifareUid uid{};
  for (std::size_t i = 0; i < 8; ++i) {
    const char c = text[i];
    int digit = -1;
    if (c >= '0' && c <= '9') digit = c - '0';
    if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    if (digit < 0) return std::nullopt;
    uid[i / 2] = static_cast<std::uint8_t>(uid[i / 2] << 4 | digit);
  }
  return uid;
}

}  // namespace kulve::sim

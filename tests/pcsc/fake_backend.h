// SPDX-License-Identifier: MIT
// A reader for the driver's tests: five chip slots with scripted answers and
// a field holding at most one Mifare Classic 1K card that keeps its blocks,
// checks keys per sector and forgets its authentication on a wrong key, as
// a card does. Counts the steps it was asked for, and notes any step that
// began while another was still running.
#pragma once

#include <array>
#include <atomic>
#include <map>
#include <optional>
#include <thread>

#include "cpucard/t1_parameters.h"
#include "pcsc/backend.h"
#include "tools/hex.h"

namespace kulve::pcsc::testing {

inline Bytes Hex(std::string_view text) { return tool::ParseHex(text).value(); }
inline std::string Text(std::span<const std::uint8_t> bytes) { return tool::FormatHex(bytes); }

struct FakeReader final : ReaderBackend {
  struct ChipCard {
    Bytes atr;
    Outcome transmitOutcome = Outcome::kOk;
    Bytes answer{0x90, 0x00};
  };
  std::array<std::optional<ChipCard>, kChipSlotCount> chips;
  Outcome linkOutcome = Outcome::kOk;  // kLinkLost: the reader has gone

  bool cardInField = true;
  std::array<std::uint8_t, 4> uid{0xDE, 0xAD, 0xBE, 0xEF};
  std::array<std::uint8_t, 2> atqa{0x04, 0x00};
  std::map<int, std::array<std::uint8_t, 16>> blocks;
  std::array<std::uint8_t, 6> sectorKey{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  std::array<std::array<std::array<std::uint8_t, 6>, 16>, 2> loaded{};
  std::optional<int> authSector;
  bool selected = false;

  // The slot map: answered when hasMap; a chip card is in use once reset.
  bool hasMap = false;
  std::optional<SlotMap> mapAnswer;  // answered instead of the true map
  Outcome mapOutcome = Outcome::kOk;  // kRefused, kCardError: the map fails so
  std::array<bool, kChipSlotCount> chipInUse{};
  int mapQueries = 0;

  int resets = 0, transmits = 0, steps = 0;
  Bytes lastRawData;
  std::atomic<int> inside{0};
  std::atomic<bool> overlapped{false};
  bool* destroyed = nullptr;

  ~FakeReader() override {
    if (destroyed != nullptr) *destroyed = true;
  }

  // Marks a step as running for its whole length.
  struct Step {
    explicit Step(FakeReader& r) : reader(r) {
      if (reader.inside.fetch_add(1) != 0) reader.overlapped = true;
      ++reader.steps;
      std::this_thread::yield();
    }
    ~Step() { reader.inside.fetch_sub(1); }
    FakeReader& reader;
  };

  Outcome ResetChip(std::size_t slot, Bytes& atr) override {
    Step step(*this);
    ++resets;
    if (linkOutcome != Outcome::kOk) return linkOutcome;
    if (!chips[slot]) return Outcome::kNoCard;
    atr = chips[slot]->atr;
    chipInUse[slot] = true;
    return Outcome::kOk;
  }
  Outcome TransmitChip(std::size_t slot, std::span<const std::uint8_t>, Bytes& response) override {
    Step step(*this);
    ++transmits;
    if (linkOutcome != Outcome::kOk) return linkOutcome;
    if (!chips[slot]) return Outcome::kNoCard;
    if (chips[slot]->transmitOutcome == Outcome::kOk) response = chips[slot]->answer;
    return chips[slot]->transmitOutcome;
  }

  Outcome MifareWake(std::array<std::uint8_t, 2>& out) override {
    Step step(*this);
    if (linkOutcome != Outcome::kOk) return linkOutcome;
    if (!cardInField) return Outcome::kNoCard;
    selected = false;
    authSector.reset();
    out = atqa;
    return Outcome::kOk;
  }
  Outcome MifareAnticollision(std::array<std::uint8_t, kMifareUidSize>& out) override {
    out = uid;
    return cardInField ? Outcome::kOk : Outcome::kNoCard;
  }
  Outcome MifareSelect(const std::array<std::uint8_t, kMifareUidSize>& which) override {
    Step step(*this);
    if (!cardInField || which != uid) return Outcome::kNoCard;
    selected = true;
    return Outcome::kOk;
  }
  Outcome MifareLoadKey(MifareKeyType type, std::uint8_t number,
                        std::span<const std::uint8_t, kMifareKeySize> key) override {
    std::copy(key.begin(), key.end(), loaded[static_cast<int>(type)][number].begin());
    return Outcome::kOk;
  }
  Outcome MifareAuthenticate(MifareKeyType type, std::uint8_t block, std::uint8_t number) override {
    Step step(*this);
    if (!cardInField) return Outcome::kNoCard;
    if (!selected) return Outcome::kNoCard;
    if (loaded[static_cast<int>(type)][number] != sectorKey) {
      selected = false;  // a card refusing a key goes quiet
      authSector.reset();
      return Outcome::kRefused;
    }
    authSector = block / 4;
    return Outcome::kOk;
  }
  Outcome MifareRead(std::uint8_t block, std::span<std::uint8_t, kMifareBlockSize> out) override {
    Step step(*this);
    if (!cardInField) return Outcome::kNoCard;
    if (authSector != block / 4) return Outcome::kRefused;
    const auto b = blocks[block];
    std::copy(b.begin(), b.end(), out.begin());
    return Outcome::kOk;
  }
  Outcome MifareWrite(std::uint8_t block, std::span<const std::uint8_t, kMifareBlockSize> data) override {
    Step step(*this);
    if (!cardInField) return Outcome::kNoCard;
    if (authSector != block / 4) return Outcome::kRefused;
    std::copy(data.begin(), data.end(), blocks[block].begin());
    return Outcome::kOk;
  }
  // Value blocks are changed in place: little-endian value in bytes 0..3
  // (the fake keeps the complement and copy in step).
  Outcome Add(std::uint8_t block, std::int64_t delta) {
    if (authSector != block / 4) return Outcome::kRefused;
    auto& b = blocks[block];
    std::uint32_t v = b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
    v = static_cast<std::uint32_t>(v + delta);
    for (int i = 0; i < 4; ++i) {
      b[i] = b[8 + i] = static_cast<std::uint8_t>(v >> (8 * i));
      b[4 + i] = static_cast<std::uint8_t>(~b[i]);
    }
    return Outcome::kOk;
  }
  Outcome MifareIncrement(std::uint8_t block, std::uint32_t amount) override {
    Step step(*this);
    return Add(block, amount);
  }
  Outcome MifareDecrement(std::uint8_t block, std::uint32_t amount) override {
    Step step(*this);
    return Add(block, -static_cast<std::int64_t>(amount));
  }

  Outcome QuerySlots(SlotMap& map) override {
    if (!hasMap) return Outcome::kRefused;  // a reader without it (no step counted, as before it existed)
    Step step(*this);
    ++mapQueries;
    if (linkOutcome != Outcome::kOk) return linkOutcome;
    if (mapOutcome != Outcome::kOk) return mapOutcome;
    map = {};
    for (std::size_t slot = 0; slot < kChipSlotCount; ++slot) {
      if (chips[slot]) map.present |= static_cast<std::uint8_t>(1u << slot);
      if (chips[slot] && chipInUse[slot]) map.inUse |= static_cast<std::uint8_t>(1u << slot);
    }
    if (cardInField) map.present |= 1u << kChipSlotCount;
    if (cardInField && selected) map.inUse |= 1u << kChipSlotCount;
    if (mapAnswer) map = *mapAnswer;
    return Outcome::kOk;
  }
  // A memory card in the contact slot: 256 bytes, a code guarding writes.
  std::optional<std::uint8_t> memoryCard;  // present: the reader's card type
  std::array<std::uint8_t, 256> memory{};
  Bytes code{0xFF, 0xFF};
  bool codePresented = false;
  std::uint8_t attempts = 3;
  Outcome MemoryInquire(std::uint8_t& cardType, bool& present) override {
    Step step(*this);
    cardType = memoryCard.value_or(0xFF);
    present = memoryCard.has_value();
    return linkOutcome;
  }
  Outcome MemoryPowerOn() override { return memoryCard ? Outcome::kOk : Outcome::kRefused; }
  Outcome MemorySelectType(std::uint8_t cardType) override {
    if (memoryCard) memoryCard = cardType;
    return memoryCard ? Outcome::kOk : Outcome::kRefused;
  }
  Outcome MemoryRead(std::uint32_t address, std::span<std::uint8_t> out) override {
    if (!memoryCard) return Outcome::kRefused;
    if (address + out.size() > memory.size()) return Outcome::kBadRequest;
    std::copy_n(memory.begin() + address, out.size(), out.begin());
    return Outcome::kOk;
  }
  Outcome MemoryWrite(std::uint32_t address, std::span<const std::uint8_t> data) override {
    if (!memoryCard || !codePresented) return Outcome::kRefused;
    if (address + data.size() > memory.size()) return Outcome::kBadRequest;
    std::copy(data.begin(), data.end(), memory.begin() + address);
    return Outcome::kOk;
  }
  Outcome MemoryErase(std::uint32_t address, std::size_t count) override {
    const Bytes ones(count, 0xFF);
    return MemoryWrite(address, ones);
  }
  Outcome MemoryPresentCode(std::span<const std::uint8_t> presented) override {
    if (!memoryCard || attempts == 0) return Outcome::kRefused;
    codePresented = Bytes(presented.begin(), presented.end()) == code;
    attempts = codePresented ? 3 : attempts - 1;
    return codePresented ? Outcome::kOk : Outcome::kRefused;
  }
  Outcome MemoryChangeCode(std::span<const std::uint8_t> changed) override {
    if (!memoryCard || !codePresented) return Outcome::kRefused;
    code.assign(changed.begin(), changed.end());
    return Outcome::kOk;
  }
  Outcome MemoryAttempts(std::array<std::uint8_t, 2>& counter) override {
    if (!memoryCard) return Outcome::kRefused;
    counter = {0x00, attempts};
    return Outcome::kOk;
  }

  // The library's own reading of the ATR.
  std::uint32_t ChipIfsc(std::size_t slot) override {
    if (!chips[slot]) return 0;
    const T1Parameters read = ReadT1Parameters(chips[slot]->atr);
    return read.protocol == 1 ? read.ifsc : 0;
  }
  // Another card in the slot, not reset yet.
  void Swap(std::size_t slot, Bytes atr) {
    chips[slot] = ChipCard{std::move(atr)};
    chipInUse[slot] = false;
  }

  Outcome RawCommand(std::uint8_t, std::span<const std::uint8_t> data, Bytes& reply) override {
    Step step(*this);
    lastRawData.assign(data.begin(), data.end());
    if (linkOutcome != Outcome::kOk) return linkOutcome;
    reply = {0x00, 'V', '1'};
    return Outcome::kOk;
  }
};

}  // namespace kulve::pcsc::testing

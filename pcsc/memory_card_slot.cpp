// SPDX-License-Identifier: MIT
#include "pcsc/memory_card_slot.h"

#include <array>

#include "pcsc/contactless_atr.h"
#include "pcsc/status_words.h"

namespace kulve::pcsc {
namespace {

constexpr std::uint8_t kSelectType = 0xA4;
constexpr std::uint8_t kReadBinary = 0xB0;
constexpr std::uint8_t kUpdateBinary = 0xD6;
constexpr std::uint8_t kEraseBinary = 0x0E;
constexpr std::uint8_t kVerify = 0x20;
constexpr std::uint8_t kChangeCode = 0x24;
constexpr std::uint8_t kAttempts = 0xB1;
constexpr std::size_t kMaxRead = 256;
// The card name of a memory card, which has no registered one: FF, then
// the library's card type.
constexpr std::uint16_t kMemoryCardNameBase = 0xFF00;
constexpr std::uint8_t kNoInformation = 0x00;

std::uint32_t AddressOf(std::span<const std::uint8_t> apdu) {
  return (static_cast<std::uint32_t>(apdu[2]) << 8) | apdu[3];
}

}  // namespace

Outcome MemoryCardSlot::Probe() {
  std::uint8_t type = 0;
  bool present = false;
  const Outcome outcome = backend_.MemoryInquire(type, present);
  if (outcome == Outcome::kLinkLost) return outcome;
  return outcome == Outcome::kOk && present ? Outcome::kOk : Outcome::kNoCard;
}

Outcome MemoryCardSlot::PowerUp(Bytes& atr) {
  atr.clear();
  std::uint8_t type = 0;
  bool present = false;
  const Outcome outcome = backend_.MemoryInquire(type, present);
  if (outcome != Outcome::kOk) return outcome == Outcome::kLinkLost ? outcome : Outcome::kNoCard;
  if (!present) return Outcome::kNoCard;
  const Outcome powered = backend_.MemoryPowerOn();
  if (powered != Outcome::kOk) return powered == Outcome::kLinkLost ? powered : Outcome::kCardError;
  const auto made = StorageCardAtr(kNoInformation, static_cast<StorageCardName>(kMemoryCardNameBase | type));
  atr.assign(made.begin(), made.end());
  return Outcome::kOk;
}

Outcome MemoryCardSlot::Finish(Outcome step, Bytes& response, std::span<const std::uint8_t> data) {
  switch (step) {
    case Outcome::kOk:
      response.assign(data.begin(), data.end());
      return Status(response, sw::kOk);
    case Outcome::kUnsupported: return Status(response, sw::kFunctionNotSupported);
    case Outcome::kBadRequest: return Status(response, sw::kWrongLength);
    case Outcome::kRefused: {
      const Outcome there = Probe();
      if (there != Outcome::kOk) return there;
      return Status(response, sw::kFailed);
    }
    default: return step;  // no card, the reader gone, a line failure
  }
}

Outcome MemoryCardSlot::Transmit(std::span<const std::uint8_t> apdu, Bytes& response) {
  response.clear();
  if (apdu.size() < 4) return Status(response, sw::kWrongLength);
  if (apdu[0] != kStorageClass) return Status(response, sw::kClaNotSupported);
  std::span<const std::uint8_t> data;
  const bool noParameters = apdu[2] == 0 && apdu[3] == 0;
  switch (apdu[1]) {
    case kSelectType:
      if (!noParameters) return Status(response, sw::kWrongP1P2);
      if (!CommandData(apdu, data) || data.size() != 1) return Status(response, sw::kWrongLength);
      return Finish(backend_.MemorySelectType(data[0]), response);
    case kReadBinary: {
      if (apdu.size() != 5) return Status(response, sw::kWrongLength);
      Bytes read(LeOf(apdu) == 0 ? kMaxRead : LeOf(apdu));
      const Outcome step = backend_.MemoryRead(AddressOf(apdu), read);
      return Finish(step, response, read);
    }
    case kUpdateBinary:
      if (!CommandData(apdu, data)) return Status(response, sw::kWrongLength);
      return Finish(backend_.MemoryWrite(AddressOf(apdu), data), response);
    case kEraseBinary:
      if (!CommandData(apdu, data) || data.size() != 1) return Status(response, sw::kWrongLength);
      return Finish(backend_.MemoryErase(AddressOf(apdu), data[0] == 0 ? kMaxRead : data[0]), response);
    case kVerify:
    case kChangeCode:
      if (!noParameters) return Status(response, sw::kWrongP1P2);
      if (!CommandData(apdu, data)) return Status(response, sw::kWrongLength);
      return Finish(apdu[1] == kVerify ? backend_.MemoryPresentCode(data) : backend_.MemoryChangeCode(data),
                    response);
    case kAttempts: {
      if (!noParameters) return Status(response, sw::kWrongP1P2);
      if (apdu.size() != 5 || (apdu[4] != 0 && apdu[4] != 2)) return Status(response, sw::kWrongLength);
      std::array<std::uint8_t, 2> counter{};
      const Outcome step = backend_.MemoryAttempts(counter);
      return Finish(step, response, counter);
    }
    default: return Status(response, sw::kInsNotSupported);
  }
}

}  // namespace kulve::pcsc

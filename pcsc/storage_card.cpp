// SPDX-License-Identifier: MIT
#include "pcsc/storage_card.h"

#include <algorithm>

#include "pcsc/contactless_atr.h"
#include "pcsc/status_words.h"

namespace kulve::pcsc {
namespace {

constexpr std::uint8_t kGetData = 0xCA;
constexpr std::uint8_t kLoadKey = 0x82;
constexpr std::uint8_t kGeneralAuthenticate = 0x86;
constexpr std::uint8_t kAuthenticateOld = 0x88;
constexpr std::uint8_t kReadBinary = 0xB0;
constexpr std::uint8_t kReadValue = 0xB1;
constexpr std::uint8_t kUpdateBinary = 0xD6;
constexpr std::uint8_t kValueBlock = 0xD7;
constexpr std::uint8_t kKeyTypeA = 0x60;
constexpr std::uint8_t kKeyTypeB = 0x61;

// A value block: the value, its complement and the value again, then the
// address byte, its complement, the address and its complement.
using Block = std::array<std::uint8_t, kMifareBlockSize>;

std::optional<std::int32_t> ValueOf(const Block& b) {
  for (std::size_t i = 0; i < 4; ++i) {
    if (b[i] != b[8 + i] || b[i] != static_cast<std::uint8_t>(~b[4 + i])) return std::nullopt;
  }
  if (b[12] != b[14] || b[13] != b[15] || b[12] != static_cast<std::uint8_t>(~b[13])) return std::nullopt;
  const std::uint32_t v = b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
  return static_cast<std::int32_t>(v);
}

Block ValueBlock(std::uint32_t value, std::uint8_t address) {
  Block b{};
  for (std::size_t i = 0; i < 4; ++i) {
    const auto byte = static_cast<std::uint8_t>(value >> (8 * i));
    b[i] = byte;
    b[4 + i] = static_cast<std::uint8_t>(~byte);
    b[8 + i] = byte;
  }
  b[12] = address;
  b[13] = static_cast<std::uint8_t>(~address);
  b[14] = address;
  b[15] = static_cast<std::uint8_t>(~address);
  return b;
}

std::uint32_t BigEndian32(std::span<const std::uint8_t> b) {
  return (static_cast<std::uint32_t>(b[0]) << 24) | (b[1] << 16) | (b[2] << 8) | b[3];
}

}  // namespace

Outcome StorageCardSlot::PowerUp(Bytes& atr) {
  atr.clear();
  PowerDown();
  std::array<std::uint8_t, 2> atqa{};
  Uid uid{};
  Outcome step = backend_.MifareWake(atqa);
  if (step == Outcome::kOk) step = backend_.MifareAnticollision(uid);
  if (step == Outcome::kOk) step = backend_.MifareSelect(uid);
  if (step != Outcome::kOk) return step == Outcome::kRefused ? Outcome::kNoCard : step;
  uid_ = uid;
  atqa_ = atqa;
  const auto made = StorageCardAtr(kStandardIso14443APart3, NameFromAtqa(atqa[0], atqa[1]));
  atr.assign(made.begin(), made.end());
  return Outcome::kOk;
}

void StorageCardSlot::PowerDown() {
  uid_.reset();
  authenticatedSector_.reset();
  needsReselect_ = false;
}

Outcome StorageCardSlot::Probe() {
  std::array<std::uint8_t, 2> atqa{};
  const Outcome step = backend_.MifareWake(atqa);
  return step == Outcome::kRefused ? Outcome::kNoCard : step;
}

Outcome StorageCardSlot::Confirm() {
  if (!uid_) return Outcome::kNoCard;
  if (authenticatedSector_ && !needsReselect_) {
    // Only the card authenticated answers a read in its sector: that keeps
    // the authentication where waking the card would lose it.
    Block block{};
    const int sector = *authenticatedSector_;
    const auto first = static_cast<std::uint8_t>(sector < 32 ? sector * 4 : 128 + (sector - 32) * 16);
    const Outcome step = backend_.MifareRead(first, block);
    if (step == Outcome::kOk || step == Outcome::kLinkLost) return step;
    if (step == Outcome::kNoCard) return step;
  }
  authenticatedSector_.reset();
  needsReselect_ = true;
  return Reselect();
}

Outcome StorageCardSlot::Transmit(std::span<const std::uint8_t> apdu, Bytes& response) {
  response.clear();
  if (apdu.size() < 4) return Status(response, sw::kWrongLength);
  if (apdu[0] != kStorageClass) return Status(response, sw::kClaNotSupported);
  std::span<const std::uint8_t> data;
  switch (apdu[1]) {
    case kGetData: return GetData(apdu, response);
    case kLoadKey: return LoadKey(apdu, response);
    case kGeneralAuthenticate:
      if (apdu[2] != 0 || apdu[3] != 0) return Status(response, sw::kWrongP1P2);
      if (!CommandData(apdu, data) || data.size() != 5) return Status(response, sw::kWrongLength);
      if (data[0] != 0x01 || data[1] != 0x00) return Status(response, sw::kWrongP1P2);
      return Authenticate(data[2], data[3], data[4], response);
    case kAuthenticateOld:
      if (apdu.size() != 6 || apdu[2] != 0) return Status(response, sw::kWrongP1P2);
      return Authenticate(apdu[3], apdu[4], apdu[5], response);
    case kReadBinary: return ReadBlocks(apdu, response);
    case kUpdateBinary: return UpdateBlock(apdu, response);
    case kReadValue: return ReadValue(apdu, response);
    case kValueBlock: return ValueOperation(apdu, response);
    default: return Status(response, sw::kInsNotSupported);
  }
}

Outcome StorageCardSlot::GetData(std::span<const std::uint8_t> apdu, Bytes& response) {
  if (apdu.size() > 5) return Status(response, sw::kWrongLength);
  // No ATS (not an ISO/IEC 14443-4 card). The reader's select answers no
  // SAK: it is the one the card type (told by the ATQA) answers.
  if (apdu[2] > 0x03 || apdu[3] != 0x00) return Status(response, sw::kWrongP1P2);
  const std::optional<std::uint8_t> sak = SakOf(NameFromAtqa(atqa_[0], atqa_[1]));
  if (apdu[2] == 0x01 || (apdu[2] == 0x02 && uid_ && !sak)) return Status(response, sw::kFunctionNotSupported);
  if (!uid_) return Outcome::kNoCard;
  Bytes value;
  switch (apdu[2]) {
    case 0x02: value.push_back(*sak); break;
    case 0x03: value.assign({atqa_[1], atqa_[0]}); break;
    default: value.assign(uid_->begin(), uid_->end()); break;
  }
  const std::size_t le = LeOf(apdu);
  if (le != 0 && le < value.size()) return Status(response, static_cast<std::uint16_t>(sw::kWrongLe | value.size()));
  response = value;
  return Status(response, le > value.size() ? sw::kEndOfData : sw::kOk);
}

Outcome StorageCardSlot::LoadKey(std::span<const std::uint8_t> apdu, Bytes& response) {
  const std::uint8_t structure = apdu[2];
  if (structure & 0x80) return Status(response, sw::kReaderKeyNotSupported);
  if (structure & 0x10) return Status(response, sw::kSecuredNotSupported);
  if ((structure & ~0x20) != 0) return Status(response, sw::kWrongP1P2);
  if (apdu[3] >= kKeyCount) return Status(response, sw::kKeyNumberNotValid);
  std::span<const std::uint8_t> data;
  if (!CommandData(apdu, data) || data.size() != kMifareKeySize) return Status(response, sw::kKeyLengthNotCorrect);
  Key key{};
  std::copy(data.begin(), data.end(), key.begin());
  keys_[apdu[3]] = key;
  return Status(response, sw::kOk);
}

Outcome StorageCardSlot::Reselect() {
  std::array<std::uint8_t, 2> atqa{};
  Uid uid{};
  Outcome step = backend_.MifareWake(atqa);
  if (step == Outcome::kOk) step = backend_.MifareAnticollision(uid);
  if (step == Outcome::kOk && uid != *uid_) return Outcome::kNoCard;  // another card took its place
  if (step == Outcome::kOk) step = backend_.MifareSelect(uid);
  if (step == Outcome::kRefused) return Outcome::kNoCard;
  if (step == Outcome::kOk) needsReselect_ = false;
  return step;
}

Outcome StorageCardSlot::Authenticate(std::uint8_t block, std::uint8_t keyType, std::uint8_t number, Bytes& response) {
  if (keyType != kKeyTypeA && keyType != kKeyTypeB) return Status(response, sw::kWrongP1P2);
  if (number >= kKeyCount || !keys_[number]) return Status(response, sw::kKeyNumberNotValid);
  if (!uid_) return Outcome::kNoCard;
  authenticatedSector_.reset();
  if (needsReselect_) {
    const Outcome step = Reselect();
    if (step != Outcome::kOk) return step;
  }
  const MifareKeyType type = keyType == kKeyTypeA ? MifareKeyType::kA : MifareKeyType::kB;
  Outcome step = backend_.MifareLoadKey(type, number, *keys_[number]);
  if (step == Outcome::kOk) step = backend_.MifareAuthenticate(type, block, number);
  if (step == Outcome::kOk) {
    authenticatedSector_ = SectorOf(block);
  } else if (step == Outcome::kRefused || step == Outcome::kCardError || step == Outcome::kNoCard) {
    // A card that refuses a key goes quiet until it is woken and selected
    // again; one that has gone shows up then.
    needsReselect_ = true;
    if (step == Outcome::kNoCard) {
      const Outcome again = Reselect();
      if (again != Outcome::kOk) return again;
    }
    return Status(response, sw::kFailed);
  }
  return Finish(step, response);
}

bool StorageCardSlot::Authenticated(std::uint8_t block) const {
  return authenticatedSector_ && *authenticatedSector_ == SectorOf(block) && !needsReselect_;
}

Outcome StorageCardSlot::Finish(Outcome step, Bytes& response, std::span<const std::uint8_t> data) {
  switch (step) {
    case Outcome::kOk:
      response.assign(data.begin(), data.end());
      return Status(response, sw::kOk);
    case Outcome::kNoCard:
    case Outcome::kLinkLost:
      return step;
    default:
      return Status(response, sw::kFailed);
  }
}

Outcome StorageCardSlot::ReadBlocks(std::span<const std::uint8_t> apdu, Bytes& response) {
  if (apdu.size() != 5) return Status(response, sw::kWrongLength);
  if (apdu[2] != 0) return Status(response, sw::kWrongP1P2);
  const std::size_t le = apdu[4];
  if (le != 0 && le != kMifareBlockSize) return Status(response, static_cast<std::uint16_t>(sw::kWrongLe | kMifareBlockSize));
  if (!Authenticated(apdu[3])) return Status(response, sw::kSecurityNotSatisfied);
  Block block{};
  return Finish(backend_.MifareRead(apdu[3], block), response, block);
}

Outcome StorageCardSlot::UpdateBlock(std::span<const std::uint8_t> apdu, Bytes& response) {
  std::span<const std::uint8_t> data;
  if (!CommandData(apdu, data) || data.size() != kMifareBlockSize) return Status(response, sw::kWrongLength);
  if (apdu[2] != 0) return Status(response, sw::kWrongP1P2);
  if (!Authenticated(apdu[3])) return Status(response, sw::kSecurityNotSatisfied);
  return Finish(backend_.MifareWrite(apdu[3], data.first<kMifareBlockSize>()), response);
}

Outcome StorageCardSlot::ReadValue(std::span<const std::uint8_t> apdu, Bytes& response) {
  if (apdu.size() != 5) return Status(response, sw::kWrongLength);
  if (apdu[2] != 0) return Status(response, sw::kWrongP1P2);
  if (apdu[4] != 0 && apdu[4] != 4) return Status(response, static_cast<std::uint16_t>(sw::kWrongLe | 4));
  if (!Authenticated(apdu[3])) return Status(response, sw::kSecurityNotSatisfied);
  Block block{};
  const Outcome step = backend_.MifareRead(apdu[3], block);
  if (step != Outcome::kOk) return Finish(step, response);
  const auto value = ValueOf(block);
  if (!value) return Status(response, sw::kFailed);
  const auto v = static_cast<std::uint32_t>(*value);
  const std::array<std::uint8_t, 4> bytes{static_cast<std::uint8_t>(v >> 24), static_cast<std::uint8_t>(v >> 16),
                                          static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)};
  return Finish(Outcome::kOk, response, bytes);
}

Outcome StorageCardSlot::ValueOperation(std::span<const std::uint8_t> apdu, Bytes& response) {
  std::span<const std::uint8_t> data;
  if (!CommandData(apdu, data)) return Status(response, sw::kWrongLength);
  if (apdu[2] != 0) return Status(response, sw::kWrongP1P2);
  const std::uint8_t block = apdu[3];
  if (!Authenticated(block)) return Status(response, sw::kSecurityNotSatisfied);
  if (data.size() == 2 && data[0] == 0x03) {  // restore into another block of the sector
    const std::uint8_t target = data[1];
    if (!Authenticated(target)) return Status(response, sw::kSecurityNotSatisfied);
    Block source{};
    const Outcome step = backend_.MifareRead(block, source);
    if (step != Outcome::kOk) return Finish(step, response);
    if (!ValueOf(source)) return Status(response, sw::kFailed);
    return Finish(backend_.MifareWrite(target, source), response);
  }
  if (data.size() != 5) return Status(response, sw::kWrongLength);
  const std::uint32_t value = BigEndian32(data.subspan(1));
  switch (data[0]) {
    case 0x00: return Finish(backend_.MifareWrite(block, ValueBlock(value, block)), response);
    case 0x01: return Finish(backend_.MifareIncrement(block, value), response);
    case 0x02: return Finish(backend_.MifareDecrement(block, value), response);
    default: return Status(response, sw::kWrongP1P2);
  }
}

}  // namespace kulve::pcsc

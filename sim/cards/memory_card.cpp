// SPDX-License-Identifier: MIT
#include "sim/cards/memory_card.h"

#include <algorithm>

namespace kulve::sim {
namespace {

constexpr int kAnyNumber = -1;

struct KeyRule {
  int number = kAnyNumber;
  std::uint8_t length = 0;  // 0: no such rule
};

// What the card of each type is made of.
struct TypeFacts {
  int first;
  int last;
  CardSecurity security;
  std::uint8_t codeAddress = 0;  // kCodeInCardMemory
  std::uint8_t codeLength = 0;
  std::uint16_t pageSize = 256;
  bool hasId = false;
  std::uint8_t idAddress = 0;
  std::array<std::uint8_t, 2> id{};
  std::array<KeyRule, 2> keys{};
};

using enum CardSecurity;

constexpr TypeFacts kFacts[] = {
    {0, 0, kCodeInCardMemory, 8, 2, 256, true, 0, {0xB7, 0xA0}, {{{kAnyNumber, 4}}}},
    {1, 1, kNone, 0, 0, 256, true, 6, {0x81, 0x05}},
    {2, 2, kSecurityMemory, 0, 3, 256, true, 6, {0x81, 0x15}},
    {3, 3, kNone, 0, 0, 256, true, 6, {0x81, 0x03}},
    {4, 4, kSecurityMemory, 0, 2, 256, true, 6, {0x81, 0x13}},
    {5, 9, kHiddenCode, 0, 2},
    {15, 15, kCodeInCardMemory, 10, 2, 256, false, 0, {}, {{{kAnyNumber, 4}}}},
    {16, 16, kCodeInCardMemory, 10, 2, 256, false, 0, {}, {{{4, 6}, {5, 4}}}},
    {17, 17, kCodeInCardMemory, 10, 2},
    {18, 18, kHiddenCode, 0, 2},
    {21, 21, kNone, 0, 0, 264},
    {25, 26, kZoned, 0, 2, 256, false, 0, {}, {{{kAnyNumber, 2}}}},
    {27, 29, kHiddenCode, 0, 2},
};
constexpr TypeFacts kPlain{0, 255, kNone};

const TypeFacts& FactsOf(std::uint8_t type) {
  for (const TypeFacts& f : kFacts) {
    if (type >= f.first && type <= f.last) return f;
  }
  return kPlain;
}

bool InRange(std::size_t address, std::size_t n, std::size_t size) { return address <= size && n <= size - address; }

Reply Status(std::uint8_t code, std::vector<std::uint8_t> data = {}) { return Reply{code, std::move(data)}; }

}  // namespace

MemoryCard::MemoryCard(std::uint8_t type) : type_(type), memory_(kMemorySize, 0xFF) {
  const TypeFacts& f = FactsOf(type);
  if (f.hasId) std::copy(f.id.begin(), f.id.end(), memory_.begin() + f.idAddress);
  if (f.security == kCodeInCardMemory) {
    SetAttemptsLeft(kAttempts);
  } else if (HasCode()) {
    security_.assign(1 + f.codeLength, 0xFF);
    security_[0] = kAttempts;
  }
  for (auto& code : zoneCodes_) code = {0xFF, 0xFF};
}

CardSecurity MemoryCard::Security() const { return FactsOf(type_).security; }
std::size_t MemoryCard::PageSize() const { return FactsOf(type_).pageSize; }
std::size_t MemoryCard::CodeLength() const { return FactsOf(type_).codeLength; }

std::size_t MemoryCard::EraseKeyLength(std::uint8_t number) const {
  for (const KeyRule& rule : FactsOf(type_).keys) {
    if (rule.length != 0 && (rule.number == kAnyNumber || rule.number == number)) return rule.length;
  }
  return 0;
}

bool MemoryCard::HasSecurityMemory() const { return Security() == kSecurityMemory || Security() == kZoned; }

std::uint8_t* MemoryCard::CodeBytes() {
  return Security() == kCodeInCardMemory ? memory_.data() + FactsOf(type_).codeAddress : security_.data() + 1;
}
const std::uint8_t* MemoryCard::CodeBytes() const { return const_cast<MemoryCard*>(this)->CodeBytes(); }

bool MemoryCard::IsIdentification(std::size_t address) const {
  const TypeFacts& f = FactsOf(type_);
  return f.hasId && (address == f.idAddress || address == f.idAddress + 1u);
}

std::uint8_t MemoryCard::ZoneCheck(std::size_t address, std::size_t n, std::uint8_t bit) const {
  if (Security() != kZoned || n == 0) return status::kOk;
  for (std::size_t z = address / kZoneSize; z <= (address + n - 1) / kZoneSize; ++z) {
    if ((zoneAccess_[z] & bit) != 0 && !zoneOpen_[z]) return memcard_status::kNeedsCode;
  }
  return status::kOk;
}

// Bytes as the reader reads them: codes read as 0 until presented.
std::vector<std::uint8_t> MemoryCard::Visible(std::uint8_t area, std::size_t address, std::size_t n) const {
  const bool cardMemory = area == kCardMemoryArea;
  const std::vector<std::uint8_t>& source = cardMemory ? memory_ : security_;
  std::vector<std::uint8_t> bytes(source.begin() + static_cast<std::ptrdiff_t>(address),
                                  source.begin() + static_cast<std::ptrdiff_t>(address + n));
  if (codePresented_) return bytes;
  std::size_t codeStart = 1;  // after the attempts byte of the security memory
  if (cardMemory) {
    if (Security() != kCodeInCardMemory) return bytes;
    codeStart = FactsOf(type_).codeAddress;
  }
  for (std::size_t i = 0; i < n; ++i) {
    if (address + i >= codeStart && address + i < codeStart + CodeLength()) bytes[i] = 0;
  }
  return bytes;
}

Reply MemoryCard::Read(std::uint8_t area, std::size_t address, std::size_t n) const {
  if (area == kCardMemoryArea) {
    if (!InRange(address, n, memory_.size())) return Refuse(status::kBadParameter);
    if (const std::uint8_t refused = ZoneCheck(address, n, 0x01); refused != status::kOk) return Refuse(refused);
    return Ok(Visible(area, address, n));
  }
  if (area == kSecurityMemoryArea && HasSecurityMemory() && InRange(address, n, security_.size())) {
    return Ok(Visible(area, address, n));
  }
  return Refuse(status::kBadParameter);
}

Reply MemoryCard::Write(std::uint8_t area, std::size_t address, std::span<const std::uint8_t> bytes) {
  if (area == kCardMemoryArea) {
    if (!InRange(address, bytes.size(), memory_.size())) return Refuse(status::kBadParameter);
    if (HasCode() && !codePresented_) return Refuse(memcard_status::kNeedsCode);
    if (const std::uint8_t refused = ZoneCheck(address, bytes.size(), 0x02); refused != status::kOk) {
      return Refuse(refused);
    }
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      if (!IsIdentification(address + i)) memory_[address + i] = bytes[i];
    }
    return Ok();
  }
  if (area == kSecurityMemoryArea && HasSecurityMemory() && InRange(address, bytes.size(), security_.size())) {
    if (!codePresented_) return Refuse(memcard_status::kNeedsCode);
    std::copy(bytes.begin(), bytes.end(), security_.begin() + static_cast<std::ptrdiff_t>(address));
    return Ok();
  }
  return Refuse(status::kBadParameter);
}

Reply MemoryCard::Erase(std::size_t address, std::size_t n) {
  if (!InRange(address, n, memory_.size())) return Refuse(status::kBadParameter);
  if (HasCode() && !codePresented_ && !eraseKeyPresented_) return Refuse(memcard_status::kNeedsCode);
  if (const std::uint8_t refused = ZoneCheck(address, n, 0x02); refused != status::kOk) return Refuse(refused);
  for (std::size_t i = 0; i < n; ++i) {
    if (!IsIdentification(address + i)) memory_[address + i] = 0xFF;
  }
  return Ok(Visible(kCardMemoryArea, address, n));
}

Reply MemoryCard::ReadSecurityMemory() const {
  if (!HasSecurityMemory()) return Refuse(status::kBadParameter);
  return Ok(Visible(kSecurityMemoryArea, 0, security_.size()));
}

Reply MemoryCard::PresentCode(std::span<const std::uint8_t> code) {
  if (!HasCode()) return Refuse(status::kCardRefused);
  if (code.size() != CodeLength()) return Refuse(status::kBadLength);
  const unsigned attempts = AttemptsLeft();
  if (attempts == 0) return Status(memcard_status::kNoAttemptsLeft, {0});
  if (!std::equal(code.begin(), code.end(), CodeBytes())) {
    SetAttemptsLeft(attempts - 1);
    codePresented_ = false;
    return Status(memcard_status::kWrongCode, {static_cast<std::uint8_t>(attempts - 1)});
  }
  codePresented_ = true;
  SetAttemptsLeft(kAttempts);
  if (Security() == kCodeInCardMemory) return Ok(Visible(kCardMemoryArea, FactsOf(type_).codeAddress, 4));
  return Ok();
}

Reply MemoryCard::ChangeCode(std::span<const std::uint8_t> code) {
  if (!HasSecurityMemory()) return Refuse(status::kBadParameter);
  if (code.size() != CodeLength()) return Refuse(status::kBadLength);
  if (!codePresented_) return Refuse(memcard_status::kNeedsCode);
  SetCode(code);
  return Ok();
}

Reply MemoryCard::PresentEraseKey(std::uint8_t number, std::span<const std::uint8_t> key) {
  const std::size_t length = EraseKeyLength(number);
  if (length == 0) return Refuse(status::kBadParameter);
  if (key.size() != length) return Refuse(status::kBadLength);
  const auto stored = eraseKeys_.find(number);
  const bool match = stored == eraseKeys_.end()
                         ? std::all_of(key.begin(), key.end(), [](std::uint8_t b) { return b == 0xFF; })
                         : std::equal(key.begin(), key.end(), stored->second.begin(), stored->second.end());
  if (!match) return Refuse(memcard_status::kWrongCode);
  eraseKeyPresented_ = true;
  return Ok();
}

Reply MemoryCard::PresentZoneCode(std::uint8_t zone, std::span<const std::uint8_t> code) {
  if (Security() != kZoned) return Refuse(status::kCardRefused);
  if (zone >= kZoneCount) return Refuse(status::kBadParameter);
  if (code.size() != 2) return Refuse(status::kBadLength);
  if (!std::equal(code.begin(), code.end(), zoneCodes_[zone].begin())) return Refuse(memcard_status::kWrongCode);
  zoneOpen_[zone] = true;
  return Ok();
}

Reply MemoryCard::SetZoneAccess(std::uint8_t zone, std::uint8_t access) {
  if (Security() != kZoned) return Refuse(status::kCardRefused);
  if (zone >= kZoneCount) return Refuse(status::kBadParameter);
  if (!codePresented_) return Refuse(memcard_status::kNeedsCode);
  zoneAccess_[zone] = access;
  return Ok();
}

Reply MemoryCard::Fuse(std::uint8_t value) {
  lastFuse_ = value;
  ++fuseCount_;
  return Ok();
}

void MemoryCard::Lock() {
  codePresented_ = false;
  eraseKeyPresented_ = false;
  zoneOpen_.fill(false);
}

std::vector<std::uint8_t> MemoryCard::Code() const {
  if (!HasCode()) return {};
  return {CodeBytes(), CodeBytes() + CodeLength()};
}

void MemoryCard::SetCode(std::span<const std::uint8_t> code) {
  if (HasCode()) std::copy_n(code.begin(), std::min(code.size(), CodeLength()), CodeBytes());
}

unsigned MemoryCard::AttemptsLeft() const {
  if (Security() == kCodeInCardMemory) {
    const std::size_t at = FactsOf(type_).codeAddress + 2u;
    return (unsigned{memory_[at]} << 8) | memory_[at + 1];
  }
  return security_.empty() ? 0 : security_[0];
}

void MemoryCard::SetAttemptsLeft(unsigned attempts) {
  if (Security() == kCodeInCardMemory) {
    const std::size_t at = FactsOf(type_).codeAddress + 2u;
    memory_[at] = static_cast<std::uint8_t>(std::min(attempts, 0xFFFFu) >> 8);
    memory_[at + 1] = static_cast<std::uint8_t>(std::min(attempts, 0xFFFFu) & 0xFF);
  } else if (!security_.empty()) {
    security_[0] = static_cast<std::uint8_t>(std::min(attempts, 0xFFu));
  }
}

void MemoryCard::SetEraseKey(std::uint8_t number, std::span<const std::uint8_t> key) {
  eraseKeys_[number].assign(key.begin(), key.end());
}

void MemoryCard::SetZoneCode(std::uint8_t zone, std::array<std::uint8_t, 2> code) { zoneCodes_.at(zone) = code; }

void InsertMemoryCard(ReaderState& state, std::uint8_t type) {
  state.memoryCard = std::make_unique<MemoryCard>(type);
  state.slotState = 1;
}

void RemoveMemoryCard(ReaderState& state) {
  state.memoryCard.reset();
  state.slotState = 0;
}

}  // namespace kulve::sim

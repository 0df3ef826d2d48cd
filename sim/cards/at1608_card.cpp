// SPDX-License-Identifier: MIT
#include "sim/cards/at1608_card.h"

#include <algorithm>
#include <memory>

namespace kulve::sim {
namespace {

constexpr std::array<std::uint8_t, 8> kIdentificationBytes{0x4B, 0x31, 0x36, 0x30, 0x38, 0x00, 0x00, 0x01};
constexpr std::uint8_t kReadNeedsPassword = 0x01;
constexpr std::uint8_t kWriteNeedsPassword = 0x02;
constexpr std::size_t kConfigWriteSet = 7;  // its write password opens the configuration zone
constexpr std::size_t kReadPasswordBit = 8;

bool InRange(std::size_t address, std::size_t n, std::size_t size) { return address <= size && n <= size - address; }

// One attempt fewer: the lowest one-bit goes.
std::uint8_t UseAttempt(std::uint8_t attemptsByte) {
  return static_cast<std::uint8_t>(attemptsByte & (attemptsByte - 1));
}

}  // namespace

At1608Card::At1608Card(const At1608Block& seed) {
  for (std::size_t z = 0; z < kUserZones; ++z) zones_[z].assign(kUserZoneSize, 0xFF);
  auto& c = config();
  c.assign(kConfigSize, 0xFF);
  std::copy(kIdentificationBytes.begin(), kIdentificationBytes.end(), c.begin() + kIdentification);
  for (std::size_t z = 0; z < kUserZones; ++z) {
    c[kAccessBytes + z] = z == kUserZones - 1 ? kReadNeedsPassword | kWriteNeedsPassword : kWriteNeedsPassword;
  }
  c[kAuthAttempts] = kFullAttempts;
  SetCryptogram({0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE});
  SetBlock(kSeed, seed);
  for (std::uint8_t i = 0; i < kPasswordCount; ++i) c[PasswordRecord(i)] = kFullAttempts;
}

At1608Block At1608Card::Block(std::size_t at) const {
  At1608Block block{};
  std::copy_n(config().begin() + static_cast<std::ptrdiff_t>(at), block.size(), block.begin());
  return block;
}

void At1608Card::SetBlock(std::size_t at, const At1608Block& block) {
  std::copy(block.begin(), block.end(), config().begin() + static_cast<std::ptrdiff_t>(at));
}

std::uint8_t At1608Card::AccessCheck(std::uint8_t zone, bool write) const {
  if (zone == kConfigZone) return !write || WriteOpen(kConfigWriteSet) ? status::kOk : at1608_status::kNeedsPassword;
  const std::uint8_t access = config()[kAccessBytes + zone];
  if (write) return (access & kWriteNeedsPassword) == 0 || WriteOpen(zone) ? status::kOk : at1608_status::kNeedsPassword;
  return (access & kReadNeedsPassword) == 0 || ReadOpen(zone) ? status::kOk : at1608_status::kNeedsPassword;
}

bool At1608Card::Hidden(std::size_t address) const {
  if (address >= kSeed && address < kSeed + 8) return true;
  const bool passwordByte = address >= kPasswords && (address - kPasswords) % 4 != 0;
  return passwordByte && !WriteOpen(kConfigWriteSet);
}

Reply At1608Card::Read(std::uint8_t zone, std::size_t address, std::size_t n) const {
  if (zone > kConfigZone || !InRange(address, n, zones_[zone].size())) return Refuse(status::kBadParameter);
  if (const std::uint8_t refused = AccessCheck(zone, false); refused != status::kOk) return Refuse(refused);
  std::vector<std::uint8_t> bytes(n);
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t at = address + i;
    bytes[i] = zone == kConfigZone && Hidden(at) ? 0 : zones_[zone][at];
  }
  return Ok(std::move(bytes));
}

Reply At1608Card::Write(std::uint8_t zone, std::size_t address, std::span<const std::uint8_t> bytes) {
  if (zone > kConfigZone || !InRange(address, bytes.size(), zones_[zone].size())) return Refuse(status::kBadParameter);
  if (const std::uint8_t refused = AccessCheck(zone, true); refused != status::kOk) return Refuse(refused);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const std::size_t at = address + i;
    const bool readOnly = zone == kConfigZone && at < kIdentification + kIdentificationBytes.size();
    if (!readOnly) zones_[zone][at] = bytes[i];
  }
  return Ok();
}

Reply At1608Card::PresentPassword(std::uint8_t index, std::span<const std::uint8_t, kPasswordLength> password) {
  if (index >= kPasswordCount) return Refuse(status::kBadParameter);
  std::uint8_t& attempts = config()[PasswordRecord(index)];
  if (attempts == 0) return Reply{at1608_status::kLocked, {0x00}};
  const auto stored = config().begin() + static_cast<std::ptrdiff_t>(PasswordRecord(index) + 1);
  if (!std::equal(password.begin(), password.end(), stored)) {
    attempts = UseAttempt(attempts);
    presented_[index] = false;
    return Reply{at1608_status::kWrongPassword, {attempts}};
  }
  attempts = kFullAttempts;
  presented_[index] = true;
  return Ok({attempts});
}

// Answered with status 0 whatever the verdict: the attempts byte, then the
// cryptogram as it stands afterwards. On a right host answer that is the
// card's own answer; otherwise the unchanged cryptogram, which a host
// holding the wrong seed cannot have expected.
Reply At1608Card::Authenticate(const At1608Block& challenge, const At1608Block& hostAnswer) {
  std::uint8_t& attempts = config()[kAuthAttempts];
  if (attempts != 0) {
    const At1608Answers answers = At1608ExpectedAnswers(Cryptogram(), challenge, Seed());
    if (hostAnswer == answers.host) {
      attempts = kFullAttempts;
      SetCryptogram(answers.card);
    } else {
      attempts = UseAttempt(attempts);
    }
  }
  const At1608Block cryptogram = Cryptogram();
  std::vector<std::uint8_t> reply{attempts};
  reply.insert(reply.end(), cryptogram.begin(), cryptogram.end());
  return Ok(std::move(reply));
}

std::optional<At1608Block> ParseAt1608Seed(std::string_view text) {
  auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  At1608Block seed{};
  if (text.size() != 2 * seed.size()) return std::nullopt;
  for (std::size_t i = 0; i < seed.size(); ++i) {
    const int high = digit(text[2 * i]);
    const int low = digit(text[2 * i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    seed[i] = static_cast<std::uint8_t>(high << 4 | low);
  }
  return seed;
}

void InsertAt1608Card(ReaderState& state, const At1608Block& seed) {
  state.at1608Card = std::make_unique<At1608Card>(seed);
  state.slotState = 1;
}

void RemoveAt1608Card(ReaderState& state) {
  state.at1608Card.reset();
  if (!state.memoryCard) state.slotState = 0;
}

}  // namespace kulve::sim

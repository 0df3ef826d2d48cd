// SPDX-License-Identifier: MIT
#include "sim/cards/mifare_classic.h"

#include <algorithm>
#include <limits>

namespace kulve::sim {
namespace {

using namespace mifare_status;
constexpr std::uint8_t kOk = 0;
constexpr std::uint8_t kGeneralPurposeByte = 0x69;

// Trailer fields: bytes, and the operation that writes them.
struct TrailerField {
  std::size_t first;
  std::size_t count;
  TrailerOp write;
};
constexpr TrailerField kTrailerFields[] = {
    {0, 6, TrailerOp::kWriteKeyA}, {6, 4, TrailerOp::kWriteAccess}, {10, 6, TrailerOp::kWriteKeyB}};

AccessBytes AccessBytesOf(const MifareBlock& trailer) { return {trailer[6], trailer[7], trailer[8]}; }

std::uint32_t Le32(const MifareBlock& b, std::size_t at) {
  return std::uint32_t{b[at]} | std::uint32_t{b[at + 1]} << 8 | std::uint32_t{b[at + 2]} << 16 |
         std::uint32_t{b[at + 3]} << 24;
}

void PutLe32(MifareBlock& b, std::size_t at, std::uint32_t v) {
  for (std::size_t i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace

MifareClassicCard::MifareClassicCard(const MifareUid& uid, bool fourK)
    : uid_(uid), blocks_(fourK ? k4kBlockCount : kBlockCount) {
  MifareBlock& maker = blocks_[0];
  std::copy(uid.begin(), uid.end(), maker.begin());
  maker[4] = static_cast<std::uint8_t>(uid[0] ^ uid[1] ^ uid[2] ^ uid[3]);
  maker[5] = Sak();
  maker[6] = Atqa()[0];
  maker[7] = Atqa()[1];
  const char* makerData = "KULVESIM";
  std::copy_n(makerData, 8, maker.begin() + 8);
  for (std::size_t sector = 0; sector < SectorCount(); ++sector)
    SetTrailer(sector, kTransportKey, kTransportConditions, kTransportKey);
}

void MifareClassicCard::SetTrailer(std::size_t sector, const MifareKey& keyA, const AccessConditions& conditions,
                                   const MifareKey& keyB) {
  MifareBlock& trailer = blocks_.at(TrailerOf(sector));
  const AccessBytes access = EncodeAccess(conditions);
  std::copy(keyA.begin(), keyA.end(), trailer.begin());
  std::copy(access.begin(), access.end(), trailer.begin() + 6);
  trailer[9] = kGeneralPurposeByte;
  std::copy(keyB.begin(), keyB.end(), trailer.begin() + 10);
}

bool MifareClassicCard::Request(bool wakeHalted) {
  if (state_ == State::kIdle || (wakeHalted && state_ == State::kHalted)) state_ = State::kReady;
  return state_ == State::kReady;
}

bool MifareClassicCard::Select(const MifareUid& uid) {
  if (state_ != State::kReady || uid != uid_) return false;
  state_ = State::kActive;
  authSector_.reset();
  transfer_.reset();
  return true;
}

void MifareClassicCard::Deselect() {
  if (state_ == State::kReady || state_ == State::kActive) state_ = State::kIdle;
  authSector_.reset();
}

bool MifareClassicCard::Halt() {
  if (state_ != State::kActive) return false;
  state_ = State::kHalted;
  authSector_.reset();
  return true;
}

std::uint8_t MifareClassicCard::Condition(std::size_t block) const {
  const auto conditions = DecodeAccess(AccessBytesOf(blocks_[TrailerOf(SectorOf(block))]));
  // A locked sector (see Locked) allows nothing.
  return conditions ? (*conditions)[GroupOf(block)] : 7;
}

bool MifareClassicCard::Locked(std::size_t sector) const {
  return !DecodeAccess(AccessBytesOf(blocks_[TrailerOf(sector)]));
}

std::uint8_t MifareClassicCard::CheckSession(std::size_t block) const {
  if (state_ != State::kActive) return kNoCard;
  if (block >= blocks_.size()) return kAccessDenied;
  if (authSector_ != SectorOf(block)) return kNotAuthenticated;
  if (Locked(SectorOf(block))) return kAccessDenied;
  if (authKey_ == KeyType::kB && KeyBIsData(Condition(TrailerOf(SectorOf(block))))) return kAccessDenied;
  return kOk;
}

std::uint8_t MifareClassicCard::CheckData(std::size_t block, DataOp op) const {
  if (const std::uint8_t status = CheckSession(block); status != kOk) return status;
  if (IsTrailer(block)) return kAccessDenied;  // trailers have rules of their own
  if (block == 0 && op != DataOp::kRead) return kAccessDenied;
  return DataBlockAllows(Condition(block), op, authKey_) ? kOk : kAccessDenied;
}

std::uint8_t MifareClassicCard::Authenticate(std::size_t block, KeyType key, const MifareKey& value) {
  if (state_ != State::kActive) return kNoCard;
  if (block >= blocks_.size()) return kAccessDenied;
  const MifareBlock& trailer = blocks_[TrailerOf(SectorOf(block))];
  const std::size_t offset = key == KeyType::kA ? 0 : 10;
  if (Locked(SectorOf(block)) ||
      !std::equal(value.begin(), value.end(), trailer.begin() + static_cast<std::ptrdiff_t>(offset))) {
    state_ = State::kIdle;
    authSector_.reset();
    return kAuthFailed;
  }
  authSector_ = SectorOf(block);
  authKey_ = key;
  return kOk;
}

std::uint8_t MifareClassicCard::Read(std::size_t block, MifareBlock& out) const {
  if (!IsTrailer(block)) {
    if (const std::uint8_t status = CheckData(block, DataOp::kRead); status != kOk) return status;
    out = blocks_[block];
    return kOk;
  }
  if (const std::uint8_t status = CheckSession(block); status != kOk) return status;
  const std::uint8_t condition = Condition(block);
  if (!TrailerAllows(condition, TrailerOp::kReadAccess, authKey_)) return kAccessDenied;
  out = blocks_[block];
  std::fill_n(out.begin(), 6, std::uint8_t{0});  // key A never shows
  if (!TrailerAllows(condition, TrailerOp::kReadKeyB, authKey_)) std::fill_n(out.begin() + 10, 6, std::uint8_t{0});
  return kOk;
}

std::uint8_t MifareClassicCard::Write(std::size_t block, const MifareBlock& data) {
  if (IsTrailer(block)) return WriteTrailer(block, data);
  if (const std::uint8_t status = CheckData(block, DataOp::kWrite); status != kOk) return status;
  blocks_[block] = data;
  return kOk;
}

std::uint8_t MifareClassicCard::WriteTrailer(std::size_t block, const MifareBlock& data) {
  if (const std::uint8_t status = CheckSession(block); status != kOk) return status;
  const std::uint8_t condition = Condition(block);
  MifareBlock updated = blocks_[block];
  bool any = false;
  for (const TrailerField& field : kTrailerFields) {
    if (!TrailerAllows(condition, field.write, authKey_)) continue;
    std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(field.first), field.count,
                updated.begin() + static_cast<std::ptrdiff_t>(field.first));
    any = true;
  }
  if (!any) return kAccessDenied;
  blocks_[block] = updated;
  return kOk;
}

std::optional<std::int32_t> MifareClassicCard::ValueOf(const MifareBlock& b) {
  const std::uint32_t v = Le32(b, 0);
  if (Le32(b, 4) != ~v || Le32(b, 8) != v) return std::nullopt;
  if (b[12] != b[14] || b[13] != b[15] || b[12] != static_cast<std::uint8_t>(~b[13])) return std::nullopt;
  return static_cast<std::int32_t>(v);
}

MifareBlock MifareClassicCard::ValueBlock(std::int32_t value, std::uint8_t address) {
  MifareBlock b{};
  const auto v = static_cast<std::uint32_t>(value);
  PutLe32(b, 0, v);
  PutLe32(b, 4, ~v);
  PutLe32(b, 8, v);
  b[12] = b[14] = address;
  b[13] = b[15] = static_cast<std::uint8_t>(~address);
  return b;
}

std::uint8_t MifareClassicCard::ChangeValue(std::size_t block, std::int64_t delta, DataOp op) {
  if (const std::uint8_t status = CheckData(block, op); status != kOk) return status;
  const auto value = ValueOf(blocks_[block]);
  if (!value) return kNotValueBlock;
  const std::int64_t changed = *value + delta;
  if (changed < std::numeric_limits<std::int32_t>::min() || changed > std::numeric_limits<std::int32_t>::max())
    return kValueOverflow;
  transfer_ = Register{static_cast<std::int32_t>(changed), blocks_[block][12]};
  return kOk;
}

std::uint8_t MifareClassicCard::Increment(std::size_t block, std::uint32_t amount) {
  return ChangeValue(block, std::int64_t{amount}, DataOp::kIncrement);
}

std::uint8_t MifareClassicCard::Decrement(std::size_t block, std::uint32_t amount) {
  return ChangeValue(block, -std::int64_t{amount}, DataOp::kDecrement);
}

std::uint8_t MifareClassicCard::Restore(std::size_t block) { return ChangeValue(block, 0, DataOp::kDecrement); }

std::uint8_t MifareClassicCard::Transfer(std::size_t block) {
  if (const std::uint8_t status = CheckData(block, DataOp::kDecrement); status != kOk) return status;
  if (!transfer_) return kNotValueBlock;
  blocks_[block] = ValueBlock(transfer_->value, transfer_->address);
  transfer_.reset();
  return kOk;
}

}  // namespace kulve::sim

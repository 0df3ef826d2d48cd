// SPDX-License-Identifier: MIT
#include "sim/cards/card_application.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string_view>

namespace kulve::sim {
namespace {

constexpr std::uint8_t kIsoClass = 0x00;
constexpr std::size_t kHolderSize = 64;
constexpr std::size_t kNotesSize = 32;
constexpr std::size_t kChallengeSize = 8;
constexpr std::uint8_t kShortFileIdBit = 0x80;  // P1 of READ/UPDATE BINARY

// SELECT parameters.
constexpr std::uint8_t kSelectByFid = 0x00;
constexpr std::uint8_t kSelectByName = 0x04;
constexpr std::uint8_t kReturnFci = 0x00;
constexpr std::uint8_t kReturnFcp = 0x04;
constexpr std::uint8_t kReturnNothing = 0x0C;
constexpr std::uint8_t kGlobalPin = 0x01;
constexpr std::uint8_t kLocalPin = 0x81;

constexpr std::string_view kApplicationLabel = "KULVE DEMO";

std::vector<std::uint8_t> Tlv(std::uint8_t tag, std::span<const std::uint8_t> value) {
  std::vector<std::uint8_t> out;
  out.reserve(2 + value.size());
  out.push_back(tag);
  out.push_back(static_cast<std::uint8_t>(value.size()));
  out.insert(out.end(), value.begin(), value.end());
  return out;
}

void Append(std::vector<std::uint8_t>& out, const std::vector<std::uint8_t>& more) {
  out.insert(out.end(), more.begin(), more.end());
}

std::vector<std::uint8_t> Big16(std::size_t value) {
  return {static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
}

std::vector<std::uint8_t> HolderText(const std::array<std::uint8_t, 8>& serial) {
  char text[kHolderSize + 1];
  std::snprintf(text, sizeof text, "KULVE TEST CARD %02X%02X%02X%02X%02X%02X%02X%02X HOLDER: A. N. EXAMPLE",
                serial[0], serial[1], serial[2], serial[3], serial[4], serial[5], serial[6], serial[7]);
  std::vector<std::uint8_t> bytes(kHolderSize, ' ');
  std::copy(text, text + std::min(std::strlen(text), kHolderSize), bytes.begin());
  return bytes;
}

CardResponse Status(std::uint16_t sw) { return {{}, sw}; }

// Larger than one short answer, so that long answers can be read.
std::vector<std::uint8_t> LargeContents() {
  std::vector<std::uint8_t> bytes(kLargeFileSize);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 31 + i / 256);
  return bytes;
}

}  // namespace

CardApplication::CardApplication(std::array<std::uint8_t, 8> serial)
    : challenges_(static_cast<std::uint32_t>(serial[4] << 24 | serial[5] << 16 | serial[6] << 8 | serial[7])) {
  const std::vector<std::uint8_t> name(kApplicationName.begin(), kApplicationName.end());
  files_ = {
      {kMasterFile, kMasterFile, true, {}, {}, Update::kNever},
      {kSerialFile, kMasterFile, false, {}, {serial.begin(), serial.end()}, Update::kNever},
      {kApplicationDf, kMasterFile, true, name, {}, Update::kNever},
      {kHolderFile, kApplicationDf, false, {}, HolderText(serial), Update::kWithPin},
      {kNotesFile, kApplicationDf, false, {}, std::vector<std::uint8_t>(kNotesSize, 0), Update::kWithPin},
      {kLargeFile, kApplicationDf, false, {}, LargeContents(), Update::kWithPin},
  };
}

Transfer CardApplication::TransferOf(std::uint8_t ins) {
  switch (ins) {
    case card_ins::kSelect:
    case card_ins::kUpdateBinary:
    case card_ins::kVerify:
      return Transfer::kToCard;
    case card_ins::kReadBinary:
    case card_ins::kGetChallenge:
    case card_ins::kGetResponse:
      return Transfer::kFromCard;
    default:
      return Transfer::kUnknown;
  }
}

void CardApplication::Reset() {
  currentDf_ = kMasterFile;
  currentEf_ = 0;
  pinVerified_ = false;
}

std::vector<std::uint8_t>& CardApplication::Contents(std::uint16_t fid) {
  File* file = Find(fid);
  if (file == nullptr) throw std::out_of_range("no such file");
  return file->contents;
}

CardResponse CardApplication::Run(const CardCommand& c) {
  if (c.cla != kIsoClass) return Status(card_sw::kClaNotSupported);
  switch (c.ins) {
    case card_ins::kSelect: return Select(c);
    case card_ins::kReadBinary: return ReadBinary(c);
    case card_ins::kUpdateBinary: return UpdateBinary(c);
    case card_ins::kGetChallenge: return GetChallenge(c);
    case card_ins::kVerify: return Verify(c);
    case card_ins::kGetResponse: return Status(card_sw::kConditionsNotSatisfied);  // nothing waiting
    default: return Status(card_sw::kInsNotSupported);
  }
}

CardApplication::File* CardApplication::Find(std::uint16_t fid) {
  for (File& f : files_) {
    if (f.fid == fid) return &f;
  }
  return nullptr;
}

CardApplication::File* CardApplication::FindByName(std::span<const std::uint8_t> name) {
  for (File& f : files_) {
    if (f.dedicated && !f.name.empty() && std::ranges::equal(f.name, name)) return &f;
  }
  return nullptr;
}

void CardApplication::MakeCurrent(const File& file) {
  const std::uint16_t df = file.dedicated ? file.fid : file.parent;
  if (df != currentDf_) pinVerified_ = false;
  currentDf_ = df;
  currentEf_ = file.dedicated ? 0 : file.fid;
}

std::vector<std::uint8_t> CardApplication::ControlInformation(const File& file, bool fci) const {
  if (fci && file.dedicated && !file.name.empty()) {
    const std::span label(reinterpret_cast<const std::uint8_t*>(kApplicationLabel.data()), kApplicationLabel.size());
    std::vector<std::uint8_t> inner = Tlv(0x84, file.name);
    Append(inner, Tlv(0xA5, Tlv(0x50, label)));
    return Tlv(0x6F, inner);
  }
  const std::uint8_t descriptor = file.dedicated ? 0x38 : 0x01;  // DF, or transparent working EF
  std::vector<std::uint8_t> inner = Tlv(0x82, std::vector<std::uint8_t>{descriptor});
  Append(inner, Tlv(0x83, Big16(file.fid)));
  if (!file.dedicated) Append(inner, Tlv(0x80, Big16(file.contents.size())));
  if (!file.name.empty()) Append(inner, Tlv(0x84, file.name));
  return Tlv(0x62, inner);
}

CardResponse CardApplication::Select(const CardCommand& c) {
  if (c.p2 != kReturnFci && c.p2 != kReturnFcp && c.p2 != kReturnNothing) return Status(card_sw::kWrongP1P2);
  File* file = nullptr;
  if (c.p1 == kSelectByFid) {
    if (c.data.empty()) {
      file = Find(kMasterFile);
    } else if (c.data.size() == 2) {
      const std::uint16_t fid = static_cast<std::uint16_t>(c.data[0] << 8 | c.data[1]);
      File* found = Find(fid);
      // Reachable: the MF, the current DF, its children, and the MF's children.
      if (found != nullptr && (fid == kMasterFile || fid == currentDf_ || found->parent == currentDf_ ||
                               found->parent == kMasterFile)) {
        file = found;
      }
    } else {
      return Status(card_sw::kWrongLength);
    }
  } else if (c.p1 == kSelectByName) {
    if (c.data.empty() || c.data.size() > 16) return Status(card_sw::kWrongLength);
    file = FindByName(c.data);
  } else {
    return Status(card_sw::kWrongP1P2);
  }
  if (file == nullptr) return Status(card_sw::kNotFound);
  MakeCurrent(*file);
  // Without Le (case 3) the host asked for no response data.
  if (c.p2 == kReturnNothing || c.ne == 0) return Status(card_sw::kOk);
  return {ControlInformation(*file, c.p2 == kReturnFci), card_sw::kOk};
}

CardApplication::File* CardApplication::CurrentEf(std::uint16_t& refusal) {
  File* file = currentEf_ != 0 ? Find(currentEf_) : nullptr;
  if (file == nullptr) refusal = card_sw::kNoCurrentEf;
  return file;
}

CardResponse CardApplication::ReadBinary(const CardCommand& c) {
  if ((c.p1 & kShortFileIdBit) != 0) return Status(card_sw::kFunctionNotSupported);
  if (c.ne == 0) return Status(card_sw::kWrongLength);
  std::uint16_t refusal = card_sw::kOk;
  File* file = CurrentEf(refusal);
  if (file == nullptr) return Status(refusal);
  const std::size_t offset = static_cast<std::size_t>(c.p1 << 8 | c.p2);
  if (offset >= file->contents.size()) return Status(card_sw::kOffsetOutside);
  const std::size_t left = file->contents.size() - offset;
  const std::size_t n = std::min(left, c.ne);
  CardResponse r{{file->contents.begin() + static_cast<std::ptrdiff_t>(offset),
                  file->contents.begin() + static_cast<std::ptrdiff_t>(offset + n)},
                 card_sw::kOk};
  // Le 00 asks for whatever is there; an explicit Le that runs past the end is warned about.
  if (n < c.ne && c.ne != 256) r.sw = card_sw::kEndOfFile;
  return r;
}

CardResponse CardApplication::UpdateBinary(const CardCommand& c) {
  if ((c.p1 & kShortFileIdBit) != 0) return Status(card_sw::kFunctionNotSupported);
  if (c.data.empty()) return Status(card_sw::kWrongLength);
  std::uint16_t refusal = card_sw::kOk;
  File* file = CurrentEf(refusal);
  if (file == nullptr) return Status(refusal);
  if (file->update == Update::kNever || !pinVerified_) return Status(card_sw::kSecurityNotSatisfied);
  const std::size_t offset = static_cast<std::size_t>(c.p1 << 8 | c.p2);
  if (offset >= file->contents.size()) return Status(card_sw::kOffsetOutside);
  if (c.data.size() > file->contents.size() - offset) return Status(card_sw::kNoSpace);
  std::ranges::copy(c.data, file->contents.begin() + static_cast<std::ptrdiff_t>(offset));
  return Status(card_sw::kOk);
}

CardResponse CardApplication::GetChallenge(const CardCommand& c) {
  if (c.p1 != 0 || c.p2 != 0) return Status(card_sw::kWrongP1P2);
  if (c.ne < kChallengeSize) return Status(card_sw::kWrongLe | kChallengeSize);
  CardResponse r{std::vector<std::uint8_t>(kChallengeSize), card_sw::kOk};
  for (std::uint8_t& b : r.data) b = static_cast<std::uint8_t>(challenges_());
  return r;
}

CardResponse CardApplication::Verify(const CardCommand& c) {
  if (c.p1 != 0 || (c.p2 != kGlobalPin && c.p2 != kLocalPin)) return Status(card_sw::kReferenceNotFound);
  if (pinTries_ == 0) return Status(card_sw::kBlocked);
  if (c.data.empty()) return Status(pinVerified_ ? card_sw::kOk : static_cast<std::uint16_t>(card_sw::kTriesLeft | pinTries_));
  if (std::ranges::equal(c.data, kCardPin)) {
    pinTries_ = kPinTries;
    pinVerified_ = true;
    return Status(card_sw::kOk);
  }
  --pinTries_;
  pinVerified_ = false;
  return Status(static_cast<std::uint16_t>(card_sw::kTriesLeft | pinTries_));
}

}  // namespace kulve::sim

// SPDX-License-Identifier: MIT
#include "mifare/keyed_blocks.h"

#include <algorithm>

#include "mifare/mifare.h"

namespace kulve {
namespace {

constexpr int kRequestAll = 1;  // halted cards answer too

}  // namespace

int KeyedBlocks::UseSlot(std::size_t sector, const MifareKeyBytes& key, int type) {
  if (slots_[sector] != key) {
    if (const int status = RFMifare_TransKey(reader_, static_cast<std::int32_t>(sector), key.data())) return status;
    slots_[sector] = key;
  }
  if (mode_ != type) {
    if (const int status = RFMifare_Authmode(reader_, type)) return status;
    mode_ = type;
  }
  return 0;
}

int KeyedBlocks::OpenSector(std::size_t sector, std::size_t block, const MifareKeyBytes& key, int type) {
  const Session wanted{sector, key, type};
  if (session_ == wanted) return 0;
  session_.reset();
  std::uint8_t answer[kMifareAnswerSize];
  std::uint8_t serial[kMifareSerialSize];
  int status = RFMifare_Request(reader_, kRequestAll, answer);
  if (status == 0) status = RFMifare_AntiColl(reader_, serial);
  if (status == 0) {
    const std::uint32_t number = std::uint32_t{serial[0]} | std::uint32_t{serial[1]} << 8 |
                                 std::uint32_t{serial[2]} << 16 | std::uint32_t{serial[3]} << 24;
    status = RFMifare_Select(reader_, number);
  }
  if (status == 0) status = RFMifare_LoadKey(reader_, type, 0, key.data());
  if (status == 0) status = RFMifare_Authentication(reader_, type, static_cast<std::int32_t>(block), 0);
  if (status == 0) session_ = wanted;
  return status;
}

int KeyedBlocks::Read(std::size_t sector, std::size_t block, const MifareKeyBytes& key, int type, std::uint8_t* out) {
  int status = 0;
  if (sector < kMifareReaderSectors) {
    status = UseSlot(sector, key, type);
    if (status == 0) status = RFMifare_ReadBlock(reader_, static_cast<std::int32_t>(block), 0, out);
  } else {
    status = OpenSector(sector, block, key, type);
    if (status == 0) status = RFMifare_Read(reader_, static_cast<std::int32_t>(block), out);
  }
  // A card that refused a step forgets its session.
  if (status != 0) session_.reset();
  return status;
}

int KeyedBlocks::Write(std::size_t sector, std::size_t block, const MifareKeyBytes& key, int type,
                       const std::uint8_t* data) {
  int status = 0;
  if (sector < kMifareReaderSectors) {
    status = UseSlot(sector, key, type);
    std::array<std::uint8_t, kMifareBlockSize> copy{};  // the reader's answer comes back into it
    std::copy_n(data, copy.size(), copy.begin());
    if (status == 0) status = RFMifare_WriteBlock(reader_, static_cast<std::int32_t>(block), 0, copy.data());
  } else {
    status = OpenSector(sector, block, key, type);
    if (status == 0) status = RFMifare_Write(reader_, static_cast<std::int32_t>(block), data);
  }
  if (status != 0) session_.reset();
  return status;
}

int KeyedBlocks::ReadReaderSectors(const std::array<std::optional<MifareKeyBytes>, kMifareReaderSectors>& keys,
                                   std::uint8_t* out) {
  for (std::size_t sector = 0; sector < kMifareReaderSectors; ++sector) {
    if (!keys[sector]) continue;
    if (const int status = UseSlot(sector, *keys[sector], 0)) return status;
  }
  return RFMifare_ReadBloca(reader_, 0, 0, out);
}

}  // namespace kulve

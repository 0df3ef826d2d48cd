// SPDX-License-Identifier: MIT
#include "pcsc/contactless_atr.h"

namespace kulve::pcsc {

StorageCardName NameFromAtqa(std::uint8_t atqaLow, std::uint8_t atqaHigh) {
  // Without the SAK the ATQA tells the common Mifare cards apart; a Mini
  // answers like a 1K and reads as one.
  if (atqaHigh != 0) return StorageCardName::kUnknown;
  switch (atqaLow) {
    case 0x04: return StorageCardName::kMifareClassic1K;
    case 0x02: return StorageCardName::kMifareClassic4K;
    case 0x44: return StorageCardName::kMifareUltralight;
    default: return StorageCardName::kUnknown;
  }
}

std::optional<std::uint8_t> SakOf(StorageCardName name) {
  switch (name) {
    case StorageCardName::kMifareClassic1K: return 0x08;
    case StorageCardName::kMifareClassic4K: return 0x18;
    case StorageCardName::kMifareUltralight: return 0x00;
    default: return std::nullopt;
  }
}

std::array<std::uint8_t, kStorageCardAtrSize> StorageCardAtr(std::uint8_t standard, StorageCardName name) {
  const auto code = static_cast<std::uint16_t>(name);
  std::array<std::uint8_t, kStorageCardAtrSize> atr{
      0x3B, 0x8F, 0x80, 0x01,                          // TS, T0 (TD1, 15 historical bytes), TD1, TD2
      0x80, 0x4F, 0x0C,                                // category, application identifier of 12 bytes
      0xA0, 0x00, 0x00, 0x03, 0x06,                    // registered identifier
      standard,
      static_cast<std::uint8_t>(code >> 8), static_cast<std::uint8_t>(code & 0xFF),
      0x00, 0x00, 0x00, 0x00,
      0x00};                                           // TCK, below
  std::uint8_t tck = 0;
  for (std::size_t i = 1; i + 1 < atr.size(); ++i) tck ^= atr[i];
  atr.back() = tck;
  return atr;
}

}  // namespace kulve::pcsc

// SPDX-License-Identifier: MIT
// The answer-to-reset a PC/SC reader reports for a contactless storage card:
// TS 3B, T0 8F, TD1 80, TD2 01, fifteen historical bytes (category 80, then
// the application identifier 4F 0C: the registered identifier A0 00 00 03 06,
// the standard byte, the two card-name bytes, four bytes 00), and TCK.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace kulve::pcsc {

inline constexpr std::size_t kStorageCardAtrSize = 20;

// Standard byte: ISO/IEC 14443 A, part 3.
inline constexpr std::uint8_t kStandardIso14443APart3 = 0x03;

// Card names of the registered list, for the cards the field can hold.
enum class StorageCardName : std::uint16_t {
  kUnknown = 0x0000,
  kMifareClassic1K = 0x0001,
  kMifareClassic4K = 0x0002,
  kMifareUltralight = 0x0003,
  kMifareMini = 0x0026,
};

// The card name from the ATQA as the card sends it (low byte first).
StorageCardName NameFromAtqa(std::uint8_t atqaLow, std::uint8_t atqaHigh);

// The SAK a card of that name answers its select with; nothing when unknown.
std::optional<std::uint8_t> SakOf(StorageCardName name);

std::array<std::uint8_t, kStorageCardAtrSize> StorageCardAtr(std::uint8_t standard, StorageCardName name);

}  // namespace kulve::pcsc

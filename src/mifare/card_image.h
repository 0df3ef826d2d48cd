// SPDX-License-Identifier: MIT
// A whole Mifare Classic card in and out of an image (card_layout.h), each
// sector with keys of its own. The policy (which key first, key A before key
// B, the reader's whole-card read, sectors no key reads) is described next
// to kulve_mifare_dump and kulve_mifare_restore in kulve32.h.
#pragma once

#include <cstddef>
#include <cstdint>

#include "device/reader.h"

namespace kulve {

// A key list entry: the sector it is for (or kMifareEverySector), then the key.
inline constexpr std::size_t kMifareKeyEntrySize = 7;
inline constexpr std::uint8_t kMifareEverySector = 0xFF;

// Reads the first `sectors` sectors into image (MifareImageSize bytes) and
// one status byte per sector into sectorStatus. Sizes too small, or keys
// that are not whole entries of sectors the card has: KULVE_BAD_ARGUMENT,
// nothing sent, nothing written.
int MifareDumpCard(Reader& reader, int sectors, const std::uint8_t* keys, int keyBytes, std::uint8_t* image,
                   int imageSize, std::uint8_t* sectorStatus, int statusSize);

// Writes the image's blocks back (block 0 never; trailers when asked).
int MifareRestoreCard(Reader& reader, int sectors, const std::uint8_t* keys, int keyBytes, const std::uint8_t* image,
                      int imageSize, int trailers);

}  // namespace kulve

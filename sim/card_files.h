// SPDX-License-Identifier: MIT
// Cards put into the simulated reader from image files, and the cards it
// holds written back to files (formats in sim/cards/card_images.h).
//
// Each Load* puts a new card made from the file in place of the one it
// replaces, and returns why not (the reader then unchanged) or an empty
// string. Errors name the file and, for a file that cannot be read or
// written, the system's reason.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/cards/at1608_keystream.h"
#include "sim/cards/mifare_classic.h"
#include "sim/reader_state.h"

namespace kulve::sim {

// The whole file, or nullopt with the reason in error.
std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::string& path, std::string& error);
// Writes the bytes, replacing the file; false with the reason in error.
bool WriteWholeFile(const std::string& path, std::span<const std::uint8_t> bytes, std::string& error);

// A memory card of this type in the contact slot.
std::string LoadMemoryCardFile(ReaderState& state, std::uint8_t type, const std::string& path);
// A Mifare Classic card in the field; its UID is block 0's first four bytes
// and must be `uid` when one is given. A card with the same UID already in
// the field is replaced.
std::string LoadMifareFile(ReaderState& state, std::optional<MifareUid> uid, const std::string& path);
// An AT88SC1608 card in the contact slot; a seed given replaces the image's.
std::string LoadAt1608File(ReaderState& state, std::optional<At1608Block> seed, const std::string& path);
// An e5550 transponder in the field.
std::string LoadE5550File(ReaderState& state, const std::string& path);

// Writes the card of this kind ("card", "at1608", "e5550"; "mifare" with the
// card's UID) to the file; returns why not, or an empty string.
std::string SaveCardFile(ReaderState& state, const std::string& kind, std::optional<MifareUid> uid,
                         const std::string& path);

// Writes every card the reader holds into the directory (made if missing):
//   card-TYPE.bin      the contact memory card
//   mifare-UID.mfd     each Mifare Classic card in the field (raw form)
//   at1608.bin         the AT88SC1608 card
//   e5550.bin          the e5550 transponder
// Returns the files written in `written` and the failures (empty: none).
std::string SaveReaderState(ReaderState& state, const std::string& directory, std::vector<std::string>& written);

}  // namespace kulve::sim

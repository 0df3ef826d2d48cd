// SPDX-License-Identifier: MIT
// Card contents as files: what kulvesim loads with --image and the load
// command, and writes with --save-state and the save command.
//
// Contact memory card (--card TYPE --image FILE), raw bytes:
//   bytes 0..65535  card memory (area 18), identification bytes included
//   then            the security memory as the card keeps it: the attempts
//                   byte, then the code (1 + 3 bytes for type 2, 1 + 2 for
//                   types 4, 5..9, 18, 25..29; nothing for types whose code
//                   sits in card memory or that have none)
//   A shorter file (a dump of a real card's 256 or 1024 bytes) fills card
//   memory from byte 0; the rest, and the security memory, stay as on a new
//   card. Zone codes, zone access and erase keys are not part of the image.
//
// Mifare Classic 1K or 4K (--mifare UID --image FILE), in one of two forms:
//   raw  1,024 bytes (4K: 4,096): every block of 16 bytes in order, trailers
//        included, as libnfc's nfc-mfclassic writes a dump (.mfd, .bin, .dump)
//   .eml the Proxmark3 emulator form: 64 (4K: 256) lines of 32 hex digits,
//        block 0 first; upper or lower case, LF or CRLF, blank lines ignored
//   The image's size makes the card a 1K or a 4K one.
//   A file named *.eml is read and written as text, anything else as raw.
//   Block 0 is taken as it is and its first four bytes must be the card's
//   UID; the keys and access bytes come from each sector's trailer.
//
// AT88SC1608 (--at1608 SEED --image FILE), raw 2,177 bytes:
//   bytes 0..2047     user zones 0..7, 256 bytes each
//   bytes 2048..2175  the configuration zone (access bytes, attempts bytes,
//                     cryptogram, secret seed at 48..55, the sixteen password
//                     records at 64..127), hidden bytes as stored
//   byte 2176         the fuse byte
//   The SEED given with --at1608 replaces the image's seed.
//
// e5550 transponder (--e5550 --image FILE), raw 33 bytes:
//   bytes 0..31  blocks 0..7 of 4 bytes (block 0 the configuration, block 7
//                the password)
//   byte 32      lock bits: bit b set = block b locked
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "sim/cards/at1608_card.h"
#include "sim/cards/e5550_transponder.h"
#include "sim/cards/memory_card.h"
#include "sim/cards/mifare_classic.h"

namespace kulve::sim {

inline constexpr std::size_t kAt1608ImageSize =
    At1608Card::kUserZones * At1608Card::kUserZoneSize + At1608Card::kConfigSize + 1;
inline constexpr std::size_t kE5550ImageSize = E5550Transponder::kBlockCount * E5550Transponder::kBlockSize + 1;

// Each Load* returns why the image does not fit the card (the card then
// unchanged), or an empty string when loaded.
std::vector<std::uint8_t> MemoryCardImage(const MemoryCard& card);
std::string LoadMemoryCardImage(MemoryCard& card, std::span<const std::uint8_t> image);

// The card as a file in either form (eml: the text form). ParseMifareImage
// reads a file into 64 or 256 blocks, or says why not in error.
std::vector<std::uint8_t> MifareImage(const MifareClassicCard& card, bool eml);
bool ParseMifareImage(std::span<const std::uint8_t> file, bool eml, std::vector<MifareBlock>& blocks,
                      std::string& error);
std::string LoadMifareImage(MifareClassicCard& card, std::span<const std::uint8_t> file, bool eml);

std::vector<std::uint8_t> At1608Image(const At1608Card& card);
std::string LoadAt1608Image(At1608Card& card, std::span<const std::uint8_t> image);

std::vector<std::uint8_t> E5550Image(const E5550Transponder& transponder);
std::string LoadE5550Image(E5550Transponder& transponder, std::span<const std::uint8_t> image);

// Whether a file of this name holds the text form (*.eml).
bool IsEmlName(const std::string& path);

}  // namespace kulve::sim

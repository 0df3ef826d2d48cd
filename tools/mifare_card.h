// SPDX-License-Identifier: MIT
// Whole-card work on a Mifare Classic 1K card through the library's exports:
// the 1024-byte dump that Mifare Classic tools exchange (blocks 0..63 in
// order, trailers included) and putting such a dump back on a card.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace kulve::tool {

inline constexpr std::size_t kMifareBlocks = 64;
inline constexpr std::size_t kMifareSectors = 16;
using MifareDump = std::array<std::uint8_t, kMifareBlocks * 16>;
using MifareKey = std::array<std::uint8_t, 6>;

// The key the reader authenticates every sector with.
struct MifareKeyChoice {
  std::array<std::uint8_t, 6> key{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  int type = 0;  // the reader's key mode: 0 key A, 1 key B
  // The keys the user named, written into a dump's trailers (a card never
  // shows key A, nor key B unless its access bytes allow).
  std::optional<std::array<std::uint8_t, 6>> keyA = key;
  std::optional<std::array<std::uint8_t, 6>> keyB;
  // A key named for one sector goes into that sector's slot instead.
  std::array<std::optional<MifareKey>, kMifareSectors> sectorKey;
};

// The keys a dump tries on each sector, in order: each as key A, then each
// as key B (as nfc-mfclassic and the Proxmark client fall back to key B).
using SectorKeys = std::array<std::vector<MifareKey>, kMifareSectors>;

// How a dump went. missing[sector] is 0 when every block of the sector was
// read, else the status of the last attempt on a block that could not be.
struct DumpOutcome {
  std::array<int, kMifareSectors> missing{};
  int stopped = 0;  // a link failure or "no card" that ended the dump early, else 0
};

// done out of total steps.
using Progress = std::function<void(int done, int total)>;

// Puts the key into all 16 key slots of the reader (a sector's own key into
// its slot) and sets the key mode.
int LoadReaderKey(const MifareKeyChoice& choice);

// Reads the card: first the data blocks of the whole card in one read (an
// exchange a sector) with each sector's first key as key A, taken for a
// sector when that key reads its trailer and the trailer's access bytes let
// key A read every data block (a refusal of that sector's read is not
// reported, so the access bytes judge it). Any other sector is read block by
// block, each block with the first of the sector's keys that reads it (the
// one that read the block before tried first). Blocks no key reads stay zero, as nfc-mfclassic and the Proxmark client
// leave them. Each trailer of the dump carries the keys that opened it: key A
// (the card never shows it) is the key A that read a block of the sector,
// else zeros; key B is the key B that read one, else what the card shows
// (zeros unless its access bytes let it be read). A key that read no block
// is looked for among the keys on every block of the sector (trailer first);
// key B only when the card does not show it. A link failure or "no
// card" ends the dump: the sectors not reached are missing.
DumpOutcome DumpCard(const SectorKeys& keys, MifareDump& dump, const Progress& progress);

// Writes the data blocks of the dump (block 0, which no card lets be
// written, and the trailers skipped); with trailers, each sector's trailer
// after its data blocks. Stops at the first failure and returns it.
int RestoreCard(const MifareKeyChoice& choice, const MifareDump& dump, bool trailers, const Progress& progress);

// Whether a trailer as the card shows it lets key A read key B.
bool KeyBReadable(const std::uint8_t* trailer);

// Whether the access bytes of a trailer (bytes 6..8) hold each condition bit
// and its inverted copy alike. A card stores them either way, and locks the
// sector for good when they disagree.
bool AccessBytesAgree(const std::uint8_t* trailer);

}  // namespace kulve::tool

// SPDX-License-Identifier: MIT
// Whole-card work on a Mifare Classic 1K card through the library's exports:
// the 1024-byte dump that Mifare Classic tools exchange (blocks 0..63 in
// order, trailers included) and putting such a dump back on a card.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>

namespace kulve::tool {

inline constexpr std::size_t kMifareBlocks = 64;
inline constexpr std::size_t kMifareSectors = 16;
using MifareDump = std::array<std::uint8_t, kMifareBlocks * 16>;

// The key the reader authenticates every sector with.
struct MifareKeyChoice {
  std::array<std::uint8_t, 6> key{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  int type = 0;  // the reader's key mode: 0 key A, 1 key B
  // The keys the user named, written into a dump's trailers (a card never
  // shows key A, nor key B unless its access bytes allow).
  std::optional<std::array<std::uint8_t, 6>> keyA = key;
  std::optional<std::array<std::uint8_t, 6>> keyB;
};

// done out of total steps.
using Progress = std::function<void(int done, int total)>;

// Puts the key into all 16 key slots of the reader and sets the key mode.
int LoadReaderKey(const MifareKeyChoice& choice);

// Reads the card: the data blocks of all sectors, then each trailer. As
// nfc-mfclassic does, each trailer of the dump carries the keys named:
// key A (the card never shows it) is choice.keyA, or zeros when none was
// named; key B is choice.keyB when named, else what the card shows (zeros
// unless its access bytes let it be read). 0, or the first failure (dump
// then incomplete).
int DumpCard(const MifareKeyChoice& choice, MifareDump& dump, const Progress& progress);

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

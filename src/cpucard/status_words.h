// SPDX-License-Identifier: MIT
// What a card's status word (SW1 SW2) means, in words.
#pragma once

#include <cstdint>

namespace kulve {

// The meaning of an ISO/IEC 7816-4 status word, as static text that lives as
// long as the program: an exact word first (9000, 6A82, ...), then the
// numbered ones (61xx more bytes, 63Cx tries left, 6Cxx wrong Le), then the
// class of SW1. Keeps no state; safe on any thread.
const char* StatusWordText(std::uint16_t sw);

// The same, knowing the command's INS: 6B00 to READ, WRITE, UPDATE or ERASE
// BINARY with the offset in P1-P2 (INS B0, D0, D6, 0E) means that offset
// lies outside the file.
const char* StatusWordText(std::uint16_t sw, std::uint8_t ins);

}  // namespace kulve

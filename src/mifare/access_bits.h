// SPDX-License-Identifier: MIT
// What a Mifare Classic trailer's access bytes (bytes 6..8) allow: the one
// table of access conditions on the library's side.
//
// Each block of a sector has a condition C1 C2 C3 (the trailer is the
// sector's last block; a 16-block sector of a 4K card groups its 15 data
// blocks in threes, one condition per group). The access bytes hold every
// bit twice, once inverted:
//   byte 6: ~C2 of groups 3..0 (bits 7..4), ~C1 of groups 3..0 (bits 3..0)
//   byte 7:  C1 of groups 3..0 (bits 7..4), ~C3 of groups 3..0 (bits 3..0)
//   byte 8:  C3 of groups 3..0 (bits 7..4),  C2 of groups 3..0 (bits 3..0)
#pragma once

#include <cstdint>

namespace kulve {

// Whether every condition bit and its inverted copy agree. A card locks a
// sector for good when they disagree.
bool MifareAccessBytesAgree(const std::uint8_t* trailer);

// The condition C1*4 + C2*2 + C3 of group 0..3 (3 = the trailer).
int MifareCondition(const std::uint8_t* trailer, int group);

// Whether key A reads key B from the trailer (trailer conditions 000, 001, 010).
bool MifareKeyBReadable(const std::uint8_t* trailer);

// Whether key A reads every data block of the sector: no data condition is
// 011, 101 or 111.
bool MifareKeyAReadsData(const std::uint8_t* trailer);

}  // namespace kulve

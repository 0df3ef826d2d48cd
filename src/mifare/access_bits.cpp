// SPDX-License-Identifier: MIT
#include "mifare/access_bits.h"

namespace kulve {

bool MifareAccessBytesAgree(const std::uint8_t* trailer) {
  const unsigned b6 = trailer[6], b7 = trailer[7], b8 = trailer[8];
  const unsigned c1 = b7 >> 4, notC1 = b6 & 0xF, c2 = b8 & 0xF, notC2 = b6 >> 4, c3 = b8 >> 4, notC3 = b7 & 0xF;
  return (c1 ^ notC1) == 0xF && (c2 ^ notC2) == 0xF && (c3 ^ notC3) == 0xF;
}

int MifareCondition(const std::uint8_t* trailer, int group) {
  const int c1 = trailer[7] >> (4 + group) & 1, c2 = trailer[8] >> group & 1, c3 = trailer[8] >> (4 + group) & 1;
  return c1 << 2 | c2 << 1 | c3;
}

bool MifareKeyBReadable(const std::uint8_t* trailer) { return MifareCondition(trailer, 3) <= 2; }

bool MifareKeyAReadsData(const std::uint8_t* trailer) {
  for (int group = 0; group < 3; ++group) {
    const int condition = MifareCondition(trailer, group);
    if (condition == 3 || condition == 5 || condition == 7) return false;
  }
  return true;
}

}  // namespace kulve

// SPDX-License-Identifier: MIT
#include "cpucard/secret_apdu.h"

#include <algorithm>

#include "cpucard/t1_block.h"

namespace kulve {

bool CarriesSecretData(std::uint8_t ins) { return ins == 0x20 || ins == 0x24 || ins == 0x2C; }

ApduRange SecretData(std::span<const std::uint8_t> apdu) {
  if (apdu.size() <= 5 || !CarriesSecretData(apdu[1])) return {};
  if (apdu[4] != 0) return {5, std::min<std::size_t>(apdu[4], apdu.size() - 5)};
  if (apdu.size() <= 7) return {};
  const std::size_t lc = static_cast<std::size_t>(apdu[5]) << 8 | apdu[6];
  return {7, std::min(lc, apdu.size() - 7)};
}

SecretSpan SecretInBlock(ApduRange secret, std::size_t offset, std::size_t carried, std::size_t blockSize) {
  const std::size_t first = std::max(secret.from, offset);
  const std::size_t end = std::min(secret.from + secret.count, offset + carried);
  if (first >= end) return {};
  const std::size_t from = kT1Prologue + (first - offset);
  return {from, blockSize - from};
}

}  // namespace kulve

// SPDX-License-Identifier: MIT
// The commands whose data is a PIN or PUK (VERIFY, CHANGE REFERENCE DATA,
// RESET RETRY COUNTER), and where that data lies in what goes to the reader,
// so the trace can mask it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "link/transact.h"

namespace kulve {

// A stretch of an APDU's bytes.
struct ApduRange {
  std::size_t from = 0;
  std::size_t count = 0;
};

// True for INS 20, 24 and 2C.
bool CarriesSecretData(std::uint8_t ins);

// The data field of such a command in a whole APDU (short or extended Lc);
// empty for any other command.
ApduRange SecretData(std::span<const std::uint8_t> apdu);

// In a T=1 block of `blockSize` bytes carrying apdu[offset, offset + carried):
// the secret bytes it holds and everything after them, the check included,
// which is computed over them.
SecretSpan SecretInBlock(ApduRange secret, std::size_t offset, std::size_t carried, std::size_t blockSize);

}  // namespace kulve

// SPDX-License-Identifier: MIT
#include "pcsc/apdu_shape.h"

namespace kulve::pcsc {

std::optional<ShortApdu> ParseShortApdu(std::span<const std::uint8_t> apdu, ApduShapeError& error) {
  error = ApduShapeError::kNone;
  if (apdu.size() < 4) {
    error = ApduShapeError::kMalformed;
    return std::nullopt;
  }
  ShortApdu out;
  for (std::size_t i = 0; i < 4; ++i) out.header[i] = apdu[i];
  const std::size_t n = apdu.size();
  if (n == 4) return out;  // case 1
  if (n == 5) {            // case 2
    out.hasLe = true;
    out.le = apdu[4];
    return out;
  }
  const std::size_t lc = apdu[4];
  if (lc == 0) {
    error = ApduShapeError::kExtended;
    return std::nullopt;
  }
  if (n == 5 + lc || n == 6 + lc) {  // case 3, case 4
    out.data = apdu.subspan(5, lc);
    if (n == 6 + lc) {
      out.hasLe = true;
      out.le = apdu[5 + lc];
    }
    return out;
  }
  error = ApduShapeError::kMalformed;
  return std::nullopt;
}

}  // namespace kulve::pcsc

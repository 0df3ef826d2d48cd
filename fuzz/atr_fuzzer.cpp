// SPDX-License-Identifier: MIT
// Protocol detection from an answer-to-reset: any bytes at all, as a reader
// might relay them. Only T0 and TD1 may decide, and nothing past the bytes
// given may be read (the ATR is copied to a heap block of exactly its size).
#include <cstdint>
#include <optional>
#include <vector>

#include "cpucard/answer_to_reset.h"
#include "fuzz/fuzz_session.h"

namespace {

using kulve::kProtocolT0;
using kulve::kProtocolT1;

// Where TD1 sits, if T0 announces one: after TS, T0 and whichever of TA1,
// TB1 and TC1 its bits 4..6 announce.
std::optional<std::size_t> Td1Position(const std::vector<std::uint8_t>& atr) {
  if (atr.size() < 2 || (atr[1] & 0x80) == 0) return std::nullopt;
  std::size_t at = 2;
  for (int bit : {0x10, 0x20, 0x40}) {
    if (atr[1] & bit) ++at;
  }
  return at;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::uint8_t> atr(data, data + size);
  const std::uint8_t protocol = kulve::FirstOfferedProtocol(atr);
  FUZZ_CHECK(protocol == kProtocolT0 || protocol == kProtocolT1);

  const auto td1 = Td1Position(atr);
  const bool offersT1 = td1 && *td1 < atr.size() && (atr[*td1] & 0x0F) == 1;
  FUZZ_CHECK(protocol == (offersT1 ? kProtocolT1 : kProtocolT0));

  // Every other byte is free: TS, the other interface bytes, the history.
  std::vector<std::uint8_t> others(atr.size(), 0xFF);
  if (atr.size() > 1) others[1] = atr[1];
  if (td1 && *td1 < atr.size()) others[*td1] = atr[*td1];
  FUZZ_CHECK(kulve::FirstOfferedProtocol(others) == protocol);

  // Cut before TD1, the same ATR names no protocol of its own: T=0.
  if (td1 && *td1 < atr.size()) {
    const std::vector<std::uint8_t> cut(atr.begin(), atr.begin() + static_cast<std::ptrdiff_t>(*td1));
    FUZZ_CHECK(kulve::FirstOfferedProtocol(cut) == kProtocolT0);
  }
  return 0;
}

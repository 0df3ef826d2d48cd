// SPDX-License-Identifier: MIT
// VerifyIC (does the inserted card match the selected type?) and Fuse.
#include <algorithm>
#include <array>

#include "link/transact.h"
#include "memcard/card_types.h"
#include "memcard/command_codes.h"
#include "memcard/memcard.h"

namespace kulve {

int VerifyIC(Reader& reader) {
  const CardTypeTraits& traits = TraitsOf(reader.cardType);
  int reads = 0;
  switch (traits.identify) {
    case IdentifyRule::kAcceptUnread: return 0;
    case IdentifyRule::kRefuse: return result::kWrongCard;
    case IdentifyRule::kReadOnce: reads = 1; break;
    case IdentifyRule::kReadTwice: reads = 2; break;
  }
  std::array<std::uint8_t, 2> id{};
  for (int i = 0; i < reads; ++i) {
    id = {};  // a short reply must not leave the previous read's bytes to be judged
    const int status = ReadCard(reader, kCardMemoryArea, 0, traits.idAddress, 2, id.data());
    if (status != 0) return status;
  }
  const auto* accepted = traits.idAccepted.begin();
  return std::find(accepted, accepted + traits.idAcceptedCount, id) != accepted + traits.idAcceptedCount
             ? 0
             : result::kWrongCard;
}

int Fuse(Reader& reader, std::int32_t value) {
  const std::array<std::uint8_t, 1> send{LowByte(value)};
  return Exchange(reader, memcard_code::kFuse, send).status;
}

}  // namespace kulve

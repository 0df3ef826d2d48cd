// SPDX-License-Identifier: MIT
// How the family reads the attempts byte that leads its replies.
#pragma once

#include <optional>

#include "at1608/at1608.h"
#include "link/reply.h"
#include "results/results.h"

namespace kulve {

// The count of the attempts byte this exchange's reply carried. None when it
// carried none: after a link failure the reply area holds an earlier
// exchange's bytes, and an empty reply has no attempts byte to decode.
inline std::optional<std::uint8_t> AttemptsCarried(const ReplyView& reply) {
  if (IsLinkFailure(reply.status) || reply.data.empty()) return std::nullopt;
  return DecodeAttemptCounter(reply.data[0]);
}

}  // namespace kulve

// SPDX-License-Identifier: MIT
// The exchange that survives a line failure: close, link again on the same
// port index, and repeat the identical request.
#pragma once

#include <cstdint>
#include <span>

#include "link/link_state.h"
#include "link/reply.h"
#include "link/transact.h"

namespace kulve {

// Whether an exchange's outcome asks for a relink and a repeat: it failed on
// the line, or the reader answered a status equal to a link-failure letter,
// which the relinking families' documented rule counts as a failure too.
bool WantsRelink(const ReplyView& reply);

// Runs the request held in link.block; while WantsRelink and rounds are left,
// closes the port, relinks on the same port index (every effect of LinkCom,
// LinkStarting included) and puts the identical request back before trying
// again. Returns the last try's status.
std::uint8_t TransactRelinking(Link& link, int rounds);

// LoadRequest, TransactRelinking, and the view of the last try's reply.
ReplyView ExchangeRelinking(Link& link, std::uint8_t code, std::span<const std::uint8_t> send, int rounds,
                            SecretSpan secret = {});

}  // namespace kulve

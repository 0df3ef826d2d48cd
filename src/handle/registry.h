// SPDX-License-Identifier: MIT
// The handles kulve_open gave out and kulve_close has not closed. The
// application holds a token, never the handle's address: a call finds its
// handle here and keeps it alive until it returns, so a close on another
// thread never frees what a call still uses, and a closed token (or one never
// given out) finds nothing, however many handles were opened since.
#pragma once

#include <memory>

#include "handle/handle.h"

namespace kulve::api {

// Registers the handle; returns the token that names it.
kulve_reader* Register(std::shared_ptr<kulve_reader> handle);
// The handle the token names, or null (a null, closed or unknown token).
std::shared_ptr<kulve_reader> Find(const kulve_reader* token);
// Takes the handle out of the registry: later calls find nothing.
std::shared_ptr<kulve_reader> Unregister(const kulve_reader* token);

}  // namespace kulve::api

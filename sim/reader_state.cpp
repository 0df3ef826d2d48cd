// SPDX-License-Identifier: MIT
#include "sim/reader_state.h"

#include "sim/cards/at1608_card.h"
#include "sim/cards/e5550_transponder.h"
#include "sim/cards/memory_card.h"
#include "sim/terminal/attendance_terminal.h"

namespace kulve::sim {

ReaderState::ReaderState() = default;
ReaderState::~ReaderState() = default;
ReaderState::ReaderState(ReaderState&&) noexcept = default;
ReaderState& ReaderState::operator=(ReaderState&&) noexcept = default;

}  // namespace kulve::sim

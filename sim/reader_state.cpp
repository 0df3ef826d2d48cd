// SPDX-License-Identifier: MIT
#include "sim/reader_state.h"

#include "sim/cards/at1608_card.h"
#include "sim/cards/e5550_transponder.h"
#include "sim/cards/memory_card.h"
#include "sim/terminal/attendance_terminal.h"
#include "sim/cards/chip_card.h"
#include "sim/cards/memory_card.h"
#include "sim/cpucard_commands.h"
#include "sim/mifare_reader.h"

namespace kulve::sim {

ReaderState::ReaderState() { InsertDefaultChipCards(*this); }
ReaderState::~ReaderState() = default;
ReaderState::ReaderState(ReaderState&&) noexcept = default;
ReaderState& ReaderState::operator=(ReaderState&&) noexcept = default;

}  // namespace kulve::sim

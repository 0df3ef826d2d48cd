// SPDX-License-Identifier: MIT
#include "sim/reader_state.h"

#include "sim/cards/memory_card.h"
#include "sim/mifare_reader.h"

namespace kulve::sim {

ReaderState::ReaderState() = default;
ReaderState::~ReaderState() = default;
ReaderState::ReaderState(ReaderState&&) noexcept = default;
ReaderState& ReaderState::operator=(ReaderState&&) noexcept = default;

}  // namespace kulve::sim

// SPDX-License-Identifier: MIT
#include "tools/sim_statuses.h"

#include <cstdint>

#include "sim/attendance_commands.h"
#include "sim/cards/at1608_card.h"
#include "sim/cards/e5550_transponder.h"
#include "sim/cards/memory_card.h"
#include "sim/cards/mifare_classic.h"
#include "sim/cpucard_commands.h"
#include "sim/firmware.h"

namespace kulve::tool {
namespace {

struct Named {
  std::uint8_t status;
  const char* text;
};

constexpr Named kStatuses[] = {
    {sim::status::kUnknownCommand, "the reader knows no such command"},
    {sim::status::kBadLength, "wrong number of data bytes"},
    {sim::status::kBadParameter, "a parameter out of range"},
    {sim::status::kNoCard, "no card in the slot: insert one (kulve insert TYPE, kulvesim --card TYPE)"},
    {sim::status::kNotPowered, "the card is not powered (power on)"},
    {sim::status::kCardRefused, "the card refused the command"},
    {sim::status::kInternalError, "the reader failed inside"},
    {sim::memcard_status::kWrongCode, "wrong code, erase key or zone code"},
    {sim::memcard_status::kNoAttemptsLeft, "no attempts left: the card's code is blocked"},
    {sim::memcard_status::kNeedsCode, "protected: present the code (or erase key, zone code) first"},
    {sim::chip_status::kNoChipCard, "no chip card in that slot"},
    {sim::chip_status::kChipNotReset, "the chip card has not been reset"},
    {sim::chip_status::kChipMute, "the chip card does not answer"},
    {sim::chip_status::kAnswerTooLong, "the chip card's answer does not fit one reply frame: ask for fewer bytes"},
    {sim::at1608_status::kNeedsPassword, "the zone needs a password presented first"},
    {sim::at1608_status::kWrongPassword, "wrong password"},
    {sim::at1608_status::kLocked, "no attempts left: the password is blocked"},
    {sim::mifare_status::kAuthFailed, "authentication failed: wrong key for the sector"},
    {sim::mifare_status::kNotAuthenticated, "the block's sector is not authenticated"},
    {sim::mifare_status::kAccessDenied, "the sector's access bytes forbid this with that key"},
    {sim::mifare_status::kNotValueBlock, "not a value block"},
    {sim::mifare_status::kValueOverflow, "the value would leave the signed 32-bit range"},
    {sim::mifare_status::kBadAccessBits, "access bytes whose inverted copies disagree"},
    {sim::mifare_status::kKeyUnknown, "the reader cannot keep the other key"},
    {sim::e5550_status::kNoTransponder, "no transponder in the field"},
    {sim::e5550_status::kAsleep, "the transponder is asleep: wake it with its password"},
    {sim::e5550_status::kWrongPassword, "wrong transponder password"},
    {sim::e5550_status::kBlockLocked, "the block is locked"},
    {sim::e5550_status::kBlockHidden, "the block is not readable"},
    {sim::terminal_status::kUnknownSub, "the terminal knows no such request"},
};

}  // namespace

std::string SimulatorStatusText(int status) {
  for (const Named& n : kStatuses)
    if (n.status == status) return n.text;
  return {};
}

}  // namespace kulve::tool

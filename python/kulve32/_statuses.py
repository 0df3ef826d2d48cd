# SPDX-License-Identifier: MIT
"""What the simulator's reader statuses mean (docs/reader-statuses.md).

A reader status is the reader's own: each model has its own list, and the
library passes the byte on. The simulator's are known, so a refusal names
the simulator's meaning beside the number and points to the list; a real
reader's manual may say otherwise.
"""

from __future__ import annotations

from typing import Dict

#: Where the statuses are listed.
STATUS_LIST = "docs/reader-statuses.md"

#: The simulator's status -> its meaning, as the list words it.
SIMULATOR_STATUSES: Dict[int, str] = {
    0x80: "the reader knows no such command",
    0x81: "wrong number of data bytes",
    0x82: "a parameter out of range (a block, zone or slot number the card does not have)",
    0x83: "no card in the slot: start kulvesim --card TYPE (or kulve --sim insert TYPE)",
    0x84: "the card is not powered: power it on first",
    0x85: "the card refused the command (e.g. a code presented to a card without one)",
    0x8F: "the reader failed inside",
    0x90: "wrong code, erase key or zone code; a wrong code costs one attempt",
    0x91: "no attempts left: the card refuses every code, the right one included",
    0x92: "protected: present the code (or the erase key, the zone code) first",
    0xA0: "no chip card in that slot",
    0xA1: "the chip card has not been reset",
    0xA2: "the chip card does not answer",
    0xA3: "the chip card's answer does not fit one reply frame: ask for fewer bytes",
    0xB0: "the zone needs a password presented first",
    0xB1: "wrong password; the reply carries the attempts byte",
    0xB2: "no attempts left; the reply carries 0x00",
    0x01: "no card in the field answered",
    0xC0: "authentication failed: wrong key for the sector (the card went back to idle)",
    0xC1: "the block's sector is not authenticated",
    0xC2: "the sector's access bytes forbid this with that key",
    0xC3: "not a value block",
    0xC4: "the value would leave the signed 32-bit range",
    0xC5: "access bytes whose inverted copies disagree (refused, not written)",
    0xC6: "the reader cannot keep the other key",
    0xD0: "no transponder in the field",
    0xD1: "the transponder is asleep (answer on request): wake it with its password",
    0xD2: "wrong transponder password",
    0xD3: "the block is locked",
    0xD4: "the block is not readable (above the highest readable block, or the password)",
    0xE0: "the terminal knows no such request",
}


def with_meaning(words: str, status: int) -> str:
    """The library's "reader status 0xNN" with the simulator's meaning and where they are listed."""
    meaning = SIMULATOR_STATUSES.get(status)
    if meaning is None:
        return f"{words} (the reader's own; see {STATUS_LIST})"
    return f"{words} (in the simulator: {meaning}; see {STATUS_LIST})"

# SPDX-License-Identifier: MIT
"""The reader's own commands: power, card type, state, standby, identity, alarm."""

from __future__ import annotations

import ctypes
from dataclasses import dataclass

from .._device import FamilyMethods
from .._library import BYTES, INT, INTS, byte_buffer, export

__all__ = ["Inquiry", "HousekeepingMethods", "NO_CARD_SELECTED"]

#: The card type after a link: none selected.
NO_CARD_SELECTED = 255

_PowerOn = export("PowerOn", INT)
_PowerOff = export("PowerOff", INT)
_SelectCard = export("SelectCard", INT, INT)
_Inquire = export("Inquire", INT, INTS, INTS, INTS)
_SetStandby = export("SetStandby", INT)
_GetDeviceNumber = export("GetDeviceNumber", INT, BYTES)
_DEVVER = export("DEVVER", INT, BYTES)
_ALARM = export("ALARM", INT, INT, INT, INT, INT)

_IDENTITY_SIZE = 8


@dataclass(frozen=True)
class Inquiry:
    """The reader's answer to an inquiry."""

    card_type: int  # the card type the reader has selected
    state: int  # the reader's second state value, passed through as it came
    powered: bool  # whether the card is powered


class HousekeepingMethods(FamilyMethods):
    def power_on(self) -> None:
        """Powers the card (PowerOn)."""
        self._run(_PowerOn)

    def power_off(self) -> None:
        """Unpowers the card (PowerOff)."""
        self._run(_PowerOff)

    def select_card(self, card_type: int) -> None:
        """Tells the reader the card type (SelectCard; its low 8 bits are sent).

        The memory-card methods behave by the selected type.
        """
        self._run(_SelectCard, card_type)

    def inquire(self) -> Inquiry:
        """The reader's card type, state value and power state (Inquire).

        The library's card type becomes the reader's.
        """
        values = [ctypes.c_int(0) for _ in range(3)]
        self._run(_Inquire, *(ctypes.byref(value) for value in values))
        return Inquiry(values[0].value, values[1].value, values[2].value == 1)

    def standby(self) -> None:
        """Puts the reader on standby (SetStandby)."""
        self._run(_SetStandby)

    def device_number(self) -> bytes:
        """The reader's 8-byte device number (GetDeviceNumber)."""
        number = byte_buffer(_IDENTITY_SIZE)
        self._run(_GetDeviceNumber, number)
        return bytes(number)

    def device_version(self) -> bytes:
        """The reader's 8-byte version (DEVVER)."""
        version = byte_buffer(_IDENTITY_SIZE)
        self._run(_DEVVER, version)
        return bytes(version)

    def alarm(self, mode: int, a: int = 0, b: int = 0, c: int = 0) -> None:
        """Drives the reader's alarm (ALARM): mode 1..7, else BadArgument.

        The low bytes of all four values go to the reader as they are.
        """
        self._run(_ALARM, mode, a, b, c)

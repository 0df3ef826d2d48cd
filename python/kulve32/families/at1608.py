# SPDX-License-Identifier: MIT
"""AT88SC1608 secure memory cards: zones, passwords, authentication, fuses.

The reader turns each call into the card's own commands; neither the library
nor this package keeps a record of the passwords presented or the
authentications run, nor checks the selected card type or the power.

Attempts: password presentations and authentications come back with the
card's count of attempts left, 0..8, or None when the reader's answer held
none.
"""

from __future__ import annotations

import os
from typing import Any, Optional

from .._device import FamilyMethods
from .._errors import NOT_FOR_CARD_TYPE, ReaderRefused, WrongCardType
from .._library import BYTES, INT, as_bytes, byte_buffer, export, fixed_bytes

__all__ = [
    "At1608Methods", "PasswordRefused", "AuthenticationFailed",
    "USER_ZONES", "CONFIGURATION_ZONE", "MAX_LENGTH", "PASSWORD_SIZE", "BLOCK_SIZE",
]

#: Zones 0..7 are user zones; zone 8 is the configuration zone.
USER_ZONES = 8
CONFIGURATION_ZONE = 8
#: The most bytes one read or write moves.
MAX_LENGTH = 160
#: Bytes of a password as sent.
PASSWORD_SIZE = 3
#: Bytes of a challenge and of a secret seed.
BLOCK_SIZE = 8

_MAX_ATTEMPTS = 8
_ZERO_DIGIT = ord("0")

_Write = export("AT1608_Write", INT, INT, INT, INT, BYTES)
_Read = export("AT1608_Read", INT, INT, INT, INT, BYTES)
_Psw = export("AT1608_Psw", INT, INT, BYTES)
_Authentic = export("AT1608_Authentic", INT, BYTES, BYTES)
_ReadFuse = export("AT1608_ReadFuse", INT, BYTES)
_Reset = export("AT1608_Reset", INT)


class PasswordRefused(ReaderRefused):
    """The reader refused a password; attempts is the count left (0..8), or None."""

    def __init__(self, result: int, function: Optional[str], text: str,
                 data: Optional[bytes], attempts: Optional[int]) -> None:
        super().__init__(result, function, text, data)
        self.attempts = attempts


class AuthenticationFailed(WrongCardType):
    """The card's answer to the authentication did not match (result 3).

    attempts is the count the card has left, or None.
    """

    def __init__(self, function: str, attempts: Optional[int]) -> None:
        super().__init__(NOT_FOR_CARD_TYPE, function, "the card's answer did not match the seed")
        self.attempts = attempts


def _attempts(count: int) -> Optional[int]:
    return count if count <= _MAX_ATTEMPTS else None


class At1608Methods(FamilyMethods):
    def at1608_write(self, zone: int, address: int, data: Any) -> None:
        """Writes up to 160 bytes to zone 0..8 from address 0..255 (AT1608_Write).

        BadArgument (nothing sent) for a zone, address or length out of range.
        """
        content = as_bytes(data, "data")
        self._run(_Write, zone, address, len(content), byte_buffer(max(len(content), 1), content))

    def at1608_read(self, zone: int, address: int, count: int) -> bytes:
        """Reads `count` bytes (0..160) of zone 0..8 from address 0..255 (AT1608_Read).

        Bytes the reader's answer lacked read as 0.
        """
        # A count the library refuses gets a token buffer: it answers 4 untouched.
        buffer = byte_buffer(count) if 0 <= count <= MAX_LENGTH else byte_buffer(1)
        self._run(_Read, zone, address, count, buffer)
        return bytes(buffer[:count])

    def at1608_present_password(self, index: int, password: Any) -> Optional[int]:
        """Presents password `index` 0..15 (3 bytes) (AT1608_Psw); returns the attempts left.

        PasswordRefused (a ReaderRefused) when the reader refuses it, with the
        attempts left where the answer gave them. The count is told apart
        from "none given" by the password's first byte, which the library
        leaves in its place: for a password starting with a byte 0..8 a
        missing count reads as that byte.
        """
        secret = fixed_bytes(password, PASSWORD_SIZE, "password", _Psw.name)
        buffer = byte_buffer(PASSWORD_SIZE + 1, secret)
        result = self._call(_Psw, index, buffer)
        attempts = _attempts(buffer[0])
        if result != 0:
            error = self._error(result, _Psw.name)
            if isinstance(error, ReaderRefused):
                raise PasswordRefused(result, _Psw.name, error.text, bytes(buffer), attempts)
            raise error
        return attempts

    def at1608_authenticate(self, seed: Any, challenge: Optional[Any] = None) -> Optional[int]:
        """Runs the host side of the card's mutual authentication (AT1608_Authentic).

        seed: the card's 8-byte secret seed (never sent); challenge: 8 bytes,
        a fresh random one when not given. Returns the attempts left.
        AuthenticationFailed (a WrongCardType, result 3) when the card's
        answer does not match, with the attempts it has left.
        """
        secret = fixed_bytes(seed, BLOCK_SIZE, "seed", _Authentic.name)
        fresh = os.urandom(BLOCK_SIZE) if challenge is None else challenge
        buffer = byte_buffer(BLOCK_SIZE, fixed_bytes(fresh, BLOCK_SIZE, "challenge", _Authentic.name))
        result = self._call(_Authentic, buffer, byte_buffer(BLOCK_SIZE, secret))
        # Byte 0 is the count and byte 1 its digit when the card's attempts
        # byte came back; otherwise both hold the challenge as it was.
        attempts = _attempts(buffer[0]) if buffer[1] == _ZERO_DIGIT + buffer[0] else None
        if result == NOT_FOR_CARD_TYPE:
            raise AuthenticationFailed(_Authentic.name, attempts)
        if result != 0:
            raise self._error(result, _Authentic.name)
        return attempts

    def at1608_read_fuse(self) -> int:
        """The card's fuse byte (AT1608_ReadFuse); 0 when the answer was not one byte."""
        fuse = byte_buffer(1)
        self._run(_ReadFuse, fuse)
        return fuse[0]

    def at1608_reset(self) -> None:
        """Resets the card (AT1608_Reset); it forgets the passwords presented."""
        self._run(_Reset)

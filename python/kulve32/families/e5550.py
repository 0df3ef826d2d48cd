# SPDX-License-Identifier: MIT
"""e5550 transponders: a 125 kHz read/write tag in the reader's RF field.

Blocks and passwords are 4 bytes. Each call is one exchange, with no relink
and no repeat. Block numbers go to the reader as their low byte; block 0, the
configuration, is written only when asked for as CONFIGURATION_BLOCK (-1),
so that no block number wrapping to 0 ever overwrites it.
"""

from __future__ import annotations

import ctypes
from typing import Any

from .._device import FamilyMethods
from .._errors import BadArgument
from .._library import BYTES, INT, RECORD, Record, byte_buffer, export, fixed_bytes

__all__ = ["E5550Methods", "BLOCK_SIZE", "PASSWORD_SIZE", "CONFIGURATION_BLOCK", "NO_PASSWORD"]

BLOCK_SIZE = 4
PASSWORD_SIZE = 4
#: The block number that writes block 0 (the configuration).
CONFIGURATION_BLOCK = -1
#: The password to send where the transponder asks for none.
NO_PASSWORD = bytes(PASSWORD_SIZE)

_HIGHEST_BLOCK = 7


class _InitRecord(Record):
    c_name = "Rf5550InitRecord"
    _fields_ = [("value", ctypes.c_int * 10)]


# The fields of the init record the library reads, and what the option byte
# it makes of them tells the transponder.
_PASSWORD_MODE = 0  # bit 3
_ANSWER_ON_REQUEST = 3  # bit 4
_HIGHEST_READABLE = 9  # bits 7..5

_ReadBlk = export("RF5550_ReadBlk", INT, INT, BYTES)
_WriteBlk = export("RF5550_WriteBlk", INT, INT, BYTES, BYTES, INT)
_Init = export("RF5550_Init", INT, RECORD(_InitRecord), BYTES, INT)
_Wake = export("RF5550_Wake", INT, BYTES)
_ReadAfterWake = export("RF5550_ReadAfterWake", INT, INT, BYTES, BYTES)
_WriteAfterWake = export("RF5550_WriteAfterWake", INT, INT, BYTES, BYTES, INT)
_Mcmno = export("RF5550_Mcmno", INT, BYTES)


def _password(password: Any, function: str) -> Any:
    return byte_buffer(PASSWORD_SIZE, fixed_bytes(password, PASSWORD_SIZE, "password", function))


def _block_to_write(block: int, function: str) -> int:
    # The library refuses these too; saying why is kinder than "out of range".
    if isinstance(block, int) and block & 0xFF == 0 and block != CONFIGURATION_BLOCK:
        raise BadArgument(4, function, f"block {block} would write block 0: ask for it as "
                                       f"CONFIGURATION_BLOCK ({CONFIGURATION_BLOCK})")
    return block


class E5550Methods(FamilyMethods):
    def e5550_read(self, block: int) -> bytes:
        """Reads a block (RF5550_ReadBlk); 0 reads the configuration block.

        Bytes a short answer did not carry read as 0.
        """
        data = byte_buffer(BLOCK_SIZE)
        self._run(_ReadBlk, block, data)
        return bytes(data)

    def e5550_write(self, block: int, data: Any, password: Any = NO_PASSWORD, lock: bool = False) -> bytes:
        """Writes 4 bytes to a block (RF5550_WriteBlk); returns the block as the reader
        answered (as now stored).

        password: 4 bytes, needed in password mode. lock=True locks the block
        for good after the write. Block 0 only as CONFIGURATION_BLOCK.
        """
        return self._write(_WriteBlk, block, data, password, lock)

    def e5550_read_after_wake(self, block: int, password: Any) -> bytes:
        """As e5550_read, with the password sent first (RF5550_ReadAfterWake)."""
        data = byte_buffer(BLOCK_SIZE)
        self._run(_ReadAfterWake, block, _password(password, _ReadAfterWake.name), data)
        return bytes(data)

    def e5550_write_after_wake(self, block: int, data: Any, password: Any, lock: bool = False) -> bytes:
        """As e5550_write, with the reader's after-wake write (RF5550_WriteAfterWake)."""
        return self._write(_WriteAfterWake, block, data, password, lock)

    def _write(self, function: Any, block: int, data: Any, password: Any, lock: bool) -> bytes:
        block = _block_to_write(block, function.name)
        buffer = byte_buffer(BLOCK_SIZE, fixed_bytes(data, BLOCK_SIZE, "data", function.name))
        self._run(function, block, _password(password, function.name), buffer, int(bool(lock)))
        return bytes(buffer)

    def e5550_init(self, password: Any = NO_PASSWORD, *, highest_block: int = _HIGHEST_BLOCK,
                   answer_on_request: bool = False, password_mode: bool = False,
                   lock: bool = False) -> None:
        """Sets the transponder's mode byte (RF5550_Init).

        highest_block 0..7: reads of blocks above it are refused;
        answer_on_request: the transponder stays silent until woken with its
        password; password_mode: writes need the password, and block 7 (the
        password) never reads back; lock: locks the configuration for good.
        password: the current one, where password mode is on.
        """
        if not isinstance(highest_block, int) or not 0 <= highest_block <= _HIGHEST_BLOCK:
            raise BadArgument(4, _Init.name, f"the highest block is 0..7, not {highest_block!r}")
        record = _InitRecord()
        record.value[_PASSWORD_MODE] = int(bool(password_mode))
        record.value[_ANSWER_ON_REQUEST] = int(bool(answer_on_request))
        record.value[_HIGHEST_READABLE] = highest_block
        self._run(_Init, ctypes.byref(record), _password(password, _Init.name), int(bool(lock)))

    def e5550_wake(self, password: Any) -> None:
        """Wakes a transponder that answers on request only (RF5550_Wake)."""
        self._run(_Wake, _password(password, _Wake.name))

    def e5550_module_answer(self) -> bytes:
        """The two-byte answer of the reader's RF module (RF5550_Mcmno)."""
        answer = byte_buffer(4)
        self._run(_Mcmno, answer)
        return bytes(answer[:2])

# SPDX-License-Identifier: MIT
"""Software DES in ECB mode (EnDesData / UnDesData); needs no reader.

    >>> from kulve32 import des
    >>> des.encrypt(bytes.fromhex("133457799BBCDFF1"), bytes.fromhex("0123456789ABCDEF")).hex()
    '85e813540f0ab405'

Safe to call from any thread at any time.
"""

from __future__ import annotations

from typing import Any

from ._errors import BadArgument, check
from ._library import BYTES, INT, as_bytes, byte_buffer, export

__all__ = ["BLOCK_SIZE", "KEY_SIZE", "encrypt", "decrypt"]

BLOCK_SIZE = 8
KEY_SIZE = 8

_EnDesData = export("EnDesData", INT, BYTES, BYTES, BYTES, INT, device=False)
_UnDesData = export("UnDesData", INT, BYTES, BYTES, BYTES, INT, device=False)


def _run(function: Any, key: Any, data: Any) -> bytes:
    key_bytes = as_bytes(key, "key")
    if len(key_bytes) != KEY_SIZE:
        raise BadArgument(4, function.name, f"the key has {len(key_bytes)} bytes, not {KEY_SIZE}")
    data_bytes = as_bytes(data, "data")
    if len(data_bytes) % BLOCK_SIZE:
        raise BadArgument(4, function.name, f"data has {len(data_bytes)} bytes, not a multiple of {BLOCK_SIZE}")
    output = byte_buffer(len(data_bytes))
    check(function(byte_buffer(len(data_bytes), data_bytes), byte_buffer(KEY_SIZE, key_bytes),
                   output, len(data_bytes)), function.name)
    return bytes(output)


def encrypt(key: Any, data: Any) -> bytes:
    """Enciphers `data` block by block with the 8-byte `key` (parity bits ignored).

    BadArgument when the key is not 8 bytes or the data length is not a
    multiple of 8. Empty data gives b"".
    """
    return _run(_EnDesData, key, data)


def decrypt(key: Any, data: Any) -> bytes:
    """Deciphers `data` block by block with the 8-byte `key`; as encrypt."""
    return _run(_UnDesData, key, data)

# SPDX-License-Identifier: MIT
"""Keys and passwords stay masked in the trace unless asked for, process-wide and per reader."""

from __future__ import annotations

import re
from typing import Callable, List, Optional

import pytest

import kulve32

KEY = bytes.fromhex("A1B2C3D4E5F6")


def shows(lines: List[str], secret: bytes) -> bool:
    """Any two secret bytes in a row, in either case, however spaced."""
    pairs = [secret[i:i + 2].hex() for i in range(len(secret) - 1)]
    return any(re.search(p[:2] + "[^0-9a-f]*" + p[2:], line, re.IGNORECASE) for p in pairs for line in lines)


@pytest.mark.parametrize("per_reader", [False, True])
def test_keys_are_masked_unless_secrets_are_asked_for(reader, per_reader):
    def traced(secrets: Optional[bool]) -> List[str]:
        lines: List[str] = []
        receive: Callable[[int, str], None] = lambda level, line: lines.append(line)
        set_trace = reader.set_trace if per_reader else kulve32.set_trace
        set_trace(2, receive, secrets=secrets)
        try:
            reader.mifare_store_key(3, KEY)
            reader.mifare_load_key(0, 4, KEY)
        finally:
            set_trace(0, secrets=False)
        return lines

    masked = traced(None)
    assert masked and not shows(masked, KEY)
    assert any("** ** ** ** ** **" in line for line in masked)
    assert shows(traced(True), KEY)
    assert not shows(traced(False), KEY)

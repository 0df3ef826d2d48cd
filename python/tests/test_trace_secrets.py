# SPDX-License-Identifier: MIT
"""Keys, codes and PINs stay masked in the trace, and out of repr(), unless asked for."""

from __future__ import annotations

import re
from typing import Callable, List, Optional

import pytest

import kulve32

KEY = bytes.fromhex("A1B2C3D4E5F6")
CODE = bytes.fromhex("A7C9")
TRAILER = KEY + bytes.fromhex("FF078069") + bytes.fromhex("B3D5E7C7C1D2")


def shows(lines: List[str], secret: bytes) -> int:
    """How many of the secret's bytes show alone, as a hex token, in any line."""
    return sum(any(re.search(f"(^|[ *(\\[]){b:02X}( |$|[]),.;:])", line, re.IGNORECASE) for line in lines)
               for b in secret)


def memcard_code_read(reader: kulve32.Reader, simulator) -> None:
    simulator.control("insert 15")
    reader.select_card(15)
    reader.power_on()
    reader.check_secret(b"\xff\xff")
    reader.modify_secret(CODE)
    reader.read_card(0, 16)


def mifare_trailer_write(reader: kulve32.Reader, simulator) -> None:
    simulator.control("mifare clear")
    simulator.control("mifare add 4b563332")  # a new card: the last row's write changed the keys
    reader.mifare_set_key_mode(kulve32.mifare.KEY_A)
    reader.mifare_store_key(1, kulve32.mifare.TRANSPORT_KEY)
    reader.mifare_write_block(7, TRAILER)


ROWS = [
    ("Mifare keys stored and loaded", KEY,
     lambda r, s: (r.mifare_store_key(3, KEY), r.mifare_load_key(0, 4, KEY))),
    ("Mifare trailer written", TRAILER[:6] + TRAILER[10:], mifare_trailer_write),
    ("memory card code read by address, type 15", CODE, memcard_code_read),
]


@pytest.mark.parametrize("what, secret, call", ROWS, ids=[row[0] for row in ROWS])
@pytest.mark.parametrize("per_reader", [False, True])
def test_secrets_are_masked_unless_asked_for(reader, simulator, per_reader, what, secret, call):
    def traced(secrets: Optional[bool]) -> List[str]:
        lines: List[str] = []
        receive: Callable[[int, str], None] = lambda level, line: lines.append(line)
        set_trace = reader.set_trace if per_reader else kulve32.set_trace
        set_trace(2, receive, secrets=secrets)
        try:
            call(reader, simulator)
        finally:
            set_trace(0, secrets=False)
        return lines

    masked = traced(None)
    assert masked and shows(masked, secret) == 0
    assert shows(traced(True), secret) == len(secret)
    assert shows(traced(False), secret) == 0


def test_a_card_dump_names_no_key():
    dump = kulve32.mifare.MifareCardDump({3: TRAILER}, (), {0: (kulve32.mifare.KEY_B, KEY)})
    for text in (repr(dump), str(dump)):
        assert KEY.hex() not in text.lower() and repr(KEY)[2:-1] not in text and "KEY_B" in text

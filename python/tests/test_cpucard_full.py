# SPDX-License-Identifier: MIT
"""The full mode through the Reader: chip_transmit and the mode switch against
the simulator's strict T=1 card (IFSC 32) in the CPU card slot and a T=0 SAM.
"""

from __future__ import annotations

import pytest

import kulve32
from kulve32.cpucard import MODE_DEFAULT, MODE_FULL, apdu

STRICT_ATR = "3B8081312045" + "55"  # TD1 81, TD2 31, TA3 20 (IFSC 32), TB3 45, TCK
APPLICATION = bytes.fromhex("F04B554C564531")


@pytest.fixture
def strict(reader, simulator):
    simulator.control(f"chip 0 {STRICT_ATR}")
    assert simulator.control("strict 0 on") == "ok"
    reader.set_chip_protocol_mode(MODE_FULL)
    reader.cpu_reset()
    reader.sam_reset(1)
    yield reader
    reader.set_chip_protocol_mode(MODE_DEFAULT)
    assert simulator.control("t1errors") == "t1errors 0"


def test_long_answers_and_chained_commands(strict):
    for fid in (b"\x7f\x10", b"\x01\x03"):
        assert strict.chip_transmit(0, apdu(0x00, 0xA4, 0x00, 0x0C, fid)).ok
    # 4,096-byte EF: byte i = (i * 31 + i // 256) % 256.
    expected = bytes((i * 31 + i // 256) % 256 for i in range(1024))
    assert strict.chip_transmit(0, apdu(0x00, 0xB0, 0x00, 0x00, le=255)).data == expected[:255]
    extended = strict.chip_transmit(0, bytes.fromhex("00B00000000400"))
    assert (extended.sw, extended.data) == (0x9000, expected)
    assert strict.chip_transmit(0, apdu(0x00, 0x20, 0x00, 0x01, b"1234")).ok
    written = bytes(range(200))
    assert strict.chip_transmit(0, apdu(0x00, 0xD6, 0x00, 0x00, written)).ok
    assert strict.chip_transmit(0, apdu(0x00, 0xB0, 0x00, 0x00, le=200)).data == written
    with pytest.raises(kulve32.ChipProtocolError) as too_long:
        strict.chip_transmit(0, apdu(0x00, 0xB0, 0x00, 0x00, le=255), answer_size=100)
    assert too_long.value.result == 42


def test_documented_calls_in_the_full_mode_each_slot_its_own_protocol(strict):
    # The SAM (T=0) was reset last; the CPU card still speaks T=1, and the
    # SAM's 61xx is followed by GET RESPONSE.
    assert strict.chip_protocol() == 0
    assert len(strict.cpu_command(apdu(0x00, 0x84, 0x00, 0x00, le=8)).data) == 8
    selected = strict.sam_command(1, apdu(0x00, 0xA4, 0x04, 0x00, APPLICATION))
    assert selected.ok and selected.data[0] == 0x6F
    with pytest.raises(kulve32.BadArgument):
        strict.set_chip_protocol_mode(2)

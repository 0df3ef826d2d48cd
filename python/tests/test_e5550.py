# SPDX-License-Identifier: MIT
"""e5550 transponders through the Reader, against a new one in the simulator's field."""

from __future__ import annotations

import pytest

import kulve32
from kulve32.e5550 import CONFIGURATION_BLOCK

PASSWORD = b"PWD!"
# The simulator's statuses.
NO_TRANSPONDER, ASLEEP, WRONG_PASSWORD, LOCKED = 0xD0, 0xD1, 0xD2, 0xD3


@pytest.fixture
def tag(reader, simulator):
    simulator.control("e5550 place")
    return reader


def test_blocks_written_read_back_and_a_locked_one_stays(tag):
    assert tag.e5550_write(1, b"\x01\x02\x03\x04") == b"\x01\x02\x03\x04"
    assert tag.e5550_write(2, bytearray(b"DATA"), lock=True) == b"DATA"
    assert [tag.e5550_read(block) for block in (1, 2, 3)] == [b"\x01\x02\x03\x04", b"DATA", bytes(4)]
    with pytest.raises(kulve32.ReaderRefused) as raised:
        tag.e5550_write(2, b"gone")
    assert raised.value.status == LOCKED
    assert tag.e5550_write(CONFIGURATION_BLOCK, b"\xe7\x00\x00\x01") == b"\xe7\x00\x00\x01"
    assert len(tag.e5550_module_answer()) == 2


def test_password_and_answer_on_request_modes(tag, simulator):
    tag.e5550_write(7, PASSWORD)
    tag.e5550_write(3, b"3333")
    tag.e5550_init(answer_on_request=True, password_mode=True, highest_block=5)
    with pytest.raises(kulve32.ReaderRefused) as raised:
        tag.e5550_read(3)
    assert raised.value.status == ASLEEP
    with pytest.raises(kulve32.ReaderRefused) as raised:
        tag.e5550_wake(b"nope")
    assert raised.value.status == WRONG_PASSWORD
    assert tag.e5550_read_after_wake(3, PASSWORD) == b"3333"
    assert tag.e5550_read(0)[0] == 5 << 5 | 0x10 | 0x08 | 0x07  # the option byte
    with pytest.raises(kulve32.ReaderRefused) as raised:
        tag.e5550_write(4, b"4444")  # password mode: the default password is wrong
    assert raised.value.status == WRONG_PASSWORD
    assert tag.e5550_write_after_wake(4, b"4444", PASSWORD) == b"4444"
    simulator.control("e5550 leave")  # out of the field and back: asleep again
    with pytest.raises(kulve32.ReaderRefused):
        tag.e5550_read(4)


def test_no_transponder_in_the_field(tag, simulator):
    simulator.control("e5550 remove")
    with pytest.raises(kulve32.ReaderRefused) as raised:
        tag.e5550_read(1)
    assert raised.value.status == NO_TRANSPONDER


@pytest.mark.parametrize("call", [
    lambda r: r.e5550_write(0, b"abcd"), lambda r: r.e5550_write(256, b"abcd"),
    lambda r: r.e5550_write_after_wake(-256, b"abcd", PASSWORD),
    lambda r: r.e5550_write(1, b"abc"), lambda r: r.e5550_write(1, b"abcd", password=b"abc"),
    lambda r: r.e5550_wake(b"12345"), lambda r: r.e5550_init(highest_block=8),
    lambda r: r.e5550_read_after_wake(1, b""),
], ids=["block_0", "block_256", "block_-256", "data_3", "password_3", "wake_5", "highest_8", "no_password"])
def test_arguments_refused_send_nothing(tag, simulator, call):
    before = simulator.exchanges()
    with pytest.raises(kulve32.BadArgument):
        call(tag)
    assert simulator.exchanges() == before

# SPDX-License-Identifier: MIT
"""AT88SC1608 cards through the Reader, against a new card in the simulator's slot."""

from __future__ import annotations

import pytest

import kulve32
from kulve32.at1608 import CONFIGURATION_ZONE, AuthenticationFailed, PasswordRefused

SEED = bytes.fromhex("4B554C5645313630")
NEW_PASSWORD = b"\xff\xff\xff"
NEEDS_PASSWORD, WRONG_PASSWORD = 0xB0, 0xB1  # the simulator's statuses


@pytest.fixture
def card(reader, simulator):
    simulator.control(f"at1608 {SEED.hex()}")
    reader.power_on()
    return reader


def test_zone_written_after_its_password_reads_back(card):
    assert card.at1608_read(CONFIGURATION_ZONE, 0, 8) == bytes.fromhex("4B31363038000001")
    with pytest.raises(kulve32.ReaderRefused) as raised:
        card.at1608_write(2, 0x10, b"x")
    assert raised.value.status == NEEDS_PASSWORD
    assert card.at1608_present_password(2, NEW_PASSWORD) == 8
    data = bytes(range(160))
    card.at1608_write(2, 0x10, bytearray(data))
    assert card.at1608_read(2, 0x10, 160) == data
    assert card.at1608_read(2, 0, 0) == b""
    card.at1608_reset()  # forgets the password
    with pytest.raises(kulve32.ReaderRefused):
        card.at1608_write(2, 0x10, b"x")


def test_wrong_passwords_count_the_attempts_down(card):
    for left in (7, 6):
        with pytest.raises(PasswordRefused) as raised:
            card.at1608_present_password(3, b"\x00\x01\x02")
        assert (raised.value.status, raised.value.attempts) == (WRONG_PASSWORD, left)
        assert isinstance(raised.value, kulve32.ReaderRefused)
    assert card.at1608_present_password(3, NEW_PASSWORD) == 8


def test_authentication_with_the_seed_and_without(card):
    assert card.at1608_authenticate(SEED) == 8
    assert card.at1608_authenticate(SEED, challenge=bytes(range(8))) == 8  # the cryptogram moved on
    wrong = bytes(8)
    with pytest.raises(AuthenticationFailed) as raised:
        card.at1608_authenticate(wrong)
    assert (raised.value.result, raised.value.attempts) == (3, 7)
    assert isinstance(raised.value, kulve32.WrongCardType)
    assert card.at1608_authenticate(SEED) == 8
    assert card.at1608_read_fuse() == 0x07


@pytest.mark.parametrize("call", [
    lambda r: r.at1608_read(9, 0, 1), lambda r: r.at1608_read(0, 256, 1),
    lambda r: r.at1608_read(0, 0, 161), lambda r: r.at1608_read(0, 0, -1),
    lambda r: r.at1608_write(0, 0, bytes(161)),
    lambda r: r.at1608_present_password(16, NEW_PASSWORD),
    lambda r: r.at1608_present_password(0, b"\xff\xff"),
    lambda r: r.at1608_authenticate(SEED[:7]),
    lambda r: r.at1608_authenticate(SEED, challenge=bytes(9)),
], ids=["zone", "address", "count", "negative", "write_161", "index", "password_2", "seed_7", "challenge_9"])
def test_arguments_out_of_range_send_nothing(card, simulator, call):
    before = simulator.exchanges()
    with pytest.raises(kulve32.BadArgument) as raised:
        call(card)
    assert simulator.exchanges() == before
    assert "argument out of range" not in str(raised.value)  # the argument and its range, by name

# SPDX-License-Identifier: MIT
"""Memory cards through the Reader, against cards in the simulator's slot."""

from __future__ import annotations

import pytest

import kulve32
from kulve32.memcard import SECURITY_MEMORY, SecretCode

NO_CARD, NOT_POWERED = 0x83, 0x84  # the simulator's statuses
WRONG_CODE, NEEDS_CODE = 0x90, 0x92


@pytest.fixture
def card(reader, simulator):
    """Puts a new card of a type in the slot, selects the type and powers it."""
    def insert(card_type: int, selected: int = -1, power: bool = True) -> None:
        simulator.control(f"insert {card_type}")
        reader.select_card(card_type if selected < 0 else selected)
        if power:
            reader.power_on()
    return insert


def pattern(size: int, seed: int) -> bytes:
    return bytes((seed + i) & 0xFF for i in range(size))


@pytest.mark.parametrize("card_type, write, read, address, size", [
    (1, "write_card", "read_card", 0x1C8, 150),  # three pieces over two pages
    (1, "write_card", "read_card", 0xFFFF, 1),  # the card's last byte
    (21, "write_mem_card", "read_mem_card", 250, 600),  # pages of 264 bytes
    (3, "write_mem_card", "read_mem_card", 250, 600),  # pages of 256 bytes
])
def test_written_data_reads_back(reader, card, card_type, write, read, address, size):
    card(card_type)
    data = pattern(size, card_type)
    assert getattr(reader, write)(address, bytearray(data)) == data
    assert getattr(reader, read)(address, size) == data


def test_erase_leaves_ff_between_untouched_bytes(reader, card):
    card(1)
    reader.write_card(0x100, pattern(30, 1))
    assert reader.erase_card(0x105, 10) == b"\xff" * 10
    assert reader.erase_mem_card(0x114, 2) == b"\xff" * 2
    assert reader.read_card(0x100, 30) == pattern(5, 1) + b"\xff" * 10 + pattern(5, 16) + b"\xff" * 2 + pattern(8, 23)


@pytest.mark.parametrize("inserted, selected, matches", [(1, 1, True), (2, 1, False), (12, 12, True), (1, 255, False)])
def test_verify_ic_tells_whether_the_card_matches(reader, card, inserted, selected, matches):
    card(inserted, selected)
    assert reader.verify_ic() is matches


@pytest.mark.parametrize("setup, status", [("remove", NO_CARD), ("unpowered", NOT_POWERED)])
def test_reader_refusals_carry_the_status(reader, simulator, card, setup, status):
    if setup == "remove":
        card(1)
        simulator.control("remove")
    else:
        card(1, power=False)
        reader.power_off()
    with pytest.raises(kulve32.ReaderRefused) as raised:
        reader.read_card(0, 4)
    assert (raised.value.status, raised.value.function, raised.value.data) == (status, "ReadCard", None)
    assert f"0x{status:02X}" in str(raised.value)


def test_security_code_in_card_memory(reader, card):
    card(0)
    with pytest.raises(kulve32.ReaderRefused) as raised:
        reader.write_card(0x20, b"x")
    assert raised.value.status == NEEDS_CODE
    with pytest.raises(kulve32.ReaderRefused) as raised:
        reader.check_secret(b"\x12\x34")
    assert raised.value.status == WRONG_CODE
    assert reader.check_secret(b"\xff\xff") == b"\x00\x03\xff\xff"  # counter, then code
    assert reader.modify_secret(b"\x12\x34") == b"\x00\x03\x12\x34"
    assert reader.read_secret() == SecretCode(counter=b"\x00\x03", code=b"\x12\x34\x00\x00")
    reader.write_card(0x20, b"x")
    assert reader.check_erase_secret(1, b"\xff" * 4) == b"\xff" * 4


def test_zone_codes_and_a_refusal_with_the_readers_answer(reader, card):
    card(25)
    with pytest.raises(kulve32.ReaderRefused) as raised:
        reader.check_zone_secret(1, b"\x00\x00")
    assert raised.value.status == WRONG_CODE and len(raised.value.data) == 4
    reader.check_zone_secret(1, b"\xff\xff")
    reader.check_secret(b"\xff\xff")
    reader.set_zone_rw_bit(1, 3)
    assert reader.read_secret().counter == b"\x03\x00"
    assert reader.read_card(0, 3, area=SECURITY_MEMORY)[0] == 3


@pytest.mark.parametrize("call", [
    lambda r: r.check_secret(b"\xff\xff"), lambda r: r.read_secret(),
    lambda r: r.modify_secret(b"\x01\x02"), lambda r: r.check_erase_secret(0, bytes(4)),
    lambda r: r.check_zone_secret(0, bytes(2)),
], ids=["check", "read", "modify", "erase_key", "zone"])
def test_codes_of_a_type_without_them_raise_wrong_card_type(reader, simulator, card, call):
    card(1)
    before = simulator.exchanges()
    with pytest.raises(kulve32.WrongCardType) as raised:
        call(reader)
    assert raised.value.result == 3 and simulator.exchanges() == before


@pytest.mark.parametrize("call", [
    lambda r: r.read_card(65535, 2), lambda r: r.read_card(0, 0), lambda r: r.read_card(-1, 1),
    lambda r: r.write_card(0, b""), lambda r: r.erase_card(0, 65537), lambda r: r.read_mem_card(-1, 4),
    lambda r: r.check_zone_secret(0, b"\x01"), lambda r: r.check_erase_secret(0, b"\x01\x02\x03"),
], ids=["past_end", "count_0", "negative", "no_data", "too_long", "paged_negative", "zone_code", "key"])
def test_arguments_out_of_range_send_nothing(reader, simulator, card, call):
    card(1)
    before = simulator.exchanges()
    with pytest.raises(kulve32.BadArgument) as raised:
        call(reader)
    assert simulator.exchanges() == before
    assert "argument out of range" not in str(raised.value)  # the argument and its range, by name

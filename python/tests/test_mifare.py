# SPDX-License-Identifier: MIT
"""Mifare Classic cards through the Reader, against new cards in the simulator's field."""

from __future__ import annotations

import pytest

import kulve32
from kulve32.mifare import KEY_A, KEY_B, REQUEST_ALL, TRANSPORT_KEY, MifareDump, trailer_of

# A serial number whose little-endian reading is above 2**31: the card
# selector goes to the library as an unsigned int.
UID = bytes.fromhex("0A0B0C8D")
OTHER_UID = bytes.fromhex("11223344")
NO_CARD, AUTH_FAILED = 0x01, 0xC0  # the simulator's statuses


@pytest.fixture
def card(reader, simulator):
    simulator.control("mifare clear")
    simulator.control(f"mifare add {UID.hex()}")
    reader.mifare_set_key_mode(KEY_A)
    for slot in range(16):
        reader.mifare_store_key(slot, TRANSPORT_KEY)
    return reader


def test_the_readers_operations_on_blocks_and_values(card, simulator):
    assert (card.mifare_serial_number(), card.mifare_card_type()) == (UID, b"\x04\x00")
    assert card.mifare_read_block(0)[:4] == UID
    data = b"sixteen bytes ok"
    assert card.mifare_write_block(1, data, card=UID) == data
    simulator.control(f"mifare add {OTHER_UID.hex()}")  # a second card: choose by serial number
    assert card.mifare_read_block(1, card=int.from_bytes(UID, "little")) == data
    assert card.mifare_read_block(1, card=OTHER_UID) == bytes(16)

    assert card.mifare_write_value(4, 100, card=UID) == 100
    assert card.mifare_increment_value(4, 25, card=UID) == 125
    assert card.mifare_decrement_value(4, 200, card=UID) == -75
    assert card.mifare_read_value(4, card=UID) == -75


def test_whole_card_dump(card):
    card.mifare_write_block(1, b"A" * 16)
    card.mifare_write_block(62, b"Z" * 16)
    dump = card.mifare_read_card()
    assert isinstance(dump, MifareDump) and len(dump.data) == 768
    assert (dump.block(0)[:4], dump.block(1), dump.block(62)) == (UID, b"A" * 16, b"Z" * 16)
    assert dump.sector(15)[32:] == b"Z" * 16
    assert [number for number, _ in dump.blocks()][:4] == [0, 1, 2, 4]
    assert len(dump.hexdump().splitlines()) == 48
    with pytest.raises(IndexError):
        dump.block(trailer_of(2))


def test_single_steps_from_request_to_halt(card):
    assert card.mifare_request() == b"\x04\x00"
    serial = card.mifare_anticollision()
    assert serial == UID
    card.mifare_select(serial)
    card.mifare_load_key(KEY_A, 3, TRANSPORT_KEY)
    card.mifare_authenticate(KEY_A, 5, 3)
    card.mifare_write(5, b"single steps....")
    assert card.mifare_read(5) == b"single steps...."
    card.mifare_halt()
    with pytest.raises(kulve32.ReaderRefused) as raised:
        card.mifare_request()  # a halted card answers only a wake-up
    assert raised.value.status == NO_CARD
    assert card.mifare_request(REQUEST_ALL) == b"\x04\x00"


def test_refusals_wrong_key_and_an_empty_field(card, simulator):
    card.mifare_store_key(2, b"\x00" * 6)
    with pytest.raises(kulve32.ReaderRefused) as raised:
        card.mifare_read_block(8)
    assert raised.value.status == AUTH_FAILED
    assert str(raised.value) == ("RFMifare_ReadBlock: reader status 0xC0 (in the simulator: authentication failed: "
                                 "wrong key for the sector (the card went back to idle); see docs/reader-statuses.md)")
    simulator.control("mifare clear")
    with pytest.raises(kulve32.ReaderRefused) as raised:
        card.mifare_read_card()
    assert raised.value.status == NO_CARD and raised.value.data == bytes(768)
    with pytest.raises(kulve32.ReaderRefused) as raised:
        card.mifare.dump()
    assert raised.value.status == NO_CARD


def test_a_lost_acknowledgement_is_repeated_after_a_relink(card, simulator):
    simulator.control("fault ack:silent@code=0xAB,times=1")
    assert card.mifare_serial_number() == UID
    assert not card.closed and card.mifare_card_type() == b"\x04\x00"


@pytest.mark.parametrize("call", [
    lambda r: r.mifare_store_key(16, TRANSPORT_KEY), lambda r: r.mifare_store_key(0, b"\xff" * 5),
    lambda r: r.mifare_set_key_mode(2), lambda r: r.mifare_write_block(1, bytes(15)),
    lambda r: r.mifare_read_block(1, card=b"\x01\x02\x03"), lambda r: r.mifare_read_block(1, card=2**32),
    lambda r: r.mifare_write_value(4, 2**32), lambda r: r.mifare_write(1, bytes(17)),
    lambda r: r.mifare_load_key(KEY_A, 0, b""), lambda r: r.mifare.dump([TRANSPORT_KEY, b"12345"]),
    lambda r: r.mifare.dump({16: TRANSPORT_KEY}),
], ids=["slot_16", "key_5", "mode_2", "block_15", "serial_3", "card_2**32", "value_2**32", "write_17", "no_key",
        "dump_key_5", "dump_sector_16"])
def test_arguments_refused_send_nothing(card, simulator, call):
    before = simulator.exchanges()
    with pytest.raises(kulve32.BadArgument) as raised:
        call(card)
    assert simulator.exchanges() == before
    assert "argument out of range" not in str(raised.value)  # the argument and its range, by name


# A card image whose sectors all have keys of their own; key B is not
# readable (access bytes 78 77 88), so either key may read the data.
IMAGE_UID = bytes.fromhex("0A0B0C0D")


def key_of(sector, kind):
    return bytes([0xA0 if kind == KEY_A else 0xB0, sector, 1, 2, 3, 4])


def card_image():
    blocks = [key_of(n // 4, KEY_A) + bytes.fromhex("78778869") + key_of(n // 4, KEY_B) if n % 4 == 3
              else bytes([n]) * 16 for n in range(64)]
    blocks[0] = IMAGE_UID + bytes([IMAGE_UID[0] ^ IMAGE_UID[1] ^ IMAGE_UID[2] ^ IMAGE_UID[3]]) + bytes(11)
    return blocks


# Sector 15's keys are given nowhere; even sectors open with key A, odd with key B.
GIVEN = {s: key_of(s, KEY_A if s % 2 == 0 else KEY_B) for s in range(15)}


@pytest.mark.parametrize("keys", [GIVEN, [TRANSPORT_KEY, *GIVEN.values()]], ids=["per_sector", "candidates"])
def test_a_dump_opens_each_sector_with_its_own_key(start_simulator, tmp_path, keys):
    image = card_image()
    (tmp_path / "card.mfd").write_bytes(b"".join(image))
    sim = start_simulator("--mifare", IMAGE_UID.hex(), "--image", str(tmp_path / "card.mfd"))
    with kulve32.Reader(sim.path) as reader:
        dump = reader.mifare.dump(keys)
    assert dump.missing == (15,) and sorted(dump.blocks) == list(range(60))
    for sector in range(15):
        kind = KEY_A if sector % 2 == 0 else KEY_B
        assert dump.opened_with[sector] == (kind, key_of(sector, kind))
        assert [dump.blocks[n] for n in range(sector * 4, sector * 4 + 3)] == image[sector * 4:sector * 4 + 3]
        shown = [bytes(6), image[sector * 4 + 3][6:10], bytes(6)]  # the card shows neither key
        shown[0 if kind == KEY_A else 2] = key_of(sector, kind)  # the opening key put in its place
        assert dump.blocks[sector * 4 + 3] == b"".join(shown)
    assert dump.image()[:60 * 16] == b"".join(dump.blocks[n] for n in range(60)) and dump.image()[960:] == bytes(64)


def test_a_4k_card_with_a_key_per_sector_dumps_and_restores_byte_for_byte(start_simulator, tmp_path):
    first = [s * 4 if s < 32 else 128 + (s - 32) * 16 for s in range(41)]
    image = bytearray(range(256)) * 16
    image[:8] = IMAGE_UID + bytes([IMAGE_UID[0] ^ IMAGE_UID[1] ^ IMAGE_UID[2] ^ IMAGE_UID[3], 0x18, 0x02, 0])
    blank = bytearray(image[:16]) + bytes(4080)
    for sector in range(40):  # data that key B alone reads in every third sector
        at = (first[sector + 1] - 1) * 16
        access = bytes.fromhex("0F00FF69" if sector % 3 == 0 else "78778869")
        image[at:at + 16] = key_of(sector, KEY_A) + access + key_of(sector, KEY_B)
        blank[at:at + 16] = TRANSPORT_KEY + bytes.fromhex("FF078069") + TRANSPORT_KEY
    keys = {s: [key_of(s, KEY_A), key_of(s, KEY_B), TRANSPORT_KEY] for s in range(40)}
    (tmp_path / "card.mfd").write_bytes(bytes(image))
    (tmp_path / "blank.mfd").write_bytes(bytes(blank))
    sim = start_simulator("--mifare", IMAGE_UID.hex(), "--image", str(tmp_path / "card.mfd"))
    with kulve32.Reader(sim.path) as reader:
        dump = reader.mifare.dump(keys, sectors=kulve32.mifare.SECTORS_4K)
        assert dump.missing == () and dump.image() == bytes(image)
        sim.control(f"load mifare {tmp_path / 'blank.mfd'}")
        reader.mifare.restore(dump.image(), keys, trailers=True)
        assert reader.mifare.dump(keys, sectors=kulve32.mifare.SECTORS_4K).image() == bytes(image)

# SPDX-License-Identifier: MIT
"""CPU card and SAM APDUs through the Reader, against the simulator's chip cards.

The simulated CPU card speaks T=1 and the SAMs T=0; each runs a small
application (PIN "1234", a DF named F0 4B 55 4C 56 45 31, an 8-byte serial
number in EF 2F02).
"""

from __future__ import annotations

import pytest

import kulve32
from kulve32.cpucard import ApduResponse, apdu

APPLICATION = bytes.fromhex("F04B554C564531")
NO_CHIP_CARD = 0xA0  # the simulator's status for an empty slot


def lrc(data: bytes) -> int:
    value = 0
    for byte in data:
        value ^= byte
    return value


@pytest.fixture
def cpu(reader, simulator):
    simulator.control("chip 0 3B9A958131FE454B554C56452D435055311F")  # a new T=1 card
    reader.cpu_reset()
    return reader


def test_t1_card_session_select_read_and_pin(cpu):
    assert cpu.chip_protocol() == 1
    selected = cpu.cpu_command(apdu(0x00, 0xA4, 0x04, 0x00, APPLICATION))
    assert selected.ok and selected.data == b""  # no Le after the data: no FCI under T=1
    cpu.cpu_command(apdu(0x00, 0xA4, 0x00, 0x00, b"\x3f\x00"))
    assert cpu.cpu_command(apdu(0x00, 0xA4, 0x00, 0x0C, b"\x2f\x02")).sw == 0x9000
    serial = cpu.cpu_command(apdu(0x00, 0xB0, 0x00, 0x00, le=8))
    assert (len(serial.data), serial.sw) == (8, 0x9000)

    # A refusal of the card is a value, with its meaning, not an exception.
    wrong = cpu.cpu_command(apdu(0x00, 0x20, 0x00, 0x01, b"9999"))
    assert (wrong.sw1, wrong.sw2, wrong.ok, wrong.data) == (0x63, 0xC2, False, b"")
    assert "2 tries left" in wrong.text
    assert cpu.cpu_command(apdu(0x00, 0x20, 0x00, 0x01, b"1234")).ok


def test_transmit_hands_back_the_block_as_framed_and_the_sequence_bit_flips(cpu):
    command = apdu(0x00, 0x84, 0x00, 0x00, le=8)
    for pcb in (0x00, 0x40, 0x00):
        answer = cpu.cpu_transmit(command)
        block = bytes((0x00, pcb, len(command))) + command
        assert answer.framed == block + bytes((lrc(block),))
        assert (len(answer.data), answer.sw) == (8, 0x9000)
    case4 = cpu.cpu_transmit(apdu(0x00, 0xA4, 0x04, 0x00, APPLICATION, le=0))
    assert case4.framed[3:-1] == apdu(0x00, 0xA4, 0x04, 0x00, APPLICATION)  # no Le after data
    assert case4.ok


def test_sam_reset_switches_every_slot_to_t0(reader, cpu):
    atr = reader.sam_reset(2)
    assert atr[0] == 0x3B and reader.chip_protocol() == 0
    challenge = reader.sam_command(2, apdu(0x00, 0x84, 0x00, 0x00, le=8))
    assert (len(challenge.data), challenge.sw) == (8, 0x9000)
    # T=0 announces the FCI of a SELECT with data with 61xx; one exchange, no GET RESPONSE.
    selected = reader.sam_transmit(2, apdu(0x00, 0xA4, 0x04, 0x00, APPLICATION))
    assert selected.sw1 == 0x61 and selected.data == b""
    assert selected.framed == apdu(0x00, 0xA4, 0x04, 0x00, APPLICATION)
    assert reader.sam_command(2, apdu(0x00, 0xC0, 0x00, 0x00, le=selected.sw2)).ok


def test_an_empty_slot_is_a_reader_refusal(reader, simulator):
    simulator.control("chip 3 none")
    try:
        with pytest.raises(kulve32.ReaderRefused) as raised:
            reader.sam_reset(3)
        assert raised.value.status == NO_CHIP_CARD
    finally:
        simulator.control("chip 3 3B6A00004B554C56452D53414D31")


@pytest.mark.parametrize("call", [
    lambda r: r.cpu_command(b"\x00\xd6\x00\x00\x81" + bytes(129)),
    lambda r: r.cpu_command(b"\x00\xa4\x04"),
    lambda r: r.cpu_command(b"\x00\xa4\x04\x00\x05\x01\x02"),
    lambda r: r.cpu_transmit(b"\x00\xa4\x04\x00\x00\x01"),
    lambda r: r.sam_command(5, apdu(0, 0x84, 0, 0, le=8)),
    lambda r: r.sam_reset(0),
], ids=["lc_129", "too_short", "lc_past_data", "lc_0_with_data", "sam_5", "sam_0"])
def test_commands_the_library_cannot_send_send_nothing(cpu, simulator, call):
    before = simulator.exchanges()
    with pytest.raises(kulve32.BadArgument):
        call(cpu)
    assert simulator.exchanges() == before


@pytest.mark.parametrize("args, expected", [
    ((0x00, 0xA4, 0x04, 0x00), "00a40400"),
    ((0x00, 0x84, 0x00, 0x00, b"", 8), "0084000008"),
    ((0x00, 0xD6, 0x00, 0x10, b"\x01\x02"), "00d60010020102"),
    ((0x00, 0xA4, 0x04, 0x00, b"\xaa", 0), "00a4040001aa00"),
])
def test_apdu_builds_the_short_forms(args, expected):
    assert apdu(*args).hex() == expected


def test_response_repr_shows_the_status_word_in_hex():
    assert "sw=0x6A82" in repr(ApduResponse(b"", 0x6A82))


def test_an_apdu_without_a_reset_after_another_session_says_to_reset(start_simulator):
    path = start_simulator().path
    select = apdu(0x00, 0xA4, 0x04, 0x00, APPLICATION)
    with kulve32.Reader(path) as earlier:
        earlier.chip.cpu_reset()
        earlier.chip.cpu_command(select)  # the card now expects sequence number 1
    with kulve32.Reader(path) as later:  # starts at 0, as a new process would
        with pytest.raises(kulve32.ChipProtocolError) as raised:
            later.chip.cpu_command(select)
        assert raised.value.result == 40 and str(raised.value).endswith("; reset the card first")
        later.chip.cpu_reset()
        assert later.chip.cpu_command(select).ok

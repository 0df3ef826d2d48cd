# SPDX-License-Identifier: MIT
"""Readers on the handle API: two at once, the family sub-objects, the
deprecated flat names, and the documented ranges checked before a call."""

from __future__ import annotations

import errno
import re
import threading
import warnings

import pytest

import kulve32
from conftest import REPO
from kulve32._errors import error_for
from kulve32._statuses import SIMULATOR_STATUSES


def test_two_readers_on_two_threads_keep_to_their_own_card(start_simulator):
    simulators = [start_simulator("--card", "1") for _ in range(2)]
    readers = [kulve32.Reader(sim.path) for sim in simulators]
    failures = []

    def work(reader: kulve32.Reader, fill: int) -> None:
        try:
            reader.select_card(1)
            reader.power_on()
            for round_ in range(10):
                data = bytes([fill, round_]) * 20
                reader.memcard.write(0x40, data)
                if reader.memcard.read(0x40, len(data)) != data:
                    failures.append((fill, round_))
        except kulve32.KulveError as error:  # pragma: no cover - reported below
            failures.append(error)

    try:
        threads = [threading.Thread(target=work, args=(reader, 0xA0 + n)) for n, reader in enumerate(readers)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        assert failures == []
        # Each card holds what its own reader wrote last, and each reader
        # carried its own share of the exchanges.
        assert [r.memcard.read(0x40, 2) for r in readers] == [bytes([0xA0, 9]), bytes([0xA1, 9])]
        counts = [sim.exchanges() for sim in simulators]
        assert counts[0] == counts[1] >= 2 + 10 * 2  # 40 bytes: one piece each way
    finally:
        for reader in readers:
            reader.close()


def test_a_reader_that_does_not_link_says_why():
    with pytest.raises(kulve32.LinkError) as raised:
        kulve32.Reader("/nonexistent/kulve-handle-port")
    assert (raised.value.function, raised.value.link_error) == ("kulve_open", kulve32.LinkErrorCode.NOT_FOUND)
    assert raised.value.os_error == errno.ENOENT
    with pytest.raises(kulve32.BadArgument):
        kulve32.Reader("")


# One row per argument the library would cut to a byte (or 16 bits): the
# value just outside the documented range is refused before anything is sent.
RANGE_ROWS = [
    ("select_card 256", lambda r: r.select_card(256), "SelectCard"),
    ("select_card 300", lambda r: r.select_card(300), "SelectCard"),
    ("select_card -1", lambda r: r.select_card(-1), "SelectCard"),
    ("memcard area 256", lambda r: r.memcard.read(0, 4, area=256), "ReadCard"),
    ("memcard fuse 256", lambda r: r.memcard.fuse(256), "Fuse"),
    ("memcard zone access 256", lambda r: r.memcard.set_zone_access(1, 256), "SetZoneRWBit"),
    ("e5550 read block 256", lambda r: r.e5550.read(256), "RF5550_ReadBlk"),
    ("e5550 write block -2", lambda r: r.e5550.write(-2, bytes(4)), "RF5550_WriteBlk"),
    ("mifare block 256", lambda r: r.mifare.read_block(256), "RFMifare_ReadBlock"),
    ("mifare authenticate key 256", lambda r: r.mifare.authenticate(256, 4, 0), "RFMifare_Authentication"),
    ("kq command sub 256", lambda r: r.kq.command(256, b"\x01"), "KQ_TransCmd"),
]


@pytest.mark.parametrize("call, function", [row[1:] for row in RANGE_ROWS], ids=[row[0] for row in RANGE_ROWS])
def test_values_outside_the_documented_range_are_refused_before_sending(reader, simulator, call, function):
    before = simulator.exchanges()
    with pytest.raises(kulve32.BadArgument) as raised:
        call(reader)
    assert raised.value.function == function
    assert simulator.exchanges() == before


def test_flat_names_warn_and_lead_to_the_same_call(reader):
    with pytest.warns(DeprecationWarning, match=r"reader\.chip\.protocol"):
        flat = reader.chip_protocol
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        assert reader.chip.protocol() == flat() == 1
        reader.device_number()  # the reader's own commands stay where they are


@pytest.mark.parametrize("call, result, origin", [
    (lambda r: r.alarm(0), 4, kulve32.ORIGIN_LIBRARY),  # refused by the library: nothing sent
    (lambda r: r.mifare.serial_number(), 1, kulve32.ORIGIN_READER),  # no card in the field
], ids=["library", "reader"])
def test_a_failure_says_whose_result_it_is(reader, call, result, origin):
    with pytest.raises(kulve32.KulveError) as raised:
        call(reader)
    assert (raised.value.result, reader.result_origin(result)) == (result, origin)
    assert ("reader status" in raised.value.text) == (origin == kulve32.ORIGIN_READER)


@pytest.mark.parametrize("result", range(40, 47))
def test_the_full_modes_results_raise_chip_protocol_errors(result):
    assert type(error_for(result, "ChipTransmit")) is kulve32.ChipProtocolError


def test_a_trace_of_its_own_covers_that_reader_alone(reader, start_simulator):
    lines = []
    with kulve32.Reader(start_simulator().path) as other:
        other.set_trace(2, lambda level, line: lines.append(line))
        reader.device_number()
        assert lines == []
        other.device_number()
        assert any(line.startswith("reply status 00") for line in lines)
        other.set_trace(0)


def test_the_simulators_statuses_are_named_as_listed():
    listed = re.findall(r"^\| (0x[0-9A-F]{2}) \| (.*) \|$", (REPO / "docs/reader-statuses.md").read_text(), re.M)
    assert SIMULATOR_STATUSES == {int(value, 16): meaning.replace("`", "") for value, meaning in listed}
    assert error_for(0x7E, "X", text="reader status 0x7E").text == \
        "reader status 0x7E (the reader's own; see docs/reader-statuses.md)"

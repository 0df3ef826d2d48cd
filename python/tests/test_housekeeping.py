# SPDX-License-Identifier: MIT
"""The reader's own commands through the Reader."""

from __future__ import annotations

import pytest

import kulve32
from kulve32.housekeeping import Inquiry


def test_power_and_card_type_show_in_the_inquiry(reader):
    reader.select_card(2)  # 258 is refused: see test_ranges.py
    reader.power_on()
    answer = reader.inquire()
    assert isinstance(answer, Inquiry) and (answer.card_type, answer.powered) == (2, True)
    reader.power_off()
    assert reader.inquire().powered is False
    reader.standby()


def test_identity_is_eight_bytes(reader):
    number, version = reader.device_number(), reader.device_version()
    assert len(number) == len(version) == 8
    assert number != bytes(8) and version != bytes(8)


@pytest.mark.parametrize("mode, refused", [(0, True), (1, False), (7, False), (8, True), (-1, True)])
def test_alarm_takes_modes_one_to_seven(reader, simulator, mode, refused):
    before = simulator.exchanges()
    if refused:
        with pytest.raises(kulve32.BadArgument) as raised:
            reader.alarm(mode)
        assert raised.value.result == 4 and raised.value.function == "ALARM"
    else:
        reader.alarm(mode, 0x1FF, -1, 3)
    assert simulator.exchanges() == before + (0 if refused else 1)


def test_library_version_needs_no_reader():
    assert kulve32.library_version() == 7321

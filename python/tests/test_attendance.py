# SPDX-License-Identifier: MIT
"""The attendance terminal through the Reader, against the simulator's terminal."""

from __future__ import annotations

import datetime

import pytest

import kulve32
from kulve32.attendance import PUNCH_IN, PUNCH_OUT, AttendanceRecord, KqDate, KqTime, date_of_day, day_number

UNKNOWN_SUB = 0xE0  # the simulator's status


@pytest.fixture
def terminal(reader):
    reader.kq_system_init()
    return reader


def test_clock_set_and_read_back(terminal):
    terminal.kq_set_time(datetime.datetime(2024, 2, 29, 13, 45, 0))
    clock = terminal.kq_get_time()
    assert (clock.year, clock.month, clock.day, clock.hour, clock.minute) == (24, 2, 29, 13, 45)
    assert clock.weekday == 4 and clock.second <= 2  # a Thursday; the clock runs
    assert clock.to_datetime().date() == datetime.date(2024, 2, 29)
    terminal.kq_set_time(KqTime(99, 12, 31, 23, 59, 0, weekday=0))  # the terminal works the weekday out
    assert terminal.kq_get_time().weekday == datetime.date(2099, 12, 31).isoweekday()


def test_records_of_a_day_by_its_positions(terminal, simulator):
    terminal.kq_set_time(datetime.datetime(2024, 5, 6, 8, 0, 0))
    for badge, kind in ((4242, "in"), (0xFFFFFFFE, "in"), (4242, "out")):
        simulator.control(f"punch {badge} {kind}")
    day = datetime.date(2024, 5, 6)
    assert (terminal.kq_start_position(day), terminal.kq_end_position(KqDate(24, 5, 6))) == (0, 3)
    assert terminal.kq_current_position() == 3
    assert terminal.kq_start_position(datetime.date(2024, 5, 7)) == terminal.kq_end_position(datetime.date(2024, 5, 7))
    records = terminal.kq_day_records(day)
    assert [(r.badge, r.hour, r.kind) for r in records] == [(4242, 8, PUNCH_IN), (0xFFFFFFFE, 8, PUNCH_IN),
                                                           (4242, 8, PUNCH_OUT)]
    assert "transfer=0 ended=1" in simulator.control("terminal")
    assert terminal.kq_read_records(1, 31) == records[1:]  # fewer at the end of the store
    assert terminal.kq_read_records(3, 1) == []
    # Over a range: two days later one more, a day with none between; each record with its day.
    terminal.kq_set_time(datetime.datetime(2024, 5, 8, 9, 0, 0))
    simulator.control("punch 7 in")
    span = terminal.kq_records_between(datetime.date(2024, 5, 5), datetime.date(2024, 5, 8))
    assert [(d.day, r.badge) for d, r in span] == [(6, 4242), (6, 0xFFFFFFFE), (6, 4242), (8, 7)]
    assert terminal.kq_records_between(datetime.date(2024, 5, 8), datetime.date(2024, 5, 7)) == []


@pytest.mark.parametrize("position", [0xFFFF, 0x12FFFF, 0xFFFFFF])
def test_every_24_bit_position_is_sent_as_given(terminal, position):
    lines = []
    terminal.set_trace(2, lambda level, line: lines.append(line))
    try:
        assert terminal.kq_read_records(position, 1) == []  # beyond the store
    finally:
        terminal.set_trace(0)
    assert f"data[4] {position >> 16:02X} {position >> 8 & 0xFF:02X} {position & 0xFF:02X} 01" in lines[0]


def test_many_records_come_in_reads_of_31(terminal, simulator):
    simulator.control("fill")
    total = terminal.kq_current_position()
    start = terminal.kq_start_position(KqDate(0, 1, 1))
    assert start == 0 and total > 31
    assert len(terminal.kq_read_records(0, 31)) == 31
    terminal.kq_end_transfer()


def test_display_own_commands_and_passwords(terminal, simulator):
    terminal.kq_display("HELLO")
    assert simulator.control("display") == 'display "HELLO           "'
    terminal.kq_display(b"0123456789ABCDEF")
    assert terminal.kq_command(0, b"echo") == b"echo"
    assert terminal.kq_command(1) == b"KQSIM1.0"
    with pytest.raises(kulve32.ReaderRefused) as raised:
        terminal.kq_command(7)
    assert raised.value.status == UNKNOWN_SUB
    terminal.kq_download_password(1, b"1234")
    terminal.kq_download_password(2, b"123456")


@pytest.mark.parametrize("date, number", [
    (KqDate(0, 1, 1), 1), (datetime.date(2000, 3, 1), 61), (datetime.date(2001, 1, 1), 367),
    (datetime.date(2024, 12, 31), 9132),
])
def test_day_numbers_go_both_ways(date, number):
    assert day_number(date) == number
    expected = date if isinstance(date, KqDate) else KqDate.from_date(date)
    assert date_of_day(number) == expected and expected.day_number == number


def test_record_bytes():
    assert AttendanceRecord.from_bytes(bytes.fromhex("0102030409101102")) == AttendanceRecord(
        0x04030201, 9, 16, 17, PUNCH_OUT)


@pytest.mark.parametrize("call", [
    lambda r: r.kq_set_time(KqTime(0, 256, 1, 0, 0, 0)), lambda r: r.kq_set_time(datetime.datetime(1999, 1, 1)),
    lambda r: r.kq_read_records(0, 0), lambda r: r.kq_read_records(0, 32), lambda r: r.kq_read_records(1 << 24, 1),
    lambda r: r.kq_display("seventeen chars!!"), lambda r: r.kq_command(0, bytes(255)),
    lambda r: r.kq_download_password(1, b"123456"), lambda r: r.kq_download_password(257, b"1234"),
    lambda r: r.kq_start_position(datetime.date(2256, 1, 1)), lambda r: r.kq_end_position(KqDate(0, 1, -1)),
], ids=["month_256", "year_1999", "count_0", "count_32", "position_2**24", "display_17", "command_255",
        "password_kind_1", "password_kind_257", "year_2256", "day_-1"])
def test_arguments_refused_send_nothing(terminal, simulator, call):
    before = simulator.exchanges()
    with pytest.raises(kulve32.BadArgument):
        call(terminal)
    assert simulator.exchanges() == before

# SPDX-License-Identifier: MIT
"""Linking, closing, the one-connection rule of the process's reader
(ProcessReader), and link failures as exceptions."""

from __future__ import annotations

import errno
import threading

import pytest

import kulve32
from conftest import MISSING_PORT
from kulve32 import LinkErrorCode, LinkStep
from simulator import fault_options


def test_reader_links_reports_its_port_and_closes(start_simulator):
    sim = start_simulator()
    with kulve32.Reader(sim.path, index=3) as reader:
        assert (reader.index, reader.path, reader.baud_rate) == (3, sim.path, 57600)
        assert not reader.closed
        assert kulve32.last_link_error().code == LinkErrorCode.NONE
    assert reader.closed
    with pytest.raises(ValueError, match="closed"):
        reader.device_number()
    reader.close()  # a second close does nothing
    kulve32.set_port_path(3, MISSING_PORT)


def test_slow_reader_and_auto_link(start_simulator):
    slow = start_simulator("--speed", "9600")
    kulve32.set_port_path(1, slow.path)  # index 0 still leads nowhere
    try:
        with kulve32.ProcessReader.auto() as reader:
            assert (reader.index, reader.baud_rate) == (1, 9600)
            assert len(reader.device_number()) == 8
    finally:
        kulve32.set_port_path(1, MISSING_PORT)


def test_a_new_reader_takes_over_the_connection(start_simulator):
    sim = start_simulator()
    first = kulve32.ProcessReader(sim.path)
    second = kulve32.ProcessReader(sim.path)
    try:
        assert first.closed and not second.closed
        with pytest.raises(ValueError):
            first.power_on()
        first.close()  # must not unlink the second reader's port
        second.power_on()
    finally:
        second.close()
        kulve32.set_port_path(0, MISSING_PORT)


@pytest.mark.parametrize("setup, code, in_text, os_error", [
    ("missing", LinkErrorCode.NOT_FOUND, MISSING_PORT, errno.ENOENT),
    ("silent", LinkErrorCode.NO_ANSWER, "no answer", 0),
])
def test_link_failures_say_why(start_simulator, setup, code, in_text, os_error):
    if setup == "silent":
        kulve32.set_port_path(0, start_simulator("--speed", "both", "--fault", "start:silent").path)
    with pytest.raises(kulve32.LinkError) as raised:
        kulve32.ProcessReader(index=0)
    error = raised.value
    kulve32.set_port_path(0, MISSING_PORT)
    assert (error.function, error.letter, error.step, error.link_error) == ("LinkCom", None, None, code)
    assert in_text in error.link_error_text and in_text in str(error)
    assert error.os_error == os_error == kulve32.last_link_error().os_error


def test_auto_link_with_no_port_names_the_step():
    with pytest.raises(kulve32.LinkError) as raised:
        kulve32.ProcessReader.auto()
    assert raised.value.letter == "f" and raised.value.step is LinkStep.NO_ANSWER
    assert raised.value.link_error == LinkErrorCode.NOT_FOUND


# A reader that fails one command each, on the step named.
EXCHANGE_FAULTS = [
    ("ack:silent@code=2,times=0", "power_on", LinkStep.NO_ACK),
    ("ack:wrong@code=3,times=0", "power_off", LinkStep.BAD_ACK),
    ("status:silent@code=28,times=0", "standby", LinkStep.NO_STATUS),
    ("length:silent@code=13,times=0", "inquire", LinkStep.NO_LENGTH),
    ("data:silent@code=34,times=0", "device_version", LinkStep.SHORT_REPLY),
    ("checksum:silent@code=32,times=0", "device_number", LinkStep.NO_CHECKSUM),
    ("checksum:wrong@code=10,times=0", "select_card", LinkStep.BAD_CHECKSUM),
]


@pytest.fixture(scope="module")
def faulty_reader(simulator_program):
    from simulator import Simulator

    options = fault_options(*(fault for fault, _, _ in EXCHANGE_FAULTS))
    with Simulator(simulator_program, *options) as sim, kulve32.Reader(sim.path) as reader:
        yield reader
    kulve32.set_port_path(0, MISSING_PORT)


@pytest.mark.parametrize("fault, method, step", EXCHANGE_FAULTS, ids=[m for _, m, _ in EXCHANGE_FAULTS])
def test_exchange_failures_raise_link_error_with_the_step(faulty_reader, fault, method, step):
    call = getattr(faulty_reader, method)
    with pytest.raises(kulve32.LinkError) as raised:
        call(1) if method == "select_card" else call()
    error = raised.value
    assert (error.result, error.letter, error.step) == (step.value, step.letter, step)
    assert error.link_error in (LinkErrorCode.TIMEOUT, LinkErrorCode.PROTOCOL)
    assert_cause_first(error)
    faulty_reader.alarm(1)  # the link is still good for other commands


def assert_cause_first(error):
    # "<function>: <why> (link failure 'x': <step>, request code NN)": the step once, the cause first.
    cause = error.link_error_text.rsplit(" (", 1)[1].rstrip(")")
    assert str(error).startswith(f"{error.function}: {cause} (link failure '{error.letter}': ")
    assert str(error).count(f"'{error.letter}'") == 1 and str(error).endswith(error.link_error_text.split(":")[0] + ")")


def test_a_dead_line_names_the_hangup_first_and_its_step_once(start_simulator):
    sim = start_simulator()
    with kulve32.Reader(sim.path) as reader:
        sim.control("vanish")
        with pytest.raises(kulve32.LinkError) as raised:
            reader.device_number()
    assert raised.value.link_error == LinkErrorCode.HANGUP
    assert_cause_first(raised.value)


@pytest.mark.parametrize("call, sent", [
    (lambda r: r.alarm(1, 2**31 - 1, -(2**31)), True),  # the edges of a 32-bit int go out
    (lambda r: r.alarm(1, 2**31), False), (lambda r: r.alarm(1, -(2**31) - 1), False),
    (lambda r: r.select_card(2**32 + 1), False), (lambda r: r.read_card(0, 2**32 + 4), False),
], ids=["int32_edges", "2**31", "-2**31-1", "select_2**32+1", "count_2**32+4"])
def test_integers_beyond_32_bits_are_refused_before_sending(reader, simulator, call, sent):
    before = simulator.exchanges()
    if sent:
        call(reader)
    else:
        with pytest.raises(kulve32.BadArgument):
            call(reader)
    assert simulator.exchanges() == before + sent


def test_a_transmit_failure_is_worded_by_its_own_reader(start_simulator):
    sim = start_simulator()
    kulve32.set_port_path(0, MISSING_PORT)
    with pytest.raises(kulve32.LinkError):
        kulve32.ProcessReader(index=0)  # an earlier, different failure: MISSING_PORT not found
    with kulve32.Reader(sim.path) as reader:
        sim.control("vanish")
        with pytest.raises(kulve32.LinkError) as raised:
            reader.chip.transmit(0, bytes(4))
    assert raised.value.link_error == LinkErrorCode.HANGUP and MISSING_PORT not in str(raised.value)


@pytest.mark.parametrize("call, words", [
    (lambda: kulve32.port_path(12), "GetComPortPath: port index (12) is outside 0..9"),
    (lambda: kulve32.set_port_path(3, ""), "SetComPortPath: path: 1..255 bytes, not 0"),
    (lambda: kulve32.set_trace(4), "SetTrace: trace level (4) is outside 0..3"),
    (lambda: kulve32.Reader(""), "kulve_open: path: 1..255 bytes, not 0"),
    (lambda: kulve32.des.encrypt(bytes(8), bytes(9)), "EnDesData: data has 9 bytes, not a multiple of 8"),
])
def test_refused_arguments_are_named_with_their_range(call, words):
    with pytest.raises(kulve32.BadArgument) as raised:
        call()
    assert str(raised.value) == words


@pytest.mark.parametrize("index, path", [(10, "/dev/null"), (-1, "/dev/null"), (9, ""),
                                         (9, "/" + "x" * kulve32.MAX_PORT_PATH)])
def test_port_paths_out_of_range_are_refused(index, path):
    with pytest.raises(kulve32.BadArgument):
        kulve32.set_port_path(index, path)
    assert kulve32.port_path(9) == MISSING_PORT

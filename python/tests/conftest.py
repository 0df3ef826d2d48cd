# SPDX-License-Identifier: MIT
"""Shared fixtures: the library under test, simulated readers, a linked Reader.

The library is the one named by --kulve-library or KULVE32_LIBRARY (default:
build/release/src/libkulve32.so of this repository); the simulator the one
named by --kulvesim or KULVESIM (default: build/release/sim/kulvesim).

Every port index is pointed at a path that does not exist before any test
runs, and a test links only indexes it has pointed at a simulator.
"""

from __future__ import annotations

import os
import sys
from pathlib import Path
from typing import Callable, Iterator, List

import pytest

REPO = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(REPO / "python"))
sys.path.insert(0, str(Path(__file__).resolve().parent))

import kulve32  # noqa: E402
from simulator import Simulator, program_from  # noqa: E402

MISSING_PORT = "/nonexistent/kulve-test-port"


def pytest_addoption(parser: pytest.Parser) -> None:
    parser.addoption("--kulve-library", default=os.environ.get(
        kulve32.LIBRARY_ENV, str(REPO / "build/release/src/libkulve32.so")),
        help="the libkulve32.so to test (env KULVE32_LIBRARY)")
    parser.addoption("--kulvesim", default=os.environ.get(
        "KULVESIM", str(REPO / "build/release/sim/kulvesim")),
        help="the kulvesim program (env KULVESIM)")


def pytest_configure(config: pytest.Config) -> None:
    try:
        kulve32.load(config.getoption("--kulve-library"))
    except OSError as error:
        raise pytest.UsageError(str(error)) from None
    point_all_ports_nowhere()


def point_all_ports_nowhere() -> None:
    for index in range(kulve32.PORT_COUNT):
        kulve32.set_port_path(index, MISSING_PORT)


@pytest.fixture(scope="session")
def simulator_program(pytestconfig: pytest.Config) -> str:
    return program_from(pytestconfig.getoption("--kulvesim"))


@pytest.fixture
def start_simulator(simulator_program: str) -> Iterator[Callable[..., Simulator]]:
    """Starts simulators with the given kulvesim options; all stop after the test."""
    started: List[Simulator] = []

    def start(*options: str) -> Simulator:
        simulator = Simulator(simulator_program, *options)
        started.append(simulator)
        return simulator

    yield start
    for simulator in started:
        simulator.stop()


@pytest.fixture(scope="module")
def simulator(simulator_program: str) -> Iterator[Simulator]:
    """One simulated reader for the whole test module."""
    with Simulator(simulator_program) as running:
        yield running


@pytest.fixture(scope="module")
def reader(simulator: Simulator) -> Iterator[kulve32.Reader]:
    """A Reader linked to the module's simulator on port index 0, for the whole module."""
    with kulve32.Reader(simulator.path) as linked:
        yield linked
    kulve32.set_port_path(0, MISSING_PORT)

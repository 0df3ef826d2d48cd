# SPDX-License-Identifier: MIT
"""The documentation's Python examples run as written, against the simulator
(scripts/doc_examples.py finds them; the lane type-checks them)."""

from __future__ import annotations

import os
import shutil
import subprocess
import sys

import pytest
from conftest import REPO

sys.path.insert(0, str(REPO / "scripts"))
from doc_examples import examples  # noqa: E402

RUNNABLE = [example for example in examples() if example.runs]


def test_every_example_is_found_and_most_run():
    assert len(examples()) >= 12 and len(RUNNABLE) >= 10


@pytest.mark.parametrize("example", RUNNABLE, ids=[e.name for e in RUNNABLE])
def test_example_runs_against_the_simulator(example, start_simulator, pytestconfig, tmp_path):
    environment = dict(os.environ, PYTHONPATH=str(REPO / "python"),
                       KULVE32_LIBRARY=pytestconfig.getoption("--kulve-library"))
    if example.module:  # a module of the package: in a copy of it, imported after the package
        shutil.copytree(REPO / "python" / "kulve32", tmp_path / "kulve32", ignore=shutil.ignore_patterns("__pycache__"))
        (tmp_path / example.module).write_text(example.code)
        environment["PYTHONPATH"] = str(tmp_path)
        program = f"import kulve32, {example.module[:-3].replace('/', '.')}"
    else:
        program = example.program([start_simulator(*example.simulator_options).path for _ in example.ports or [0]])
    done = subprocess.run([sys.executable, "-c", program], env=environment,
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, timeout=300)
    assert done.returncode == 0, f"{example.document} line {example.line}:\n{done.stdout}"

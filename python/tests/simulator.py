# SPDX-License-Identifier: MIT
"""kulvesim, the simulated reader, as a child process on a pty."""

from __future__ import annotations

import os
import select
import subprocess
import time
from typing import List, Optional


class Simulator:
    """A running kulvesim: `path` is its pty; `control()` sends a line to its standard input."""

    def __init__(self, program: str, *options: str, timeout: float = 60.0) -> None:
        self._process = subprocess.Popen(
            [program, "--quiet", *options], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
            stderr=subprocess.PIPE, text=True, bufsize=1)
        try:
            self.path = self._line(timeout)
        except Exception:
            self.stop()
            raise

    def _line(self, timeout: float) -> str:
        assert self._process.stdout is not None
        deadline = time.monotonic() + timeout
        while True:
            left = deadline - time.monotonic()
            ready, _, _ = select.select([self._process.stdout], [], [], max(left, 0))
            if ready:
                line = self._process.stdout.readline()
                if not line:
                    raise RuntimeError(f"kulvesim ended: {self._stderr()}")
                return line.rstrip("\n")
            if left <= 0:
                raise TimeoutError("kulvesim did not answer")

    def _stderr(self) -> str:
        if self._process.poll() is None or self._process.stderr is None:
            return ""
        return self._process.stderr.read().strip()

    def control(self, command: str) -> str:
        """Runs a control command ('insert 1', 'fault ack:silent@code=2', 'count') and returns its answer."""
        assert self._process.stdin is not None
        self._process.stdin.write(command + "\n")
        self._process.stdin.flush()
        answer = self._line(60.0)  # generous: a loaded machine can stall it
        if answer.startswith("error"):
            raise RuntimeError(f"kulvesim: {command}: {answer}")
        return answer

    def exchanges(self) -> int:
        return int(self.control("count").split()[1])

    def stop(self) -> None:
        if self._process.poll() is None:
            self._process.terminate()
            try:
                self._process.wait(10)
            except subprocess.TimeoutExpired:
                self._process.kill()
                self._process.wait()
        for stream in (self._process.stdin, self._process.stdout, self._process.stderr):
            if stream is not None:
                stream.close()

    def __enter__(self) -> "Simulator":
        return self

    def __exit__(self, *exc_info: object) -> None:
        self.stop()


def fault_options(*faults: str) -> List[str]:
    options: List[str] = []
    for fault in faults:
        options += ["--fault", fault]
    return options


def program_from(value: Optional[str]) -> str:
    if not value or not os.access(value, os.X_OK):
        raise FileNotFoundError(f"no kulvesim at {value!r}")
    return value

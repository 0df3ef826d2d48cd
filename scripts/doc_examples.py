#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The Python examples of the documentation, checked as a user would write them.

    scripts/doc_examples.py check [--mypy-cache DIR]   mypy --strict over every example
    scripts/doc_examples.py list                        each example, where it is and how it runs

Every ```python block of docs/python.md and README.md is an example. The line
right above a block may say how it runs:

    <!-- example: kulvesim --card 1 -->     run against kulvesim started with these options
    <!-- example: no run (two readers) -->  type-checked only; the words say why
    <!-- example: module kulve32/families/_example.py -->
                                            that module of the package: type-checked,
                                            and imported (its exports must match the
                                            package's declarations)

An unmarked block runs against a plain kulvesim. Each block is a program of
its own with `import kulve32` before it; a block that uses `reader` without
opening one continues a session, so `reader` is declared a kulve32.Reader
(and, to run, opened on the simulator). /dev/ttyUSB0 and /dev/ttyUSB1 in a
block stand for the simulators' pseudo-terminals (one simulator each, with
the block's options). python/tests/test_doc_examples.py runs the examples.
"""

from __future__ import annotations

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import textwrap
from dataclasses import dataclass
from pathlib import Path
from typing import List, Optional

REPO = Path(__file__).resolve().parent.parent
DOCUMENTS = ("docs/python.md", "README.md")
PORTS = ("/dev/ttyUSB0", "/dev/ttyUSB1")

_FENCE = re.compile(r"^(\s*)```python\s*$")
_MARK = re.compile(r"^\s*<!--\s*example:\s*(.*?)\s*-->\s*$")
_OPENS_READER = re.compile(r"\bas reader\b|^\s*reader\s*=", re.MULTILINE)
_USES_READER = re.compile(r"\breader\.")


@dataclass(frozen=True)
class Example:
    document: str
    line: int  # of the opening fence, 1 first
    code: str
    mark: str  # the words of its example comment, "" when unmarked

    @property
    def name(self) -> str:
        return f"{Path(self.document).stem.lower()}_md_{self.line}"

    @property
    def module(self) -> Optional[str]:
        return self.mark.split()[1] if self.mark.startswith("module ") else None

    @property
    def runs(self) -> bool:
        return not self.mark.startswith("no run")

    @property
    def simulator_options(self) -> List[str]:
        return self.mark.split()[1:] if self.mark.startswith("kulvesim") else []

    @property
    def ports(self) -> List[str]:
        return [port for port in PORTS if port in self.code]

    @property
    def continues_session(self) -> bool:
        return bool(_USES_READER.search(self.code)) and not _OPENS_READER.search(self.code)

    def program(self, paths: Optional[List[str]] = None) -> str:
        """The block as a program: to type-check (no paths) or to run on these simulator paths."""
        if self.module is not None:
            return self.code
        code = self.code
        head = "import kulve32\n"
        if paths is None:
            head += "reader: kulve32.Reader\n" if self.continues_session else ""
            return head + code
        for port, path in zip(PORTS, paths):
            code = code.replace(port, path)
        if self.continues_session:
            head += f"reader = kulve32.Reader({paths[0]!r})\n"
        return head + code


def examples(repo: Path = REPO) -> List[Example]:
    found: List[Example] = []
    for document in DOCUMENTS:
        lines = (repo / document).read_text(encoding="utf-8").splitlines()
        at = 0
        while at < len(lines):
            fence = _FENCE.match(lines[at])
            if fence is None:
                at += 1
                continue
            end = at + 1
            while end < len(lines) and lines[end].strip() != "```":
                end += 1
            mark = _MARK.match(lines[at - 1]) if at > 0 else None
            code = textwrap.dedent("\n".join(lines[at + 1:end])) + "\n"
            found.append(Example(document, at + 1, code, mark.group(1) if mark else ""))
            at = end + 1
    return found


def check(cache: Path) -> int:
    """mypy --strict over every example; 0 when all pass."""
    with tempfile.TemporaryDirectory(prefix="kulve-examples-") as work:
        package = Path(work) / "package"
        shutil.copytree(REPO / "python" / "kulve32", package / "kulve32",
                        ignore=shutil.ignore_patterns("__pycache__", "*.so*", "*.DLL"))
        files = []
        for example in examples():
            target = package / example.module if example.module else Path(work) / f"{example.name}.py"
            target.write_text(example.program(), encoding="utf-8")
            files.append(str(target))
        environment = dict(os.environ, MYPYPATH=str(package))
        done = subprocess.run(["mypy", "--strict", "--cache-dir", str(cache), *files],
                              env=environment, stdout=subprocess.PIPE, text=True)
    report = done.stdout.replace(work + os.sep, "")
    for example in examples():  # name each failure by its line in the documentation
        head = example.program().count("\n") - example.code.count("\n")
        report = re.sub(rf"\b{example.name}\.py:(\d+):",
                        lambda found: f"{example.document}:{example.line + int(found.group(1)) - head}:", report)
    print(report, end="")
    return 0 if done.returncode == 0 else 1


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("action", choices=("check", "list"))
    parser.add_argument("--mypy-cache", type=Path, default=REPO / "build" / "mypy-cache-examples")
    arguments = parser.parse_args()
    if arguments.action == "list":
        for example in examples():
            how = example.mark or "kulvesim"
            print(f"{example.document}:{example.line}: {how}")
        return 0
    return check(arguments.mypy_cache)


if __name__ == "__main__":
    sys.exit(main())

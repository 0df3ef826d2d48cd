#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Checks the KULVE32.lib import libraries made for Microsoft's tools.

For each library (given as ARCH=PATH, ARCH being i386 or x86-64) it reads
`llvm-nm` and `llvm-readobj` and checks that:
  - the defined symbols are exactly those of the exports: _Name@N and
    __imp__Name@N on i386, N being four bytes per argument as kulve32.h
    declares it (what a stdcall call through the header refers to); Name and
    __imp_Name on x86-64;
  - every import names KULVE32.DLL, and on i386 carries the "undecorate"
    name type, so a program asks the DLL for the plain name (LinkCom).

Exit status: 0 when every check passes, 1 otherwise, 2 on a usage error.
"""

from __future__ import annotations

import argparse
import re
import subprocess
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "scripts"))
import export_list  # noqa: E402

NAME_TYPES = {"i386": "undecorate", "x86-64": "name"}


def expected_symbols(arch: str) -> dict:
    """Defined symbol -> export name."""
    symbols = {}
    for export in export_list.exports(name_only=True):
        base = f"_{export.name}@{export.stack_bytes}" if arch == "i386" else export.name
        symbols[base] = symbols["__imp_" + base] = export.name
    return symbols


def run(tool: str, path: str) -> str:
    return subprocess.run([tool, path], check=True, capture_output=True, text=True).stdout


def check_library(arch: str, path: str, nm: str, readobj: str) -> list:
    problems = []
    try:
        symbols_text, objects_text = run(nm, path), run(readobj, path)
    except (OSError, subprocess.CalledProcessError) as error:
        return [f"{path}: cannot read: {error}"]
    defined = set(re.findall(r"^[0-9a-fA-F]*\s+T\s+(\S+)$", symbols_text, re.M))
    wanted = expected_symbols(arch)
    for symbol in sorted(set(wanted) - defined):
        problems.append(f"{path}: no symbol {symbol} for {wanted[symbol]}")
    for symbol in sorted(defined - set(wanted)):
        problems.append(f"{path}: unexpected symbol {symbol}")

    imports = 0
    for block in objects_text.split("\nFile: ")[1:]:
        if "Format: COFF-import-file" not in block:
            continue
        imports += 1
        dll = block.split("\n", 1)[0].strip()
        name_type = re.search(r"Name type: (\S+)", block)
        symbols = re.findall(r"Symbol: (\S+)", block)
        if dll.upper() != "KULVE32.DLL":
            problems.append(f"{path}: {symbols} import from {dll}, not KULVE32.DLL")
        if not name_type or name_type.group(1) != NAME_TYPES[arch]:
            problems.append(f"{path}: {symbols} have name type "
                            f"{name_type.group(1) if name_type else 'none'}, expected {NAME_TYPES[arch]}")
    if imports != len(wanted) // 2:
        problems.append(f"{path}: {imports} imports, expected {len(wanted) // 2}")
    return problems


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n", 1)[0])
    parser.add_argument("--nm", default="llvm-nm")
    parser.add_argument("--readobj", default="llvm-readobj")
    parser.add_argument("libraries", nargs="+", metavar="ARCH=PATH")
    args = parser.parse_args()
    problems = []
    for item in args.libraries:
        arch, _, path = item.partition("=")
        if arch not in NAME_TYPES or not path:
            parser.error(f"expected ARCH=PATH with ARCH one of {sorted(NAME_TYPES)}: {item}")
        found = check_library(arch, path, args.nm, args.readobj)
        print(f"{'FAIL' if found else 'ok  '} {arch:7} {path}")
        problems += found
    for problem in problems:
        print("  " + problem)
    if problems:
        print(f"import library check: {len(problems)} problem(s)")
        return 1
    print(f"import library check: {len(args.libraries)} KULVE32.lib file(s) match the export list")
    return 0


if __name__ == "__main__":
    sys.exit(main())

# SPDX-License-Identifier: MIT
"""The library's exports as data: names and ordinals from kulve32.def, and
each one's result and arguments as the public header declares them.

Used by the generators of the other languages' declarations and by the
checks that those declarations match. Standard library only.
"""

from __future__ import annotations

import re
from dataclasses import dataclass
from pathlib import Path
from typing import Dict, List, Tuple

REPO = Path(__file__).resolve().parents[1]
DEF_FILE = REPO / "src/exports/kulve32.def"
HEADER = REPO / "include/kulve32.h"

# Argument and result kinds.
INT = "int"  # a 32-bit integer
BYTES = "bytes"  # unsigned char *: a byte buffer
INTS = "ints"  # int *: one integer passed by reference
TEXT = "text"  # const char * / char *: a NUL-terminated string or a buffer for one
ADDRESS = "address"  # void *: handed back untouched
CALLBACK = "callback"  # KulveTraceCallback
VOID = "void"


@dataclass(frozen=True)
class Parameter:
    name: str
    kind: str
    const: bool  # read only by the library


@dataclass(frozen=True)
class Export:
    name: str
    ordinal: int
    result: str
    parameters: Tuple[Parameter, ...]

    @property
    def stack_bytes(self) -> int:
        """Bytes of arguments a 32-bit stdcall call passes: the @N of the decorated name."""
        return 4 * len(self.parameters)


def read_def(path: Path = DEF_FILE) -> List[Tuple[str, int]]:
    """(name, ordinal) of every export, in file order."""
    return [(name, int(ordinal)) for name, ordinal in
            re.findall(r"^[ \t]+([A-Za-z_]\w*)[ \t]+@(\d+)", path.read_text(encoding="ascii"), re.M)]


_INTEGERS = ("int", "unsigned int", "unsigned", "int32_t", "uint32_t")


def _kind(declaration: str) -> Tuple[str, bool, str]:
    """(kind, const, name) of one C parameter declaration."""
    words = " ".join(declaration.replace("*", " * ").split())
    const = words.startswith("const ")
    if const:
        words = words[len("const "):]
    match = re.fullmatch(r"(.+?)\s*(\*?)\s*(\w*)", words)
    if not match:
        raise ValueError(f"cannot read the declaration '{declaration}'")
    base, pointer, name = match.group(1).strip(), match.group(2), match.group(3)
    if base == "KulveTraceCallback" and not pointer:
        return CALLBACK, False, name
    if not pointer:
        if base not in _INTEGERS:
            raise ValueError(f"argument type '{base}' is not one the exports use")
        return INT, False, name
    kinds = {"unsigned char": BYTES, "char": TEXT, "void": ADDRESS, **{i: INTS for i in _INTEGERS}}
    if base not in kinds:
        raise ValueError(f"pointer type '{base} *' is not one the exports use")
    return kinds[base], const, name


def read_header(path: Path = HEADER) -> Dict[str, Tuple[str, Tuple[Parameter, ...]]]:
    """name -> (result kind, parameters) of every function the header declares."""
    text = re.sub(r"/\*.*?\*/", " ", path.read_text(encoding="utf-8"), flags=re.S)
    found: Dict[str, Tuple[str, Tuple[Parameter, ...]]] = {}
    for result, name, params in re.findall(
            r"KULVE_API\s+([\w \t*]+?)\s*KULVE_CALL\s+(\w+)\s*\(([^)]*)\)", text):
        params = " ".join(params.split())
        parameters: List[Parameter] = []
        if params != "void":
            for declaration in params.split(","):
                kind, const, pname = _kind(declaration)
                parameters.append(Parameter(pname or f"arg{len(parameters) + 1}", kind, const))
        result_kind = _kind(result + " result")[0]
        found[name] = (result_kind, tuple(parameters))
    return found


def exports(def_file: Path = DEF_FILE, header: Path = HEADER) -> List[Export]:
    """Every export of the .def with its header prototype, in ordinal order."""
    declared = read_header(header)
    listed = []
    for name, ordinal in read_def(def_file):
        if name not in declared:
            raise ValueError(f"{name} is exported but not declared in {header.name}")
        result, parameters = declared[name]
        listed.append(Export(name, ordinal, result, parameters))
    return sorted(listed, key=lambda export: export.ordinal)

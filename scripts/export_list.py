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
from typing import Dict, List, Optional, Tuple

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
HANDLE = "handle"  # kulve_reader *
HANDLE_OUT = "handle out"  # kulve_reader **: where a handle is handed out
VOID = "void"
STRUCT = "struct"  # a pointer to one of the header's structs: the kind is "struct <Name>"


def struct_kind(name: str) -> str:
    """The kind of a pointer to the header's struct `name`."""
    return f"{STRUCT} {name}"


def struct_name(kind: str) -> str:
    """The struct a pointer kind points to, or "" for any other kind."""
    return kind[len(STRUCT) + 1:] if kind.startswith(STRUCT + " ") else ""


@dataclass(frozen=True)
class Parameter:
    name: str
    kind: str
    const: bool  # read only by the library


@dataclass(frozen=True)
class Field:
    name: str
    ctype: str  # "int" or "unsigned char"
    count: int  # array length; 1 for a single value

    @property
    def size(self) -> int:
        return _FIELD_SIZES[self.ctype] * self.count


_FIELD_SIZES = {"int": 4, "unsigned char": 1}


@dataclass(frozen=True)
class Struct:
    name: str
    fields: Tuple[Field, ...]

    @property
    def size(self) -> int:
        """sizeof in C: every field type aligns to its own size."""
        end, align = 0, 1
        for field in self.fields:
            unit = _FIELD_SIZES[field.ctype]
            align = max(align, unit)
            end = -(-end // unit) * unit + field.size
        return -(-end // align) * align


@dataclass(frozen=True)
class Export:
    name: str
    ordinal: Optional[int]  # None: exported by name only
    result: str
    parameters: Tuple[Parameter, ...]

    @property
    def stack_bytes(self) -> int:
        """Bytes of arguments a 32-bit stdcall call passes: the @N of the decorated name."""
        return 4 * len(self.parameters)


def read_def(path: Path = DEF_FILE, name_only: bool = False) -> List[Tuple[str, Optional[int]]]:
    """(name, ordinal) of every export with a fixed ordinal, in file order; with
    name_only, also the exports listed by name alone (the handle API), whose
    ordinal is then None."""
    pattern = r"^[ \t]+([A-Za-z_]\w*)(?:[ \t]+@(\d+))?[ \t]*$"
    found = re.findall(pattern, path.read_text(encoding="ascii"), re.M)
    return [(name, int(ordinal) if ordinal else None) for name, ordinal in found if ordinal or name_only]


_INTEGERS = ("int", "unsigned int", "unsigned", "int32_t", "uint32_t")


def _kind(declaration: str, structs: Tuple[str, ...] = ()) -> Tuple[str, bool, str]:
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
    if base == "void" and not pointer:
        return VOID, False, name
    if base == "kulve_reader" and pointer:
        return HANDLE, const, name
    if base == "kulve_reader *" and pointer:
        return HANDLE_OUT, const, name
    if not pointer:
        if base not in _INTEGERS:
            raise ValueError(f"argument type '{base}' is not one the exports use")
        return INT, False, name
    if base in structs:
        return struct_kind(base), const, name
    kinds = {"unsigned char": BYTES, "char": TEXT, "void": ADDRESS, **{i: INTS for i in _INTEGERS}}
    if base not in kinds:
        raise ValueError(f"pointer type '{base} *' is not one the exports use")
    return kinds[base], const, name


def _header_text(path: Path) -> str:
    return re.sub(r"/\*.*?\*/", " ", path.read_text(encoding="utf-8"), flags=re.S)


def read_structs(path: Path = HEADER) -> Dict[str, Struct]:
    """name -> layout of every "typedef struct Name { ... } Name;" of the header."""
    found: Dict[str, Struct] = {}
    for tag, body, name in re.findall(r"typedef\s+struct\s+(\w+)\s*\{([^}]*)\}\s*(\w+)\s*;", _header_text(path)):
        if tag != name:
            raise ValueError(f"struct {tag} is typedef'd as {name}")
        fields = []
        for member in filter(None, (m.strip() for m in body.split(";"))):
            match = re.fullmatch(r"(int|unsigned char)\s+(\w+)\s*(?:\[\s*(\d+)\s*\])?", " ".join(member.split()))
            if not match:
                raise ValueError(f"struct {name}: cannot read the member '{member}'")
            fields.append(Field(match.group(2), match.group(1), int(match.group(3) or 1)))
        found[name] = Struct(name, tuple(fields))
    return found


def read_header(path: Path = HEADER) -> Dict[str, Tuple[str, Tuple[Parameter, ...]]]:
    """name -> (result kind, parameters) of every function the header declares."""
    text = _header_text(path)
    structs = tuple(read_structs(path))
    found: Dict[str, Tuple[str, Tuple[Parameter, ...]]] = {}
    for result, name, params in re.findall(
            r"KULVE_API\s+([\w \t*]+?)\s*KULVE_CALL\s+(\w+)\s*\(([^)]*)\)", text):
        params = " ".join(params.split())
        parameters: List[Parameter] = []
        if params != "void":
            for declaration in params.split(","):
                kind, const, pname = _kind(declaration, structs)
                parameters.append(Parameter(pname or f"arg{len(parameters) + 1}", kind, const))
        result_kind = _kind(result + " result")[0]
        found[name] = (result_kind, tuple(parameters))
    return found


def exports(def_file: Path = DEF_FILE, header: Path = HEADER, name_only: bool = False) -> List[Export]:
    """Every export of the .def with a fixed ordinal, with its header prototype,
    in ordinal order; with name_only, the name-only exports follow in file order."""
    declared = read_header(header)
    listed = []
    for name, ordinal in read_def(def_file, name_only):
        if name not in declared:
            raise ValueError(f"{name} is exported but not declared in {header.name}")
        result, parameters = declared[name]
        listed.append(Export(name, ordinal, result, parameters))
    numbered = sorted((e for e in listed if e.ordinal is not None), key=lambda export: export.ordinal)
    return numbered + [e for e in listed if e.ordinal is None]

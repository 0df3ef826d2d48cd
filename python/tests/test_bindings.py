# SPDX-License-Identifier: MIT
"""The package against the library's export list and header.

Every export of kulve32.def must be declared with the prototype the header
gives it, and reachable from a public method of Reader or a public function
of the package. (ctypes trusts a prototype blindly: a pointer declared as an
integer, or a missing argument, corrupts memory without a word.)
"""

from __future__ import annotations

import inspect
import re
import types
from pathlib import Path
from typing import Dict, Iterator, List, Set

import pytest

import kulve32
from kulve32 import _library, families
from kulve32._device import FamilyMethods
from kulve32.reader import ReaderCore

REPO = Path(__file__).resolve().parents[2]
DEF_FILE = REPO / "src/exports/kulve32.def"
HEADER = REPO / "include/kulve32.h"

# Exports deliberately without a Python method, each with the reason.
UNWRAPPED: Dict[str, str] = {}


def def_exports() -> List[str]:
    return re.findall(r"^\s+([A-Za-z_]\w*)\s+@\d+", DEF_FILE.read_text(), re.M)


def header_prototypes() -> Dict[str, tuple]:
    """name -> (result kind, argument kinds) from the public header."""
    text = re.sub(r"/\*.*?\*/", " ", HEADER.read_text(), flags=re.S)
    found = {}
    for result, name, params in re.findall(
            r"KULVE_API\s+([\w \t*]+?)\s*KULVE_CALL\s+(\w+)\s*\(([^)]*)\)", text):
        params = " ".join(params.split())
        kinds = [] if params == "void" else [kind_of(p) for p in params.split(",")]
        found[name] = (kind_of(result + " x"), kinds)
    return found


def kind_of(declaration: str) -> str:
    declaration = " ".join(declaration.split())
    if "KulveTraceCallback" in declaration:
        return "callback"
    if "*" not in declaration:
        return "int"
    base = declaration.replace("const ", "").split("*")[0].strip()
    return {"unsigned char": "bytes", "int": "ints", "char": "text", "void": "address"}[base]


def ctypes_kind(kind: object) -> str:
    names = {_library.INT: "int", _library.BYTES: "bytes", _library.INTS: "ints",
             _library.TEXT: "text", _library.ADDRESS: "address"}
    if kind in names:
        return names[kind]
    if isinstance(kind, type) and issubclass(kind, kulve32._library.ctypes._CFuncPtr):
        return "callback"
    return repr(kind)


def test_every_export_is_declared_as_the_header_declares_it():
    header = header_prototypes()
    problems = []
    for name in def_exports():
        declared = _library.EXPORTS.get(name)
        if declared is None:
            problems.append(f"{name}: not declared in the package")
            continue
        want = header[name]
        have = (ctypes_kind(declared.restype), [ctypes_kind(a) for a in declared.argtypes])
        if have != (want[0], want[1]):
            problems.append(f"{name}: declared {have}, the header says {want}")
    extra = set(_library.EXPORTS) - set(def_exports())
    problems += [f"{name}: declared but not exported" for name in sorted(extra)]
    assert not problems, "\n".join(problems)


def public_entry_points() -> Iterator[types.FunctionType]:
    for name, member in inspect.getmembers(kulve32.Reader):
        if name.startswith("_") and name != "__init__":
            continue
        for candidate in (member, getattr(member, "fget", None), getattr(member, "__func__", None)):
            if inspect.isfunction(candidate):
                yield candidate
    for module in [kulve32, kulve32.des, kulve32.diagnostics, *families.modules().values()]:
        for name, member in vars(module).items():
            if not name.startswith("_") and inspect.isfunction(member):
                yield member


def exports_reached(function: types.FunctionType, seen: Set[object]) -> Set[str]:
    reached: Set[str] = set()
    pending = [function.__code__]
    while pending:
        code = pending.pop()
        pending += [const for const in code.co_consts if isinstance(const, types.CodeType)]
        for name in code.co_names:
            for target in (function.__globals__.get(name), inspect.getattr_static(kulve32.Reader, name, None)):
                target = getattr(target, "__func__", getattr(target, "fget", target))
                if isinstance(target, _library.Export):
                    reached.add(target.name)
                elif inspect.isfunction(target) and target.__module__.startswith("kulve32") and target not in seen:
                    seen.add(target)
                    reached |= exports_reached(target, seen)
    return reached


def test_every_export_is_reachable_from_the_public_api():
    reached: Set[str] = set()
    seen: Set[object] = set()
    for function in public_entry_points():
        reached |= exports_reached(function, seen)
    missing = [name for name in def_exports() if name not in reached and name not in UNWRAPPED]
    assert not missing, f"exports with no Python method or function: {missing}"


def test_family_method_groups_do_not_collide():
    owners: Dict[str, str] = {name: "ReaderCore" for name in vars(ReaderCore) if not name.startswith("_")}
    clashes = []
    for group in FamilyMethods.registered:
        assert group in kulve32.Reader.__mro__
        for name in vars(group):
            if not name.startswith("_"):
                if name in owners:
                    clashes.append(f"{name}: {owners[name]} and {group.__name__}")
                owners[name] = group.__name__
    assert not clashes


@pytest.mark.parametrize("name", sorted(families.modules()))
def test_each_family_module_is_a_package_module(name):
    assert getattr(kulve32, name) is families.modules()[name]

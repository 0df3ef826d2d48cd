# SPDX-License-Identifier: MIT
"""The package against the library's export list and header.

Every export of kulve32.def must be declared with the prototype the header
gives it, and reachable from a public method of Reader or a public function
of the package. (ctypes trusts a prototype blindly: a pointer declared as an
integer, or a missing argument, corrupts memory without a word.)
"""

from __future__ import annotations

import ctypes
import inspect
import sys
import types
from pathlib import Path
from typing import Dict, Iterator, Set

import pytest

import kulve32
from kulve32 import _handle, _library, families
from kulve32._device import FamilyMethods
from kulve32.reader import ReaderCore

REPO = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(REPO / "scripts"))
import export_list  # noqa: E402

EXPORTS = export_list.exports()
# The handle API too: exported by name only, reached through Reader's handle.
ALL_EXPORTS = export_list.exports(name_only=True)

# Exports deliberately without a Python method, each with the reason.
UNWRAPPED: Dict[str, str] = {}


def ctypes_kind(kind: object) -> str:
    if kind is None:
        return export_list.VOID
    if kind is _handle.HandleValue:
        return export_list.HANDLE
    if kind is _handle.HANDLE_OUT:
        return export_list.HANDLE_OUT
    names = {_library.INT: export_list.INT, _library.BYTES: export_list.BYTES,
             _library.INTS: export_list.INTS, _library.TEXT: export_list.TEXT,
             _library.ADDRESS: export_list.ADDRESS}
    if kind in names:
        return names[kind]
    if isinstance(kind, type) and issubclass(kind, ctypes._Pointer) and issubclass(kind._type_, _library.Record):
        return export_list.struct_kind(kind._type_.c_name)
    if isinstance(kind, type) and issubclass(kind, ctypes._CFuncPtr):  # type: ignore[attr-defined]
        return export_list.CALLBACK
    return repr(kind)


def test_every_export_is_declared_as_the_header_declares_it():
    problems = []
    for export in ALL_EXPORTS:
        declared = _library.EXPORTS.get(export.name)
        if declared is None:
            problems.append(f"{export.name}: not declared in the package")
            continue
        want = (export.result, [p.kind for p in export.parameters])
        have = (ctypes_kind(declared.restype), [ctypes_kind(a) for a in declared.argtypes])
        if have != want:
            problems.append(f"{export.name}: declared {have}, the header says {want}")
    extra = set(_library.EXPORTS) - {export.name for export in ALL_EXPORTS}
    problems += [f"{name}: declared but not exported" for name in sorted(extra)]
    assert not problems, "\n".join(problems)


def declared_records() -> Dict[str, type]:
    records = {}
    for declared in _library.EXPORTS.values():
        for kind in declared.argtypes:
            target = getattr(kind, "_type_", None)
            if isinstance(target, type) and issubclass(target, _library.Record):
                records[target.c_name] = target
    return records


_FIELD_TYPES = {ctypes.c_int: "int", ctypes.c_ubyte: "unsigned char"}


def test_every_struct_is_laid_out_as_the_header_has_it():
    structs = export_list.read_structs()
    records = declared_records()
    assert sorted(records) == sorted(structs)
    for name, record in records.items():
        have = []
        for field, kind in record._fields_:
            array = issubclass(kind, ctypes.Array)
            have.append((field, _FIELD_TYPES[kind._type_ if array else kind], kind._length_ if array else 1))
        want = [(f.name, f.ctype, f.count) for f in structs[name].fields]
        assert (have, ctypes.sizeof(record)) == (want, structs[name].size), name


READERS = (kulve32.Reader, kulve32.ProcessReader)


def public_entry_points() -> Iterator[types.FunctionType]:
    for reader in READERS:
        for name, member in inspect.getmembers(reader):
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
            statics = [inspect.getattr_static(reader, name, None) for reader in READERS]
            for target in (function.__globals__.get(name), *statics):
                target = getattr(target, "__func__", getattr(target, "fget", target))
                if isinstance(target, tuple):  # a table of exports, one per slot
                    reached |= {item.name for item in target if isinstance(item, _library.Export)}
                elif isinstance(target, _library.Export):
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
    missing = [e.name for e in EXPORTS if e.name not in reached and e.name not in UNWRAPPED]
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

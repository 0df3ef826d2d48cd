#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Checks bindings/dotnet/Kulve32.cs against the export list and the header.

Every export of kulve32.def must have exactly one [DllImport] declaration,
stdcall, with the header's arguments in .NET types that marshal them right:
int (or uint) for an integer, ref/out int for int *, byte[] for unsigned char *
([Out] where the library writes), string for const char *, StringBuilder for a
char * the library fills, IntPtr for void * and for a returned const char * (a
returned string would be freed by the marshaller), TraceCallback for the trace
callback, int[] for an int * that points to several integers, byte[] for a
const char * of a fixed size (no terminator is read), and ref (or out, where
the library only writes) of a struct of the same name for a pointer to one of
the header's structs; for the handle API (exported by name only) ReaderHandle
for a kulve_reader * (IntPtr where the handle is being released), out
ReaderHandle for the kulve_reader ** a handle is handed out through, and void
for a function that returns nothing. Exit status 0 when everything matches, 1 otherwise.
"""

from __future__ import annotations

import argparse
import re
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "scripts"))
import export_list  # noqa: E402

DECLARATION = re.compile(
    r"\[DllImport\(([^)]*)\)\]\s*public\s+static\s+extern\s+([\w\[\]]+)\s+(\w+)\s*\(([^)]*)\)\s*;")
ATTRIBUTE = re.compile(r"\[([^\]]+)\]\s*")


def net_kind(declaration: str, parameter: export_list.Parameter) -> str:
    """The export-list kind a C# parameter stands for, or a complaint."""
    attributes = " ".join(ATTRIBUTE.findall(declaration))
    words = ATTRIBUTE.sub("", declaration).split()
    type_name = " ".join(words[:-1])
    if type_name == "byte[]" and parameter.kind == export_list.BYTES:
        if not parameter.const and "Out" not in attributes:
            return "byte[] without [Out] for a buffer the library writes"
        return export_list.BYTES
    if type_name == "byte[]" and parameter.kind == export_list.TEXT and parameter.const:
        return export_list.TEXT
    if type_name == "string" and parameter.kind == export_list.TEXT and not parameter.const:
        return "string for a buffer the library fills (use StringBuilder)"
    if parameter.kind == export_list.HANDLE and type_name in ("ReaderHandle", "IntPtr"):
        return export_list.HANDLE
    if parameter.kind == export_list.HANDLE_OUT and type_name == "out ReaderHandle":
        return export_list.HANDLE_OUT
    struct = export_list.struct_name(parameter.kind)
    if struct and type_name in (f"ref {struct}", f"out {struct}"):
        if parameter.const and type_name.startswith("out"):
            return f"out {struct} for a struct the library reads (use ref)"
        return parameter.kind
    kinds = {"int": export_list.INT, "uint": export_list.INT, "ref int": export_list.INTS, "out int": export_list.INTS, "int[]": export_list.INTS,
             "string": export_list.TEXT, "StringBuilder": export_list.TEXT,
             "IntPtr": export_list.ADDRESS, "TraceCallback": export_list.CALLBACK,
             "Kulve32.TraceCallback": export_list.CALLBACK}
    return kinds.get(type_name, f"unknown type '{type_name}'")


def check(source: str) -> list:
    problems = []
    declared = {}
    for match in DECLARATION.finditer(source):
        attribute, result, name, params = match.groups()
        if name in declared:
            problems.append(f"{name}: declared twice")
        declared[name] = (attribute, result, [p.strip() for p in _split(params)])
    for export in export_list.exports(name_only=True):
        if export.name not in declared:
            problems.append(f"{export.name}: exported but not declared")
            continue
        attribute, result, params = declared.pop(export.name)
        if "CallingConvention.StdCall" not in attribute:
            problems.append(f"{export.name}: not declared stdcall")
        want_result = {export_list.TEXT: "IntPtr", export_list.VOID: "void"}.get(export.result, "int")
        if result != want_result:
            problems.append(f"{export.name}: returns {result}, should return {want_result}")
        if len(params) != len(export.parameters):
            problems.append(f"{export.name}: {len(params)} arguments, the header has {len(export.parameters)}")
            continue
        for position, (param, wanted) in enumerate(zip(params, export.parameters), 1):
            kind = net_kind(param, wanted)
            if kind != wanted.kind:
                problems.append(f"{export.name}: argument {position} '{param}' is {kind}, "
                                f"the header has {wanted.kind}")
    problems += [f"{name}: declared but not exported" for name in declared]
    return problems


def _split(params: str) -> list:
    """Splits an argument list at commas outside attribute brackets."""
    parts, depth, current = [], 0, ""
    for char in params:
        depth += char == "["
        depth -= char == "]"
        if char == "," and depth == 0:
            parts.append(current)
            current = ""
        else:
            current += char
    return parts + [current] if current.strip() else parts


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n", 1)[0])
    parser.add_argument("source", nargs="?", type=Path,
                        default=export_list.REPO / "bindings/dotnet/Kulve32.cs")
    problems = check(parser.parse_args().source.read_text(encoding="utf-8"))
    for problem in problems:
        print("  " + problem)
    if problems:
        print(f".NET declarations: {len(problems)} problem(s)")
        return 1
    print(f".NET declarations: all {len(export_list.exports(name_only=True))} exports declared as the header has them")
    return 0


if __name__ == "__main__":
    sys.exit(main())

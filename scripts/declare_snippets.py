#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Delphi and Visual Basic 6 declarations of every export, from kulve32.def
and kulve32.h.

    declare_snippets.py --pas KULVE32.pas --bas KULVE32.bas   write the files
    declare_snippets.py --update docs/windows.md              refresh the listings there
    declare_snippets.py --check docs/windows.md               fail when they are stale

In docs/windows.md each listing sits between the lines
"<!-- generated: delphi -->" (or "vb6") and "<!-- end generated -->".
Exit status: 0 done or up to date; 1 stale; 2 a usage or input error.
"""

from __future__ import annotations

import argparse
import re
import sys
from pathlib import Path
from typing import Dict, List

sys.path.insert(0, str(Path(__file__).resolve().parent))
import export_list  # noqa: E402
from export_list import (  # noqa: E402
    ADDRESS, BYTES, CALLBACK, HANDLE, HANDLE_OUT, INT, INTS, TEXT, VOID, Export, Parameter, Struct, struct_name)

DLL = "KULVE32.DLL"

# ---- Delphi ------------------------------------------------------------------

_DELPHI_TYPES = {INT: "Integer", BYTES: "PByte", TEXT: "PAnsiChar", ADDRESS: "Pointer",
                 CALLBACK: "TKulveTraceCallback", HANDLE: "TKulveReader"}


def _capitalised(name: str) -> str:
    return name[:1].upper() + name[1:]


def _delphi_parameter(parameter: Parameter) -> str:
    # Delphi's habit of an A prefix keeps every name clear of its keywords
    # and of the implicit Result.
    name = "A" + _capitalised(parameter.name)
    if parameter.kind == INTS:
        return f"var {name}: Integer"
    if parameter.kind == HANDLE_OUT:
        return f"var {name}: TKulveReader"
    if struct_name(parameter.kind):
        # var, even where the library only reads: a const record may be
        # passed by value, and the library expects its address.
        return f"var {name}: T{struct_name(parameter.kind)}"
    return f"{name}: {_DELPHI_TYPES[parameter.kind]}"


_DELPHI_FIELD_TYPES = {"int": "Integer", "unsigned char": "Byte"}


def delphi_record(struct: Struct) -> List[str]:
    lines = [f"  T{struct.name} = record"]
    for field in struct.fields:
        kind = _DELPHI_FIELD_TYPES[field.ctype]
        if field.count > 1:
            kind = f"array[0..{field.count - 1}] of {kind}"
        lines.append(f"    {_capitalised(field.name)}: {kind};")
    return lines + ["  end;"]


def delphi_declaration(export: Export) -> str:
    params = "; ".join(_delphi_parameter(p) for p in export.parameters)
    signature = f"{export.name}{f'({params})' if params else ''}"
    if export.result == VOID:
        return f"procedure {signature}; stdcall; external {DLL_CONSTANT};"
    result = "PAnsiChar" if export.result == TEXT else "Integer"
    return f"function {signature}: {result}; stdcall; external {DLL_CONSTANT};"


DLL_CONSTANT = "KULVE32DLL"


def delphi_listing(exports: List[Export], structs: Dict[str, Struct]) -> str:
    lines = [
        f"{{ Generated from kulve32.def and kulve32.h by scripts/declare_snippets.py. }}",
        "const",
        f"  {DLL_CONSTANT} = '{DLL}';",
        "",
        "type",
        "  { Receives one trace line (SetTrace); ALine is valid only during the call. }",
        "  TKulveTraceCallback = procedure(ALevel: Integer; ALine: PAnsiChar; AContext: Pointer); stdcall;",
        "  { A reader opened with kulve_open; pass it first to every kulve_ function. }",
        "  TKulveReader = Pointer;",
        "",
    ]
    if structs:
        lines.append("  { The records some functions take, laid out as in kulve32.h. }")
        for struct in structs.values():
            lines += delphi_record(struct)
        lines.append("")
    lines += [delphi_declaration(export) for export in exports]
    return "\n".join(lines) + "\n"


def delphi_unit(exports: List[Export], structs: Dict[str, Struct]) -> str:
    return ("unit KULVE32;\n\ninterface\n\n" + delphi_listing(exports, structs) +
            "\nimplementation\n\nend.\n")


# ---- Visual Basic 6 -------------------------------------------------------------

# Names Visual Basic keeps for itself (statements, types, Open's clauses).
_VB_RESERVED = {
    "access", "and", "any", "append", "as", "base", "binary", "boolean", "byref", "byte", "byval",
    "call", "case", "close", "compare", "const", "currency", "date", "debug", "declare", "dim",
    "do", "double", "each", "else", "end", "enum", "eqv", "erase", "error", "event", "exit",
    "false", "for", "friend", "function", "get", "global", "gosub", "goto", "if", "imp",
    "implements", "in", "input", "integer", "is", "len", "let", "lib", "like", "line", "lock",
    "long", "loop", "lset", "me", "mod", "name", "new", "next", "not", "nothing", "null",
    "object", "on", "open", "option", "optional", "or", "output", "paramarray", "preserve",
    "print", "private", "property", "public", "put", "raiseevent", "random", "read", "redim",
    "rem", "resume", "return", "rset", "seek", "select", "set", "shared", "single", "static",
    "step", "stop", "string", "sub", "text", "then", "time", "to", "true", "type", "typeof",
    "until", "variant", "wend", "while", "with", "withevents", "write", "xor",
}

_VB_TYPES = {
    INT: "ByVal {} As Long",
    INTS: "ByRef {} As Long",
    BYTES: "ByRef {} As Byte",  # pass the first element: buffer(0)
    TEXT: "ByVal {} As String",  # a String sized beforehand where the library fills it
    ADDRESS: "ByVal {} As Long",
    CALLBACK: "ByVal {} As Long",  # AddressOf a procedure in a .bas module
    HANDLE: "ByVal {} As Long",  # the reader kulve_open handed out
    HANDLE_OUT: "ByRef {} As Long",
}


def _vb_name(name: str) -> str:
    return name + "Value" if name.lower() in _VB_RESERVED else name


def _vb_parameter(parameter: Parameter) -> str:
    if struct_name(parameter.kind):
        return f"ByRef {_vb_name(parameter.name)} As {struct_name(parameter.kind)}"
    return _VB_TYPES[parameter.kind].format(_vb_name(parameter.name))


def vb_declaration(export: Export) -> str:
    params = ", ".join(_vb_parameter(p) for p in export.parameters)
    if export.result == VOID:
        return f'Public Declare Sub {export.name} Lib "{DLL}" ({params})'
    return f'Public Declare Function {export.name} Lib "{DLL}" ({params}) As Long'


_VB_FIELD_TYPES = {"int": "Long", "unsigned char": "Byte"}


def vb_type(struct: Struct) -> List[str]:
    lines = [f"Public Type {struct.name}"]
    for field in struct.fields:
        bounds = f"(0 To {field.count - 1})" if field.count > 1 else ""
        lines.append(f"    {_vb_name(field.name)}{bounds} As {_VB_FIELD_TYPES[field.ctype]}")
    return lines + ["End Type"]


def vb_listing(exports: List[Export], structs: Dict[str, Struct]) -> str:
    lines = [
        "' Generated from kulve32.def and kulve32.h by scripts/declare_snippets.py.",
        "' Byte buffers: pass the first element of an array sized as kulve32.h says, e.g. number(0).",
        "' ResultText and kulve_result_text return a pointer to a static text: copy it with lstrcpyA (kernel32).",
        "' The kulve_ functions take the reader kulve_open handed out (a Long) and each buffer's size.",
    ]
    for struct in structs.values():
        lines += vb_type(struct)
    lines += [vb_declaration(export) for export in exports]
    return "\n".join(lines) + "\n"


def vb_module(exports: List[Export], structs: Dict[str, Struct]) -> str:
    return 'Attribute VB_Name = "KULVE32"\nOption Explicit\n\n' + vb_listing(exports, structs)


# ---- docs/windows.md ----------------------------------------------------------------

_FENCES = {"delphi": "pascal", "vb6": "vb"}
_BLOCK = re.compile(r"(<!-- generated: (\w+) -->\n)(.*?)(<!-- end generated -->)", re.S)


def refreshed(document: str, listings: Dict[str, str]) -> str:
    seen = set()

    def replace(match: "re.Match[str]") -> str:
        which = match.group(2)
        if which not in listings:
            raise ValueError(f"unknown generated block '{which}'")
        seen.add(which)
        return f"{match.group(1)}```{_FENCES[which]}\n{listings[which]}```\n{match.group(4)}"

    result = _BLOCK.sub(replace, document)
    missing = set(listings) - seen
    if missing:
        raise ValueError(f"no generated block for {', '.join(sorted(missing))}")
    return result


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n", 1)[0])
    parser.add_argument("--pas", type=Path, help="write a Delphi unit here")
    parser.add_argument("--bas", type=Path, help="write a Visual Basic 6 module here")
    parser.add_argument("--update", type=Path, metavar="MARKDOWN", help="refresh the listings in this file")
    parser.add_argument("--check", type=Path, metavar="MARKDOWN", help="fail when its listings are stale")
    args = parser.parse_args()
    if not any((args.pas, args.bas, args.update, args.check)):
        parser.error("nothing to do")
    try:
        exports = export_list.exports(name_only=True)
        structs = export_list.read_structs()
    except ValueError as error:
        print(f"declare_snippets: {error}", file=sys.stderr)
        return 2
    if args.pas:
        args.pas.write_text(delphi_unit(exports, structs), encoding="ascii", newline="\r\n")
    if args.bas:
        args.bas.write_text(vb_module(exports, structs), encoding="ascii", newline="\r\n")
    listings = {"delphi": delphi_listing(exports, structs), "vb6": vb_listing(exports, structs)}
    for path in filter(None, (args.update, args.check)):
        document = path.read_text(encoding="utf-8")
        try:
            fresh = refreshed(document, listings)
        except ValueError as error:
            print(f"declare_snippets: {path}: {error}", file=sys.stderr)
            return 2
        if path == args.update:
            if fresh != document:
                path.write_text(fresh, encoding="utf-8")
        elif fresh != document:
            print(f"{path}: the Delphi and VB6 declarations are stale; run "
                  f"scripts/declare_snippets.py --update {path}")
            return 1
        else:
            print(f"{path}: the Delphi and VB6 declarations list all {len(exports)} exports")
    return 0


if __name__ == "__main__":
    sys.exit(main())

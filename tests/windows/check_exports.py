#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Checks the export and import tables of built KULVE32.DLL files.

For each DLL (given as ARCH=PATH, ARCH being i386 or x86-64) it reads
`objdump -p` and checks that:
  - the file is a PE image of that architecture and names itself KULVE32.DLL;
  - the exports are exactly the names of the module-definition file, each at
    its ordinal, with no unnamed (ordinal-only) entries; a name listed without
    an ordinal (the handle API) is exported by name at an ordinal from
    UNPROMISED_ORDINAL on, whichever the build gave it;
  - the module-definition file itself agrees with the fixed ordinal table of
    the classic interface below (22 and 23 empty, extensions from 100 on);
  - the DLL imports only from system DLLs.

Exit status: 0 when every check passes, 1 otherwise, 2 on a usage error.
"""

import argparse
import re
import subprocess
import sys

# The classic export table. Applications import by these ordinals, so they
# never move.
CLASSIC_ORDINALS = {
    "LinkCom": 1, "UnLinkCom": 2, "AutoLinkCom": 3, "PowerOn": 4, "PowerOff": 5,
    "SelectCard": 6, "VerifyIC": 7, "Inquire": 8, "CheckSecret": 9, "ReadSecret": 10,
    "ModifySecret": 11, "ReadCard": 12, "WriteCard": 13, "EraseCard": 14, "Fuse": 15,
    "CheckEraseSecret": 16, "ComBaudRate": 17, "EnDesData": 18, "UnDesData": 19,
    "GetDeviceNumber": 20, "ReadMemCard": 21, "WriteMemCard": 24, "EraseMemCard": 25,
    "CpuCardReset": 26, "ProCpuCardCmd": 27, "ProCpuCard": 28, "SamCard1Reset": 29,
    "SamCard2Reset": 30, "SamCard3Reset": 31, "SamCard4Reset": 32, "ProSamCard1Cmd": 33,
    "ProSamCard2Cmd": 34, "ProSamCard3Cmd": 35, "ProSamCard4Cmd": 36, "ProSamCard1": 37,
    "ProSamCard2": 38, "ProSamCard3": 39, "ProSamCard4": 40, "RF5550_ReadBlk": 41,
    "RF5550_WriteBlk": 42, "RF5550_Init": 43, "RF5550_Wake": 44, "RF5550_ReadAfterWake": 45,
    "RF5550_WriteAfterWake": 46, "RF5550_Mcmno": 47, "AT1608_Write": 48, "AT1608_Read": 49,
    "AT1608_Psw": 50, "AT1608_Authentic": 51, "AT1608_ReadFuse": 52, "AT1608_Reset": 53,
    "DLLVER": 54, "CPUCardProtocolType": 55, "DEVVER": 56, "ALARM": 57,
    "RFMifare_Mcmno": 58, "RFMifare_Authmode": 59, "RFMifare_TransKey": 60,
    "RFMifare_GetType": 61, "RFMifare_GetSnr": 62, "RFMifare_ReadBlock": 63,
    "RFMifare_WriteBlock": 64, "RFMifare_WriteKey": 65, "RFMifare_ReadValue": 66,
    "RFMifare_WriteValue": 67, "RFMifare_IncrementValue": 68, "RFMifare_DecrementValue": 69,
    "RFMifare_LoadKey": 70, "RFMifare_Request": 71, "RFMifare_AntiColl": 72,
    "RFMifare_Select": 73, "RFMifare_Authentication": 74, "RFMifare_Read": 75,
    "RFMifare_Write": 76, "RFMifare_Increment": 77, "RFMifare_Decrment": 78,
    "RFMifare_Halt": 79, "CheckZoneSecret": 80, "SetZoneRWBit": 81, "SetStandby": 82,
    "KQ_EndTrans": 83, "KQ_GetTime": 84, "KQ_SetTime": 85, "KQ_GetCurrentPos": 86,
    "KQ_GetStartPos": 87, "KQ_GetEndPos": 88, "KQ_ReadRecord": 89, "KQ_SysInit": 90,
    "KQ_Display": 91, "KQ_TransCmd": 92, "KQ_Daysbyte": 93, "KQ_Datebyte": 94,
    "KQ_DownloadPSW": 95, "RFMifare_ReadBloca": 96,
}
EMPTY_ORDINALS = {22, 23}
FIRST_EXTENSION_ORDINAL = 100
UNPROMISED_ORDINAL = 200  # cmake/Exports.cmake numbers the names listed without one from here
DLL_NAME = "KULVE32.DLL"

# Imports that every Windows installation provides (ws2_32: the network ports;
# advapi32: the token check that keeps a service off the per-user settings).
SYSTEM_IMPORT = re.compile(r"^(kernel32|advapi32|ws2_32|msvcrt|ucrtbase|api-ms-win-[a-z0-9-]+)\.dll$",
                           re.I)

FORMATS = {"i386": "pei-i386", "x86-64": "pei-x86-64"}


def read_def(path):
    """Returns {name: ordinal, or None for a name-only export} from the EXPORTS section of a .def file."""
    exports = {}
    problems = []
    in_exports = False
    with open(path, encoding="ascii") as handle:
        for number, raw in enumerate(handle, 1):
            line = raw.split(";", 1)[0].strip()
            if not line:
                continue
            if re.fullmatch(r"EXPORTS", line):
                in_exports = True
                continue
            if re.match(r"^(LIBRARY|NAME|DESCRIPTION|VERSION|HEAPSIZE|STACKSIZE|SECTIONS)\b", line):
                in_exports = False
                continue
            if not in_exports:
                continue
            match = re.fullmatch(r"([A-Za-z_][A-Za-z0-9_]*)(?:\s+@(\d+))?", line)
            if not match:
                problems.append(f"{path}:{number}: not a plain 'Name @ordinal' or 'Name' export: {line}")
                continue
            name = match.group(1)
            ordinal = int(match.group(2)) if match.group(2) else None
            if name in exports:
                problems.append(f"{path}:{number}: {name} listed twice")
            exports[name] = ordinal
    return exports, problems


def check_def(exports):
    problems = []
    by_ordinal = {}
    for name, ordinal in exports.items():
        if ordinal is None:
            continue
        if ordinal >= UNPROMISED_ORDINAL:
            problems.append(f".def: {name} has ordinal {ordinal}; from {UNPROMISED_ORDINAL} on the build numbers "
                            "the name-only exports")
        if ordinal in by_ordinal:
            problems.append(f".def: ordinal {ordinal} given to both {by_ordinal[ordinal]} and {name}")
        by_ordinal[ordinal] = name
        if name in CLASSIC_ORDINALS:
            if ordinal != CLASSIC_ORDINALS[name]:
                problems.append(f".def: {name} has ordinal {ordinal}, the fixed table says "
                                f"{CLASSIC_ORDINALS[name]}")
        elif ordinal < FIRST_EXTENSION_ORDINAL:
            problems.append(f".def: extension {name} has ordinal {ordinal}; extensions start at "
                            f"{FIRST_EXTENSION_ORDINAL}")
        if ordinal in EMPTY_ORDINALS:
            problems.append(f".def: ordinal {ordinal} must stay empty ({name})")
    return problems


def parse_objdump(text):
    """Returns (format, dll name, {ordinal: [names]}, [imported dll names]).

    An ordinal with an address but no name maps to an empty list."""
    fmt_match = re.search(r"file format (\S+)", text)
    fmt = fmt_match.group(1) if fmt_match else None
    name_match = re.search(r"^Name\s+[0-9a-fA-F]+\s+(\S+)\s*$", text, re.M)
    dll_name = name_match.group(1) if name_match else None
    entries = {}
    base_match = re.search(r"Export Address Table -- Ordinal Base (\d+)", text)
    if base_match:
        base = int(base_match.group(1))
        section = text[base_match.end():].split("\n\n", 1)[0]
        for match in re.finditer(r"\[\s*\d+\]\s+\+base\[\s*(\d+)\]\s+([0-9a-fA-F]+)", section):
            if int(match.group(2), 16) != 0:
                entries[int(match.group(1))] = []
        names = re.search(r"\[Ordinal/Name Pointer\] Table\n(.*?)(?:\n\n|\Z)", text, re.S)
        if names:
            for match in re.finditer(r"\[\s*(\d+)\]\s+(\S+)", names.group(1)):
                entries.setdefault(int(match.group(1)) + base, []).append(match.group(2))
    imports = re.findall(r"^\s*DLL Name: (\S+)", text, re.M)
    return fmt, dll_name, entries, imports


def check_dll(arch, path, exports, objdump):
    problems = []
    try:
        text = subprocess.run([objdump, "-p", path], check=True, capture_output=True,
                              text=True).stdout
    except (OSError, subprocess.CalledProcessError) as error:
        return [f"{path}: cannot read with {objdump}: {error}"]
    fmt, dll_name, entries, imports = parse_objdump(text)
    if fmt != FORMATS[arch]:
        problems.append(f"{path}: file format {fmt}, expected {FORMATS[arch]}")
    if dll_name is None or dll_name.upper() != DLL_NAME:
        problems.append(f"{path}: export directory names {dll_name}, expected {DLL_NAME}")

    wanted = {ordinal: name for name, ordinal in exports.items() if ordinal is not None}
    by_name_only = {name for name, ordinal in exports.items() if ordinal is None}
    for ordinal, have in list(entries.items()):
        if ordinal >= UNPROMISED_ORDINAL and len(have) == 1 and have[0] in by_name_only:
            by_name_only.discard(have[0])
            del entries[ordinal]
    for name in sorted(by_name_only):
        problems.append(f"{path}: {name} is not exported by name from ordinal {UNPROMISED_ORDINAL} on")
    for ordinal in sorted(set(wanted) | set(entries)):
        want = wanted.get(ordinal)
        have = entries.get(ordinal)
        if have == [want]:
            continue
        if have is None:
            what = "nothing"
        elif not have:
            what = "an unnamed entry"
        else:
            what = " and ".join(have)
        problems.append(f"{path}: ordinal {ordinal} exports {what}, expected "
                        f"{want if want else 'nothing'}")

    if not imports:
        problems.append(f"{path}: no import table found")
    for dll in imports:
        if not SYSTEM_IMPORT.match(dll):
            problems.append(f"{path}: imports {dll}, which is not a system DLL")
    return problems


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n", 1)[0])
    parser.add_argument("--def", dest="def_file", required=True, help="module-definition file")
    parser.add_argument("--objdump", default="x86_64-w64-mingw32-objdump")
    parser.add_argument("dlls", nargs="+", metavar="ARCH=PATH")
    args = parser.parse_args()

    exports, problems = read_def(args.def_file)
    if not exports:
        problems.append(f"{args.def_file}: no exports")
    problems += check_def(exports)

    checked = 0
    for item in args.dlls:
        arch, _, path = item.partition("=")
        if arch not in FORMATS or not path:
            parser.error(f"expected ARCH=PATH with ARCH one of {sorted(FORMATS)}: {item}")
        found = check_dll(arch, path, exports, args.objdump)
        print(f"{'FAIL' if found else 'ok  '} {arch:7} {path}: {len(exports)} exports")
        problems += found
        checked += 1

    for problem in problems:
        print("  " + problem)
    if problems:
        print(f"export check: {len(problems)} problem(s)")
        return 1
    print(f"export check: {checked} DLL(s) match the export list")
    return 0


if __name__ == "__main__":
    sys.exit(main())

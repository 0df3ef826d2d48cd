# SPDX-License-Identifier: MIT
"""The documented range of the integer arguments the library sends as a byte
(or as 16 bits) without checking them itself: outside it the library would
cut the value and the reader act on another one (card type 300 selecting
type 44). Export name -> argument position (0 first) -> the values allowed.
Checked before every call, documented and handle functions alike. Some
arguments the library checks itself are listed too, so that the refusal
names the argument, its value and its range rather than the library's bare
"argument out of range". Values the library documents as passed through as
they are (ALARM's a, b, c, the 32-bit Mifare param) are not listed.
"""

from __future__ import annotations

from typing import Dict

BYTE = range(0, 256)
#: A block a write may name: -1 for block 0, else 1..255 (0 is refused by the library).
WRITABLE_BLOCK = range(-1, 256)
_MEMORY = {"ReadCard", "WriteCard", "EraseCard"}
_MIFARE_BLOCK_FIRST = {
    "RFMifare_ReadBlock", "RFMifare_WriteBlock", "RFMifare_WriteKey", "RFMifare_ReadValue",
    "RFMifare_WriteValue", "RFMifare_IncrementValue", "RFMifare_DecrementValue", "RFMifare_Read",
    "RFMifare_Write", "RFMifare_Increment", "RFMifare_Decrment", "RFMifare_Request",
}

#: The port indexes (COM1..COM10 on Windows).
PORT_INDEX = range(0, 10)
AT1608_ZONE = range(0, 9)  # user zones 0..7, the configuration zone 8
AT1608_LENGTH = range(0, 161)

RANGES: Dict[str, Dict[int, range]] = {
    "SetComPortPath": {0: PORT_INDEX},
    "GetComPortPath": {0: PORT_INDEX},
    "SetTrace": {0: range(0, 4)},
    "SetChipProtocolMode": {0: range(0, 2)},
    "RFMifare_Authmode": {0: range(0, 2)},
    "RFMifare_TransKey": {0: range(0, 16)},
    "ALARM": {0: range(1, 8)},
    "AT1608_Write": {0: AT1608_ZONE, 1: BYTE, 2: AT1608_LENGTH},
    "AT1608_Read": {0: AT1608_ZONE, 1: BYTE, 2: AT1608_LENGTH},
    "AT1608_Psw": {0: range(0, 16)},
    "SelectCard": {0: BYTE},
    **{name: {0: BYTE} for name in _MEMORY},  # the area selector
    "Fuse": {0: BYTE},
    "CheckEraseSecret": {0: BYTE},
    "CheckZoneSecret": {0: BYTE},
    "SetZoneRWBit": {0: BYTE, 1: BYTE},
    "RF5550_ReadBlk": {0: BYTE},
    "RF5550_WriteBlk": {0: WRITABLE_BLOCK, 3: BYTE},
    "RF5550_Init": {2: BYTE},
    "RF5550_ReadAfterWake": {0: BYTE},
    "RF5550_WriteAfterWake": {0: WRITABLE_BLOCK, 3: BYTE},
    **{name: {0: BYTE} for name in _MIFARE_BLOCK_FIRST},
    "RFMifare_WriteKey": {0: BYTE, 3: BYTE},
    "RFMifare_ReadBloca": {0: BYTE},
    "RFMifare_LoadKey": {0: BYTE, 1: BYTE},
    "RFMifare_Authentication": {0: BYTE, 1: BYTE, 2: BYTE},
    "KQ_ReadRecord": {0: BYTE, 1: range(0, 0x10000), 2: BYTE},
    "KQ_TransCmd": {0: BYTE},
    "KQ_DownloadPSW": {0: BYTE},
}

#: The names of the arguments above where a refusal says more by them than by
#: their position (export name -> argument position -> name).
NAMES: Dict[str, Dict[int, str]] = {
    **{name: {0: "port index"} for name in ("SetComPortPath", "GetComPortPath")},
    "SetTrace": {0: "trace level"},
    "SetChipProtocolMode": {0: "mode"},
    "RFMifare_Authmode": {0: "key mode"},
    "RFMifare_TransKey": {0: "key slot"},
    "ALARM": {0: "mode"},
    **{name: {0: "zone", 1: "address", 2: "length"} for name in ("AT1608_Write", "AT1608_Read")},
    "AT1608_Psw": {0: "password index"},
}

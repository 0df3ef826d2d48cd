# SPDX-License-Identifier: MIT
"""The handle API under kulve32.Reader: each documented device function has a
counterpart that takes the reader's handle first and the size of every
buffer after it (kulve_memcard_read for ReadCard, kulve_chip_reset with slot
2 for SamCard2Reset, ...). The family methods call the documented exports;
a Reader sends each call to the counterpart on its own handle instead.
"""

from __future__ import annotations

import ctypes
from typing import Any, Dict, List, Optional, Sequence, Tuple

from ._exceptions import LinkErrorCode, LinkErrorInfo
from ._library import BYTES, EXPORTS, INT, INTS, TEXT, Export, export

__all__ = ["HandleValue", "counterpart", "call_on_handle", "link_error_of"]


class HandleValue(ctypes.c_void_p):
    """A kulve_reader * (its own type, so no other pointer passes for one)."""


HANDLE = HandleValue
HANDLE_OUT = ctypes.POINTER(HandleValue)

_Open = export("kulve_open", INT, TEXT, HANDLE_OUT, device=False)
_Close = export("kulve_close", None, HANDLE, device=False)
_ResultText = export("kulve_result_text", TEXT, HANDLE, INT, device=False)
_ResultOrigin = export("kulve_result_origin", INT, HANDLE, INT, device=False)
_LinkError = export("kulve_link_error", INT, HANDLE, TEXT, INT, device=False)
_LinkOsError = export("kulve_link_os_error", INT, HANDLE, device=False)
_Relink = export("kulve_reader_relink", INT, HANDLE, device=False)
_BaudRate = export("kulve_reader_baud_rate", INT, HANDLE, device=False)
_WaitPresence = export("kulve_wait_presence", INT, HANDLE, INT, INT, INT, INTS, device=False)
_Command = export("kulve_reader_command", INT, HANDLE, INT, BYTES, INT, BYTES, INT, INTS, device=False)
_ChipIfsc = export("kulve_chip_ifsc", INT, HANDLE, INT, INTS, device=False)

_LINK_ERROR_TEXT_SIZE = 512

# Documented name -> (handle function, slot it is called with or None).
_COUNTERPARTS: Dict[str, Tuple[str, Optional[int]]] = {
    "PowerOn": ("kulve_reader_power_on", None), "PowerOff": ("kulve_reader_power_off", None),
    "SelectCard": ("kulve_reader_select_card", None), "Inquire": ("kulve_reader_inquire", None),
    "SetStandby": ("kulve_reader_standby", None), "GetDeviceNumber": ("kulve_reader_device_number", None),
    "DEVVER": ("kulve_reader_version", None), "ALARM": ("kulve_reader_alarm", None),
    "ReadCard": ("kulve_memcard_read", None), "WriteCard": ("kulve_memcard_write", None),
    "EraseCard": ("kulve_memcard_erase", None), "ReadMemCard": ("kulve_memcard_read_paged", None),
    "WriteMemCard": ("kulve_memcard_write_paged", None), "EraseMemCard": ("kulve_memcard_erase_paged", None),
    "VerifyIC": ("kulve_memcard_verify", None), "Fuse": ("kulve_memcard_fuse", None),
    "CheckSecret": ("kulve_memcard_check_secret", None), "ModifySecret": ("kulve_memcard_modify_secret", None),
    "ReadSecret": ("kulve_memcard_read_secret", None),
    "CheckEraseSecret": ("kulve_memcard_check_erase_secret", None),
    "CheckZoneSecret": ("kulve_memcard_check_zone_secret", None),
    "SetZoneRWBit": ("kulve_memcard_set_zone_access", None),
    "CpuCardReset": ("kulve_chip_reset", 0), "CPUCardProtocolType": ("kulve_chip_protocol", None),
    "ProCpuCardCmd": ("kulve_chip_apdu", 0), "ProCpuCard": ("kulve_chip_apdu_packed", 0),
    **{f"SamCard{n}Reset": ("kulve_chip_reset", n) for n in range(1, 5)},
    **{f"ProSamCard{n}Cmd": ("kulve_chip_apdu", n) for n in range(1, 5)},
    **{f"ProSamCard{n}": ("kulve_chip_apdu_packed", n) for n in range(1, 5)},
    "AT1608_Write": ("kulve_at1608_write", None), "AT1608_Read": ("kulve_at1608_read", None),
    "AT1608_Psw": ("kulve_at1608_password", None), "AT1608_Authentic": ("kulve_at1608_authenticate", None),
    "AT1608_ReadFuse": ("kulve_at1608_read_fuse", None), "AT1608_Reset": ("kulve_at1608_reset", None),
    "RF5550_ReadBlk": ("kulve_e5550_read", None), "RF5550_WriteBlk": ("kulve_e5550_write", None),
    "RF5550_Init": ("kulve_e5550_init", None), "RF5550_Wake": ("kulve_e5550_wake", None),
    "RF5550_ReadAfterWake": ("kulve_e5550_read_after_wake", None),
    "RF5550_WriteAfterWake": ("kulve_e5550_write_after_wake", None),
    "RF5550_Mcmno": ("kulve_e5550_module", None),
    "RFMifare_Mcmno": ("kulve_mifare_module", None), "RFMifare_Authmode": ("kulve_mifare_key_mode", None),
    "RFMifare_TransKey": ("kulve_mifare_store_key", None), "RFMifare_GetType": ("kulve_mifare_card_type", None),
    "RFMifare_GetSnr": ("kulve_mifare_serial", None), "RFMifare_ReadBlock": ("kulve_mifare_read_block", None),
    "RFMifare_WriteBlock": ("kulve_mifare_write_block", None), "RFMifare_WriteKey": ("kulve_mifare_write_key", None),
    "RFMifare_ReadValue": ("kulve_mifare_read_value", None),
    "RFMifare_WriteValue": ("kulve_mifare_write_value", None),
    "RFMifare_IncrementValue": ("kulve_mifare_increment_value", None),
    "RFMifare_DecrementValue": ("kulve_mifare_decrement_value", None),
    "RFMifare_ReadBloca": ("kulve_mifare_read_card", None), "RFMifare_LoadKey": ("kulve_mifare_load_key", None),
    "RFMifare_Request": ("kulve_mifare_request", None), "RFMifare_AntiColl": ("kulve_mifare_anticollision", None),
    "RFMifare_Select": ("kulve_mifare_select", None),
    "RFMifare_Authentication": ("kulve_mifare_authenticate", None),
    "RFMifare_Read": ("kulve_mifare_read", None), "RFMifare_Write": ("kulve_mifare_write", None),
    "RFMifare_Increment": ("kulve_mifare_increment", None), "RFMifare_Decrment": ("kulve_mifare_decrement", None),
    "RFMifare_Halt": ("kulve_mifare_halt", None),
    "KQ_EndTrans": ("kulve_kq_end_transfer", None), "KQ_GetTime": ("kulve_kq_get_time", None),
    "KQ_SetTime": ("kulve_kq_set_time", None), "KQ_GetCurrentPos": ("kulve_kq_current_position", None),
    "KQ_GetStartPos": ("kulve_kq_start_position", None), "KQ_GetEndPos": ("kulve_kq_end_position", None),
    "KQ_ReadRecord": ("kulve_kq_read_records", None), "KQ_SysInit": ("kulve_kq_init", None),
    "KQ_Display": ("kulve_kq_display", None), "KQ_TransCmd": ("kulve_kq_command", None),
    "KQ_DownloadPSW": ("kulve_kq_download_password", None),
    # These carry their buffers' sizes already: the handle form takes
    # the same arguments after the handle (see _UNSIZED).
    "SetChipProtocolMode": ("kulve_chip_set_protocol_mode", None),
    "ChipTransmit": ("kulve_chip_transmit", None),
    "MifareDumpCard": ("kulve_mifare_dump", None), "MifareRestoreCard": ("kulve_mifare_restore", None),
}
_UNSIZED = frozenset({"SetChipProtocolMode", "ChipTransmit", "MifareDumpCard", "MifareRestoreCard"})

_SIZED = (BYTES, TEXT)  # each buffer of a documented function is followed by its size
_declared: Dict[str, Tuple[Export, Optional[int]]] = {}


def counterpart(documented: Export) -> Tuple[Export, Optional[int]]:
    """The handle function standing for `documented`, and its slot argument."""
    found = _declared.get(documented.name)
    if found is None:
        if documented.name not in _COUNTERPARTS:
            raise NotImplementedError(f"{documented.name} has no handle counterpart named in kulve32/_handle.py")
        name, slot = _COUNTERPARTS[documented.name]
        argtypes: List[Any] = [HANDLE] + ([INT] if slot is not None else [])
        for kind in documented.argtypes:
            argtypes += [kind, INT] if kind in _SIZED and documented.name not in _UNSIZED else [kind]
        found = (export(name, documented.restype, *argtypes, device=False), slot)
        _declared[documented.name] = found
    return found


def declare_all() -> None:
    """Declares the counterpart of every documented device function declared so far."""
    for name in list(EXPORTS):
        if name in _COUNTERPARTS:
            counterpart(EXPORTS[name])


def _size(value: Any) -> int:
    """The size in bytes of a buffer argument as the caller made it (0 for none)."""
    if value is None:
        return 0
    if isinstance(value, (bytes, bytearray)):
        return len(value)
    target = getattr(value, "_obj", value)  # ctypes.byref(x) passes x
    return ctypes.sizeof(target)


def call_on_handle(handle: HandleValue, documented: Export, args: Sequence[Any]) -> Any:
    """Runs the documented function's call on one handle, with every buffer's size."""
    documented.check(args)
    function, slot = counterpart(documented)
    full: List[Any] = [handle] + ([slot] if slot is not None else [])
    for kind, value in zip(documented.argtypes, args):
        full += [value, _size(value)] if kind in _SIZED and documented.name not in _UNSIZED else [value]
    return function.function()(*full)


def open_handle(path: bytes) -> Tuple[int, HandleValue]:
    handle = HandleValue()
    return int(_Open(path, ctypes.byref(handle))), handle


def close_handle(handle: HandleValue) -> None:
    _Close(handle)


def result_text_of(handle: HandleValue, result: int) -> str:
    text: Optional[bytes] = _ResultText(handle, result)
    return text.decode("ascii", "replace") if text else "unknown result"


def result_origin(handle: HandleValue, result: int) -> int:
    return int(_ResultOrigin(handle, result))


def link_error_of(handle: HandleValue) -> LinkErrorInfo:
    """Why the handle's link last failed, with the system's error number."""
    text = ctypes.create_string_buffer(_LINK_ERROR_TEXT_SIZE)
    code: int = int(_LinkError(handle, text, len(text)))
    try:
        code = LinkErrorCode(code)
    except ValueError:
        pass
    return LinkErrorInfo(code, text.value.decode("utf-8", "replace"), int(_LinkOsError(handle)))


def relink(handle: HandleValue) -> int:
    return int(_Relink(handle))


def wait_presence(handle: HandleValue, slots: int, known: int, timeout_ms: int) -> Tuple[int, int]:
    """kulve_wait_presence: its result and the slots holding a card."""
    present = ctypes.c_int(0)
    return int(_WaitPresence(handle, slots, known, timeout_ms, ctypes.byref(present))), present.value


def baud_rate(handle: HandleValue) -> int:
    return int(_BaudRate(handle))


def chip_ifsc(handle: HandleValue, slot: int) -> Tuple[int, int]:
    """The result, and the IFSC the full mode uses for the slot's card (0: T=0 or not reset)."""
    ifsc = ctypes.c_int(0)
    result = int(_ChipIfsc(handle, slot, ctypes.byref(ifsc)))
    return result, ifsc.value

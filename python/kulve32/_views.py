# SPDX-License-Identifier: MIT
"""The family sub-objects of a Reader: reader.memcard, reader.chip,
reader.at1608, reader.e5550, reader.mifare and reader.kq. Each is the
family's method group bound to the reader, with the family's prefix dropped
from the names (reader.mifare.read_block is Reader.mifare_read_block).
Calls go through the reader: its handle, its lock, its errors.
"""

from __future__ import annotations

from typing import Any, Dict, Optional, Sequence

from ._device import DeviceMethods
from ._errors import KulveError
from ._library import Export
from .families.at1608 import At1608Methods
from .families.attendance import AttendanceMethods
from .families.cpucard import CpuCardMethods
from .families.e5550 import E5550Methods
from .families.memcard import MemoryCardMethods
from .families.mifare import MifareMethods

__all__ = ["MemoryCard", "Chip", "At1608", "E5550", "Mifare", "Attendance", "FLAT_NAMES"]


class _Family(DeviceMethods):
    """A family's methods on behalf of the reader that owns the sub-object."""

    def __init__(self, owner: DeviceMethods) -> None:
        self._owner = owner

    def _ensure_open(self) -> None:
        self._owner._ensure_open()

    def _invoke(self, function: Export, args: Sequence[Any]) -> Any:
        return self._owner._invoke(function, args)

    def _error(self, result: int, function: Optional[str], data: Optional[bytes] = None) -> KulveError:
        return self._owner._error(result, function, data)

    def __repr__(self) -> str:
        return f"<{type(self).__name__} of {self._owner!r}>"


class MemoryCard(_Family, MemoryCardMethods):
    """Contact memory cards: reader.memcard."""

    read = MemoryCardMethods.read_card
    write = MemoryCardMethods.write_card
    erase = MemoryCardMethods.erase_card
    read_paged = MemoryCardMethods.read_mem_card
    write_paged = MemoryCardMethods.write_mem_card
    erase_paged = MemoryCardMethods.erase_mem_card
    verify = MemoryCardMethods.verify_ic
    set_zone_access = MemoryCardMethods.set_zone_rw_bit


class Chip(_Family, CpuCardMethods):
    """The CPU card and the SAMs: reader.chip."""

    protocol = CpuCardMethods.chip_protocol
    set_protocol_mode = CpuCardMethods.set_chip_protocol_mode
    transmit = CpuCardMethods.chip_transmit


class At1608(_Family, At1608Methods):
    """AT88SC1608 secure memory cards: reader.at1608."""

    write = At1608Methods.at1608_write
    read = At1608Methods.at1608_read
    present_password = At1608Methods.at1608_present_password
    authenticate = At1608Methods.at1608_authenticate
    read_fuse = At1608Methods.at1608_read_fuse
    reset = At1608Methods.at1608_reset


class E5550(_Family, E5550Methods):
    """e5550 transponders: reader.e5550."""

    read = E5550Methods.e5550_read
    write = E5550Methods.e5550_write
    read_after_wake = E5550Methods.e5550_read_after_wake
    write_after_wake = E5550Methods.e5550_write_after_wake
    init = E5550Methods.e5550_init
    wake = E5550Methods.e5550_wake
    module_answer = E5550Methods.e5550_module_answer


class Mifare(_Family, MifareMethods):
    """Mifare Classic cards: reader.mifare."""

    module_answer = MifareMethods.mifare_module_answer
    set_key_mode = MifareMethods.mifare_set_key_mode
    store_key = MifareMethods.mifare_store_key
    card_type = MifareMethods.mifare_card_type
    serial_number = MifareMethods.mifare_serial_number
    read_block = MifareMethods.mifare_read_block
    write_block = MifareMethods.mifare_write_block
    write_key = MifareMethods.mifare_write_key
    read_value = MifareMethods.mifare_read_value
    write_value = MifareMethods.mifare_write_value
    increment_value = MifareMethods.mifare_increment_value
    decrement_value = MifareMethods.mifare_decrement_value
    read_card = MifareMethods.mifare_read_card
    dump = MifareMethods.mifare_dump
    restore = MifareMethods.mifare_restore
    load_key = MifareMethods.mifare_load_key
    request = MifareMethods.mifare_request
    anticollision = MifareMethods.mifare_anticollision
    select = MifareMethods.mifare_select
    authenticate = MifareMethods.mifare_authenticate
    read = MifareMethods.mifare_read
    write = MifareMethods.mifare_write
    increment = MifareMethods.mifare_increment
    decrement = MifareMethods.mifare_decrement
    halt = MifareMethods.mifare_halt


class Attendance(_Family, AttendanceMethods):
    """The attendance terminal: reader.kq."""

    get_time = AttendanceMethods.kq_get_time
    set_time = AttendanceMethods.kq_set_time
    current_position = AttendanceMethods.kq_current_position
    start_position = AttendanceMethods.kq_start_position
    end_position = AttendanceMethods.kq_end_position
    read_records = AttendanceMethods.kq_read_records
    day_records = AttendanceMethods.kq_day_records
    records_between = AttendanceMethods.kq_records_between
    end_transfer = AttendanceMethods.kq_end_transfer
    system_init = AttendanceMethods.kq_system_init
    display = AttendanceMethods.kq_display
    command = AttendanceMethods.kq_command
    download_password = AttendanceMethods.kq_download_password


# Reader attribute of each sub-object, and its class.
SUB_OBJECTS = {"memcard": MemoryCard, "chip": Chip, "at1608": At1608, "e5550": E5550,
               "mifare": Mifare, "kq": Attendance}


def _flat_names() -> Dict[str, str]:
    """Each flat method name of the families -> where it lives now ("mifare.read_block")."""
    names: Dict[str, str] = {}
    for attribute, view in SUB_OBJECTS.items():
        group = view.__mro__[2]
        for short, member in vars(view).items():
            for flat, original in vars(group).items():
                if original is member and not short.startswith("_"):
                    names[flat] = f"{attribute}.{short}"
        for flat in vars(group):
            if not flat.startswith("_") and callable(getattr(group, flat)) and flat not in names:
                names[flat] = f"{attribute}.{flat}"
    return names


#: Every deprecated flat method name of Reader -> its new home.
FLAT_NAMES: Dict[str, str] = _flat_names()

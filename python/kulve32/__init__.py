# SPDX-License-Identifier: MIT
"""KULVE32 for Python: drive a serial card reader/writer through libkulve32.

    import kulve32

    with kulve32.Reader("/dev/ttyUSB0") as reader:
        print(reader.device_number().hex())
        reader.select_card(1)
        reader.power_on()
        print(reader.memcard.read(0, 16).hex())
        print(reader.mifare.serial_number().hex())

Each Reader is one reader with a handle and a lock of its own: open several
and drive them from several threads. ProcessReader is the process's one
reader through the documented functions.

    kulve32.des.encrypt(key, data)

Failures raise a KulveError: LinkError, ReaderRefused, BadArgument or
WrongCardType. See docs/python.md.
"""

from __future__ import annotations

import sys
from typing import TYPE_CHECKING

from . import _handle, des, diagnostics, families
from ._exceptions import (
    BadArgument,
    ChipProtocolError,
    KulveError,
    LinkError,
    LinkErrorCode,
    LinkErrorInfo,
    LinkStep,
    ReaderRefused,
    WrongCardType,
)
from ._errors import last_link_error, result_text
from ._library import LIBRARY_ENV, load, loaded_from
from .diagnostics import (
    MAX_PORT_PATH,
    PORT_COUNT,
    library_version,
    port_path,
    set_port_path,
    set_trace,
)
from .presence import CardMonitor, CardObserver, PresenceEvent, Slot
from .reader import ORIGIN_LIBRARY, ORIGIN_LINE, ORIGIN_READER, ProcessReader, Reader

__version__ = "1.0.0"

# Each family module is also kulve32.<name>, for attribute access and import
# alike (kulve32.memcard.CARD_MEMORY, from kulve32.memcard import SecretCode).
for _name, _module in families.modules().items():
    globals()[_name] = _module
    sys.modules.setdefault(f"{__name__}.{_name}", _module)
del _name, _module
if TYPE_CHECKING:  # the same modules, as type checkers see them (kulve32/<name>.pyi)
    from . import at1608, attendance, cpucard, e5550, housekeeping, memcard, mifare  # noqa: F401
_handle.declare_all()  # the handle counterpart of every device function

__all__ = [
    "Reader", "ProcessReader", "ORIGIN_LIBRARY", "ORIGIN_READER", "ORIGIN_LINE", "KulveError", "LinkError",
    "ReaderRefused", "BadArgument", "WrongCardType", "ChipProtocolError",
    "LinkStep", "LinkErrorCode", "LinkErrorInfo", "des", "diagnostics", "load", "loaded_from",
    "LIBRARY_ENV", "library_version", "set_port_path", "port_path", "result_text",
    "last_link_error", "set_trace", "MAX_PORT_PATH", "PORT_COUNT", "at1608", "attendance", "cpucard",
    "e5550", "housekeeping", "memcard", "mifare", "Slot", "PresenceEvent", "CardObserver", "CardMonitor",
]

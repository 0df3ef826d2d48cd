# SPDX-License-Identifier: MIT
"""The Reader: the process's link to its card reader.

The link itself (open, probe, close) lives here; the device functions come
from the method groups of kulve32/families/, one module per family, which
Reader takes as its bases.
"""

from __future__ import annotations

import ctypes
import os
import threading
from typing import Any, Optional, Union

from . import families
from ._device import DeviceMethods
from ._errors import LinkError, check, last_link_error, result_text
from ._library import INT, INTS, export
from .diagnostics import port_path, set_port_path

__all__ = ["Reader"]

_LinkCom = export("LinkCom", INT, INT)
_UnLinkCom = export("UnLinkCom", INT)
_AutoLinkCom = export("AutoLinkCom", INT, INTS)
_ComBaudRate = export("ComBaudRate", INT, device=False)

PortPath = Union[str, bytes, "os.PathLike[str]"]

# The library has one connection per process: the Reader holding it.
_holder_lock = threading.Lock()
_holder: Optional["ReaderCore"] = None


class ReaderCore(DeviceMethods):
    """Opening and closing the link; see Reader."""

    def __init__(self, port: Optional[PortPath] = None, *, index: int = 0) -> None:
        self._index = index
        self._open = False
        if port is not None:
            set_port_path(index, port)
        result = self._link(lambda: _LinkCom(index))
        if result != 0:
            info = last_link_error()
            raise LinkError(result, "LinkCom", f"no reader linked on port index {index}", info)

    @classmethod
    def auto(cls, first: int = 0) -> "Reader":
        """Links the first of port indexes 0 and 1 with a reader (AutoLinkCom).

        Index 1 is tried first when `first` is 1. LinkError when neither answers.
        """
        reader = cls.__new__(cls)
        reader._open = False
        chosen = ctypes.c_int(first)
        result = reader._link(lambda: _AutoLinkCom(ctypes.byref(chosen)))
        check(result, "AutoLinkCom")
        reader._index = chosen.value
        return reader  # type: ignore[return-value]

    def _link(self, link: Any) -> int:
        """Runs `link`; on success this Reader holds the process's connection."""
        global _holder
        with _holder_lock:
            result = int(link())
            # Linking closes whatever port the library had open before.
            if _holder is not None and _holder is not self:
                _holder._open = False
            _holder = None
            if result == 0:
                _holder = self
                self._open = True
            return result

    def close(self) -> None:
        """Closes the port (UnLinkCom: purge, close, then a pause of one second).

        Closing a closed Reader does nothing.
        """
        global _holder
        with _holder_lock:
            if not self._open:
                return
            self._open = False
            if _holder is self:
                _holder = None
            result = int(_UnLinkCom())
        if result not in (0, 1):  # 1: the port was already gone
            raise LinkError(result, "UnLinkCom", result_text(result))

    def __enter__(self) -> "Reader":
        return self  # type: ignore[return-value]

    def __exit__(self, *exc_info: Any) -> None:
        self.close()

    @property
    def closed(self) -> bool:
        return not self._open

    @property
    def index(self) -> int:
        """The port index this Reader linked (0..9)."""
        return self._index

    @property
    def path(self) -> str:
        """The device path of the port index."""
        return port_path(self._index)

    @property
    def baud_rate(self) -> int:
        """The speed the reader answered at: 57600 or 9600 (ComBaudRate)."""
        self._ensure_open()
        return int(_ComBaudRate())

    def __repr__(self) -> str:
        state = "closed" if not self._open else f"{self.baud_rate} bit/s"
        return f"<kulve32.Reader index={self._index} {state}>"


class Reader(ReaderCore, *families.method_groups()):  # type: ignore[misc]
    """A linked card reader.

        with kulve32.Reader("/dev/ttyUSB0") as reader:
            print(reader.device_number().hex())

    Reader(path) gives port index 0 (or `index`) that path and links it;
    Reader(index=n) links index n as it is set (COM1..COM10 on Windows,
    /dev/ttyS0../dev/ttyS9 on POSIX unless set_port_path changed it);
    Reader.auto() tries indexes 0 and 1. The link tries 57600 bit/s, then
    9600. LinkError when no reader answers.

    The library keeps one connection per process: linking a new Reader
    closes the one before (its methods then raise ValueError). Device calls
    from several threads are serialised.
    """

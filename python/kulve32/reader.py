# SPDX-License-Identifier: MIT
"""The readers: Reader, one card reader on a handle of its own (as many at
once as there are ports), and ProcessReader, the process's one link through
the documented functions.

The link itself (open, probe, close) lives here; the device functions come
from the method groups of kulve32/families/, one module per family, which
both take as their bases. Reader also groups them by family in sub-objects
(reader.mifare, ...; see _views.py), and its flat names are deprecated.
"""

from __future__ import annotations

import ctypes
import os
import sys
import threading
import time
import warnings
from typing import Any, Iterator, Optional, Sequence, Union

from . import _handle, families
from ._device import DeviceMethods
from ._errors import BadArgument, KulveError, LinkError, LinkErrorInfo, check, error_for, last_link_error, result_text
from ._library import INT, INTS, ON_WINDOWS, Export, export
from ._views import FLAT_NAMES, At1608, Attendance, Chip, E5550, MemoryCard, Mifare
from .presence import NO_CHANGE, PresenceEvent, Slot
from .presence import events as presence_events
from .diagnostics import (
    MAX_PORT_PATH,
    TraceCallback,
    follow_process_trace,
    native_trace_callback,
    port_path,
    set_handle_trace,
    set_handle_trace_secrets,
    set_port_path,
    stop_following,
)

__all__ = ["Reader", "ProcessReader", "ORIGIN_LIBRARY", "ORIGIN_READER", "ORIGIN_LINE"]

#: Where a result came from (Reader.result_origin).
ORIGIN_LIBRARY = 0
ORIGIN_READER = 1
ORIGIN_LINE = 2

_LinkCom = export("LinkCom", INT, INT)
_UnLinkCom = export("UnLinkCom", INT)
_AutoLinkCom = export("AutoLinkCom", INT, INTS)
_ComBaudRate = export("ComBaudRate", INT, device=False)

_STEP = 0.5  # seconds: the longest presence wait with the reader's lock held
_LONGEST_WAIT = 86400.0

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


class ProcessReader(ReaderCore, *families.method_groups()):  # type: ignore[misc]
    """The process's one reader, through the documented functions.

        with kulve32.ProcessReader("/dev/ttyUSB0") as reader:
            print(reader.device_number().hex())

    ProcessReader(path) gives port index 0 (or `index`) that path and links
    it; ProcessReader(index=n) links index n as it is set (COM1..COM10 on
    Windows, /dev/ttyS0../dev/ttyS9 on POSIX unless set_port_path changed
    it); ProcessReader.auto() tries indexes 0 and 1. The link tries 57600
    bit/s, then 9600. LinkError when no reader answers.

    The library keeps one such connection per process: linking a new
    ProcessReader closes the one before (its methods then raise ValueError).
    Device calls from several threads are serialised. For several readers,
    use Reader.
    """


def _port_bytes(port: PortPath) -> bytes:
    if isinstance(port, bytes):
        return port
    text = os.fspath(port)
    return text.encode("mbcs") if ON_WINDOWS else os.fsencode(text)


def _caller_outside_package() -> bool:
    module = sys._getframe(2).f_globals.get("__name__", "")
    return not str(module).startswith(__package__ + ".") and module != __package__


class HandleCore(DeviceMethods):
    """Opening and closing a handle, and what it tells; see Reader."""

    def __init__(self, port: Optional[PortPath] = None, *, index: int = 0) -> None:
        self._index = index
        self._open = False
        self._lock = threading.RLock()
        self._failure = threading.local()  # per thread: the words for its last failed call
        self._trace_keepalive: Any = None
        path = _port_bytes(port) if port is not None else _port_bytes(port_path(index))
        if not 0 < len(path) <= MAX_PORT_PATH:
            raise BadArgument(4, "kulve_open", f"path: 1..{MAX_PORT_PATH} bytes, not {len(path)}")
        self._path = os.fsdecode(path) if not ON_WINDOWS else path.decode("mbcs")
        result, handle = _handle.open_handle(path)
        if not handle:
            if result != 1:  # 4: a path empty or too long
                check(result, "kulve_open")
            raise MemoryError("kulve_open: no memory for a reader")
        self._handle = handle
        if result != 0:
            info = _handle.link_error_of(handle)
            _handle.close_handle(handle)
            raise LinkError(result, "kulve_open", f"no reader linked on {self._path}", info)
        self._open = True
        follow_process_trace(self)

    # ---- calls on the handle ---------------------------------------------------

    def _invoke(self, function: Export, args: Sequence[Any]) -> Any:
        with self._lock:
            self._ensure_open()
            result = _handle.call_on_handle(self._handle, function, args)
            if isinstance(result, int) and result != 0:
                # Worded now, while the call is still the handle's last one:
                # another thread may make the next as soon as the lock is free.
                self._failure.last = (result, _handle.result_text_of(self._handle, result),
                                      _handle.link_error_of(self._handle))
            return result

    def _error(self, result: int, function: Optional[str], data: Optional[bytes] = None) -> KulveError:
        last = getattr(self._failure, "last", None)
        if last is not None and last[0] == result:
            return error_for(result, function, data, text=last[1], link_error=last[2])
        return error_for(result, function, data, text=result_text(result), link_error=LinkErrorInfo(0, ""))

    def result_origin(self, result: int) -> int:
        """Where `result` of the last call came from: ORIGIN_LIBRARY, ORIGIN_READER
        (the reader's own status, or a card's status word) or ORIGIN_LINE."""
        with self._lock:
            self._ensure_open()
            return _handle.result_origin(self._handle, result)

    def link_error(self) -> LinkErrorInfo:
        """Why this reader's link last failed (code NONE when nothing did)."""
        with self._lock:
            self._ensure_open()
            return _handle.link_error_of(self._handle)

    def relink(self) -> None:
        """Closes the port and links again on the same path; LinkError when no reader answers."""
        with self._lock:
            self._ensure_open()
            result = _handle.relink(self._handle)
            if result != 0:
                raise LinkError(result, "kulve_reader_relink", f"no reader linked on {self._path}",
                                _handle.link_error_of(self._handle))

    def wait_presence(self, slots: int = Slot.ALL, known: int = 0,
                      timeout: Optional[float] = None) -> Optional[Slot]:
        """Waits until a card comes into or goes out of one of `slots` (Slot
        flags), compared with `known`, the slots the caller knows to hold a
        card. Returns the slots holding a card now, or None when `timeout`
        seconds passed with no change (None: wait for ever; 0: probe once).
        The wait goes in steps of at most half a second, so other threads
        can use this reader in between; the library's probing policy keeps
        the line to 2 exchanges/s. LinkError when the line fails."""
        if timeout is not None and not 0 <= timeout <= _LONGEST_WAIT:
            raise BadArgument(4, "kulve_wait_presence", f"timeout: 0..{_LONGEST_WAIT} s, not {timeout}")
        deadline = None if timeout is None else time.monotonic() + timeout
        while True:
            left = _STEP if deadline is None else max(0.0, min(_STEP, deadline - time.monotonic()))
            with self._lock:
                self._ensure_open()
                result, present = _handle.wait_presence(self._handle, int(slots), int(known), int(left * 1000))
                if result not in (0, NO_CHANGE):
                    self._failure.last = (result, _handle.result_text_of(self._handle, result),
                                          _handle.link_error_of(self._handle))
                    raise self._error(result, "kulve_wait_presence")
            if result == 0:
                return Slot(present)
            if deadline is not None and time.monotonic() >= deadline:
                return None

    def presence_events(self, slots: int = Slot.ALL, known: int = 0,
                        timeout: Optional[float] = None) -> Iterator[PresenceEvent]:
        """Each card coming into or going out of `slots`, as a PresenceEvent,
        starting from `known` (0: every card already there comes first, as
        present). Ends after `timeout` seconds without a change (None: never)."""
        return presence_events(self, int(slots), int(known), timeout)

    def set_trace(self, level: int, callback: Optional[TraceCallback] = None, *,
                  secrets: Optional[bool] = None) -> None:
        """This reader's wire trace, as kulve32.set_trace (which it then no longer follows)."""
        native = native_trace_callback(callback)
        with self._lock:
            self._ensure_open()
            stop_following(self)
            self._apply_trace(level, native, secrets)

    def _apply_trace(self, level: int, native: Any, secrets: Optional[bool] = None) -> None:
        with self._lock:
            if self._open:
                check(set_handle_trace(self._handle, level, native), "kulve_set_trace")
                self._trace_keepalive = native
                if secrets is not None:
                    check(set_handle_trace_secrets(self._handle, secrets), "kulve_set_trace_secrets")

    def close(self) -> None:
        """Closes the port (purge, close, then a pause of one second) and frees
        the handle. Closing a closed Reader does nothing."""
        with self._lock:
            if not self._open:
                return
            self._open = False
            stop_following(self)
            _handle.close_handle(self._handle)

    def __del__(self) -> None:
        # A Reader dropped while open still gives its port back.
        try:
            if getattr(self, "_open", False):
                self.close()
        except Exception:  # noqa: BLE001 - nothing to report to at collection time
            pass

    def __enter__(self) -> "Reader":
        return self  # type: ignore[return-value]

    def __exit__(self, *exc_info: Any) -> None:
        self.close()

    @property
    def closed(self) -> bool:
        return not self._open

    @property
    def index(self) -> int:
        """The port index whose path was opened (0 unless given)."""
        return self._index

    @property
    def path(self) -> str:
        """The device path or network address this reader was opened on."""
        return self._path

    @property
    def baud_rate(self) -> int:
        """The speed the reader answered at: 57600 or 9600."""
        with self._lock:
            self._ensure_open()
            return _handle.baud_rate(self._handle)

    def chip_ifsc(self, slot: int) -> int:
        """The IFSC the full block protocol uses for the slot's card now, as
        the library read it from the card's ATR (or the card asked for
        since); 0 for a T=0 card or a slot not reset yet (kulve_chip_ifsc)."""
        with self._lock:
            self._ensure_open()
            result, ifsc = _handle.chip_ifsc(self._handle, slot)
            if result != 0:
                raise ValueError(f"slot {slot}: no chip slot (0..4)")
            return ifsc

    # ---- the families ------------------------------------------------------------

    @property
    def memcard(self) -> MemoryCard:
        """Contact memory cards (read, write, erase, the security codes)."""
        return MemoryCard(self)

    @property
    def chip(self) -> Chip:
        """The CPU card and the SAMs (resets and APDUs)."""
        return Chip(self)

    @property
    def at1608(self) -> At1608:
        """AT88SC1608 secure memory cards."""
        return At1608(self)

    @property
    def e5550(self) -> E5550:
        """e5550 transponders."""
        return E5550(self)

    @property
    def mifare(self) -> Mifare:
        """Mifare Classic cards."""
        return Mifare(self)

    @property
    def kq(self) -> Attendance:
        """The attendance terminal."""
        return Attendance(self)

    def __repr__(self) -> str:
        state = "closed" if not self._open else f"{self.baud_rate} bit/s"
        return f"<kulve32.Reader {self._path} {state}>"


class Reader(HandleCore, *families.method_groups()):  # type: ignore[misc]
    """One card reader, independent of every other.

        with kulve32.Reader("/dev/ttyUSB0") as reader:
            print(reader.device_number().hex())
            reader.select_card(1)
            data = reader.memcard.read(0, 16)
            block = reader.mifare.read_block(4)

    Reader(path) opens the reader on a device path or network address;
    Reader(index=n) on the path port index n has (set_port_path). The link
    tries 57600 bit/s, then 9600; LinkError when no reader answers. Open as
    many Readers as there are readers: each has its own handle in the
    library and its own lock, so calls on two Readers run in parallel on two
    threads, and calls on one Reader from several threads run one after
    another. Nothing cancels a call in progress.

    The reader's own commands are methods (power_on, select_card, inquire,
    device_number, ...); the card families are sub-objects: memcard, chip,
    at1608, e5550, mifare and kq. The flat names of the families
    (reader.mifare_read_block, reader.read_card, ...) still work for one
    release and warn (DeprecationWarning) with their new place.
    """

    def __getattribute__(self, name: str) -> Any:
        if name in FLAT_NAMES and _caller_outside_package():
            warnings.warn(f"Reader.{name} is deprecated; use reader.{FLAT_NAMES[name]}",
                          DeprecationWarning, stacklevel=2)
        return object.__getattribute__(self, name)

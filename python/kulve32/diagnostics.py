# SPDX-License-Identifier: MIT
"""Library-wide functions: version, port paths, result texts and the wire trace."""

from __future__ import annotations

import ctypes
import os
import weakref
from typing import Any, Callable, Optional, Tuple, Union

from ._errors import BadArgument, LinkErrorInfo, check, last_link_error, result_text
from ._handle import HANDLE, HandleValue
from ._library import ADDRESS, FUNCTION_TYPE, INT, ON_WINDOWS, TEXT, export

__all__ = [
    "MAX_PORT_PATH", "PORT_COUNT", "library_version", "set_port_path", "port_path",
    "result_text", "last_link_error", "LinkErrorInfo", "set_trace", "TraceCallback",
]

#: Port indexes 0..9 (COM1..COM10 on Windows).
PORT_COUNT = 10
#: The longest device path a port index takes, in bytes.
MAX_PORT_PATH = 255

_DLLVER = export("DLLVER", INT, device=False)
_SetComPortPath = export("SetComPortPath", INT, INT, TEXT)
_GetComPortPath = export("GetComPortPath", INT, INT, TEXT, INT)
_TRACE_CALLBACK = FUNCTION_TYPE(None, ctypes.c_int, ctypes.c_char_p, ctypes.c_void_p)
_SetTrace = export("SetTrace", INT, INT, _TRACE_CALLBACK, ADDRESS)
_HandleSetTrace = export("kulve_set_trace", INT, HANDLE, INT, _TRACE_CALLBACK, ADDRESS, device=False)
_SetTraceSecrets = export("kulve_set_trace_secrets", INT, HANDLE, INT, device=False)

#: A trace receiver: called with the level of the line and the line itself.
TraceCallback = Callable[[int, str], None]

# The C callback handed to the library must outlive every call that may use it.
_trace_keepalive: Optional[object] = None
# The process-wide setting (level, C callback, secrets shown or None for as
# they are), which every open Reader follows until it is given one of its
# own; the Readers that follow it.
_process_trace: Tuple[int, Any, Optional[bool]] = (0, None, None)
_following: "weakref.WeakSet[Any]" = weakref.WeakSet()


def library_version() -> int:
    """The library's version number (DLLVER): 7321."""
    return int(_DLLVER())


def _encode_path(path: Union[str, bytes, "os.PathLike[str]"]) -> bytes:
    if isinstance(path, bytes):
        return path
    text = os.fspath(path)
    if isinstance(text, bytes):
        return text
    return text.encode("mbcs") if ON_WINDOWS else os.fsencode(text)


def set_port_path(index: int, path: Union[str, bytes, "os.PathLike[str]"]) -> None:
    """Makes port index 0..9 open `path` from the next link on.

    Any device path on POSIX (/dev/ttyUSB0, /dev/serial/by-id/..., a pty);
    any device name on Windows (\\\\.\\COM12). BadArgument for an index
    outside 0..9 or an empty path or one longer than MAX_PORT_PATH bytes.
    """
    encoded = _encode_path(path)
    if b"\0" in encoded:
        raise ValueError("a port path cannot contain a NUL character")
    if not 0 < len(encoded) <= MAX_PORT_PATH:
        raise BadArgument(4, "SetComPortPath", f"path: 1..{MAX_PORT_PATH} bytes, not {len(encoded)}")
    check(_SetComPortPath(index, encoded), "SetComPortPath")


def port_path(index: int) -> str:
    """The device path port index 0..9 opens."""
    buffer = ctypes.create_string_buffer(MAX_PORT_PATH + 1)
    check(_GetComPortPath(index, buffer, len(buffer)), "GetComPortPath")
    return os.fsdecode(buffer.value) if not ON_WINDOWS else buffer.value.decode("mbcs")


def set_trace(level: int, callback: Optional[TraceCallback] = None, *, secrets: Optional[bool] = None) -> None:
    """Sets the wire trace: 0 off, 1 failures, 2 also every frame, 3 also every transfer.

    Lines go to `callback(level, line)` when given, else to standard error
    (or the file named by KULVE32_TRACE_FILE). The callback runs on the
    thread of the call being traced. BadArgument for a level outside 0..3.
    Keys, codes and passwords are masked (``**``) unless `secrets` is True
    (or KULVE32_TRACE_SECRETS=1 and `secrets` is left None).
    """
    global _trace_keepalive, _process_trace
    native = native_trace_callback(callback)
    check(_SetTrace(level, native, None), "SetTrace")
    if secrets is not None:
        check(_SetTraceSecrets(None, int(secrets)), "kulve_set_trace_secrets")
    _trace_keepalive = native
    _process_trace = (level, native, secrets)
    for reader in list(_following):
        reader._apply_trace(level, native, secrets)


def native_trace_callback(callback: Optional[TraceCallback]) -> Any:
    """The C callback passing lines to `callback` (a null one for standard error)."""
    if callback is None:
        return _TRACE_CALLBACK()  # a null pointer: lines go to standard error
    receiver = callback

    def receive(line_level: int, line: Optional[bytes], _context: Optional[int]) -> None:
        receiver(line_level, line.decode("utf-8", "replace") if line else "")

    return _TRACE_CALLBACK(receive)


def follow_process_trace(reader: Any) -> None:
    """Gives `reader` the process-wide trace now and whenever set_trace changes it."""
    _following.add(reader)
    level, native, secrets = _process_trace
    if level != 0 or native is not None or secrets is not None:
        reader._apply_trace(level, native, secrets)


def stop_following(reader: Any) -> None:
    _following.discard(reader)


def set_handle_trace(handle: HandleValue, level: int, native: Any) -> int:
    return int(_HandleSetTrace(handle, level, native, None))


def set_handle_trace_secrets(handle: HandleValue, secrets: bool) -> int:
    return int(_SetTraceSecrets(handle, int(secrets)))

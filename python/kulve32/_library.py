# SPDX-License-Identifier: MIT
"""Finding and loading the KULVE32 library, and calling its functions.

Each module of the package declares the functions it calls with `export()`;
the library itself is loaded on the first call (or by `load()`), so importing
the package never fails for want of it.
"""

from __future__ import annotations

import ctypes
import ctypes.util
import os
import sys
import threading
from pathlib import Path
from typing import Any, ClassVar, Dict, List, Optional, Sequence, Type, Union

from ._exceptions import BadArgument
from ._ranges import NAMES, RANGES

ON_WINDOWS = sys.platform == "win32"

#: Environment variable naming the library file to load.
LIBRARY_ENV = "KULVE32_LIBRARY"

# Argument and result kinds of the exported functions. Every integer is 32 bits
# wide; every pointer is a plain C pointer.
INT = ctypes.c_int
BYTES = ctypes.POINTER(ctypes.c_ubyte)  # unsigned char *
INTS = ctypes.POINTER(ctypes.c_int)  # int *
TEXT = ctypes.c_char_p  # const char * (and char * filled by the library)
ADDRESS = ctypes.c_void_p  # void * handed back untouched
HANDLE = ctypes.c_void_p  # kulve_reader *: one reader of the handle API

class Record(ctypes.Structure):
    """Base of the ctypes mirrors of the header's structs (KqTime, ...).

    c_name is the struct's name in kulve32.h; _fields_ repeat its members,
    with their names, in order.
    """

    c_name: ClassVar[str] = ""


def RECORD(record: Type[Record]) -> Any:  # noqa: N802 (a kind, like INT and BYTES)
    """The argument kind of a pointer to one of the header's structs."""
    return ctypes.POINTER(record)


#: The calling convention of the exports: stdcall on Windows.
FUNCTION_TYPE = ctypes.WINFUNCTYPE if ON_WINDOWS else ctypes.CFUNCTYPE  # type: ignore[attr-defined]

_INT32_MIN = -(2**31)
_INT32_MAX = 2**31 - 1

# The device functions share one port and one request record in the library;
# this lock keeps calls from several Python threads from interleaving.
device_lock = threading.RLock()

_load_lock = threading.Lock()
_loaded: Optional[ctypes.CDLL] = None
_loaded_from: Optional[str] = None

PathArg = Union[str, "os.PathLike[str]"]


def _file_names() -> List[str]:
    if ON_WINDOWS:
        return ["KULVE32.DLL"]
    if sys.platform == "darwin":
        return ["libkulve32.dylib"]
    return ["libkulve32.so", "libkulve32.so.1"]


def _build_tree_libraries(package: Path) -> List[str]:
    """The libraries built in the clone this package was imported from.

    Only when the package sits in python/ of a source tree (its CMakeLists.txt
    beside python/): build/release first, then the other build folders, the
    most recently built first. In the python folder of the Windows kit, the
    kit's DLL of the Python's width. Nothing for an installed package.
    """
    root = package.parent.parent
    if ON_WINDOWS and (root / "x64" / "KULVE32.DLL").is_file():  # the Windows kit's python\ folder
        return [str(root / ("x64" if ctypes.sizeof(ctypes.c_void_p) == 8 else "x86") / "KULVE32.DLL")]
    if not (root / "CMakeLists.txt").is_file() or not (root / "python" / "pyproject.toml").is_file():
        return []
    build = root / "build"
    if ON_WINDOWS:
        arch = "win64" if ctypes.sizeof(ctypes.c_void_p) == 8 else "win32"
        pattern = f"windows/{arch}/bin/KULVE32.DLL"
    else:
        pattern = f"*/src/{_file_names()[0]}"
    try:
        found = sorted(build.glob(pattern), key=lambda p: p.stat().st_mtime, reverse=True)
    except OSError:
        return []
    found.sort(key=lambda p: p.parts[-3] != "release")  # stable: release first, then by age
    return [str(p) for p in found]


def _candidates() -> List[str]:
    """Where the library is looked for, in order."""
    found: List[str] = []
    from_env = os.environ.get(LIBRARY_ENV)
    if from_env:
        found.append(from_env)
    here = Path(__file__).resolve().parent
    found += [str(here / name) for name in _file_names() if (here / name).exists()]
    found += _build_tree_libraries(here)
    system = ctypes.util.find_library("KULVE32" if ON_WINDOWS else "kulve32")
    if system:
        found.append(system)
    if not ON_WINDOWS:
        found += _file_names()  # the dynamic loader's own search (LD_LIBRARY_PATH, ...)
    return found


def _open(path: str) -> ctypes.CDLL:
    if ON_WINDOWS:
        loaded: ctypes.CDLL = ctypes.WinDLL(path)  # type: ignore[attr-defined]
        return loaded
    return ctypes.CDLL(path)


def load(path: Optional[PathArg] = None) -> ctypes.CDLL:
    """Loads the library once per process and returns it.

    With `path`, exactly that file is loaded. Without it, the first of these
    that loads: the file named by the environment variable KULVE32_LIBRARY,
    the library placed next to this package (libkulve32.so or KULVE32.DLL),
    when the package is run from a clone the library built in its build/
    folder (build/release first, then the newest), and the system's own search (ldconfig and LD_LIBRARY_PATH, or PATH on
    Windows). The library keeps one reader connection per process, so a
    second load from another file is refused (RuntimeError).
    """
    global _loaded, _loaded_from
    with _load_lock:
        wanted = os.fspath(path) if path is not None else None
        if _loaded is not None:
            if wanted is not None and not _same_file(wanted, _loaded_from):
                raise RuntimeError(f"the KULVE32 library is already loaded from {_loaded_from}")
            return _loaded
        tried: List[str] = []
        for candidate in [wanted] if wanted is not None else _candidates():
            try:
                _loaded = _open(candidate)
            except OSError as error:
                tried.append(f"{candidate} ({error})")
                continue
            _loaded_from = candidate
            return _loaded
        where = "; ".join(tried) if tried else "nothing found"
        raise OSError(f"cannot load the KULVE32 library: {where}. Give its path to "
                      f"kulve32.load() or in the environment variable {LIBRARY_ENV}.")


def loaded_from() -> Optional[str]:
    """The path the library was loaded from, or None before it is loaded."""
    return _loaded_from


def _same_file(a: str, b: Optional[str]) -> bool:
    if b is None:
        return False
    try:
        return os.path.samefile(a, b)
    except OSError:
        return a == b


class Export:
    """One exported function: its prototype, checked arguments and the lock.

    Integer arguments outside the 32-bit range are refused with BadArgument
    before the call (ctypes would silently cut them to 32 bits).
    """

    def __init__(self, name: str, restype: Any, argtypes: Sequence[Any], device: bool) -> None:
        self.name = name
        self.restype = restype
        self.argtypes = tuple(argtypes)
        self.device = device
        self._function: Any = None

    def __repr__(self) -> str:
        return f"<KULVE32 export {self.name}>"

    def function(self) -> Any:
        if self._function is None:
            function = getattr(load(), self.name)
            function.restype = self.restype
            function.argtypes = self.argtypes
            self._function = function
        return self._function

    def check(self, args: Sequence[Any]) -> None:
        """BadArgument unless every integer argument fits 32 bits and lies in
        its documented range (kulve32/_ranges.py)."""
        ranges = RANGES.get(self.name, {})
        for position, (kind, value) in enumerate(zip(self.argtypes, args), 1):
            if kind is INT and not (isinstance(value, int) and _INT32_MIN <= value <= _INT32_MAX):
                raise BadArgument(4, self.name, f"argument {position} ({value!r}) is not a 32-bit integer")
            allowed = ranges.get(position - 1)
            if allowed is not None and value not in allowed:
                what = NAMES.get(self.name, {}).get(position - 1, f"argument {position}")
                raise BadArgument(4, self.name, f"{what} ({value!r}) is outside {allowed.start}..{allowed.stop - 1}")

    def __call__(self, *args: Any) -> Any:
        self.check(args)
        function = self.function()
        if not self.device:
            return function(*args)
        with device_lock:
            return function(*args)


#: Every function declared by the package, by export name.
EXPORTS: Dict[str, Export] = {}


def export(name: str, restype: Any, *argtypes: Any, device: bool = True) -> Export:
    """Declares an exported function of the library and returns its caller.

    `device` marks functions that use the reader connection; their calls are
    serialised by `device_lock`. Declaring a name twice must give the same
    prototype.
    """
    declared = EXPORTS.get(name)
    if declared is not None:
        if (declared.restype, declared.argtypes, declared.device) != (restype, tuple(argtypes), device):
            raise TypeError(f"{name} declared twice with different prototypes")
        return declared
    declared = Export(name, restype, argtypes, device)
    EXPORTS[name] = declared
    return declared


def byte_buffer(size: int, content: bytes = b"") -> "ctypes.Array[ctypes.c_ubyte]":
    """A zeroed buffer of `size` bytes (at least as many as `content`) starting with `content`."""
    buffer = (ctypes.c_ubyte * max(size, len(content), 0))()
    ctypes.memmove(buffer, content, len(content))
    return buffer


def signed32(value: int, what: str, function: str) -> int:
    """A 32-bit value given as -2**31 .. 2**32 - 1, as the int the export takes.

    For the library's unsigned int arguments: 0xDEADBEEF and -559038737 are
    the same 32 bits. BadArgument outside that range.
    """
    if not isinstance(value, int) or not _INT32_MIN <= value < 2**32:
        raise BadArgument(4, function, f"{what} ({value!r}) does not fit 32 bits")
    return value - 2**32 if value > _INT32_MAX else value


def as_bytes(data: Any, what: str) -> bytes:
    """Bytes from any bytes-like object (bytes, bytearray, memoryview, array)."""
    if isinstance(data, str):
        raise TypeError(f"{what} must be bytes, not str")
    try:
        return bytes(memoryview(data))
    except TypeError:
        raise TypeError(f"{what} must be a bytes-like object, not {type(data).__name__}") from None


def fixed_bytes(data: Any, size: int, what: str, function: str) -> bytes:
    """Bytes of exactly `size` bytes (a key, a password, a block), else BadArgument.

    The library reads such a buffer to its full size whatever the caller
    passed, so a short one is refused here rather than read past its end.
    """
    content = as_bytes(data, what)
    if len(content) != size:
        raise BadArgument(4, function, f"{what} has {len(content)} bytes, not {size}")
    return content

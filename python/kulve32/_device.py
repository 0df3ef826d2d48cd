# SPDX-License-Identifier: MIT
"""What every group of Reader methods builds on: calls that need an open link."""

from __future__ import annotations

from typing import Any, ClassVar, List, Optional, Sequence, Type

from ._errors import KulveError, error_for
from ._library import Export


class DeviceMethods:
    """Calls into the library on behalf of an open Reader."""

    _open: bool = False

    def _ensure_open(self) -> None:
        if not self._open:
            raise ValueError("the reader is closed")

    def _call(self, function: Export, *args: Any) -> int:
        """Calls `function` and returns its result as it is."""
        self._ensure_open()
        return int(self._invoke(function, args))

    def _invoke(self, function: Export, args: Sequence[Any]) -> Any:
        """Where a call goes: the documented function itself (the process-wide
        reader); a Reader of the handle API sends it to its own handle."""
        return function(*args)

    def _error(self, result: int, function: Optional[str], data: Optional[bytes] = None) -> KulveError:
        """The exception for a non-zero result of the last call."""
        return error_for(result, function, data)

    def _run(self, function: Export, *args: Any, reply: Optional[Any] = None) -> None:
        """Calls `function` and raises the exception for a non-zero result.

        `reply`, a buffer the function copies the reader's answer into even
        on a refusal, is attached to a ReaderRefused as bytes (its data).
        """
        result = self._call(function, *args)
        if result != 0:
            raise self._error(result, function.name, bytes(reply) if reply is not None else None)


class FamilyMethods(DeviceMethods):
    """Base of the method groups in kulve32/families/: each subclass becomes a base of Reader."""

    registered: ClassVar[List[Type["FamilyMethods"]]] = []

    def __init_subclass__(cls, **kwargs: Any) -> None:
        super().__init_subclass__(**kwargs)
        if cls.__module__.startswith(__package__ + ".families."):
            FamilyMethods.registered.append(cls)

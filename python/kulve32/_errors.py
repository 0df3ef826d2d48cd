# SPDX-License-Identifier: MIT
"""Results as exceptions: the library's words for a result, why the link last
failed, and the exception for a non-zero result (the classes themselves are
in _exceptions, which imports nothing of the package, so _library can raise
them without importing this module).
"""

from __future__ import annotations

import ctypes
from typing import Optional

from ._exceptions import (
    ANSWER_TOO_LARGE,
    BAD_ARGUMENT,
    CALL_TIME_BOUND,
    CARD_MUST_BE_RESET,
    NOT_FOR_CARD_TYPE,
    RESPONSE_TOO_LONG,
    T1_ABORTED,
    T1_EXCHANGE_LOST,
    T1_NOT_AN_ANSWER,
    WRONG_CARD,
    BadArgument,
    ChipProtocolError,
    KulveError,
    LinkError,
    LinkErrorCode,
    LinkErrorInfo,
    LinkStep,
    ReaderRefused,
    WrongCardType,
    is_link_failure,
)
from ._library import INT, TEXT, export
from ._statuses import with_meaning

__all__ = [
    "BAD_ARGUMENT", "NOT_FOR_CARD_TYPE", "WRONG_CARD", "T1_NOT_AN_ANSWER", "T1_EXCHANGE_LOST",
    "RESPONSE_TOO_LONG", "T1_ABORTED", "CARD_MUST_BE_RESET", "ANSWER_TOO_LARGE", "CALL_TIME_BOUND", "BadArgument", "ChipProtocolError", "KulveError", "LinkError",
    "LinkErrorCode", "LinkErrorInfo", "LinkStep", "ReaderRefused", "WrongCardType", "is_link_failure",
    "result_text", "last_link_error", "error_for", "check",
]

_ResultText = export("ResultText", TEXT, INT, device=False)
_GetLinkError = export("GetLinkError", INT, TEXT, INT, device=False)
_GetLinkOsError = export("GetLinkOsError", INT, device=False)

_LINK_ERROR_TEXT_SIZE = 512
_READER_STATUS = "reader status 0x"  # how the library words a status that is the reader's


def result_text(result: int) -> str:
    """The library's description of any result one of its functions returns."""
    text: Optional[bytes] = _ResultText(result)
    return text.decode("ascii", "replace") if text else "unknown result"


def last_link_error() -> LinkErrorInfo:
    """Why the link last failed (GetLinkError); code NONE when nothing failed since the last link."""
    text = ctypes.create_string_buffer(_LINK_ERROR_TEXT_SIZE)
    code = _GetLinkError(text, len(text))
    try:
        code = LinkErrorCode(code)
    except ValueError:
        pass
    return LinkErrorInfo(code, text.value.decode("utf-8", "replace"), _GetLinkOsError())


def error_for(result: int, function: Optional[str], data: Optional[bytes] = None, *,
              text: Optional[str] = None, link_error: Optional[LinkErrorInfo] = None) -> KulveError:
    """The exception for a non-zero result of `function`.

    text: the words for the result (default ResultText's); link_error: why
    the link failed, for a link-failure letter (default GetLinkError's).
    """
    words = text if text is not None else result_text(result)
    if is_link_failure(result):
        return LinkError(result, function, words, link_error if link_error is not None else last_link_error())
    if result == BAD_ARGUMENT:
        return BadArgument(result, function, words)
    if result in (NOT_FOR_CARD_TYPE, WRONG_CARD):
        return WrongCardType(result, function, words)
    if result == T1_NOT_AN_ANSWER:
        # Mostly a card still at the sequence number an earlier session left it at.
        return ChipProtocolError(result, function, f"{words}; reset the card first")
    if result in (T1_EXCHANGE_LOST, RESPONSE_TOO_LONG, T1_ABORTED, CARD_MUST_BE_RESET,
                  ANSWER_TOO_LARGE, CALL_TIME_BOUND):
        return ChipProtocolError(result, function, words)
    if 0 < result <= 0xFF:
        if words.startswith(_READER_STATUS):
            words = with_meaning(words, result)
        return ReaderRefused(result, function, words, data)
    return KulveError(result, function, words)


def check(result: int, function: Optional[str], data: Optional[bytes] = None) -> None:
    """Raises the exception for `result` unless it is 0."""
    if result != 0:
        raise error_for(result, function, data)

# SPDX-License-Identifier: MIT
"""The exceptions of the package (a leaf: it imports nothing of the package).

Every failure a library function reports becomes one exception class:

    result                         exception
    0x65 'e' .. 0x73 's'           LinkError     (the step of the frame that failed)
    4                              BadArgument   (nothing was sent)
    3, 19                          WrongCardType (3: the selected card type has no such
                                                  function; 19: the inserted card does
                                                  not match the selected type)
    40 .. 46                       ChipProtocolError (a CPU card or SAM exchange: 40 a T=1
                                                  block that is not an answer, 41 the T=1
                                                  exchange lost, 42 an answer larger than
                                                  the buffer, 43 aborted by the card, 44
                                                  the card must be reset, 45 an answer
                                                  above 65,538 bytes, 46 the call's 300 s
                                                  bound ran out)
    any other reader status        ReaderRefused (the reader's own status byte)

All derive from KulveError, which carries the result, the name of the library
function and the library's own description of the result (ResultText).
"""

from __future__ import annotations

import enum
from dataclasses import dataclass
from typing import Optional

NOT_FOR_CARD_TYPE = 3
BAD_ARGUMENT = 4
WRONG_CARD = 19
T1_NOT_AN_ANSWER = 40
T1_EXCHANGE_LOST = 41
RESPONSE_TOO_LONG = 42
T1_ABORTED = 43
CARD_MUST_BE_RESET = 44
ANSWER_TOO_LARGE = 45
CALL_TIME_BOUND = 46


class LinkStep(enum.IntEnum):
    """The step of the frame exchange named by a link-failure letter."""

    HASH_NOT_WRITTEN = 0x65  # 'e' the start byte could not be written
    NO_ANSWER = 0x66  # 'f' no answer to the start byte
    BAD_ANSWER = 0x67  # 'g' the answer to the start byte was wrong
    CODE_NOT_WRITTEN = 0x68  # 'h'
    LENGTH_NOT_WRITTEN = 0x69  # 'i'
    DATA_NOT_WRITTEN = 0x6A  # 'j'
    CHECK_NOT_WRITTEN = 0x6B  # 'k'
    NO_ACK = 0x6C  # 'l'
    BAD_ACK = 0x6D  # 'm'
    GO_NOT_WRITTEN = 0x6E  # 'n'
    NO_STATUS = 0x6F  # 'o'
    NO_LENGTH = 0x70  # 'p'
    SHORT_REPLY = 0x71  # 'q'
    NO_CHECKSUM = 0x72  # 'r'
    BAD_CHECKSUM = 0x73  # 's'

    @property
    def letter(self) -> str:
        return chr(self.value)


class LinkErrorCode(enum.IntEnum):
    """Why the link last failed, as GetLinkError reports it."""

    NONE = 0
    BAD_INDEX = 1
    NOT_FOUND = 2
    PERMISSION = 3
    BUSY = 4
    SETTINGS = 5
    NO_ANSWER = 6
    TIMEOUT = 7
    HANGUP = 8
    PROTOCOL = 9
    SYSTEM = 10
    NOT_OPEN = 11
    UNRESOLVED = 12
    REFUSED = 13


@dataclass(frozen=True)
class LinkErrorInfo:
    """The last link-level failure: its code, the library's description of it
    and the operating system's error number behind it (errno, GetLastError;
    0 when there was none)."""

    code: int  # a LinkErrorCode where the value is known
    text: str
    os_error: int = 0


class KulveError(Exception):
    """A library function reported a failure.

    Attributes: result (the value the function returned), function (its name
    in the library) and text (the library's description of the result).
    """

    def __init__(self, result: int, function: Optional[str], text: str) -> None:
        super().__init__(f"{function}: {text}" if function else text)
        self.result = result
        self.function = function
        self.text = text


class LinkError(KulveError):
    """The reader could not be reached, or an exchange failed on the line.

    letter and step name the step of the frame that failed ('f',
    LinkStep.NO_ANSWER); both are None when a link could not be made at all
    (LinkCom). link_error and link_error_text are the library's record of why
    (GetLinkError), with the operating system's reason where there is one;
    os_error is that reason's number (GetLinkOsError, 0 when none).
    """

    def __init__(self, result: int, function: Optional[str], text: str,
                 link_error: Optional[LinkErrorInfo] = None) -> None:
        info = link_error if link_error is not None else LinkErrorInfo(LinkErrorCode.NONE, "")
        super().__init__(result, function, _cause_first(text, info.text))
        self.step: Optional[LinkStep] = LinkStep(result) if result in _LINK_LETTERS else None
        self.letter: Optional[str] = self.step.letter if self.step is not None else None
        self.link_error = info.code
        self.link_error_text = info.text
        self.os_error = info.os_error


def _cause_first(step: str, record: str) -> str:
    """The words of a link failure: why first, then the step, named once.

    The library's record of why usually repeats the step ("request code 20:
    link failure 'e': <step> (the line hung up: ...)"); the message becomes
    "the line hung up: ... (link failure 'e': <step>, request code 20)".
    A record that does not name the step is added after it, as it is.
    """
    at = record.find(step) if step else -1
    if at < 0:
        return f"{step} ({record})" if record else step
    where, after = record[:at].rstrip(": "), record[at + len(step):]
    if after.startswith(" (") and after.endswith(")"):
        cause = after[2:-1]
    else:
        cause = after.lstrip(": ")
    named = f"{step}, {where}" if where else step
    return f"{cause} ({named})" if cause else named


class ReaderRefused(KulveError):
    """The reader refused the command; status is its status byte.

    data holds the bytes the library left in the caller's buffer where a
    function copies the reader's reply even on a refusal, else None.
    """

    def __init__(self, result: int, function: Optional[str], text: str,
                 data: Optional[bytes] = None) -> None:
        super().__init__(result, function, text)
        self.status = result
        self.data = data


class BadArgument(KulveError, ValueError):
    """An argument was out of range; nothing was sent (result 4)."""


class WrongCardType(KulveError):
    """The card type stands in the way.

    result 3: the selected card type has no such function (or does not take
    that length or key number), nothing sent; 3 also reports a check of the
    card's answer that failed, as when ModifySecret cannot clear the old code.
    result 19: the inserted card does not match the selected card type.
    """


_LINK_LETTERS = frozenset(step.value for step in LinkStep)


def is_link_failure(result: int) -> bool:
    return result in _LINK_LETTERS


class ChipProtocolError(KulveError):
    """A CPU card or SAM exchange failed in the card's transport protocol.

    result 40: the card answered with a T=1 block that is not an answer
    (default mode: an R- or S-block, a chained or malformed block); 41: the
    full mode lost the T=1 exchange (retransmitted twice, then resynchronised;
    the command may or may not have run); 42: the answer is larger than the
    response buffer (the command did run); 43: the card sent S(ABORT); 44: the
    card answered no S(RESYNCH), or left the reader silent three calls in a
    row, and must be reset; 45: the answer exceeds
    65,538 bytes; 46: the call's 300 s bound on waiting for the card ran out.
    """

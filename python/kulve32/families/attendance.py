# SPDX-License-Identifier: MIT
"""The attendance terminal on the reader's link: clock, records, display.

Each method is one exchange; a refusal or a line failure raises and leaves
nothing half-read. The library passes the terminal's bytes through; this
module reads them as the terminal of kulvesim and the kulve tool do:

- the clock (KqTime): year byte (0 = 2000), month, day, hour, minute,
  second, weekday 1 (Monday) .. 7 (Sunday);
- positions: record numbers of 24 bits. A day's records run from its start
  position up to, not including, its end position;
- records (AttendanceRecord): badge number, time of day and kind (in, out).

Dates use the terminal's calendar: year bytes 0..255 from 2000, with a leap
year every fourth year and no century rule (right for 2000..2099).
"""

from __future__ import annotations

import ctypes
import datetime
from dataclasses import dataclass
from typing import Any, List, Tuple, Union

from .._device import FamilyMethods
from .._errors import BadArgument, check
from .._library import BYTES, INT, INTS, RECORD, TEXT, Record, as_bytes, byte_buffer, export, fixed_bytes, signed32

__all__ = [
    "AttendanceMethods", "KqTime", "KqDate", "AttendanceRecord", "day_number", "date_of_day",
    "YEAR_ZERO", "PUNCH_IN", "PUNCH_OUT", "DISPLAY_SIZE", "MAX_RECORDS_PER_READ",
]

#: The calendar year of year byte 0.
YEAR_ZERO = 2000
PUNCH_IN = 1
PUNCH_OUT = 2
DISPLAY_SIZE = 16
#: The most records one read brings (31 * 8 bytes fit the 255-byte buffer).
MAX_RECORDS_PER_READ = 31

_RECORD_SIZE = 8
_RECORD_BUFFER = 255
_POSITION_SIZE = 4
_POSITION_LIMIT = 1 << 24
_COMMAND_BUFFER = 256
_MAX_COMMAND_DATA = 254  # the sub byte and the data go out in one frame of up to 255 bytes
_PASSWORD_SIZES = {1: 4}  # by kind; every other kind takes 6 bytes
_OTHER_PASSWORD_SIZE = 6


class _KqTime(Record):
    c_name = "KqTime"
    _fields_ = [("field", ctypes.c_int * 7)]


class _KqDate(Record):
    c_name = "KqDate"
    _fields_ = [("year", ctypes.c_ubyte), ("month", ctypes.c_ubyte), ("day", ctypes.c_ubyte)]


_EndTrans = export("KQ_EndTrans", INT)
_GetTime = export("KQ_GetTime", INT, RECORD(_KqTime))
_SetTime = export("KQ_SetTime", INT, RECORD(_KqTime))
_GetCurrentPos = export("KQ_GetCurrentPos", INT, INTS, BYTES)
_GetStartPos = export("KQ_GetStartPos", INT, INTS, INTS, BYTES)
_GetEndPos = export("KQ_GetEndPos", INT, INTS, INTS, BYTES)
_ReadRecord = export("KQ_ReadRecord", INT, INT, INT, INT, BYTES)
_SysInit = export("KQ_SysInit", INT)
_Display = export("KQ_Display", INT, TEXT)
_TransCmd = export("KQ_TransCmd", INT, INT, INT, BYTES)
_Daysbyte = export("KQ_Daysbyte", INT, RECORD(_KqDate), device=False)
_Datebyte = export("KQ_Datebyte", INT, INT, RECORD(_KqDate), device=False)
_DownloadPSW = export("KQ_DownloadPSW", INT, INT, BYTES)


def _byte(value: int, what: str, function: str) -> int:
    if not isinstance(value, int) or not 0 <= value <= 0xFF:
        raise BadArgument(4, function, f"{what} is a byte (0..255), not {value!r}")
    return value


@dataclass(frozen=True)
class KqDate:
    """A date of the terminal's calendar: year byte (0 = 2000), month, day."""

    year: int
    month: int
    day: int

    @classmethod
    def from_date(cls, date: datetime.date) -> "KqDate":
        """The date of a datetime.date of the years 2000..2255."""
        if not YEAR_ZERO <= date.year <= YEAR_ZERO + 0xFF:
            raise ValueError(f"the terminal's years are {YEAR_ZERO}..{YEAR_ZERO + 0xFF}, not {date.year}")
        return cls(date.year - YEAR_ZERO, date.month, date.day)

    def to_date(self) -> datetime.date:
        return datetime.date(YEAR_ZERO + self.year, self.month, self.day)

    @property
    def day_number(self) -> int:
        """Its day number (KQ_Daysbyte): 2000-01-01 is day 1."""
        return day_number(self)


@dataclass(frozen=True)
class KqTime:
    """The terminal's clock: year byte (0 = 2000), month, day, hour, minute,
    second and weekday (1 Monday .. 7 Sunday; ignored when setting)."""

    year: int
    month: int
    day: int
    hour: int
    minute: int
    second: int
    weekday: int = 0

    @classmethod
    def from_datetime(cls, moment: datetime.datetime) -> "KqTime":
        date = KqDate.from_date(moment.date())
        return cls(date.year, date.month, date.day, moment.hour, moment.minute, moment.second,
                   moment.isoweekday())

    def to_datetime(self) -> datetime.datetime:
        return datetime.datetime(YEAR_ZERO + self.year, self.month, self.day, self.hour, self.minute, self.second)

    @property
    def date(self) -> KqDate:
        return KqDate(self.year, self.month, self.day)


@dataclass(frozen=True)
class AttendanceRecord:
    """One record: badge number, time of day, kind (PUNCH_IN or PUNCH_OUT)."""

    badge: int
    hour: int
    minute: int
    second: int
    kind: int

    @property
    def time(self) -> datetime.time:
        return datetime.time(self.hour, self.minute, self.second)

    @classmethod
    def from_bytes(cls, data: bytes) -> "AttendanceRecord":
        """The record of its 8 bytes: badge (4, least significant first), hour, minute, second, kind."""
        return cls(int.from_bytes(data[:4], "little"), data[4], data[5], data[6], data[7])


DateArg = Union[KqDate, datetime.date]


def _kq_date(date: DateArg, function: str) -> KqDate:
    if isinstance(date, KqDate):
        for what in ("year", "month", "day"):
            _byte(getattr(date, what), what, function)
        return date
    if isinstance(date, datetime.date):
        try:
            return KqDate.from_date(date)
        except ValueError as error:
            raise BadArgument(4, function, str(error)) from None
    raise TypeError(f"a date is a KqDate or a datetime.date, not {type(date).__name__}")


def day_number(date: DateArg) -> int:
    """The day number of a date (KQ_Daysbyte): 2000-01-01 is day 1. No exchange.

    The fields are not checked: month 0 counts as 1, a day past its month's
    end is simply added.
    """
    kq = _kq_date(date, _Daysbyte.name)
    return int(_Daysbyte(ctypes.byref(_KqDate(kq.year, kq.month, kq.day))))


def date_of_day(number: int) -> KqDate:
    """The date of a day number (KQ_Datebyte); the year byte wraps after 255. No exchange."""
    out = _KqDate()
    check(_Datebyte(signed32(number, "day number", _Datebyte.name), ctypes.byref(out)), _Datebyte.name)
    return KqDate(out.year, out.month, out.day)


def _position(first: Any, low: Any) -> int:
    return int((first.value & 0xFF) << 16 | low[1] << 8 | low[0])


class AttendanceMethods(FamilyMethods):
    # ---- Clock -----------------------------------------------------------------

    def kq_get_time(self) -> KqTime:
        """The terminal's clock (KQ_GetTime)."""
        clock = _KqTime()
        self._run(_GetTime, ctypes.byref(clock))
        return KqTime(*clock.field)

    def kq_set_time(self, time: Union[KqTime, datetime.datetime]) -> None:
        """Sets the terminal's clock (KQ_SetTime); the terminal works out the weekday.

        Every field is a byte: BadArgument (nothing sent) otherwise.
        """
        if isinstance(time, datetime.datetime):
            try:
                time = KqTime.from_datetime(time)
            except ValueError as error:
                raise BadArgument(4, _SetTime.name, str(error)) from None
        fields = [time.year, time.month, time.day, time.hour, time.minute, time.second, time.weekday]
        names = ("year", "month", "day", "hour", "minute", "second", "weekday")
        clock = _KqTime()
        for index, (name, value) in enumerate(zip(names, fields)):
            clock.field[index] = _byte(value, name, _SetTime.name)
        self._run(_SetTime, ctypes.byref(clock))

    # ---- Positions and records -------------------------------------------------------

    def kq_current_position(self) -> int:
        """Where the next record goes (KQ_GetCurrentPos)."""
        first, low = ctypes.c_int(0), byte_buffer(_POSITION_SIZE)
        self._run(_GetCurrentPos, ctypes.byref(first), low)
        return _position(first, low)

    def _day_position(self, function: Any, date: DateArg) -> int:
        kq = _kq_date(date, function.name)
        first, low = ctypes.c_int(0), byte_buffer(_POSITION_SIZE)
        self._run(function, (ctypes.c_int * 3)(kq.year, kq.month, kq.day), ctypes.byref(first), low)
        return _position(first, low)

    def kq_start_position(self, date: DateArg) -> int:
        """The position of a day's first record, or of the next later one (KQ_GetStartPos)."""
        return self._day_position(_GetStartPos, date)

    def kq_end_position(self, date: DateArg) -> int:
        """The position after a day's last record (KQ_GetEndPos); the start position for a day without any."""
        return self._day_position(_GetEndPos, date)

    def kq_read_records(self, position: int, count: int) -> List[AttendanceRecord]:
        """Up to `count` (1..31) records from `position` (KQ_ReadRecord); fewer at the end of the store.

        Opens a transfer on the terminal: end it with kq_end_transfer.
        """
        if not isinstance(position, int) or not 0 <= position < _POSITION_LIMIT:
            raise BadArgument(4, _ReadRecord.name, f"a position has 24 bits, not {position!r}")
        if not isinstance(count, int) or not 1 <= count <= MAX_RECORDS_PER_READ:
            raise BadArgument(4, _ReadRecord.name, f"one read brings 1..{MAX_RECORDS_PER_READ} records, not {count!r}")
        buffer = byte_buffer(_RECORD_BUFFER)
        self._run(_ReadRecord, position >> 16, position & 0xFFFF, count, buffer)
        records = []
        # The library does not say how many bytes came: a record's kind is
        # never 0, so a zero kind marks the first record the terminal did not send.
        for at in range(0, count * _RECORD_SIZE, _RECORD_SIZE):
            data = bytes(buffer[at:at + _RECORD_SIZE])
            if data[7] == 0:
                break
            records.append(AttendanceRecord.from_bytes(data))
        return records

    def kq_day_records(self, date: DateArg) -> List[AttendanceRecord]:
        """Every record of a day: its positions, reads of up to 31, then the end of the transfer."""
        return [record for _, record in self.kq_records_between(date, date)]

    def kq_records_between(self, first: DateArg, last: DateArg) -> List[Tuple[KqDate, AttendanceRecord]]:
        """Every record from day `first` through day `last` (both included), each
        with its date, oldest first: the start position of each day and the end
        position of the last (one exchange each), reads of up to 31 records,
        then the end of the transfer. Empty when `last` is before `first`."""
        first_day = day_number(_kq_date(first, _GetStartPos.name))
        last_day = day_number(_kq_date(last, _GetEndPos.name))
        starts = [(date_of_day(n), self.kq_start_position(date_of_day(n))) for n in range(first_day, last_day + 1)]
        if not starts:
            return []
        end = self.kq_end_position(date_of_day(last_day))
        records: List[Tuple[KqDate, AttendanceRecord]] = []
        at, start, day = starts[0][1], starts[0][1], 0
        while at < end:
            wanted = min(end - at, MAX_RECORDS_PER_READ)
            batch = self.kq_read_records(at, wanted)
            for position, record in enumerate(batch, at):
                # The record's day: the last whose start position is not after it.
                while day + 1 < len(starts) and starts[day + 1][1] <= position:
                    day += 1
                records.append((starts[day][0], record))
            if len(batch) < wanted:
                break  # the store ended early
            at += wanted
        if end > start:
            self.kq_end_transfer()
        return records

    def kq_end_transfer(self) -> None:
        """Ends a record transfer (KQ_EndTrans)."""
        self._run(_EndTrans)

    def kq_system_init(self) -> None:
        """Initialises the terminal (KQ_SysInit); the simulated one empties its record store."""
        self._run(_SysInit)

    # ---- Display, own commands, passwords --------------------------------------------------

    def kq_display(self, text: Union[str, bytes]) -> None:
        """Shows up to 16 characters on the display (KQ_Display), padded with spaces.

        A str is sent as Latin-1. BadArgument for more than 16.
        """
        raw = text.encode("latin-1") if isinstance(text, str) else as_bytes(text, "text")
        if len(raw) > DISPLAY_SIZE:
            raise BadArgument(4, _Display.name, f"the display shows {DISPLAY_SIZE} characters, not {len(raw)}")
        self._run(_Display, raw.ljust(DISPLAY_SIZE, b" "))

    def kq_command(self, sub: int, data: Any = b"") -> bytes:
        """A command of the caller's own (KQ_TransCmd): the sub byte, then up to 254
        data bytes; returns the terminal's reply."""
        content = as_bytes(data, "data")
        if len(content) > _MAX_COMMAND_DATA:
            raise BadArgument(4, _TransCmd.name, f"a command carries at most {_MAX_COMMAND_DATA} bytes, not {len(content)}")
        buffer = byte_buffer(_COMMAND_BUFFER, content)
        self._run(_TransCmd, sub, len(content) + 1, buffer)
        return bytes(buffer[1:1 + buffer[0]])

    def kq_download_password(self, kind: int, password: Any) -> None:
        """Downloads a password (KQ_DownloadPSW): 4 bytes for kind 1, 6 for any other."""
        size = _PASSWORD_SIZES.get(kind, _OTHER_PASSWORD_SIZE)
        secret = fixed_bytes(password, size, "password", _DownloadPSW.name)
        self._run(_DownloadPSW, kind, byte_buffer(_OTHER_PASSWORD_SIZE, secret))

# SPDX-License-Identifier: MIT
"""Microprocessor cards: the CPU card slot and SAM 1..4, reset and APDUs.

A reset returns the card's answer to reset (ATR). A command APDU goes to the
card as a plain T=0 command or inside a T=1 block, and comes back as an
ApduResponse: the response data and the status word as a value (0x9000),
never as an exception, whatever the card said.

In the default mode one framing serves all five slots: the last successful
reset of any slot decides whether every later APDU, to any slot, goes out as
T=0 or T=1 (chip_protocol tells which), and every reset starts the T=1 send
sequence anew. Interleaving APDUs to two T=1 cards therefore hands each the
sequence bit the other's exchanges left behind.

The full mode (set_chip_protocol_mode(MODE_FULL)) gives each slot its own
protocol and sequence numbers and speaks ISO/IEC 7816-3 in full: T=1
chaining both ways, S(WTX), S(IFS), repeats and resynchronisation; T=0 with
GET RESPONSE after 61xx and the repeat after 6Cxx. chip_transmit always uses
it, with answers up to 65,536 bytes and extended lengths for T=1 cards.
"""

from __future__ import annotations

import ctypes
from dataclasses import dataclass
from typing import Any, Optional, Sequence, Tuple

from .._device import FamilyMethods
from .._errors import BadArgument, result_text
from .._library import BYTES, INT, INTS, Export, as_bytes, byte_buffer, export

__all__ = [
    "ApduResponse", "CpuCardMethods", "apdu", "SAM_SLOTS", "MAX_DATA", "SW_OK",
    "MODE_DEFAULT", "MODE_FULL", "CPU_SLOT", "MAX_ANSWER",
]

#: The SAM slots, numbered as the library numbers them.
SAM_SLOTS = (1, 2, 3, 4)
#: The most command data (Lc) one APDU carries.
MAX_DATA = 128
#: The status word of a command that succeeded.
SW_OK = 0x9000
#: The modes of set_chip_protocol_mode.
MODE_DEFAULT = 0
MODE_FULL = 1
#: chip_transmit's slot number of the CPU card (the SAMs are 1..4).
CPU_SLOT = 0
#: The largest answer chip_transmit takes: 65,536 data bytes and SW1 SW2.
MAX_ANSWER = 65538

_ATR_BUFFER = 256  # count byte + up to 255 ATR bytes
_REQUEST_SIZE = 134  # CLA INS P1 P2 Lc, 128 data bytes, Le
_PACKED_SIZE = 138  # the packed request, and the framed block written back over it
_RESPONSE_SIZE = 254  # count byte + up to 253 response bytes
_LE_AT = _REQUEST_SIZE - 1

_CpuCardReset = export("CpuCardReset", INT, BYTES)
# One export per SAM slot, in slot order (the names as the export table has them).
_SamResets = tuple(
    export(name, INT, BYTES) for name in ("SamCard1Reset", "SamCard2Reset", "SamCard3Reset", "SamCard4Reset"))
_CPUCardProtocolType = export("CPUCardProtocolType", INT)
_ProCpuCardCmd = export("ProCpuCardCmd", INT, BYTES, BYTES)
_SamCommands = tuple(
    export(name, INT, BYTES, BYTES) for name in ("ProSamCard1Cmd", "ProSamCard2Cmd", "ProSamCard3Cmd", "ProSamCard4Cmd"))
_ProCpuCard = export("ProCpuCard", INT, BYTES, BYTES)
_SamTransmits = tuple(
    export(name, INT, BYTES, BYTES) for name in ("ProSamCard1", "ProSamCard2", "ProSamCard3", "ProSamCard4"))
_SetChipProtocolMode = export("SetChipProtocolMode", INT, INT)
_ChipTransmit = export("ChipTransmit", INT, INT, BYTES, INT, BYTES, INT, INTS)


@dataclass(frozen=True, repr=False)
class ApduResponse:
    """A card's answer to a command APDU.

    data: the response data, without the status word; sw: SW1 * 256 + SW2;
    framed: for the transmit methods, the block exactly as it went to the
    reader (T=0: the APDU; T=1: the whole I-block), else b"".
    """

    data: bytes
    sw: int
    framed: bytes = b""

    def __repr__(self) -> str:
        framed = f", framed={self.framed.hex()}" if self.framed else ""
        return f"ApduResponse(data={self.data.hex()}, sw=0x{self.sw:04X}{framed})"

    @property
    def sw1(self) -> int:
        return self.sw >> 8

    @property
    def sw2(self) -> int:
        return self.sw & 0xFF

    @property
    def ok(self) -> bool:
        """True for the status word 0x9000."""
        return self.sw == SW_OK

    @property
    def text(self) -> str:
        """The meaning of the status word ("Success", "Warning: 2 tries left", ...)."""
        return result_text(self.sw)


def apdu(cla: int, ins: int, p1: int, p2: int, data: bytes = b"", le: Optional[int] = None) -> bytes:
    """A command APDU in its short form: CLA INS P1 P2 [Lc data] [Le].

    le=None sends no Le; le=0 asks for up to 256 bytes.
    """
    body = as_bytes(data, "data")
    for name, value in (("CLA", cla), ("INS", ins), ("P1", p1), ("P2", p2), ("Le", le or 0)):
        if not isinstance(value, int) or not 0 <= value <= 0xFF:
            raise ValueError(f"{name} is a byte, not {value!r}")
    if len(body) > 0xFF:
        raise ValueError(f"a short APDU carries at most 255 data bytes, not {len(body)}")
    command = bytes((cla, ins, p1, p2))
    if body:
        command += bytes((len(body),)) + body
    if le is not None:
        command += bytes((le,))
    return command


def _parse(command: bytes, function: str) -> Tuple[bytes, bytes, int]:
    """(CLA INS P1 P2, data, Le) of a short command APDU; BadArgument when it is none.

    Cases 1 to 4 of the short form: CLA INS P1 P2; + Le; + Lc data; + Lc data Le.
    """
    raw = as_bytes(command, "apdu")
    if len(raw) < 4:
        raise BadArgument(4, function, f"an APDU has at least 4 bytes, not {len(raw)}")
    header, rest = raw[:4], raw[4:]
    if len(rest) == 0:
        return header, b"", 0
    if len(rest) == 1:
        return header, b"", rest[0]
    lc = rest[0]
    if lc == 0 or len(rest) not in (1 + lc, 2 + lc):
        raise BadArgument(4, function, f"{raw.hex()} is not a short APDU (Lc {lc}, {len(rest) - 1} bytes after it)")
    if lc > MAX_DATA:
        raise BadArgument(4, function, f"an APDU carries at most {MAX_DATA} data bytes, not {lc}")
    return header, rest[1:1 + lc], rest[1 + lc] if len(rest) == 2 + lc else 0


def _counted(buffer: Any) -> bytes:
    """The bytes of a buffer whose first byte counts them, never past its end."""
    return bytes(buffer[1:1 + min(buffer[0], len(buffer) - 1)])


def _sam(table: Sequence[Export], sam: int, what: str) -> Export:
    if sam not in SAM_SLOTS:
        raise BadArgument(4, what, f"the SAM slots are 1..4, not {sam!r}")
    return table[sam - 1]


class CpuCardMethods(FamilyMethods):
    # ---- Reset --------------------------------------------------------------

    def _reset(self, function: Export) -> bytes:
        atr = byte_buffer(_ATR_BUFFER)
        self._run(function, atr)
        return _counted(atr)

    def cpu_reset(self) -> bytes:
        """Resets the card in the CPU card slot and returns its ATR (CpuCardReset).

        The framing of every later APDU becomes T=1 when the ATR's TD1 names
        T=1, else T=0.
        """
        return self._reset(_CpuCardReset)

    def sam_reset(self, sam: int) -> bytes:
        """Resets the card in SAM slot 1..4 and returns its ATR (SamCard1Reset ..)."""
        return self._reset(_sam(_SamResets, sam, "SamCardReset"))

    def chip_protocol(self) -> int:
        """1 when APDUs go out as T=1 (also before any reset), 0 for T=0 (CPUCardProtocolType)."""
        return self._call(_CPUCardProtocolType)

    # ---- APDUs ----------------------------------------------------------------

    def _answer(self, function: Export, result: int, response: Any, framed: bytes = b"") -> ApduResponse:
        # The status word is above 255 for any card that keeps to ISO/IEC
        # 7816-4; 1..255 are the reader's refusals and the link failures.
        if 0 < result <= 0xFF:
            raise self._error(result, function.name)
        return ApduResponse(_counted(response), result, framed)

    def _command(self, function: Export, command: bytes) -> ApduResponse:
        header, data, le = _parse(command, function.name)
        request = byte_buffer(_REQUEST_SIZE, header + bytes((len(data),)) + data)
        request[_LE_AT] = le
        response = byte_buffer(_RESPONSE_SIZE)
        return self._answer(function, self._call(function, request, response), response)

    def _transmit(self, function: Export, command: bytes) -> ApduResponse:
        header, data, le = _parse(command, function.name)
        request = byte_buffer(_PACKED_SIZE, header + bytes((len(data),)) + data + bytes((le,)))
        response = byte_buffer(_RESPONSE_SIZE)
        result = self._call(function, request, response)
        return self._answer(function, result, response, _counted(request))

    def cpu_command(self, command: bytes) -> ApduResponse:
        """Sends a command APDU to the CPU card (ProCpuCardCmd); returns its answer.

        command: CLA INS P1 P2 [Lc data] [Le] (see apdu()), at most 128 data
        bytes. Le goes out only without data; a command with both sends its
        data alone. One exchange: no GET RESPONSE after 61xx, no repeat after
        6Cxx; those status words come back like any other.
        """
        return self._command(_ProCpuCardCmd, command)

    def sam_command(self, sam: int, command: bytes) -> ApduResponse:
        """As cpu_command, to the card in SAM slot 1..4 (ProSamCard1Cmd ..)."""
        return self._command(_sam(_SamCommands, sam, "ProSamCardCmd"), command)

    def cpu_transmit(self, command: bytes) -> ApduResponse:
        """As cpu_command, through ProCpuCard: the answer's `framed` holds the
        block as it was framed for sending (T=1: NAD, PCB, LEN, APDU, LRC)."""
        return self._transmit(_ProCpuCard, command)

    def sam_transmit(self, sam: int, command: bytes) -> ApduResponse:
        """As cpu_transmit, to the card in SAM slot 1..4 (ProSamCard1 ..)."""
        return self._transmit(_sam(_SamTransmits, sam, "ProSamCard"), command)

    # ---- The full mode ----------------------------------------------------------

    def set_chip_protocol_mode(self, mode: int) -> None:
        """MODE_FULL: the APDU methods above speak ISO/IEC 7816-3 in full, each
        slot by its own reset; MODE_DEFAULT: one exchange per APDU, as
        documented (SetChipProtocolMode). Reset the cards after going back to
        MODE_DEFAULT."""
        self._run(_SetChipProtocolMode, mode)

    def chip_transmit(self, slot: int, command: bytes, answer_size: int = MAX_ANSWER) -> ApduResponse:
        """Sends a command APDU, exactly as given (Le included; extended
        lengths for T=1 cards), to slot 0 (CPU card) or 1..4 (SAM) in the full
        mode (ChipTransmit), whatever the mode set. Answers up to answer_size
        bytes (data and status word); a longer one raises ChipProtocolError
        (42) after the command ran.
        """
        if slot not in (CPU_SLOT, *SAM_SLOTS):
            raise BadArgument(4, "ChipTransmit", f"no chip slot {slot!r} (0 CPU card, 1..4 SAM)")
        data = as_bytes(command, "command")
        request = byte_buffer(max(len(data), 1), data)
        answer = byte_buffer(max(answer_size, 1))
        length = (ctypes.c_int * 1)()
        result = self._call(_ChipTransmit, slot, request, len(data), answer, answer_size, length)
        if 0 < result <= 0xFF:
            raise self._error(result, _ChipTransmit.name)  # this reader's words, not the process's
        n = length[0]
        return ApduResponse(bytes(answer[: n - 2]), result)

# SPDX-License-Identifier: MIT
"""Contact memory cards: data access, identification and security codes.

What each method does depends on the card type selected with
Reader.select_card (or read with Reader.inquire). Addressed access
(read_card ...) reaches a memory area by a 16-bit address, 64 bytes per
exchange; paged access (read_mem_card ...) a flat address in pages of 256
bytes (264 for card type 21), 66 bytes per exchange. A multi-exchange call
stops at the first failure, with the pieces before it done.
"""

from __future__ import annotations

from dataclasses import dataclass
from typing import Any, Optional, Tuple

from .._device import FamilyMethods
from .._errors import BadArgument, WRONG_CARD
from .._library import BYTES, INT, as_bytes, byte_buffer, export

__all__ = ["CARD_MEMORY", "SECURITY_MEMORY", "SecretCode", "MemoryCardMethods"]

#: Memory area selectors of the addressed methods.
CARD_MEMORY = 18
SECURITY_MEMORY = 2

_ReadCard = export("ReadCard", INT, INT, INT, INT, INT, BYTES)
_WriteCard = export("WriteCard", INT, INT, INT, INT, INT, BYTES)
_EraseCard = export("EraseCard", INT, INT, INT, INT, INT, BYTES)
_ReadMemCard = export("ReadMemCard", INT, INT, INT, BYTES)
_WriteMemCard = export("WriteMemCard", INT, INT, INT, BYTES)
_EraseMemCard = export("EraseMemCard", INT, INT, INT, BYTES)
_VerifyIC = export("VerifyIC", INT)
_Fuse = export("Fuse", INT, INT)
_CheckSecret = export("CheckSecret", INT, INT, BYTES)
_ReadSecret = export("ReadSecret", INT, BYTES, BYTES)
_ModifySecret = export("ModifySecret", INT, INT, BYTES)
_CheckEraseSecret = export("CheckEraseSecret", INT, INT, BYTES)
_CheckZoneSecret = export("CheckZoneSecret", INT, INT, BYTES)
_SetZoneRWBit = export("SetZoneRWBit", INT, INT, INT)

_PAGE = 256  # the addressed functions' address is page * 256 + offset
_ADDRESSED_LIMIT = 0x10000  # bytes the addressed functions can reach
_PAGED_LIMIT = 0x10000 * 264  # bytes the paged functions can reach
_CODE_MIN_BUFFER = 4  # code and key buffers hold at least 4 bytes
_ERASE_KEY_LENGTHS = (2, 4, 6)
_ZONE_CODE_LENGTH = 2


@dataclass(frozen=True)
class SecretCode:
    """A card's security code and its attempts counter, as ReadSecret reads them."""

    counter: bytes  # 2 bytes
    code: bytes  # 4 bytes; types with a 2-byte code fill bytes 0..1


def _buffer(count: int, limit: int, content: bytes = b"") -> Optional[Any]:
    # A count the library refuses gets no buffer at all (it answers 4 for a
    # null buffer as well), so nothing huge is allocated for a refusal.
    return byte_buffer(count, content) if 1 <= count <= limit else None


def _span(function: str, address: int, count: int, limit: int) -> None:
    """BadArgument, naming both, unless `count` bytes from `address` lie within 0..limit - 1.

    For the paged functions `limit` is that of 264-byte pages; the library
    refuses the bytes past page 65535 of 256-byte pages itself.
    """
    if isinstance(address, int) and isinstance(count, int) and (address < 0 or count < 1 or address + count > limit):
        raise BadArgument(4, function, f"address {address} and count {count}: the bytes must lie within "
                                       f"0..{limit - 1}, at least one")


def _split(address: int) -> Tuple[int, int]:
    return address // _PAGE, address % _PAGE


def _code_buffer(code: Any, what: str) -> Any:
    data = as_bytes(code, what)
    return byte_buffer(max(len(data), _CODE_MIN_BUFFER), data), len(data)


class MemoryCardMethods(FamilyMethods):
    # ---- Addressed access -------------------------------------------------

    def read_card(self, address: int, count: int, *, area: int = CARD_MEMORY) -> bytes:
        """Reads `count` bytes at `address` (0..65535) of a memory area (ReadCard).

        BadArgument when the bytes would pass address 65535 or count < 1.
        """
        _span(_ReadCard.name, address, count, _ADDRESSED_LIMIT)
        page, offset = _split(address)
        buffer = _buffer(count, _ADDRESSED_LIMIT)
        self._run(_ReadCard, area, page, offset, count, buffer)
        return bytes(buffer)  # type: ignore[arg-type]

    def write_card(self, address: int, data: Any, *, area: int = CARD_MEMORY) -> bytes:
        """Writes `data` at `address` of a memory area (WriteCard).

        Returns the data with whatever the reader answered to each piece
        copied over it (readers usually answer nothing: the data as given).
        """
        content = as_bytes(data, "data")
        _span(_WriteCard.name, address, len(content), _ADDRESSED_LIMIT)
        page, offset = _split(address)
        buffer = _buffer(len(content), _ADDRESSED_LIMIT, content)
        self._run(_WriteCard, area, page, offset, len(content), buffer)
        return bytes(buffer)  # type: ignore[arg-type]

    def erase_card(self, address: int, count: int, *, area: int = CARD_MEMORY) -> bytes:
        """Clears `count` bytes at `address` (EraseCard).

        Card types 0, 15, 16, 17, 25, 26 use the erase command, always on the
        card memory; others write 0xFF bytes to `area`. Returns the bytes as
        the reader answered them (0xFF where it answered nothing).
        """
        _span(_EraseCard.name, address, count, _ADDRESSED_LIMIT)
        page, offset = _split(address)
        buffer = _buffer(count, _ADDRESSED_LIMIT)
        self._run(_EraseCard, area, page, offset, count, buffer)
        return bytes(buffer)  # type: ignore[arg-type]

    # ---- Paged access -------------------------------------------------------

    def read_mem_card(self, address: int, count: int) -> bytes:
        """Reads `count` bytes at a flat paged address (ReadMemCard)."""
        _span(_ReadMemCard.name, address, count, _PAGED_LIMIT)
        buffer = _buffer(count, _PAGED_LIMIT)
        self._run(_ReadMemCard, address, count, buffer)
        return bytes(buffer)  # type: ignore[arg-type]

    def write_mem_card(self, address: int, data: Any) -> bytes:
        """Writes `data` at a flat paged address (WriteMemCard); returns as write_card."""
        content = as_bytes(data, "data")
        _span(_WriteMemCard.name, address, len(content), _PAGED_LIMIT)
        buffer = _buffer(len(content), _PAGED_LIMIT, content)
        self._run(_WriteMemCard, address, len(content), buffer)
        return bytes(buffer)  # type: ignore[arg-type]

    def erase_mem_card(self, address: int, count: int) -> bytes:
        """Writes `count` 0xFF bytes at a flat paged address (EraseMemCard); returns as erase_card."""
        _span(_EraseMemCard.name, address, count, _PAGED_LIMIT)
        buffer = _buffer(count, _PAGED_LIMIT)
        self._run(_EraseMemCard, address, count, buffer)
        return bytes(buffer)  # type: ignore[arg-type]

    # ---- Identification and fuse ------------------------------------------------

    def verify_ic(self) -> bool:
        """Whether the inserted card matches the selected card type (VerifyIC).

        Types 0..4 are read to tell; 10..17, 19..27 and 30 are taken on trust
        (True); other types give False without an exchange.
        """
        result = self._call(_VerifyIC)
        if result == WRONG_CARD:
            return False
        if result != 0:
            raise self._error(result, _VerifyIC.name)
        return True

    def fuse(self, value: int) -> None:
        """Sends the low byte of `value` to the reader's fuse command (Fuse)."""
        self._run(_Fuse, value)

    # ---- Security codes -----------------------------------------------------------
    # WrongCardType (result 3) when the selected type has no such code, or
    # does not take the length or key number given.

    def check_secret(self, code: Any) -> bytes:
        """Presents the security code (CheckSecret); returns the reader's answer.

        Types 0, 15..17: 4 bytes, the attempts counter (2 bytes) then the code
        (2 bytes). Types 25, 26 take 2-byte codes; on a refusal their answer
        (e.g. the attempts left) is in ReaderRefused.data.
        """
        buffer, length = _code_buffer(code, "code")
        self._run(_CheckSecret, length, buffer, reply=buffer)
        return bytes(buffer)

    def read_secret(self) -> SecretCode:
        """Reads the security code and its attempts counter (ReadSecret).

        Types 0, 15..17 (both from card memory), 2, 4, 25, 26 (counter byte 0
        from the security memory, byte 1 zero).
        """
        counter = byte_buffer(2)
        code = byte_buffer(4)
        self._run(_ReadSecret, counter, code)
        return SecretCode(bytes(counter), bytes(code))

    def modify_secret(self, code: Any) -> bytes:
        """Replaces the security code (ModifySecret); needs the code presented.

        Types 2, 4: up to 254 code bytes; 25, 26: 2 bytes; 0, 15..17: 2 bytes,
        returning the attempts counter (2 bytes) and the code as written (2
        bytes). WrongCardType (3) for types 0, 15..17 also when the old code
        could not be cleared (it is gone then).
        """
        buffer, length = _code_buffer(code, "code")
        self._run(_ModifySecret, length, buffer)
        return bytes(buffer)

    def check_erase_secret(self, key_number: int, key: Any) -> bytes:
        """Presents erase key `key_number` (CheckEraseSecret); returns the reader's answer.

        The key has 4 bytes (types 0, 15, and key 5 of type 16), 6 (key 4 of
        type 16) or 2 (types 25, 26); a key shorter than the card's is sent
        padded with zero bytes. Types 25, 26 put their answer to a refusal in
        ReaderRefused.data.
        """
        data = as_bytes(key, "key")
        if len(data) not in _ERASE_KEY_LENGTHS:
            raise BadArgument(4, _CheckEraseSecret.name, f"an erase key has 2, 4 or 6 bytes, not {len(data)}")
        buffer = byte_buffer(max(_ERASE_KEY_LENGTHS), data)
        self._run(_CheckEraseSecret, key_number, buffer, reply=buffer)
        return bytes(buffer)[: max(len(data), _CODE_MIN_BUFFER)]

    def check_zone_secret(self, zone: int, code: Any) -> bytes:
        """Presents the 2-byte code of `zone` (CheckZoneSecret; types 25, 26).

        Returns the reader's answer (4 bytes); on a refusal it is in
        ReaderRefused.data.
        """
        data = as_bytes(code, "code")
        if len(data) != _ZONE_CODE_LENGTH:
            raise BadArgument(4, _CheckZoneSecret.name, f"a zone code has 2 bytes, not {len(data)}")
        buffer = byte_buffer(_CODE_MIN_BUFFER, data)
        self._run(_CheckZoneSecret, zone, buffer, reply=buffer)
        return bytes(buffer)

    def set_zone_rw_bit(self, zone: int, access: int) -> None:
        """Sets the access byte of `zone` (SetZoneRWBit; low bytes of both sent)."""
        self._run(_SetZoneRWBit, zone, access)

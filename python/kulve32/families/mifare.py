# SPDX-License-Identifier: MIT
"""Mifare Classic cards through the reader's RF module.

Two ways in:

- the reader's own operations (mifare_read_block, mifare_write_value, ...):
  the reader finds a card, selects it and authenticates the block's sector
  with its key slot of that sector, as key A or B by the key mode. `card` is
  the reader's card selector: the serial number (4 bytes as
  mifare_serial_number returns them, or the same read as a little-endian
  number), or 0 for whichever card answers;
- the single card steps (mifare_request, mifare_anticollision,
  mifare_select, mifare_authenticate, mifare_read, ...), in the order the
  card needs them; neither the library nor this package enforces one.

A call that fails on the line closes the port, links again and repeats, at
most 3 exchanges in all (each relink pauses about a second); the Reader
stays linked. Values are signed 32-bit integers.
"""

from __future__ import annotations

from dataclasses import dataclass, field
from typing import Any, Dict, Iterator, List, Mapping, Sequence, Tuple, Union

from .._device import FamilyMethods
from .._errors import BadArgument, ReaderRefused
from .._library import BYTES, INT, byte_buffer, export, fixed_bytes, signed32

__all__ = [
    "MifareMethods", "MifareDump", "MifareCardDump", "Keys", "NO_CARD", "KEY_A", "KEY_B", "TRANSPORT_KEY", "KEY_SIZE", "BLOCK_SIZE",
    "SECTORS", "SECTORS_1K", "SECTORS_4K", "BLOCKS_PER_SECTOR", "REQUEST_IDLE", "REQUEST_ALL", "sector_of", "trailer_of",
    "is_trailer",
]

KEY_A = 0
KEY_B = 1
KEY_SIZE = 6
#: The key of a new card.
TRANSPORT_KEY = b"\xff" * KEY_SIZE
BLOCK_SIZE = 16
SECTORS = 16
BLOCKS_PER_SECTOR = 4
#: mifare_request modes: idle cards only, or halted cards too (a wake-up).
REQUEST_IDLE = 0
REQUEST_ALL = 1
#: The reader status for no card in the field: a dump stops at it.
NO_CARD = 0x01

_DATA_BLOCKS = BLOCKS_PER_SECTOR - 1  # the trailer is not among a sector's data
_SECTOR_DATA = _DATA_BLOCKS * BLOCK_SIZE
_CARD_DATA = SECTORS * _SECTOR_DATA  # 768 bytes
_SHORT = 4  # serial numbers, values, and the two-byte answers (two bytes, two zeros)

#: The keys a dump tries: the same candidates for every sector, or per
#: sector (sector -> a key or a list of keys; a sector left out is not tried).
Keys = Union[Sequence[bytes], Mapping[int, Union[bytes, Sequence[bytes]]]]

_Mcmno = export("RFMifare_Mcmno", INT, BYTES)
_Authmode = export("RFMifare_Authmode", INT, INT)
_TransKey = export("RFMifare_TransKey", INT, INT, BYTES)
_GetType = export("RFMifare_GetType", INT, BYTES)
_GetSnr = export("RFMifare_GetSnr", INT, BYTES)
_ReadBlock = export("RFMifare_ReadBlock", INT, INT, INT, BYTES)
_WriteBlock = export("RFMifare_WriteBlock", INT, INT, INT, BYTES)
_WriteKey = export("RFMifare_WriteKey", INT, INT, INT, BYTES, INT)
_ReadValue = export("RFMifare_ReadValue", INT, INT, INT, BYTES)
_WriteValue = export("RFMifare_WriteValue", INT, INT, INT, BYTES)
_IncrementValue = export("RFMifare_IncrementValue", INT, INT, INT, BYTES)
_DecrementValue = export("RFMifare_DecrementValue", INT, INT, INT, BYTES)
_ReadBloca = export("RFMifare_ReadBloca", INT, INT, INT, BYTES)
_LoadKey = export("RFMifare_LoadKey", INT, INT, INT, BYTES)
_Request = export("RFMifare_Request", INT, INT, BYTES)
_AntiColl = export("RFMifare_AntiColl", INT, BYTES)
_Select = export("RFMifare_Select", INT, INT)
_Authentication = export("RFMifare_Authentication", INT, INT, INT, INT)
_Read = export("RFMifare_Read", INT, INT, BYTES)
_Write = export("RFMifare_Write", INT, INT, BYTES)
_Increment = export("RFMifare_Increment", INT, INT, INT)
_Decrment = export("RFMifare_Decrment", INT, INT, INT)
_Halt = export("RFMifare_Halt", INT)
_DumpCard = export("MifareDumpCard", INT, INT, BYTES, INT, BYTES, INT, BYTES, INT)
_RestoreCard = export("MifareRestoreCard", INT, INT, BYTES, INT, BYTES, INT, INT)

#: Sectors of a 1K and of a 4K card (sectors 32..39 of a 4K card hold 16 blocks).
SECTORS_1K = 16
SECTORS_4K = 40
_EVERY_SECTOR = 0xFF  # KULVE_MIFARE_EVERY_SECTOR

Serial = Union[int, bytes, bytearray, memoryview]


def sector_of(block: int) -> int:
    return block // BLOCKS_PER_SECTOR


def trailer_of(sector: int) -> int:
    """The block number of a sector's trailer (keys and access bytes)."""
    return sector * BLOCKS_PER_SECTOR + _DATA_BLOCKS


def is_trailer(block: int) -> bool:
    return block % BLOCKS_PER_SECTOR == _DATA_BLOCKS


def _first_block(sector: int) -> int:
    return sector * 4 if sector < 32 else 128 + (sector - 32) * 16


def _image_size(sectors: int) -> int:
    """The bytes of an image of the first `sectors` sectors (KULVE_MIFARE_IMAGE_SIZE)."""
    return _first_block(sectors) * BLOCK_SIZE


@dataclass(frozen=True)
class MifareDump:
    """The data blocks of a whole card as mifare_read_card reads them.

    data: 768 bytes, the three data blocks of sector 0, then of sector 1, ...
    (the trailers are not read). A sector the reader refused holds what the
    refusal carried, zeros past it.
    """

    data: bytes

    def sector(self, sector: int) -> bytes:
        """The 48 bytes of a sector's three data blocks."""
        if not 0 <= sector < SECTORS:
            raise IndexError(f"sectors are 0..{SECTORS - 1}, not {sector}")
        return self.data[sector * _SECTOR_DATA:(sector + 1) * _SECTOR_DATA]

    def block(self, block: int) -> bytes:
        """The 16 bytes of data block `block` (0..63, not a trailer)."""
        if not 0 <= block < SECTORS * BLOCKS_PER_SECTOR or is_trailer(block):
            raise IndexError(f"block {block} is not a data block of the dump")
        at = sector_of(block) * _SECTOR_DATA + block % BLOCKS_PER_SECTOR * BLOCK_SIZE
        return self.data[at:at + BLOCK_SIZE]

    def blocks(self) -> Iterator[Tuple[int, bytes]]:
        """(block number, 16 bytes) of every data block, in order."""
        for number in range(SECTORS * BLOCKS_PER_SECTOR):
            if not is_trailer(number):
                yield number, self.block(number)

    def hexdump(self) -> str:
        """One line per data block: "block 01  00 11 22 ...  |printable|"."""
        lines = []
        for number, data in self.blocks():
            text = "".join(chr(b) if 0x20 <= b < 0x7F else "." for b in data)
            lines.append(f"block {number:02d}  {data.hex(' ')}  |{text}|")
        return "\n".join(lines)


def _card(card: Serial, function: str) -> int:
    """The reader's card selector: a serial number's 4 bytes read little-endian, or an int."""
    if isinstance(card, int):
        return signed32(card, "card", function)
    return signed32(int.from_bytes(fixed_bytes(card, _SHORT, "serial number", function), "little"),
                    "card", function)


def _value_bytes(value: int, what: str, function: str) -> Any:
    bits = signed32(value, what, function) & 0xFFFFFFFF
    return byte_buffer(_SHORT, bits.to_bytes(_SHORT, "little"))


def _value(buffer: Any) -> int:
    return int.from_bytes(bytes(buffer), "little", signed=True)


@dataclass(frozen=True, repr=False)
class MifareCardDump:
    """A whole 1K or 4K card as mifare_dump read it, sector by sector with its own keys.

    blocks: every block of the sectors read whole (block number -> 16 bytes),
    each trailer with the keys that opened it put in their places (the card
    shows key A as zeros); missing: the sectors not read whole, in order;
    opened_with: sector -> (KEY_A or KEY_B, the key) of a key that read it;
    sectors: 16 for a 1K card, 40 for a 4K one.
    repr() and str() name what was read and which key type opened each
    sector, never a key or a trailer's bytes: the attributes hold them.
    """

    blocks: Dict[int, bytes]
    missing: Tuple[int, ...]
    opened_with: Dict[int, Tuple[int, bytes]] = field(default_factory=dict)
    sectors: int = SECTORS_1K

    def __repr__(self) -> str:
        opened = ", ".join(f"{sector}: {'KEY_B' if kind == KEY_B else 'KEY_A'}"
                           for sector, (kind, _) in sorted(self.opened_with.items()))
        return (f"MifareCardDump(blocks: {len(self.blocks)} read, missing={self.missing!r}, "
                f"opened_with={{{opened}}}, keys masked)")

    def image(self) -> bytes:
        """Every block of the card (1024 bytes, 4096 for a 4K card); a block not read is zeros."""
        empty = bytes(BLOCK_SIZE)
        return b"".join(self.blocks.get(n, empty) for n in range(_first_block(self.sectors)))


def _keys_by_sector(keys: Keys, function: str, sectors: int) -> List[List[bytes]]:
    """The candidate keys of each sector, every one checked to be 6 bytes."""
    if isinstance(keys, (bytes, bytearray, memoryview)):
        keys = [bytes(keys)]
    if isinstance(keys, Mapping):
        wanted: List[List[bytes]] = [[] for _ in range(sectors)]
        for sector, given in keys.items():
            if not isinstance(sector, int) or not 0 <= sector < sectors:
                raise BadArgument(4, function, f"sectors are 0..{sectors - 1}, not {sector!r}")
            listed = [given] if isinstance(given, (bytes, bytearray, memoryview)) else list(given)
            wanted[sector] = [fixed_bytes(key, KEY_SIZE, f"key of sector {sector}", function) for key in listed]
        return wanted
    shared = [fixed_bytes(key, KEY_SIZE, "key", function) for key in keys]
    return [shared for _ in range(sectors)]


def _key_entries(wanted: List[List[bytes]]) -> Any:
    """The library's key list: a sector byte and a 6-byte key per entry."""
    entries = b"".join(bytes([sector]) + key for sector, listed in enumerate(wanted) for key in listed)
    return byte_buffer(len(entries), entries)


def _sectors_of(sectors: int, function: str) -> int:
    if sectors not in (SECTORS_1K, SECTORS_4K):
        raise BadArgument(4, function, f"sectors are {SECTORS_1K} (1K) or {SECTORS_4K} (4K), not {sectors!r}")
    return sectors


class MifareMethods(FamilyMethods):
    # ---- The reader's key slots and mode ----------------------------------------

    def mifare_module_answer(self) -> bytes:
        """The two-byte answer of the reader's RF module (RFMifare_Mcmno)."""
        return self._short(_Mcmno)[:2]

    def mifare_set_key_mode(self, mode: int) -> None:
        """Whether the reader's operations authenticate with key A (KEY_A) or B (RFMifare_Authmode)."""
        self._run(_Authmode, mode)

    def mifare_store_key(self, slot: int, key: Any) -> None:
        """Stores a 6-byte key in the reader's key slot 0..15 (RFMifare_TransKey).

        The reader's operations authenticate sector n with slot n.
        """
        self._run(_TransKey, slot, byte_buffer(KEY_SIZE, fixed_bytes(key, KEY_SIZE, "key", _TransKey.name)))

    # ---- The reader's operations on a card --------------------------------------------

    def mifare_card_type(self) -> bytes:
        """The card's two-byte answer to a request (ATQA; 04 00 for a 1K card) (RFMifare_GetType)."""
        return self._short(_GetType)[:2]

    def mifare_serial_number(self) -> bytes:
        """The card's 4-byte serial number, in the order the reader sends it (RFMifare_GetSnr)."""
        return self._short(_GetSnr)

    def mifare_read_block(self, block: int, card: Serial = 0) -> bytes:
        """Reads block 0..63 (RFMifare_ReadBlock); a trailer's keys read as the card shows them."""
        data = byte_buffer(BLOCK_SIZE)
        self._run(_ReadBlock, block, _card(card, _ReadBlock.name), data)
        return bytes(data)

    def mifare_write_block(self, block: int, data: Any, card: Serial = 0) -> bytes:
        """Writes 16 bytes to a block (RFMifare_WriteBlock); returns the block as the reader answered."""
        buffer = byte_buffer(BLOCK_SIZE, fixed_bytes(data, BLOCK_SIZE, "data", _WriteBlock.name))
        self._run(_WriteBlock, block, _card(card, _WriteBlock.name), buffer)
        return bytes(buffer)

    def mifare_write_key(self, sector: int, key: Any, which: int = KEY_A, card: Serial = 0) -> None:
        """Gives a sector's trailer a new key A (which=KEY_A) or B (RFMifare_WriteKey).

        The access bytes stay as they are.
        """
        buffer = byte_buffer(KEY_SIZE, fixed_bytes(key, KEY_SIZE, "key", _WriteKey.name))
        self._run(_WriteKey, sector, _card(card, _WriteKey.name), buffer, which)

    def mifare_read_value(self, block: int, card: Serial = 0) -> int:
        """The value of a value block (RFMifare_ReadValue)."""
        return self._value_operation(_ReadValue, block, 0, card)

    def mifare_write_value(self, block: int, value: int, card: Serial = 0) -> int:
        """Makes a block a value block holding `value` (RFMifare_WriteValue); returns the value."""
        return self._value_operation(_WriteValue, block, value, card)

    def mifare_increment_value(self, block: int, amount: int, card: Serial = 0) -> int:
        """Adds `amount` to a value block (RFMifare_IncrementValue); returns the new value."""
        return self._value_operation(_IncrementValue, block, amount, card)

    def mifare_decrement_value(self, block: int, amount: int, card: Serial = 0) -> int:
        """Takes `amount` from a value block (RFMifare_DecrementValue); returns the new value."""
        return self._value_operation(_DecrementValue, block, amount, card)

    def mifare_read_card(self, card: Serial = 0) -> MifareDump:
        """Reads the data blocks of all 16 sectors (RFMifare_ReadBloca).

        The library goes on past a sector the reader refuses and reports
        only the last sector's result: a sector that reads as zeros may have
        been refused. A failure of the last sector, no card (status 1) or a
        line that stays lost raises, with the 768 bytes read so far in
        ReaderRefused.data.
        """
        data = byte_buffer(_CARD_DATA)
        self._run(_ReadBloca, 0, _card(card, _ReadBloca.name), data, reply=data)
        return MifareDump(bytes(data))

    def mifare_dump(self, keys: Keys = (TRANSPORT_KEY,), card: Serial = 0,
                    sectors: int = SECTORS_1K) -> MifareCardDump:
        """Reads every block of a 1K card (sectors=SECTORS_4K: a 4K card), each sector with a key of its own.

        The library's dump (MifareDumpCard): keys are the candidates tried on
        every sector (the keys a key search found, a key file's lines), or
        sector -> key or keys. Each candidate is tried as key A, then as key
        B, a block at a time where the reader's whole-card read could not
        take a sector; a sector not read whole is in `missing`. The reader's
        key mode, key slots and loaded key are left as the last try set them.
        No card in the field (status 1) and a line that stays lost raise;
        BadArgument (nothing sent) for a key not of 6 bytes, a sector outside
        the card, or a card other than 0 (the dump works on whichever card
        answers).
        """
        function = _DumpCard.name
        sectors = _sectors_of(sectors, function)
        if _card(card, function) != 0:
            raise BadArgument(4, function, "the dump works on whichever card answers: card must be 0")
        wanted = _keys_by_sector(keys, function, sectors)
        entries = _key_entries(wanted)
        image = byte_buffer(_image_size(sectors))
        status = byte_buffer(sectors)
        self._run(_DumpCard, sectors, entries, len(entries), image, len(image), status, len(status))
        data = bytes(image)
        blocks: Dict[int, bytes] = {}
        opened: Dict[int, Tuple[int, bytes]] = {}
        for sector in range(sectors):
            if status[sector] != 0:
                continue
            first, trailer = _first_block(sector), _first_block(sector + 1) - 1
            for number in range(first, trailer + 1):
                blocks[number] = data[number * BLOCK_SIZE:(number + 1) * BLOCK_SIZE]
            shown = blocks[trailer]
            for kind, key in ((KEY_A, shown[:KEY_SIZE]), (KEY_B, shown[BLOCK_SIZE - KEY_SIZE:])):
                if key in wanted[sector]:
                    opened[sector] = (kind, key)
                    break
        missing = tuple(s for s in range(sectors) if status[s] != 0)
        return MifareCardDump(blocks, missing, opened, sectors)

    def mifare_restore(self, image: Any, keys: Keys = (TRANSPORT_KEY,), trailers: bool = False) -> None:
        """Writes a card image (1024 bytes, or 4096 for a 4K card) back (MifareRestoreCard).

        Every block but block 0 and, unless trailers, the trailers; each with
        the first of its sector's keys (as for mifare_dump) that writes it.
        Trailers are written as they are: access bytes that contradict
        themselves lock a sector for good. Raises for the first block no key
        writes; BadArgument (nothing sent) for an image of another size or a
        sector without a key.
        """
        function = _RestoreCard.name
        data = bytes(image)
        sectors = {_image_size(SECTORS_1K): SECTORS_1K, _image_size(SECTORS_4K): SECTORS_4K}.get(len(data))
        if sectors is None:
            raise BadArgument(4, function, f"an image is 1024 or 4096 bytes, not {len(data)}")
        wanted = _keys_by_sector(keys, function, sectors)
        if not all(wanted):
            raise BadArgument(4, function, "every sector needs a key")
        entries = _key_entries(wanted)
        buffer = byte_buffer(len(data), data)
        self._run(_RestoreCard, sectors, entries, len(entries), buffer, len(buffer), 1 if trailers else 0)

    # ---- Single card steps --------------------------------------------------------------

    def mifare_load_key(self, key_type: int, number: int, key: Any) -> None:
        """Loads a 6-byte key as key A/B (key_type) number 0..15 for mifare_authenticate (RFMifare_LoadKey)."""
        self._run(_LoadKey, key_type, number, byte_buffer(KEY_SIZE, fixed_bytes(key, KEY_SIZE, "key", _LoadKey.name)))

    def mifare_request(self, mode: int = REQUEST_IDLE) -> bytes:
        """Asks the cards in the field to answer (RFMifare_Request); returns the two-byte ATQA.

        REQUEST_IDLE wakes idle cards, REQUEST_ALL halted ones too.
        """
        answer = byte_buffer(_SHORT)
        self._run(_Request, mode, answer)
        return bytes(answer[:2])

    def mifare_anticollision(self) -> bytes:
        """The 4-byte serial number of one card that answered the request (RFMifare_AntiColl)."""
        return self._short(_AntiColl)

    def mifare_select(self, serial: Serial) -> None:
        """Selects the card with this serial number (RFMifare_Select): the 4 bytes
        mifare_anticollision returned, or the same read as a little-endian number."""
        self._run(_Select, _card(serial, _Select.name))

    def mifare_authenticate(self, key_type: int, block: int, number: int) -> None:
        """Authenticates the sector of `block` with loaded key A/B `number` (RFMifare_Authentication)."""
        self._run(_Authentication, key_type, block, number)

    def mifare_read(self, block: int) -> bytes:
        """Reads a block of the authenticated sector (RFMifare_Read)."""
        data = byte_buffer(BLOCK_SIZE)
        self._run(_Read, block, data)
        return bytes(data)

    def mifare_write(self, block: int, data: Any) -> None:
        """Writes 16 bytes to a block of the authenticated sector (RFMifare_Write)."""
        self._run(_Write, block, byte_buffer(BLOCK_SIZE, fixed_bytes(data, BLOCK_SIZE, "data", _Write.name)))

    def mifare_increment(self, block: int, amount: int) -> None:
        """Adds `amount` to a value block, in place (RFMifare_Increment)."""
        self._run(_Increment, block, signed32(amount, "amount", _Increment.name))

    def mifare_decrement(self, block: int, amount: int) -> None:
        """Takes `amount` from a value block, in place (RFMifare_Decrment)."""
        self._run(_Decrment, block, signed32(amount, "amount", _Decrment.name))

    def mifare_halt(self) -> None:
        """Halts the selected card (RFMifare_Halt)."""
        self._run(_Halt)

    # ---- Helpers -----------------------------------------------------------------------------

    def _short(self, function: Any) -> bytes:
        answer = byte_buffer(_SHORT)
        self._run(function, answer)
        return bytes(answer)

    def _value_operation(self, function: Any, block: int, value: int, card: Serial) -> int:
        buffer = _value_bytes(value, "value", function.name)
        self._run(function, block, _card(card, function.name), buffer)
        return _value(buffer)

# SPDX-License-Identifier: MIT
"""Cards coming and going: the slots a presence wait watches, the events it
gives, and CardMonitor, which tells observers on a thread of its own.

    for event in reader.presence_events(Slot.MEMORY | Slot.FIELD):
        print(event.slot.name, "in" if event.present else "out")

    class Printer(CardObserver):
        def update(self, monitor, added, removed):
            print("added", added, "removed", removed)

    monitor = CardMonitor(reader, Slot.FIELD)
    monitor.add_observer(Printer())   # the monitor starts with its first observer
    ...
    monitor.delete_observer(printer)  # and stops with its last

What each slot can tell, and what probing it does to a card in it, is in
kulve32.h next to kulve_wait_presence: the memory slot is asked without
touching the card; a chip slot is probed with a reset and the field with a
Mifare request, so watch those only while no session runs on them.
"""

from __future__ import annotations

import enum
import threading
from dataclasses import dataclass
from typing import TYPE_CHECKING, Iterator, List, Optional

if TYPE_CHECKING:
    from .reader import HandleCore

__all__ = ["Slot", "PresenceEvent", "CardObserver", "CardMonitor", "NO_CHANGE"]

#: kulve_wait_presence: no card came or went before the timeout.
NO_CHANGE = 49


class Slot(enum.IntFlag):
    """The slots of a reader, one bit each (chip slot n is bit n)."""

    CPU = 0x01
    SAM1 = 0x02
    SAM2 = 0x04
    SAM3 = 0x08
    SAM4 = 0x10
    FIELD = 0x20
    MEMORY = 0x40
    SAMS = 0x1E
    ALL = 0x7F


_SINGLE = [Slot.CPU, Slot.SAM1, Slot.SAM2, Slot.SAM3, Slot.SAM4, Slot.FIELD, Slot.MEMORY]


def slots_in(mask: int) -> List[Slot]:
    """The single slots whose bits are set in mask, in bit order."""
    return [slot for slot in _SINGLE if mask & slot]


@dataclass(frozen=True)
class PresenceEvent:
    """A card came into (present) or went out of one slot."""

    slot: Slot
    present: bool


def events(reader: "HandleCore", slots: int, known: int, timeout: Optional[float]) -> Iterator[PresenceEvent]:
    """The events of reader.presence_events (see there)."""
    while True:
        present = reader.wait_presence(slots, known, timeout)
        if present is None:
            return
        for slot in slots_in(present ^ known):
            yield PresenceEvent(slot, bool(present & slot))
        known = present


class CardObserver:
    """Told of every change a CardMonitor sees; override update."""

    def update(self, monitor: "CardMonitor", added: List[Slot], removed: List[Slot]) -> None:
        """Cards came into `added` and went out of `removed` (either may be empty)."""


class CardMonitor:
    """Watches `slots` of one reader on a thread of its own while it has
    observers. A new observer is first told of the cards already there (as
    added). Observers run on the monitor's thread; an exception from one is
    kept in `errors` and the others are still told. The monitor waits in
    steps of `step` seconds, so deleting the last observer (or close) stops
    it within a step; the reader's probing policy sets the pace on the line
    whatever the step."""

    def __init__(self, reader: "HandleCore", slots: int = Slot.ALL, step: float = 0.5) -> None:
        self._reader = reader
        self._slots = int(slots)
        self._step = step
        self._lock = threading.Lock()
        self._observers: List[CardObserver] = []
        self._present = 0
        self._thread: Optional[threading.Thread] = None
        self._stop = threading.Event()
        self.errors: List[BaseException] = []

    @property
    def present(self) -> Slot:
        """The slots holding a card, as last seen."""
        return Slot(self._present)

    def add_observer(self, observer: CardObserver) -> None:
        with self._lock:
            if observer in self._observers:
                return
            self._observers.append(observer)
            already = slots_in(self._present)
            if self._thread is None:
                self._stop.clear()
                self._thread = threading.Thread(target=self._run, name="kulve32 card monitor", daemon=True)
                self._thread.start()
        if already:
            self._tell([observer], already, [])

    def delete_observer(self, observer: CardObserver) -> None:
        with self._lock:
            if observer in self._observers:
                self._observers.remove(observer)
            last = not self._observers
        if last:
            self.close()

    def close(self) -> None:
        """Stops the thread (observers stay; adding one starts it again)."""
        with self._lock:
            thread, self._thread = self._thread, None
            self._stop.set()
        if thread is not None and thread is not threading.current_thread():
            thread.join()

    def _tell(self, observers: List[CardObserver], added: List[Slot], removed: List[Slot]) -> None:
        for observer in observers:
            try:
                observer.update(self, added, removed)
            except Exception as error:  # noqa: BLE001 - kept for the caller, the others still told
                self.errors.append(error)

    def _run(self) -> None:
        while not self._stop.is_set():
            try:
                present = self._reader.wait_presence(self._slots, self._present, self._step)
            except Exception as error:  # noqa: BLE001 - the line failed: kept, and the monitor stops
                self.errors.append(error)
                return
            if present is None:
                continue
            changed = present ^ self._present
            with self._lock:
                self._present = present
                observers = list(self._observers)
            self._tell(observers, slots_in(changed & present), slots_in(changed & ~present))

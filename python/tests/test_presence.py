# SPDX-License-Identifier: MIT
"""Cards coming and going, through the presence events and CardMonitor,
against the simulator's control channel."""

from __future__ import annotations

import queue
from typing import List

import kulve32
from kulve32 import CardMonitor, CardObserver, PresenceEvent, Slot

WAIT = 30.0  # far above the policy's few seconds: only a hang runs into it


def empty_reader(start_simulator):
    simulator = start_simulator()
    for slot in range(5):
        simulator.control(f"chip {slot} none")
    return simulator, kulve32.Reader(simulator.path)


def test_events_for_each_slot_kind(start_simulator):
    simulator, reader = empty_reader(start_simulator)
    watched = Slot.MEMORY | Slot.CPU | Slot.SAM2 | Slot.FIELD
    with reader:
        assert reader.wait_presence(watched, 0, 0) is None  # nothing there: no change
        events = reader.presence_events(watched, timeout=WAIT)
        for put, slot in (("insert 1", Slot.MEMORY), ("chip 0 3B00", Slot.CPU), ("chip 2 3B00", Slot.SAM2),
                          ("mifare add 01020304", Slot.FIELD)):
            simulator.control(put)
            assert next(events) == PresenceEvent(slot, True)
        simulator.control("chip 2 none")
        assert next(events) == PresenceEvent(Slot.SAM2, False)


class Recorder(CardObserver):
    def __init__(self) -> None:
        self.changes: "queue.Queue[tuple]" = queue.Queue()

    def update(self, monitor: CardMonitor, added: List[Slot], removed: List[Slot]) -> None:
        self.changes.put((added, removed))


def test_monitor_tells_its_observers_until_the_last_leaves(start_simulator):
    simulator, reader = empty_reader(start_simulator)
    with reader:
        monitor = CardMonitor(reader, Slot.FIELD | Slot.MEMORY, step=0.2)
        first, second = Recorder(), Recorder()
        monitor.add_observer(first)
        simulator.control("mifare add 01020304")
        assert first.changes.get(timeout=WAIT) == ([Slot.FIELD], [])
        monitor.add_observer(second)  # told of the card already there
        assert second.changes.get(timeout=WAIT) == ([Slot.FIELD], [])
        monitor.delete_observer(first)
        simulator.control("mifare clear")
        assert second.changes.get(timeout=WAIT) == ([], [Slot.FIELD])
        assert first.changes.empty()
        monitor.delete_observer(second)  # the thread stops
        assert monitor.errors == []

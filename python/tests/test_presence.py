# SPDX-License-Identifier: MIT
"""Cards in and out (simulator control channel): presence_events, CardMonitor."""

from __future__ import annotations

import queue

import kulve32
from kulve32 import CardMonitor, CardObserver, PresenceEvent, Slot

WAIT = 30.0  # far above the policy's few seconds: only a hang reaches it


def test_events_then_a_monitor_with_observers_coming_and_going(start_simulator):
    simulator = start_simulator()
    for slot in range(5):
        simulator.control(f"chip {slot} none")
    with kulve32.Reader(simulator.path) as reader:
        assert reader.wait_presence(Slot.ALL, 0, 0) is None  # nothing there: no change
        events = reader.presence_events(Slot.MEMORY | Slot.SAM2, timeout=WAIT)
        for command, event in (("insert 1", PresenceEvent(Slot.MEMORY, True)),
                               ("chip 2 3B00", PresenceEvent(Slot.SAM2, True)),
                               ("chip 2 none", PresenceEvent(Slot.SAM2, False))):
            simulator.control(command)
            assert next(events) == event

        class Recorder(CardObserver):
            def __init__(self) -> None:
                self.changes: "queue.Queue[tuple]" = queue.Queue()

            def update(self, monitor, added, removed):  # type: ignore[no-untyped-def]
                self.changes.put((added, removed))

        monitor, first, second = CardMonitor(reader, Slot.FIELD, step=0.2), Recorder(), Recorder()
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

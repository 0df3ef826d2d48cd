#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Checks the reader through pcscd as any PC/SC program sees it (pyscard).

    pcsc_checks.py --control FIFO --sim-out FILE [--reader NAME] [--quick | --gone SIM_PID]

pcscd must be running with the driver for one kulvesim (--strict-t1, a Mifare
card 11223344 in the field); FIFO is that simulator's standard
input, FILE its standard output. --quick runs only the listing, the ATRs and
the CPU card's commands (the network transports); --gone stops the
simulator and checks that pcscd carries on. Prints one line per check
and exits 1 when one failed.
"""
import argparse
import os
import signal
import sys
import threading
import time

from smartcard import scard as sc

CPU_ATR_STRICT = bytes.fromhex("3B8A81312045") + b"KULVE-STR1" + bytes([0x57])  # kulvesim --strict-t1
MIFARE_1K_ATR = bytes.fromhex("3B8F8001804F0CA000000306030001000000006A")
APP_NAME = bytes.fromhex("F04B554C564531")
OK = b"\x90\x00"

results = {"ok": 0, "failed": 0}


def sam_atr(n):
    return bytes.fromhex("3B6A0000") + b"KULVE-SAM" + str(n).encode()


class Failure(Exception):
    pass


def expect(cond, what):
    if not cond:
        raise Failure(what)


def check(name, fn, *args):
    try:
        fn(*args)
        results["ok"] += 1
        print(f"  ok       {name}", flush=True)
    except Failure as e:
        results["failed"] += 1
        print(f"  FAILED   {name}: {e}", flush=True)
    except Exception as e:  # a PC/SC call that raised
        results["failed"] += 1
        print(f"  FAILED   {name}: {type(e).__name__}: {e}", flush=True)


class Sim:
    """The simulator's control line and its answers."""

    def __init__(self, fifo, out):
        self.fifo = open(fifo, "w", buffering=1)
        self.out = out

    def send(self, line):
        self.fifo.write(line + "\n")

    def whole_lines(self):
        """The lines the simulator has finished writing (not one half written)."""
        return open(self.out).read().split("\n")[:-1]

    def ask(self, line, prefix, timeout=600.0):
        seen = len(self.whole_lines())
        self.send(line)
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            lines = self.whole_lines()[seen:]
            for answer in lines:
                if answer.startswith(prefix):
                    return answer
            time.sleep(0.05)
        raise Failure(f"the simulator did not answer '{line}'")


def context():
    rv, ctx = sc.SCardEstablishContext(sc.SCARD_SCOPE_USER)
    expect(rv == sc.SCARD_S_SUCCESS, f"SCardEstablishContext: {sc.SCardGetErrorMessage(rv)}")
    return ctx


class Card:
    def __init__(self, ctx, reader, protocols=sc.SCARD_PROTOCOL_T0 | sc.SCARD_PROTOCOL_T1):
        rv, self.h, self.protocol = sc.SCardConnect(ctx, reader, sc.SCARD_SHARE_SHARED, protocols)
        expect(rv == sc.SCARD_S_SUCCESS, f"connect {reader}: {sc.SCardGetErrorMessage(rv)}")
        rv, _, _, _, atr = sc.SCardStatus(self.h)
        expect(rv == sc.SCARD_S_SUCCESS, "SCardStatus")
        self.atr = bytes(atr)

    def raw(self, apdu):
        rv, answer = sc.SCardTransmit(self.h, self.protocol, list(apdu))
        return rv, bytes(answer)

    def send(self, apdu):
        rv, answer = self.raw(apdu)
        expect(rv == sc.SCARD_S_SUCCESS, f"transmit {bytes(apdu).hex()}: {sc.SCardGetErrorMessage(rv)}")
        expect(len(answer) >= 2, f"answer {answer.hex()} without a status word")
        return answer[:-2], answer[-2:]

    def close(self, disposition=sc.SCARD_UNPOWER_CARD):
        sc.SCardDisconnect(self.h, disposition)


def wait_state(ctx, reader, flag, timeout=600.0):
    """Waits with SCardGetStatusChange until the reader's state has `flag`."""
    state = sc.SCARD_STATE_UNAWARE
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        left = max(1, int((end - time.monotonic()) * 1000))
        rv, states = sc.SCardGetStatusChange(ctx, left, [(reader, state)])
        if rv == sc.SCARD_E_TIMEOUT:
            break
        expect(rv == sc.SCARD_S_SUCCESS, f"SCardGetStatusChange: {sc.SCardGetErrorMessage(rv)}")
        state = states[0][1] & ~sc.SCARD_STATE_CHANGED
        if state & flag:
            return
    raise Failure(f"{reader} never reached state {flag:#x}")


# ---- the checks ---------------------------------------------------------------

def readers_listed(ctx, name):
    rv, readers = sc.SCardListReaders(ctx, [])
    expect(rv == sc.SCARD_S_SUCCESS, sc.SCardGetErrorMessage(rv))
    wanted = [f"{name} 00 {i:02d}" for i in range(6)]
    expect(readers == wanted, f"readers {readers}, wanted {wanted}")


def atr_of_each_slot(ctx, name):
    wanted = [(CPU_ATR_STRICT, sc.SCARD_PROTOCOL_T1)] + [(sam_atr(n), sc.SCARD_PROTOCOL_T0) for n in range(1, 5)]
    for slot, (atr, protocol) in enumerate(wanted):
        card = Card(ctx, f"{name} 00 {slot:02d}")
        expect(card.atr == atr, f"slot {slot}: ATR {card.atr.hex()}, wanted {atr.hex()}")
        expect(card.protocol == protocol, f"slot {slot}: protocol {card.protocol}")
        card.close()
    card = Card(ctx, f"{name} 00 05")
    expect(card.atr == MIFARE_1K_ATR, f"field: ATR {card.atr.hex()}")
    card.close()


def cpu_card_commands(ctx, name):
    card = Card(ctx, f"{name} 00 00")
    fci, sw = card.send(bytes([0x00, 0xA4, 0x04, 0x00, len(APP_NAME)]) + APP_NAME + b"\x00")
    expect(sw == OK and fci[:1] == b"\x6F" and APP_NAME in fci, f"SELECT by name: {fci.hex()} {sw.hex()}")
    _, sw = card.send(bytes.fromhex("00A4000C020101"))
    expect(sw == OK, f"SELECT EF 0101: {sw.hex()}")
    data, sw = card.send(bytes.fromhex("00B0000010"))
    expect(sw == OK and len(data) == 16, f"READ BINARY: {data.hex()} {sw.hex()}")
    challenge, sw = card.send(bytes.fromhex("0084000008"))
    again, _ = card.send(bytes.fromhex("0084000008"))
    expect(sw == OK and len(challenge) == 8 and challenge != again, f"GET CHALLENGE: {challenge.hex()} {sw.hex()}")
    _, sw = card.send(bytes.fromhex("00D6000004") + b"ABCD")
    expect(sw == b"\x69\x82", f"UPDATE BINARY before VERIFY: {sw.hex()}")
    _, sw = card.send(bytes.fromhex("0020000104") + b"9999")
    expect(sw == b"\x63\xC2", f"VERIFY with a wrong PIN: {sw.hex()}")
    _, sw = card.send(bytes.fromhex("0020000104") + b"1234")
    expect(sw == OK, f"VERIFY: {sw.hex()}")
    _, sw = card.send(bytes.fromhex("00D6000004") + b"ABCD")
    expect(sw == OK, f"UPDATE BINARY: {sw.hex()}")
    data, sw = card.send(bytes.fromhex("00B0000004"))
    expect(data == b"ABCD" and sw == OK, f"read back: {data.hex()} {sw.hex()}")
    card.close()


def t0_sam_get_response(ctx, name):
    card = Card(ctx, f"{name} 00 01")
    # The card announces the FCI with 61xx; the driver fetches it (GET RESPONSE).
    fci, sw = card.send(bytes([0x00, 0xA4, 0x04, 0x00, len(APP_NAME)]) + APP_NAME + b"\x00")
    expect(sw == OK and APP_NAME in fci, f"the FCI: {fci.hex()} {sw.hex()}")
    card.close()


def t1_cpu_and_t0_sam_alternately(ctx, name, sim):
    cpu = Card(ctx, f"{name} 00 00")
    sam = Card(ctx, f"{name} 00 02")
    for i in range(200):
        for card in (cpu, sam):
            challenge, sw = card.send(bytes.fromhex("0084000008"))
            expect(sw == OK and len(challenge) == 8, f"round {i}: {challenge.hex()} {sw.hex()}")
    cpu.close()
    sam.close()
    answer = sim.ask("t1errors", "t1errors")
    expect(answer == "t1errors 0", f"the cards logged: {answer}")


def slots_from_two_threads(name):
    errors = []

    def work(reader):
        try:
            ctx = context()
            card = Card(ctx, reader)
            for _ in range(100):
                _, sw = card.send(bytes.fromhex("0084000008"))
                expect(sw == OK, f"{reader}: {sw.hex()}")
            card.close()
            sc.SCardReleaseContext(ctx)
        except Exception as e:
            errors.append(f"{reader}: {e}")

    threads = [threading.Thread(target=work, args=(f"{name} 00 {s:02d}",)) for s in (0, 3)]
    for t in threads:
        t.start()
    for t in threads:
        t.join(60)
    expect(not errors, "; ".join(errors))


def bad_apdus_refused(ctx, name):
    cpu = Card(ctx, f"{name} 00 00")
    sam = Card(ctx, f"{name} 00 01")  # T=0: no extended lengths, at most 250 data bytes a command
    for what, card, apdu in (("Lc 255 to a T=0 card", sam, bytes([0x00, 0xD6, 0x00, 0x00, 255]) + bytes(255)),
                             ("extended length to a T=0 card", sam, bytes.fromhex("00B00000000100")),
                             ("three bytes", cpu, bytes.fromhex("00B000")),
                             ("Lc beyond the data", cpu, bytes.fromhex("00D600000A01"))):
        rv, answer = card.raw(apdu)
        expect(rv != sc.SCARD_S_SUCCESS, f"{what}: accepted, answer {answer.hex()}")
    for card in (cpu, sam):
        _, sw = card.send(bytes.fromhex("0084000008"))
        expect(sw == OK, f"the card after the refusals: {sw.hex()}")
        card.close()


def long_answer(ctx, name):
    card = Card(ctx, f"{name} 00 00")
    card.send(bytes([0x00, 0xA4, 0x04, 0x0C, len(APP_NAME)]) + APP_NAME)
    _, sw = card.send(bytes.fromhex("00A4000C020103"))
    expect(sw == OK, f"SELECT EF 0103: {sw.hex()}")
    data, sw = card.send(bytes.fromhex("00B00000000400"))  # extended Le: 1,024 bytes
    wanted = bytes((i * 31 + i // 256) % 256 for i in range(1024))
    expect(sw == OK and data == wanted, f"READ BINARY of 1,024 bytes: {len(data)} bytes, {sw.hex()}")
    card.close()


def mifare_storage_commands(ctx, name):
    card = Card(ctx, f"{name} 00 05")
    uid, sw = card.send(bytes.fromhex("FFCA000000"))
    expect(uid == bytes.fromhex("11223344") and sw == OK, f"UID: {uid.hex()} {sw.hex()}")
    _, sw = card.send(bytes.fromhex("FFB0000410"))
    expect(sw == b"\x69\x82", f"read before authentication: {sw.hex()}")
    _, sw = card.send(bytes.fromhex("FF82000106") + bytes.fromhex("A0A1A2A3A4A5"))
    expect(sw == OK, f"load key 1: {sw.hex()}")
    _, sw = card.send(bytes.fromhex("FF860000050100046001"))
    expect(sw == b"\x63\x00", f"authentication with a wrong key: {sw.hex()}")
    _, sw = card.send(bytes.fromhex("FF82000006FFFFFFFFFFFF"))
    expect(sw == OK, f"load key 0: {sw.hex()}")
    _, sw = card.send(bytes.fromhex("FF860000050100046000"))
    expect(sw == OK, f"general authenticate block 4, key A 0: {sw.hex()}")
    block = bytes(range(0x30, 0x40))
    _, sw = card.send(bytes.fromhex("FFD6000410") + block)
    expect(sw == OK, f"update block 4: {sw.hex()}")
    data, sw = card.send(bytes.fromhex("FFB0000410"))
    expect(data == block and sw == OK, f"read block 4: {data.hex()} {sw.hex()}")
    _, sw = card.send(bytes.fromhex("FFB0000810"))
    expect(sw == b"\x69\x82", f"read in another sector: {sw.hex()}")
    _, sw = card.send(bytes.fromhex("FFD700050500000003E8"))
    expect(sw == OK, f"store value 1000 in block 5: {sw.hex()}")
    _, sw = card.send(bytes.fromhex("FFD7000505010000000A"))
    expect(sw == OK, f"increment by 10: {sw.hex()}")
    _, sw = card.send(bytes.fromhex("FFD70005050200000001"))
    expect(sw == OK, f"decrement by 1: {sw.hex()}")
    value, sw = card.send(bytes.fromhex("FFB1000504"))
    expect(value == (1009).to_bytes(4, "big") and sw == OK, f"read value: {value.hex()} {sw.hex()}")
    _, sw = card.send(bytes.fromhex("FFD70005020306"))
    expect(sw == OK, f"restore block 5 into block 6: {sw.hex()}")
    value, sw = card.send(bytes.fromhex("FFB1000604"))
    expect(value == (1009).to_bytes(4, "big"), f"value in block 6: {value.hex()} {sw.hex()}")
    card.close()


def removal_and_insertion(ctx, name, sim):
    # An unused SAM taken out and put back.
    reader = f"{name} 00 02"
    sim.ask("chip 2 none", "ok")
    wait_state(ctx, reader, sc.SCARD_STATE_EMPTY)
    sim.ask("chip 2 " + sam_atr(7).hex(), "ok")
    wait_state(ctx, reader, sc.SCARD_STATE_PRESENT)
    card = Card(ctx, reader)
    expect(card.atr == sam_atr(7), f"the new SAM's ATR: {card.atr.hex()}")
    card.close()
    # A Mifare card that leaves the field while in use, and another one.
    reader = f"{name} 00 05"
    card = Card(ctx, reader)
    card.send(bytes.fromhex("FF82000006FFFFFFFFFFFF"))
    _, sw = card.send(bytes.fromhex("FF860000050100046000"))
    expect(sw == OK, f"authenticate: {sw.hex()}")
    sim.ask("mifare clear", "ok")  # the card has left when the simulator says so
    rv, answer = card.raw(bytes.fromhex("FFB0000410"))
    expect(rv != sc.SCARD_S_SUCCESS, f"a read from a card that left: {answer.hex()}")
    card.close(sc.SCARD_LEAVE_CARD)
    wait_state(ctx, reader, sc.SCARD_STATE_EMPTY)
    sim.ask("mifare add 55667788", "ok")
    wait_state(ctx, reader, sc.SCARD_STATE_PRESENT)
    card = Card(ctx, reader)
    uid, sw = card.send(bytes.fromhex("FFCA000000"))
    expect(uid == bytes.fromhex("55667788") and sw == OK, f"the new card's UID: {uid.hex()}")
    card.close()


def escape_command(ctx, name):
    card = Card(ctx, f"{name} 00 01")
    rv, answer = sc.SCardControl(card.h, sc.SCARD_CTL_CODE(1), [0x22])
    expect(rv == sc.SCARD_S_SUCCESS, f"SCardControl: {sc.SCardGetErrorMessage(rv)}")
    expect(bytes(answer) == b"\x00KVSIM1.0", f"version through the escape: {bytes(answer)!r}")
    card.close()


def line_drops_and_returns(ctx, name, sim):
    card = Card(ctx, f"{name} 00 00")
    sim.ask("vanish", "ok")  # the simulator has opened a new pty behind the same link
    results = [card.raw(bytes.fromhex("0084000008"))[0] for _ in range(3)]
    expect(results[-1] == sc.SCARD_S_SUCCESS, "no answer after the line came back: " +
           ", ".join(sc.SCardGetErrorMessage(rv) for rv in results))
    card.close()


def reader_gone(ctx, name, sim_pid):
    card = Card(ctx, f"{name} 00 00")
    os.kill(sim_pid, signal.SIGTERM)
    end = time.monotonic() + 600  # until it has ended (gone, or a zombie its parent has not reaped)
    while time.monotonic() < end:
        try:
            if open(f"/proc/{sim_pid}/stat").read().rsplit(")", 1)[1].split()[0] == "Z":
                break
        except FileNotFoundError:
            break
        time.sleep(0.05)
    rv, answer = card.raw(bytes.fromhex("0084000008"))
    expect(rv != sc.SCARD_S_SUCCESS, f"an answer from a reader that is gone: {answer.hex()}")
    card.close(sc.SCARD_LEAVE_CARD)
    rv, readers = sc.SCardListReaders(ctx, [])
    expect(rv == sc.SCARD_S_SUCCESS and len(readers) == 6, f"pcscd after the loss: {sc.SCardGetErrorMessage(rv)}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--control", required=True)
    parser.add_argument("--sim-out", required=True)
    parser.add_argument("--reader", default="KULVE32")
    parser.add_argument("--quick", action="store_true")
    parser.add_argument("--gone", type=int, metavar="SIM_PID", help="only: the reader stops for good")
    args = parser.parse_args()
    sim = Sim(args.control, args.sim_out)
    ctx = context()
    name = args.reader
    if args.gone:
        check("a reader that is gone: an error, and pcscd carries on", reader_gone, ctx, name, args.gone)
        return 1 if results["failed"] else 0
    check("six readers listed", readers_listed, ctx, name)
    check("the ATR and protocol of each slot", atr_of_each_slot, ctx, name)
    check("CPU card (T=1): SELECT, READ BINARY, GET CHALLENGE, VERIFY, UPDATE BINARY", cpu_card_commands, ctx, name)
    if not args.quick:
        check("T=0 SAM: SELECT brings its FCI (61xx and GET RESPONSE inside)", t0_sam_get_response, ctx, name)
        check("T=1 CPU card and T=0 SAM alternately, 200 rounds, no protocol error", t1_cpu_and_t0_sam_alternately,
              ctx, name, sim)
        check("two threads on two slots at once", slots_from_two_threads, name)
        check("APDUs too long or malformed are refused; the card goes on", bad_apdus_refused, ctx, name)
        check("a 1,024-byte answer (extended READ BINARY, T=1 chaining)", long_answer, ctx, name)
        check("Mifare: UID, keys, authentication, read, update, value operations", mifare_storage_commands, ctx, name)
        check("removal and insertion seen by SCardGetStatusChange", removal_and_insertion, ctx, name, sim)
        check("the escape carries a raw reader command", escape_command, ctx, name)
        check("the line drops and comes back: the driver links again", line_drops_and_returns, ctx, name, sim)
    sc.SCardReleaseContext(ctx)
    print(f"pyscard: {results['ok']} passed, {results['failed']} failed")
    return 1 if results["failed"] else 0


if __name__ == "__main__":
    sys.exit(main())

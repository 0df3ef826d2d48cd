#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""One GET CHALLENGE to the simulated CPU card, timed two ways on one reader.

    pcsc_bench.py direct --library LIB --device DEV [--count N]
    pcsc_bench.py pcsc --reader NAME [--count N]
    pcsc_bench.py farm --prefix TEXT [--count N]

direct: through the library's exports (LinkCom, CpuCardReset, ProCpuCard);
pcsc: through pcscd and the driver (pyscard). Prints the mean time per APDU
in microseconds on one line: "<mode> <microseconds>".
farm: every pcscd reader whose name starts with TEXT, one client process per
reader, all starting together; first one client on the first reader alone,
then all at once. Prints "farm <readers> <rate alone> <rate together>
<ratio>", rates in APDUs per second.

On a machine loaded far past its cores a simulated reader may answer later
than a reader's line allows, and that APDU fails. Each mode goes on until
N APDUs have succeeded, as long as no more than N have failed, and names the
failures on standard error; past N it gives up.
"""
import argparse
import ctypes
import sys
import time

APDU = bytes.fromhex("0084000008")


class Attempts:
    """Counts the failed APDUs of one run; gives up past `limit`."""

    def __init__(self, who, limit):
        self.who, self.limit, self.failed = who, limit, 0

    def failure(self, what):
        self.failed += 1
        if self.failed > self.limit:
            sys.exit(f"{self.who}: {self.failed} APDUs failed, the last: {what}")

    def report(self):
        if self.failed:
            print(f"{self.who}: {self.failed} APDUs failed and were repeated (a simulated reader late on a "
                  "loaded machine)", file=sys.stderr)


def direct(args):
    lib = ctypes.CDLL(args.library)
    if lib.SetComPortPath(0, args.device.encode()) != 0 or lib.LinkCom(0) != 0:
        sys.exit("direct: no reader at " + args.device)
    atr = ctypes.create_string_buffer(256)
    if lib.CpuCardReset(atr) != 0:
        sys.exit("direct: reset failed")
    request = ctypes.create_string_buffer(138)
    response = ctypes.create_string_buffer(256)
    packed = APDU[:4] + b"\x00" + APDU[4:]  # CLA INS P1 P2 Lc=0 Le

    attempts = Attempts("direct", args.count)

    def once():
        while True:
            ctypes.memmove(request, packed, len(packed))  # the call writes its block back
            result = lib.ProCpuCard(request, response)
            if result == 0x9000:
                return
            attempts.failure(f"result {result:#x}")

    for _ in range(20):
        once()
    start = time.perf_counter()
    for _ in range(args.count):
        once()
    elapsed = time.perf_counter() - start
    lib.UnLinkCom()
    attempts.report()
    return elapsed


def pcsc(args):
    from smartcard import scard as sc
    rv, ctx = sc.SCardEstablishContext(sc.SCARD_SCOPE_USER)
    rv, h, protocol = sc.SCardConnect(ctx, args.reader, sc.SCARD_SHARE_SHARED,
                                      sc.SCARD_PROTOCOL_T0 | sc.SCARD_PROTOCOL_T1)
    if rv != sc.SCARD_S_SUCCESS:
        sys.exit("pcsc: connect: " + sc.SCardGetErrorMessage(rv))
    apdu = list(APDU)
    attempts = Attempts("pcsc", args.count)

    def once():
        while True:
            rv, answer = sc.SCardTransmit(h, protocol, apdu)
            if rv == sc.SCARD_S_SUCCESS and answer[-2:] == [0x90, 0x00]:
                return
            attempts.failure(f"{sc.SCardGetErrorMessage(rv)} {answer}")

    for _ in range(20):
        once()
    start = time.perf_counter()
    for _ in range(args.count):
        once()
    elapsed = time.perf_counter() - start
    sc.SCardDisconnect(h, sc.SCARD_UNPOWER_CARD)
    sc.SCardReleaseContext(ctx)
    attempts.report()
    return elapsed


def farm_client(reader, count, barrier, results):
    from smartcard import scard as sc
    rv, ctx = sc.SCardEstablishContext(sc.SCARD_SCOPE_USER)
    rv, h, protocol = sc.SCardConnect(ctx, reader, sc.SCARD_SHARE_SHARED, sc.SCARD_PROTOCOL_T0 | sc.SCARD_PROTOCOL_T1)
    if rv != sc.SCARD_S_SUCCESS:
        barrier.abort()
        sys.exit(f"farm: connect {reader}: " + sc.SCardGetErrorMessage(rv))
    for _ in range(5):
        sc.SCardTransmit(h, protocol, list(APDU))
    barrier.wait()
    attempts = Attempts(f"farm: {reader}", count)
    start = time.perf_counter()
    done = 0
    while done < count:
        rv, answer = sc.SCardTransmit(h, protocol, list(APDU))
        if rv == sc.SCARD_S_SUCCESS and answer[-2:] == [0x90, 0x00]:
            done += 1
        else:
            attempts.failure(f"{sc.SCardGetErrorMessage(rv)} {answer}")
    results.put(time.perf_counter() - start)
    attempts.report()
    sc.SCardDisconnect(h, sc.SCARD_LEAVE_CARD)
    sc.SCardReleaseContext(ctx)


def farm_rate(readers, count):
    import multiprocessing
    barrier = multiprocessing.Barrier(len(readers))
    results = multiprocessing.Queue()
    clients = [multiprocessing.Process(target=farm_client, args=(r, count, barrier, results)) for r in readers]
    for c in clients:
        c.start()
    times = [results.get(timeout=300) for _ in clients]
    for c in clients:
        c.join()
    return len(readers) * count / max(times)


def farm(args):
    from smartcard import scard as sc
    rv, ctx = sc.SCardEstablishContext(sc.SCARD_SCOPE_USER)
    rv, readers = sc.SCardListReaders(ctx, [])
    sc.SCardReleaseContext(ctx)
    readers = sorted(r for r in readers if r.startswith(args.prefix))
    if not readers:
        sys.exit("farm: no reader named " + args.prefix)
    # One client alone before and after the crowd; the better of the two.
    alone = farm_rate(readers[:1], args.count)
    together = farm_rate(readers, args.count)
    alone = max(alone, farm_rate(readers[:1], args.count))
    print(f"farm {len(readers)} {alone:.1f} {together:.1f} {together / alone:.2f}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("mode", choices=["direct", "pcsc", "farm"])
    parser.add_argument("--prefix", default="FARM")
    parser.add_argument("--library")
    parser.add_argument("--device")
    parser.add_argument("--reader", default="KULVE32 00 00")
    parser.add_argument("--count", type=int, default=1000)
    args = parser.parse_args()
    if args.mode == "farm":
        return farm(args)
    elapsed = direct(args) if args.mode == "direct" else pcsc(args)
    print(f"{args.mode} {elapsed / args.count * 1e6:.1f}")


if __name__ == "__main__":
    main()

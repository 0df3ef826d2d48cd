#!/usr/bin/env python3
"""A serial line between a program under Wine and a simulated reader.

Wine sets a COM port's rate with cfsetospeed for the standard rates and, for
any other rate, asks the driver for a custom divisor (TIOCSSERIAL) and sets
B38400 as the marker for "custom". On a real UART (baud_base 115200) the
library's 56000 thus becomes divisor 2, i.e. 57600 on the wire. A pty has no
divisor, so there the marker B38400 is all that is left, and a reader that
checks the line speed would never answer at the fast speed.

This bridge plays that UART: it offers its own pty to Wine (keeping a stable
symlink at it), copies bytes both ways to the reader's pty, and before
passing bytes on it sets the reader's side to the speed the host has chosen,
with B38400 taken as the custom rate that the divisor makes 57600.

    com_bridge.py --reader PTY_PATH --link SYMLINK

Prints the path of its own pty as the first line, then runs until SIGTERM or
SIGINT, or until the reader's line is gone.
"""

import argparse
import errno
import fcntl
import os
import pty
import select
import signal
import sys
import termios
import tty

# Line speed the reader should see for the speed the host set.
SPEED_MAP = {termios.B38400: termios.B57600}


def make_raw(fd, speed=None):
    tty.setraw(fd, termios.TCSANOW)
    attrs = termios.tcgetattr(fd)
    attrs[2] &= ~(termios.CRTSCTS | termios.PARENB | termios.CSTOPB)
    attrs[2] |= termios.CLOCAL | termios.CREAD | termios.CS8
    if speed is not None:
        attrs[4] = attrs[5] = speed
    termios.tcsetattr(fd, termios.TCSANOW, attrs)


def host_speed(master):
    """The speed the host set on our pty (the master reports the slave's)."""
    attrs = termios.tcgetattr(master)
    return attrs[5] or attrs[4]


def write_all(fd, data):
    while data:
        try:
            written = os.write(fd, data)
        except BlockingIOError:
            select.select([], [fd], [], 0.5)
            continue
        data = data[written:]


def point_link(link, target):
    temporary = f"{link}.{os.getpid()}.tmp"
    os.symlink(target, temporary)
    os.replace(temporary, link)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n", 1)[0])
    parser.add_argument("--reader", required=True, help="path of the reader's pty")
    parser.add_argument("--link", required=True, help="symlink to keep at our pty")
    args = parser.parse_args()

    # A session of our own, with our pty as its controlling terminal: a host
    # that opens it without O_NOCTTY does not adopt it and get hangups later.
    try:
        os.setsid()
    except OSError:
        pass
    master, slave = pty.openpty()
    try:
        fcntl.ioctl(slave, termios.TIOCSCTTY, 0)
    except OSError:
        pass
    signal.signal(signal.SIGHUP, signal.SIG_IGN)
    make_raw(slave)
    slave_path = os.ttyname(slave)

    reader = os.open(args.reader, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
    make_raw(reader, termios.B9600)
    os.set_blocking(master, False)

    stopping = []
    for signum in (signal.SIGTERM, signal.SIGINT):
        signal.signal(signum, lambda *_: stopping.append(True))

    point_link(args.link, slave_path)
    print(slave_path, flush=True)

    reader_speed = None
    try:
        while not stopping:
            try:
                ready, _, _ = select.select([master, reader], [], [], 0.5)
            except InterruptedError:
                continue
            if master in ready:
                try:
                    data = os.read(master, 4096)
                except OSError as error:
                    if error.errno in (errno.EAGAIN, errno.EIO):
                        data = b""
                    else:
                        raise
                if data:
                    speed = host_speed(master)
                    speed = SPEED_MAP.get(speed, speed)
                    if speed != reader_speed:
                        make_raw(reader, speed)
                        reader_speed = speed
                    write_all(reader, data)
            if reader in ready:
                try:
                    data = os.read(reader, 4096)
                except BlockingIOError:
                    data = None
                except OSError:
                    return 1  # the reader's line is gone
                if data == b"":
                    return 1
                if data:
                    write_all(master, data)
    finally:
        try:
            if os.readlink(args.link) == slave_path:
                os.unlink(args.link)
        except OSError:
            pass
    return 0


if __name__ == "__main__":
    sys.exit(main())

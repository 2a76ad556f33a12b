#!/usr/bin/env python3
"""Records which files of a folder are opened and read, until it is sent SIGTERM.

    watch_files.py <folder> <log>

Each event is one line "<OPEN|READ> <file name>". The first line "ready" is written once
the watch is in place, so the caller knows that nothing after it can be missed. Linux
inotify through the C library: this sees what the Windows program really touched, from
outside Wine.
"""
import ctypes
import os
import select
import signal
import struct
import sys

IN_ACCESS = 0x001
IN_OPEN = 0x020
HEADER = struct.Struct("iIII")


def main():
    folder, log_path = sys.argv[1], sys.argv[2]
    libc = ctypes.CDLL(None, use_errno=True)
    fd = libc.inotify_init1(os.O_NONBLOCK | os.O_CLOEXEC)
    if fd < 0:
        sys.exit("inotify_init1 failed: errno %d" % ctypes.get_errno())
    if libc.inotify_add_watch(fd, os.fsencode(folder), IN_ACCESS | IN_OPEN) < 0:
        sys.exit("cannot watch %s: errno %d" % (folder, ctypes.get_errno()))

    stop = []
    signal.signal(signal.SIGTERM, lambda *_: stop.append(1))
    with open(log_path, "w", encoding="utf-8") as log:
        log.write("ready\n")
        log.flush()
        while not stop:
            try:
                ready, _, _ = select.select([fd], [], [], 0.2)
            except InterruptedError:
                continue
            if not ready:
                continue
            data = os.read(fd, 65536)
            pos = 0
            while pos + HEADER.size <= len(data):
                _, mask, _, length = HEADER.unpack_from(data, pos)
                name = data[pos + HEADER.size:pos + HEADER.size + length].rstrip(b"\0")
                pos += HEADER.size + length
                kind = "READ" if mask & IN_ACCESS else "OPEN"
                log.write("%s %s\n" % (kind, name.decode("utf-8", "replace")))
            log.flush()
    os.close(fd)


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""An editor's saves: a temporary written, fsynced and renamed over the
document, COUNT times; then waits for the server's copy to hold the last save.

Usage: save_loop.py MOUNTED_DOC SERVER_DOC COUNT SIZE TIMEOUT POLL

Prints "SECONDS_OF_SAVES SECONDS_UNTIL_ON_SERVER" (the second counted from
the end of the last save), or exits 1 with the reason.
"""
import os
import sys
import time


def content(i, size):
    head = ("save %06d\n" % i).encode()
    return head + bytes((i + k) % 251 for k in range(size - len(head)))


def main():
    doc, server, count, size = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
    timeout, poll = float(sys.argv[5]), float(sys.argv[6])
    tmp = os.path.join(os.path.dirname(doc), "." + os.path.basename(doc) + ".swp")
    t0 = time.monotonic()
    for i in range(1, count + 1):
        fd = os.open(tmp, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
        try:
            os.write(fd, content(i, size))
            os.fsync(fd)
        finally:
            os.close(fd)
        os.rename(tmp, doc)
    t1 = time.monotonic()
    want = content(count, size)
    while True:
        try:
            with open(server, "rb") as f:
                if f.read() == want:
                    break
        except OSError:
            pass
        if time.monotonic() - t1 > timeout:
            print("the server's copy does not hold the last save after %.0f s" % timeout, file=sys.stderr)
            sys.exit(1)
        time.sleep(poll)
    print("%.6f %.6f" % (t1 - t0, time.monotonic() - t1))


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""A scanner on a pseudo-terminal, for the serial scanner tests.

Makes a pty in raw mode, links its slave as a COM port of the Wine prefix,
runs the test program and does what it asks through request files in a
directory ($QUILLON_FEEDER_DIR): each request req.N (renamed into place
whole) holds one command, done when ack.N appears.

Commands:
  write HEX [HEX...] [delay=MS]   write each piece, MS ms apart
  unplug                          close the pty and remove the link (cable pulled)
  plug                            a new pty under the same link

Usage: serial_feeder.py LINK -- program args...
"""
import os
import subprocess
import sys
import tempfile
import time
import tty


class Line:
    def __init__(self, link):
        self.link = link
        self.master = self.slave = None

    def plug(self):
        self.master, self.slave = os.openpty()
        tty.setraw(self.slave)
        name = os.ttyname(self.slave)
        if os.path.lexists(self.link):
            os.unlink(self.link)
        os.symlink(name, self.link)

    def unplug(self):
        if os.path.lexists(self.link):
            os.unlink(self.link)
        for fd in (self.master, self.slave):
            if fd is not None:
                os.close(fd)
        self.master = self.slave = None

    def write(self, pieces, delay):
        for i, piece in enumerate(pieces):
            if i and delay:
                time.sleep(delay / 1000.0)
            data = bytes.fromhex(piece)
            while data:
                data = data[os.write(self.master, data):]


def run(command, line):
    words = command.split()
    if not words:
        return
    if words[0] == "write":
        delay = 0
        pieces = []
        for w in words[1:]:
            if w.startswith("delay="):
                delay = int(w[6:])
            else:
                pieces.append(w)
        line.write(pieces, delay)
    elif words[0] == "unplug":
        line.unplug()
    elif words[0] == "plug":
        line.plug()
    else:
        raise ValueError("unknown command " + words[0])


def main():
    if len(sys.argv) < 4 or sys.argv[2] != "--":
        print(__doc__, file=sys.stderr)
        return 2
    link = sys.argv[1]
    line = Line(link)
    line.plug()
    with tempfile.TemporaryDirectory(prefix="quillon-feeder-") as requests:
        env = dict(os.environ, QUILLON_FEEDER_DIR=requests)
        child = subprocess.Popen(sys.argv[3:], env=env)
        n = 0
        try:
            while child.poll() is None:
                req = os.path.join(requests, "req.%d" % n)
                if not os.path.exists(req):
                    time.sleep(0.005)
                    continue
                with open(req) as f:
                    command = f.read().strip()
                try:
                    run(command, line)
                    result = "ok"
                except Exception as e:  # reported to the test, which fails
                    result = "error " + str(e)
                with open(os.path.join(requests, "ack.%d" % n), "w") as f:
                    f.write(result)
                n += 1
        finally:
            if child.poll() is None:
                child.kill()
            line.unplug()
    return child.wait()


if __name__ == "__main__":
    sys.exit(main())

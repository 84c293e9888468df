#!/usr/bin/env python3
"""The local HTTP server from which the prerequisites sample fetches its programs.

    prerequisite_server.py FOLDER PORT_FILE [--hold NAME]

Serves FOLDER with python's http.server on 127.0.0.1 only, at a free port the system picks,
and writes that port to PORT_FILE once it listens. It ends with the process that started it.

With --hold NAME, the answer for /NAME stops after about half of the file until the wizard
tour has taken its picture of the download under way:
    GET /held     waits for the hold to begin and answers the number of bytes sent before it
    GET /release  lets the held answer go on (200), or 409 when it had already gone on
A hold never lasts longer than HOLD_LIMIT seconds, so nothing waits on a tour that never asks.
"""

import argparse
import ctypes
import functools
import http.server
import os
import shutil
import signal
import sys
import threading

# Below WinInet's 20-second receive time-out, which a held download must not run into.
HOLD_LIMIT = 15
# How long /held waits for the installer to reach the held file.
HELD_WAIT = 30
# The installer reads its downloads in blocks of 16,383 bytes (src/downloader/net/http_download.cpp)
# and may wait for a block to fill: a hold after whole blocks lets every block before it arrive
# whole, so that the installer's byte counter stops exactly at the hold.
BLOCK = 16383


class Hold:
    """The state of the one held answer, shared by the server's threads."""

    def __init__(self, name):
        self.name = name
        self.held_at = None  # bytes sent before the hold, once it began
        self.began = threading.Event()
        self.released = threading.Event()
        self.lock = threading.Lock()
        self.gone_on = False  # the answer went on: released, or the limit passed

    def release(self):
        with self.lock:
            was_held = self.began.is_set() and not self.gone_on
            self.released.set()
            return was_held

    def wait(self):
        self.released.wait(HOLD_LIMIT)
        with self.lock:
            self.gone_on = True


class Handler(http.server.SimpleHTTPRequestHandler):
    hold = None  # set by main

    def do_GET(self):
        path = self.path.split("?", 1)[0]
        hold = self.hold
        if hold is not None and path == "/held":
            if not hold.began.wait(HELD_WAIT):
                return self.answer(503, "no held download\n")
            return self.answer(200, "%d\n" % hold.held_at)
        if hold is not None and path == "/release":
            return self.answer(200 if hold.release() else 409, "released\n")
        if hold is not None and path == "/" + hold.name:
            return self.send_held(hold)
        return super().do_GET()

    def answer(self, status, text):
        body = text.encode("ascii")
        self.send_response(status)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def send_held(self, hold):
        path = os.path.join(self.directory, hold.name)
        size = os.path.getsize(path)
        first = size // 2 // BLOCK * BLOCK
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(size))
        self.end_headers()
        with open(path, "rb") as source:
            self.wfile.write(source.read(first))
            self.wfile.flush()
            hold.held_at = first
            hold.began.set()
            hold.wait()
            shutil.copyfileobj(source, self.wfile)


def end_with_parent():
    """Asks Linux to stop this server when its parent ends, however the parent ends."""
    PR_SET_PDEATHSIG = 1
    libc = ctypes.CDLL(None, use_errno=True)
    libc.prctl(PR_SET_PDEATHSIG, signal.SIGTERM)
    if os.getppid() == 1:  # the parent ended before the request took effect
        sys.exit(1)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("folder")
    parser.add_argument("port_file")
    parser.add_argument("--hold")
    args = parser.parse_args()
    end_with_parent()

    Handler.hold = Hold(args.hold) if args.hold else None
    handler = functools.partial(Handler, directory=args.folder)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    server.daemon_threads = True
    # Written whole under another name first: the reader never sees half a number.
    with open(args.port_file + ".part", "w") as out:
        out.write("%d\n" % server.server_address[1])
    os.replace(args.port_file + ".part", args.port_file)
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    try:
        server.serve_forever()
    finally:
        server.server_close()


if __name__ == "__main__":
    main()

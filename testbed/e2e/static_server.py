#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Serves a folder over HTTP on 127.0.0.1, for the browser build: the page,
its script, its WebAssembly, fonts and pictures, each with its proper type
(a .wasm must come as application/wasm for the browser to compile it while
it loads), and cross-origin isolated, so that WebAssembly threads work.
Nothing else on the machine can reach it.

    static_server.py DIR [--port N] [--log PATH]

prints "Abacorn is at http://127.0.0.1:PORT/" on stdout once it takes
connections (port 0, the default, picks a free one) and serves until it is
ended. With --log every request is appended to PATH as it comes, one line
"<CLOCK_MONOTONIC ms>\\t<method>\\t<path>" (what a test reads to see what the
page asked for); without, requests go to stderr. Python standard library
only; scripts/serve-web.py runs it for people, e2e.StaticServer for tests.
"""

import argparse
import functools
import http.server
import os
import sys
import time

TYPES = {
    ".html": "text/html; charset=utf-8",
    ".js": "text/javascript; charset=utf-8",
    ".mjs": "text/javascript; charset=utf-8",
    ".css": "text/css; charset=utf-8",
    ".json": "application/json",
    ".webmanifest": "application/manifest+json",
    ".wasm": "application/wasm",
    ".woff2": "font/woff2",
    ".woff": "font/woff",
    ".ttf": "font/ttf",
    ".otf": "font/otf",
    ".png": "image/png",
    ".jpg": "image/jpeg",
    ".jpeg": "image/jpeg",
    ".gif": "image/gif",
    ".svg": "image/svg+xml",
    ".ico": "image/x-icon",
    ".txt": "text/plain; charset=utf-8",
    ".data": "application/octet-stream",
}

PREFIX = "Abacorn is at "


class Handler(http.server.SimpleHTTPRequestHandler):
    extensions_map = dict(http.server.SimpleHTTPRequestHandler.extensions_map, **TYPES)
    log_path = None

    def end_headers(self):
        # A rebuilt page shows on the next reload, not after a guessed lifetime.
        self.send_header("Cache-Control", "no-cache")
        super().end_headers()

    def send_head(self):
        # Logged before anything is answered: a test that waits for a path
        # then sees it even if the answer fails.
        if self.log_path:
            line = "%.3f\t%s\t%s\n" % (time.clock_gettime(time.CLOCK_MONOTONIC) * 1000.0, self.command, self.path)
            fd = os.open(self.log_path, os.O_WRONLY | os.O_APPEND | os.O_CREAT, 0o600)
            try:
                os.write(fd, line.encode())
            finally:
                os.close(fd)
        return super().send_head()

    def log_message(self, format, *args):
        if not self.log_path:
            super().log_message(format, *args)


def serve(root, port=0, log_path=None, out=sys.stdout):
    if not os.path.isdir(root):
        raise SystemExit("no folder %s" % root)
    handler = functools.partial(type("RootHandler", (Handler,), {"log_path": log_path}),
                                directory=os.path.abspath(root))
    server = http.server.ThreadingHTTPServer(("127.0.0.1", port), handler)
    print("%shttp://127.0.0.1:%d/" % (PREFIX, server.server_address[1]), file=out, flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    finally:
        server.server_close()


def main(argv=None):
    ap = argparse.ArgumentParser(description="Serves a folder (the browser build) on 127.0.0.1.")
    ap.add_argument("dir")
    ap.add_argument("--port", type=int, default=0, help="the port (default: a free one)")
    ap.add_argument("--log", help="append each request to this file rather than stderr")
    args = ap.parse_args(argv)
    serve(args.dir, args.port, args.log)


if __name__ == "__main__":
    main()

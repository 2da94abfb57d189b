#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Serves the browser build (a folder) on this machine only, and says where:

    scripts/serve-web.py DIR [--port N]

then open the address it prints in a browser. Ctrl-C ends it."""

import os
import sys

# The server the tests use, imported alone: the harness package around it
# installs signal handlers a person's terminal does not want.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "testbed", "e2e"))
import static_server  # noqa: E402

if __name__ == "__main__":
    static_server.main()

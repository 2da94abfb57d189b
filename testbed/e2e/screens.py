# SPDX-License-Identifier: GPL-3.0-or-later
"""Screens for the program: an Xvfb server on a free display (windows,
pointer, keys and screenshots through xdotool, xwininfo and ImageMagick) and
a headless Weston for Wayland clients. Each is stopped by its PID when its
`with` block ends.

    with e2e.Xvfb() as x, e2e.Abacorn(x) as app:
        win = app.wait_for_window()
        x.click(500, 300)
        r, g, b = x.screenshot().pixel(10, 10)
"""

import ctypes
import os
import select
import shutil
import subprocess
import tempfile
import time

from .images import Image, Screen
from .processes import E2EError, descendants, stop_pids, stop_process, wait_until

SCREEN_WIDTH, SCREEN_HEIGHT, SCREEN_DEPTH = 1920, 1080, 24


class _ClientMessage(ctypes.Structure):
    """Xlib's XClientMessageEvent, padded to the size of an XEvent."""
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5), ("pad", ctypes.c_long * 12)]


class Xvfb:
    """An Xvfb server on a free display, 1920x1080x24, no window manager."""

    def __init__(self, width=SCREEN_WIDTH, height=SCREEN_HEIGHT, depth=SCREEN_DEPTH, timeout=20.0):
        self.width, self.height, self.depth = width, height, depth
        self.timeout = timeout
        self.proc = None
        self.display = None
        self._last_click = None  # (x, y, time.monotonic()) of the last click
        self._screen = None  # the connection screenshots are read through

    def start(self):
        # -displayfd makes Xvfb pick a free display number itself and write it
        # once it accepts connections: no guessing, no race with other
        # servers, and no polling for readiness.
        rfd, wfd = os.pipe()
        try:
            self.proc = subprocess.Popen(
                ["Xvfb", "-displayfd", str(wfd), "-screen", "0",
                 "%dx%dx%d" % (self.width, self.height, self.depth),
                 "-nolisten", "tcp", "-noreset"],
                pass_fds=(wfd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                start_new_session=True)
            os.close(wfd)
            wfd = -1
            data = b""
            end = time.monotonic() + self.timeout
            while not data.endswith(b"\n"):
                left = end - time.monotonic()
                if left <= 0 or self.proc.poll() is not None:
                    raise E2EError("Xvfb did not start")
                ready, _, _ = select.select([rfd], [], [], left)
                if ready:
                    chunk = os.read(rfd, 64)
                    if not chunk:
                        raise E2EError("Xvfb closed its display pipe without a number")
                    data += chunk
            self.display = ":" + data.decode().strip()
        except BaseException:
            self.stop()
            raise
        finally:
            if wfd >= 0:
                os.close(wfd)
            os.close(rfd)
        return self

    def stop(self):
        if self._screen is not None:
            self._screen.close()
            self._screen = None
        stop_process(self.proc)
        self.proc = None

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()

    def env(self, base=None):
        env = dict(os.environ if base is None else base)
        env["DISPLAY"] = self.display
        # With no session bus named, libdbus autolaunches one through
        # dbus-launch (dbus-x11) that outlives the program until the display
        # closes: a process no test started and none can stop. Tests that want
        # a bus (the accessibility one) name their own.
        env["DBUS_SESSION_BUS_ADDRESS"] = "disabled:"
        return env

    def run(self, args, timeout=20.0):
        """Runs an X client to completion on this display; returns its stdout."""
        res = subprocess.run(args, env=self.env(), stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, timeout=timeout)
        if res.returncode != 0:
            raise E2EError("%s failed (%d): %s" % (args[0], res.returncode,
                                                   res.stderr.decode(errors="replace").strip()))
        return res.stdout.decode(errors="replace")

    # --- windows and input ---

    def find_windows(self, name=None, pid=None):
        """Ids of the viewable windows whose title matches the regular
        expression `name`, or that belong to process `pid` (needs the
        client to set _NET_WM_PID, as Qt does)."""
        args = ["xdotool", "search", "--onlyvisible"]
        if pid is not None:
            args += ["--pid", str(pid)]
        if name is not None:
            args += ["--name", name]
        elif pid is None:
            args += ["--name", "."]
        res = subprocess.run(args, env=self.env(), stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL, timeout=20)
        # xdotool exits 1 when nothing matches.
        return [int(w) for w in res.stdout.split()]

    def wait_for_window(self, name=None, pid=None, timeout=20.0):
        """Waits until a matching window is mapped (viewable); returns its id."""
        def look():
            for w in self.find_windows(name=name, pid=pid):
                if self.window_geometry(w)["map_state"] == "IsViewable":
                    return w
            return None
        return wait_until(look, timeout, what="a window (name=%r, pid=%r)" % (name, pid))

    def set_dpi(self, dpi):
        """Tells the clients started from now on the screen's dots per inch,
        as a desktop's settings do: Xft.dpi in the root window's resources
        (what xrdb writes), which Qt scales its windows by."""
        self.run(["xprop", "-root", "-f", "RESOURCE_MANAGER", "8s", "-set", "RESOURCE_MANAGER",
                  "Xft.dpi:\t%d\n" % dpi])

    def window_geometry(self, window):
        """Position on the screen and size of a window, from xwininfo:
        {'x', 'y', 'width', 'height', 'map_state'}."""
        out = self.run(["xwininfo", "-id", str(window)])
        keys = {"Absolute upper-left X": "x", "Absolute upper-left Y": "y",
                "Width": "width", "Height": "height", "Map State": "map_state"}
        geo = {}
        for line in out.splitlines():
            key, _, value = line.strip().partition(":")
            if key in keys:
                value = value.strip()
                geo[keys[key]] = value if key == "Map State" else int(value)
        return geo

    def stacking(self):
        """Ids of the top-level windows, the front-most first (xwininfo
        lists the root's children in that order)."""
        out = self.run(["xwininfo", "-root", "-children"])
        return [int(line.split()[0], 16) for line in out.splitlines() if line.strip().startswith("0x")]

    def window_state(self, window):
        """The window's _NET_WM_STATE atoms, e.g. ['_NET_WM_STATE_FULLSCREEN']."""
        out = self.run(["xprop", "-id", str(window), "_NET_WM_STATE"])
        _, _, atoms = out.partition("=")
        return [a.strip() for a in atoms.split(",") if a.strip()]

    def mouse_move(self, x, y):
        # --sync to the place the pointer already is waits for a motion that
        # never comes (about 15 s, more on a loaded machine).
        if self.mouse_location() == (x, y):
            return
        self.run(["xdotool", "mousemove", "--sync", str(x), str(y)])

    # Two presses at one place within the desktop's double-click interval
    # (Qt's default, 400 ms) are a double click, which the trainer takes as
    # one click. Single clicks at one place keep this far apart, as a
    # child's do; quick clicks at other places are not held back.
    CLICK_GAP = 0.5

    def pace(self, x, y):
        """Waits until a click at (x, y) makes no double click with the last."""
        last = self._last_click
        if last and abs(last[0] - x) <= 10 and abs(last[1] - y) <= 10:
            wait = last[2] + self.CLICK_GAP - time.monotonic()
            if wait > 0:
                time.sleep(wait)

    def clicked(self, x, y):
        """Notes a click at (x, y) made by other means (see pace)."""
        self._last_click = (x, y, time.monotonic())

    def click(self, x, y, button=1):
        """Moves the pointer to screen pixel (x, y) and clicks there."""
        self.pace(x, y)
        self.run(["xdotool", "mousemove", "--sync", str(x), str(y), "click", str(button)])
        self.clicked(x, y)

    def click_in_place(self, button=1):
        """Clicks where the pointer is (x, y as mouse_location says)."""
        x, y = self.mouse_location()
        self.pace(x, y)
        self.run(["xdotool", "click", str(button)])
        self.clicked(x, y)

    def mouse_location(self):
        out = self.run(["xdotool", "getmouselocation", "--shell"])
        vals = dict(line.split("=", 1) for line in out.split() if "=" in line)
        return int(vals["X"]), int(vals["Y"])

    def key(self, *keys):
        self.run(["xdotool", "key"] + list(keys))

    # --- pixels ---

    def ask_to_close(self, window):
        """Asks `window` to close as a window manager does: a WM_PROTOCOLS
        client message carrying WM_DELETE_WINDOW, sent and flushed before
        this returns, so that input sent after it comes after it."""
        x11 = ctypes.CDLL("libX11.so.6")
        x11.XOpenDisplay.restype = ctypes.c_void_p
        x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x11.XInternAtom.restype = ctypes.c_ulong
        x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
        x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        display = x11.XOpenDisplay(self.display.encode())
        if not display:
            raise E2EError("no connection to " + self.display)
        try:
            event = _ClientMessage(type=33, send_event=1, window=window, format=32,
                                   message_type=x11.XInternAtom(display, b"WM_PROTOCOLS", 0))
            event.data[0] = x11.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
            x11.XSendEvent(display, window, 0, 0, ctypes.byref(event))
            x11.XSync(display, 0)
        finally:
            x11.XCloseDisplay(display)

    def screenshot(self, save_png=None):
        """The whole screen as an Image (optionally also saved as a PNG)."""
        if self._screen is None:
            self._screen = Screen(self.display)
        image = (self._screen.image(0, 0, self.width, self.height)
                 or Image.grab(self.env()))
        if save_png:
            image.save_png(save_png)
        return image


class Weston:
    """A headless Wayland compositor (weston's desktop shell, 1920x1080) with
    a runtime directory of its own; env() points Wayland clients at it."""

    def __init__(self, width=SCREEN_WIDTH, height=SCREEN_HEIGHT, timeout=20.0):
        self.width, self.height, self.timeout = width, height, timeout
        self.proc = None
        self.runtime_dir = None
        self.socket = "abacorn-e2e"

    def start(self):
        self.runtime_dir = tempfile.mkdtemp(prefix="abacorn-wl-")  # mode 0700, as Wayland wants
        self.log_path = os.path.join(self.runtime_dir, "weston.log")
        try:
            with open(self.log_path, "wb") as log:
                self.proc = subprocess.Popen(
                    ["weston", "--backend=headless-backend.so", "--socket=" + self.socket,
                     "--width=%d" % self.width, "--height=%d" % self.height, "--idle-time=0"],
                    env=dict(os.environ, XDG_RUNTIME_DIR=self.runtime_dir), stdout=log, stderr=log,
                    stdin=subprocess.DEVNULL, start_new_session=True)
            socket = os.path.join(self.runtime_dir, self.socket)
            wait_until(lambda: os.path.exists(socket) or self.proc.poll() is not None, self.timeout,
                       what="weston's socket")
            if self.proc.poll() is not None:
                raise E2EError("weston did not start: " + open(self.log_path, errors="replace").read()[-2000:])
        except BaseException:
            self.stop()
            raise
        return self

    def stop(self):
        if self.proc is not None:
            # weston's shell and keyboard helpers are its children.
            helpers = descendants(self.proc.pid)
            stop_process(self.proc)
            stop_pids(helpers, grace=None)
        self.proc = None
        if self.runtime_dir and not os.environ.get("ABACORN_E2E_KEEP"):
            shutil.rmtree(self.runtime_dir, ignore_errors=True)

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()

    def env(self, base=None):
        env = dict(os.environ if base is None else base)
        env.pop("DISPLAY", None)
        env.update(XDG_RUNTIME_DIR=self.runtime_dir, WAYLAND_DISPLAY=self.socket)
        return env

# SPDX-License-Identifier: GPL-3.0-or-later
"""Helpers for end-to-end tests of the real abacorn program.

Python standard library only; the X side uses Xvfb, xdotool, xwininfo and
ImageMagick's import/convert. A typical test:

    with e2elib.Xvfb() as x, e2elib.Abacorn(x) as app:
        win = app.wait_for_window()
        x.click(500, 300)
        shot = x.screenshot()
        r, g, b = shot.pixel(10, 10)
        events = app.wait_for_speech(lambda ev: any(e.event == "say" for e in ev))

Every process started here is stopped by its own PID when the `with` block
ends, also when the test fails or the script is ended by a signal (see
"ending by a signal" below). Nothing is killed by name.

Environment:
    ABACORN_BUILD_DIR   the CMake build directory (default: <repo>/build);
                        the program is <build>/abacorn.

The program speaks through libspeechd to a recording speech daemon of the
test's own (ssip_recorder.py), which logs every text and every cancel: its
own voice, which would speak first, finds no sound server (or the desktop's
screen-reader switch is on, see Abacorn).
"""

import atexit
import collections
import ctypes
import os
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

import ssip_recorder

SCREEN_WIDTH, SCREEN_HEIGHT, SCREEN_DEPTH = 1920, 1080, 24

# Prefer the real ImageMagick over any wrapper earlier on PATH.
_IMPORT = "/usr/bin/import" if os.path.exists("/usr/bin/import") else "import"
_CONVERT = "/usr/bin/convert" if os.path.exists("/usr/bin/convert") else "convert"


class E2EError(Exception):
    pass


def build_dir():
    d = os.environ.get("ABACORN_BUILD_DIR")
    if d:
        return d
    return os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "build")


def wait_until(check, timeout=20.0, interval=0.02, what="condition"):
    """Polls check() until it returns something truthy; returns that value."""
    end = time.monotonic() + timeout
    while True:
        value = check()
        if value:
            return value
        if time.monotonic() > end:
            raise E2EError("timed out after %.1f s waiting for %s" % (timeout, what))
        time.sleep(interval)


def _signal(proc, sig):
    """Sends sig to a process we started; to its whole process group when
    it leads one of its own (started with start_new_session: a daemon and
    the helpers it forked, such as speech-dispatcher's output modules)."""
    try:
        if os.getpgid(proc.pid) == proc.pid:
            os.killpg(proc.pid, sig)
        else:
            proc.send_signal(sig)
    except ProcessLookupError:
        pass


def _stop_process(proc, grace=5.0):
    """Stops one process we started, by its PID (or its group's id, see
    _signal): SIGTERM, then SIGKILL."""
    if proc is None or proc.poll() is not None:
        return proc.returncode if proc else None
    _signal(proc, signal.SIGTERM)
    _signal(proc, signal.SIGCONT)  # a daemon a test stopped (SIGSTOP) takes it only then
    try:
        return proc.wait(grace)
    except subprocess.TimeoutExpired:
        _signal(proc, signal.SIGKILL)
        return proc.wait(grace)


def stop_process(proc, grace=5.0):
    """Stops a child process (subprocess.Popen) by its PID: SIGTERM, and
    SIGKILL after `grace` seconds; returns its exit status."""
    return _stop_process(proc, grace)


def descendants(pid):
    """PIDs of the processes below `pid` (children first), from /proc: for
    helpers that start processes of their own, such as at-spi-bus-launcher."""
    children = collections.defaultdict(list)
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % entry) as f:
                ppid = int(f.read().rsplit(")", 1)[1].split()[1])
        except (OSError, ValueError, IndexError):
            continue
        children[ppid].append(int(entry))
    found, todo = [], [pid]
    while todo:
        for child in children.get(todo.pop(), []):
            found.append(child)
            todo.append(child)
    return found


def stop_pids(pids):
    """Stops processes we started indirectly, by their PIDs (SIGTERM)."""
    for pid in pids:
        try:
            os.kill(pid, 15)
        except ProcessLookupError:
            pass


def alive(pid):
    """Whether a process runs (a zombie counts as ended)."""
    try:
        with open("/proc/%d/stat" % pid) as f:
            return f.read().rsplit(")", 1)[1].split()[0] != "Z"
    except (OSError, IndexError):
        return False


# --- ending by a signal ------------------------------------------------------
# `timeout` ends a script with SIGTERM, a closed terminal with SIGHUP. By
# default Python then dies on the spot: no `with` block unwinds, and every
# helper started in a session of its own (Xvfb, the audio server, the speech
# daemon, busy loops) lives on. Importing this module changes three things:
#  - SIGTERM, SIGHUP and SIGINT raise Terminated in the main thread, so the
#    blocks unwind and stop their processes as after a failure. Signals that
#    come while that goes on (`timeout` signals the script and then its
#    whole process group) are ignored, so the clean-up is not cut short.
#  - The script is a child subreaper (prctl): a process a helper started and
#    left behind (a daemon that forks away from its parent) becomes our
#    child instead of init's, so it is still found below us.
#  - At exit every process still below the script is stopped by its PID
#    (SIGTERM, SIGKILL after a grace time); then a script ended by a signal
#    ends by that same signal, so its caller sees how it ended.

class Terminated(KeyboardInterrupt):
    """A signal asked the script to end. A KeyboardInterrupt, so that
    unittest passes it on rather than going on with the next test."""

    def __init__(self, signum):
        super().__init__(signal.Signals(signum).name)
        self.signum = signum


_ended_by = []  # the signal that ends the script, once one came
_STOP_SIGNALS = (signal.SIGTERM, signal.SIGHUP, signal.SIGINT)
PR_SET_CHILD_SUBREAPER = 36


def _on_signal(signum, frame):
    if _ended_by:
        return  # already unwinding
    _ended_by.append(signum)
    raise Terminated(signum)


def stop_descendants(grace=10.0):
    """Stops every process below this one by its PID: SIGTERM (and SIGCONT
    for a stopped one), SIGKILL to those left after `grace` seconds.
    Returns the PIDs that were still running."""
    left = [pid for pid in descendants(os.getpid()) if alive(pid)]
    for pid in left:
        for sig in (signal.SIGTERM, signal.SIGCONT):
            try:
                os.kill(pid, sig)
            except ProcessLookupError:
                pass
    end = time.monotonic() + grace
    while any(alive(pid) for pid in left) and time.monotonic() < end:
        time.sleep(0.05)
    for pid in left:
        if alive(pid):
            try:
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
    return left


def _at_exit():
    for sig in _STOP_SIGNALS:
        signal.signal(sig, signal.SIG_IGN)  # nothing cuts the sweep short
    left = stop_descendants()
    try:  # reap them: after our end they would wait for init as zombies
        while os.waitpid(-1, os.WNOHANG)[0] > 0:
            pass
    except ChildProcessError:
        pass
    if left and not _ended_by:
        print("e2elib: stopped %d process(es) left running: %s" % (len(left), " ".join(map(str, left))),
              file=sys.stderr)
    if _ended_by:
        sys.stderr.flush()
        signal.signal(_ended_by[0], signal.SIG_DFL)
        os.kill(os.getpid(), _ended_by[0])


def _report_termination(kind, value, tb, previous=sys.excepthook):
    if isinstance(value, Terminated):
        print("ended by %s; stopping what was started" % value, file=sys.stderr)
    else:
        previous(kind, value, tb)


def _install_signal_cleanup():
    if threading.current_thread() is not threading.main_thread():
        return
    for sig in _STOP_SIGNALS:
        signal.signal(sig, _on_signal)
    try:
        ctypes.CDLL(None, use_errno=True).prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0)
    except (OSError, AttributeError):
        pass
    sys.excepthook = _report_termination
    atexit.register(_at_exit)


_install_signal_cleanup()


# --- the X server -----------------------------------------------------------

class Xvfb:
    """An Xvfb server on a free display, 1920x1080x24, no window manager."""

    def __init__(self, width=SCREEN_WIDTH, height=SCREEN_HEIGHT, depth=SCREEN_DEPTH, timeout=20.0):
        self.width, self.height, self.depth = width, height, depth
        self.timeout = timeout
        self.proc = None
        self.display = None
        self._last_click = None  # (x, y, time.monotonic()) of the last click

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
        _stop_process(self.proc)
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

    def window_state(self, window):
        """The window's _NET_WM_STATE atoms, e.g. ['_NET_WM_STATE_FULLSCREEN']."""
        out = self.run(["xprop", "-id", str(window), "_NET_WM_STATE"])
        _, _, atoms = out.partition("=")
        return [a.strip() for a in atoms.split(",") if a.strip()]

    def mouse_move(self, x, y):
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

    def screenshot(self, save_png=None):
        """The whole screen as an Image (optionally also saved as a PNG)."""
        res = subprocess.run([_IMPORT, "-window", "root", "-depth", "8", "ppm:-"], env=self.env(),
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
        if res.returncode != 0 or not res.stdout:
            # Fall back on xwd when import cannot grab the screen.
            xwd = subprocess.run(["xwd", "-root", "-silent"], env=self.env(),
                                 stdout=subprocess.PIPE, check=True, timeout=60).stdout
            res = subprocess.run([_CONVERT, "xwd:-", "-depth", "8", "ppm:-"], input=xwd,
                                 stdout=subprocess.PIPE, check=True, timeout=60)
        image = Image.from_ppm(res.stdout)
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
            _stop_process(self.proc)
            stop_pids(helpers)
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


class _XImage(ctypes.Structure):
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.c_void_p), ("byte_order", ctypes.c_int),
                ("bitmap_unit", ctypes.c_int), ("bitmap_bit_order", ctypes.c_int),
                ("bitmap_pad", ctypes.c_int), ("depth", ctypes.c_int),
                ("bytes_per_line", ctypes.c_int), ("bits_per_pixel", ctypes.c_int)]


class Screen:
    """Reads pixels of the root window of an X display."""
    ZPixmap, AllPlanes = 2, ctypes.c_ulong(0xFFFFFFFF)

    def __init__(self, display):
        self.x = ctypes.CDLL("libX11.so.6")
        self.x.XOpenDisplay.restype = ctypes.c_void_p
        self.x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.x.XDefaultRootWindow.restype = ctypes.c_ulong
        self.x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        self.x.XGetImage.restype = ctypes.POINTER(_XImage)
        self.x.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                     ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        self.x.XDestroyImage.argtypes = [ctypes.POINTER(_XImage)]
        self.x.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self.dpy = self.x.XOpenDisplay(display.encode())
        if not self.dpy:
            raise E2EError("cannot open display " + display)
        self.root = self.x.XDefaultRootWindow(self.dpy)

    def close(self):
        self.x.XCloseDisplay(self.dpy)

    def strip(self, x, y, w, h=1):
        """The pixels of a rectangle as [(r, g, b)], row by row."""
        img = self.x.XGetImage(self.dpy, self.root, x, y, w, h, self.AllPlanes, self.ZPixmap)
        try:
            im = img.contents
            raw = ctypes.string_at(im.data, im.bytes_per_line * h)
            out = []
            for row in range(h):
                base = row * im.bytes_per_line
                for i in range(w):  # 32 bits a pixel, little-endian BGRX
                    p = base + 4 * i
                    out.append((raw[p + 2], raw[p + 1], raw[p]))
            return out
        finally:
            self.x.XDestroyImage(img)

    def pixel(self, x, y):
        return self.strip(x, y, 1)[0]


class Image:
    """An RGB picture, 8 bits a channel; pixel(x, y) -> (r, g, b)."""

    def __init__(self, width, height, data):
        self.width, self.height, self.data = width, height, data

    @classmethod
    def from_ppm(cls, blob):
        # P6 header: magic, width, height, maxval, separated by whitespace,
        # with optional comments; then one whitespace byte and the samples.
        fields, pos = [], 0
        while len(fields) < 4:
            while blob[pos:pos + 1].isspace():
                pos += 1
            if blob[pos:pos + 1] == b"#":
                pos = blob.index(b"\n", pos) + 1
                continue
            start = pos
            while not blob[pos:pos + 1].isspace():
                pos += 1
            fields.append(blob[start:pos])
        if fields[0] != b"P6" or int(fields[3]) != 255:
            raise E2EError("not an 8-bit binary PPM: %r" % fields)
        width, height = int(fields[1]), int(fields[2])
        data = blob[pos + 1:pos + 1 + width * height * 3]
        if len(data) != width * height * 3:
            raise E2EError("truncated PPM")
        return cls(width, height, data)

    @classmethod
    def load(cls, path):
        blob = subprocess.run([_CONVERT, path, "-depth", "8", "ppm:-"], stdout=subprocess.PIPE,
                              check=True, timeout=60).stdout
        return cls.from_ppm(blob)

    def pixel(self, x, y):
        if not (0 <= x < self.width and 0 <= y < self.height):
            raise IndexError("pixel (%d, %d) outside %dx%d" % (x, y, self.width, self.height))
        i = (y * self.width + x) * 3
        return tuple(self.data[i:i + 3])

    def crop(self, x, y, w, h):
        rows = [self.data[((y + r) * self.width + x) * 3:((y + r) * self.width + x + w) * 3]
                for r in range(h)]
        return Image(w, h, b"".join(rows))

    def count(self, colour, rect=None, tolerance=0):
        """How many pixels (within rect=(x, y, w, h)) are `colour`, each
        channel within `tolerance`."""
        img = self.crop(*rect) if rect else self
        r0, g0, b0 = colour
        d = img.data
        n = 0
        for i in range(0, len(d), 3):
            if (abs(d[i] - r0) <= tolerance and abs(d[i + 1] - g0) <= tolerance
                    and abs(d[i + 2] - b0) <= tolerance):
                n += 1
        return n

    def to_ppm(self):
        return b"P6\n%d %d\n255\n" % (self.width, self.height) + self.data

    def save_png(self, path, options=(), fmt="png"):
        """Writes a PNG; options and fmt (e.g. "png8") go to ImageMagick's convert."""
        subprocess.run([_CONVERT, "ppm:-", *options, fmt + ":" + path], input=self.to_ppm(), check=True,
                       timeout=60)


# --- desktop services ----------------------------------------------------------

class AccessibilityBus:
    """A session bus of our own with at-spi2-core's accessibility bus on it,
    for an X display; env() points programs and AT-SPI clients at it.
    set_status() turns the desktop's screen-reader switch on or off
    (screen_reader=True: on from the start), as a desktop's settings do."""

    def __init__(self, xvfb, screen_reader=False, timeout=20.0):
        self.xvfb = xvfb
        self.screen_reader = screen_reader
        self.timeout = timeout
        self.bus = self.launcher = None
        self.address = None

    def __enter__(self):
        try:
            self.bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                        stdin=subprocess.DEVNULL, start_new_session=True)
            self.address = self.bus.stdout.readline().decode().strip()
            self.bus.stdout.close()
            if not self.address:
                raise E2EError("dbus-daemon gave no address")
            # The launcher starts the accessibility bus; the registry is
            # started on it by D-Bus activation. Both are its descendants.
            # It keeps the switches in GSettings: in memory, so that
            # nothing reaches the user's settings on disk.
            self.launcher = subprocess.Popen(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"],
                                             env=dict(self.env(), GSETTINGS_BACKEND="memory"),
                                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                             stdin=subprocess.DEVNULL, start_new_session=True)
            # Programs started from here on find the launcher's name taken
            # (a call before that would have the bus start a launcher of
            # its own, by activation, which answers late).
            wait_until(lambda: self.launcher.poll() is not None or self.status("IsEnabled") is not None,
                       self.timeout, interval=0.05, what="the accessibility bus launcher")
            if self.launcher.poll() is not None:
                raise E2EError("at-spi-bus-launcher ended at start")
            if self.screen_reader:
                self.set_status("ScreenReaderEnabled", True)
        except BaseException:
            self.__exit__()
            raise
        return self

    def env(self, base=None):
        env = self.xvfb.env(base)
        env["DBUS_SESSION_BUS_ADDRESS"] = self.address
        return env

    def call(self, dest, path, method, *args):
        """A method call on the session bus with dbus-send: (ok, reply text)."""
        res = subprocess.run(["dbus-send", "--session", "--reply-timeout=5000", "--print-reply", "--dest=" + dest,
                              path, method] + list(args), env=self.env(), stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, timeout=20)
        return res.returncode == 0, (res.stdout if res.returncode == 0 else res.stderr).decode(errors="replace")

    def status(self, name):
        """A property of org.a11y.Status ("IsEnabled", "ScreenReaderEnabled")
        as the launcher has it; None while it does not answer."""
        # Asked only once the name is taken: a call to it before would
        # have the bus start another launcher.
        if not self.call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus.GetNameOwner",
                         "string:org.a11y.Bus")[0]:
            return None
        ok, out = self.call("org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties.Get",
                            "string:org.a11y.Status", "string:" + name)
        if not ok or "boolean" not in out:
            return None
        return out.split("boolean", 1)[1].split()[0] == "true"

    def set_status(self, name, on):
        """Sets a property of org.a11y.Status, as the desktop's settings do;
        returns once the launcher has it."""
        ok, out = self.call("org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties.Set",
                            "string:org.a11y.Status", "string:" + name,
                            "variant:boolean:" + ("true" if on else "false"))
        if not ok:
            raise E2EError("setting %s failed: %s" % (name, out.strip()))
        wait_until(lambda: self.status(name) == on, self.timeout, interval=0.05, what=name)

    def __exit__(self, *exc):
        if self.launcher is not None:
            below = descendants(self.launcher.pid)
            stop_pids(reversed(below))
            _stop_process(self.launcher)
        if self.bus is not None:
            # Whatever the bus activated (the registry) goes with it.
            below = descendants(self.bus.pid)
            _stop_process(self.bus)
            stop_pids(below)


class Openbox:
    """The openbox window manager on an Xvfb display, with an optional tint2
    panel, each from a configuration text written into a directory of its
    own; start() returns once openbox manages the screen."""

    def __init__(self, xvfb, rc_xml, tint2rc=None, timeout=20.0):
        self.xvfb, self.rc_xml, self.tint2rc, self.timeout = xvfb, rc_xml, tint2rc, timeout
        self.dir = tempfile.mkdtemp(prefix="abacorn-openbox-")
        self.programs = []

    def _write(self, name, text):
        path = os.path.join(self.dir, name)
        with open(path, "w") as f:
            f.write(text)
        return path

    def start(self):
        try:
            rc = self._write("rc.xml", self.rc_xml)
            self.programs.append(Program(self.xvfb, ["openbox", "--sm-disable", "--config-file", rc],
                                         workdir=self.dir).start())
            wait_until(lambda: "window id" in self.xvfb.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"]),
                       self.timeout, what="openbox")
            if self.tint2rc is not None:
                self.programs.append(Program(self.xvfb, ["tint2", "-c", self._write("tint2rc", self.tint2rc)],
                                             workdir=self.dir).start())
        except BaseException:
            self.stop()
            raise
        return self

    def stop(self):
        for p in reversed(self.programs):
            p.stop()
        self.programs = []
        if not os.environ.get("ABACORN_E2E_KEEP"):
            shutil.rmtree(self.dir, ignore_errors=True)


# --- the speech log -----------------------------------------------------------

SpeechEvent = collections.namedtuple("SpeechEvent", "t_ms event text client", defaults=(None,))


def read_speech_log(path):
    """The recording daemon's log as [SpeechEvent(t_ms, 'say'|'stop'|'begin', text)]:
    'say' for every text the program sent, 'stop' for every cancel, 'begin'
    for every text that began sounding.
    t_ms is CLOCK_MONOTONIC in milliseconds (compare with
    time.clock_gettime(time.CLOCK_MONOTONIC) * 1000). A recorder started
    with clients=True also names each event's client ("user:abacorn:main",
    "user:Orca:..."), and a stop's text the clients whose speech it ended;
    client is None otherwise."""
    events = []
    try:
        with open(path, encoding="utf-8") as f:
            for line in f:
                if not line.endswith("\n"):
                    break  # being written; the recorder writes whole lines, but be safe
                t, *fields = line.rstrip("\n").split("\t", 3)
                events.append(SpeechEvent(float(t), *fields))
    except FileNotFoundError:
        pass
    return events


def monotonic_ms():
    return time.clock_gettime(time.CLOCK_MONOTONIC) * 1000.0


# --- programs -------------------------------------------------------------------

class Program:
    """Any program started on an Xvfb display (or a Weston); stopped by its PID."""

    def __init__(self, xvfb, args, env=None, workdir=None):
        self.xvfb = xvfb
        self.args = list(args)
        self.extra_env = dict(env or {})
        self.proc = None
        self.launched = None
        self.stdin = subprocess.DEVNULL  # subprocess.PIPE: write to proc.stdin
        self._own_dir = workdir is None
        self.workdir = workdir or tempfile.mkdtemp(prefix="abacorn-e2e-")
        self.stdout_path = os.path.join(self.workdir, "stdout.txt")
        self.stderr_path = os.path.join(self.workdir, "stderr.txt")

    # Now and then Xvfb refuses a new client's connection (seen with a bare
    # Qt window too: "could not connect to display", about 1 start in 20 when
    # clients come and go quickly). A Qt program then ends at once with
    # status 1; such a start is tried again, up to three times.
    START_TRIES = 3
    START_GRACE = 0.6  # seconds: Qt gives up on the display well within this

    def start(self):
        for attempt in range(self.START_TRIES):
            self.launch()
            if attempt == self.START_TRIES - 1 or not self._refused_by_display():
                break
        return self

    def launch(self):
        """Starts the program once and returns at once, without the grace
        period of start() (for timing the start itself); see refused().
        `launched` is its time.monotonic() just before."""
        env = self.xvfb.env()
        env.update(self.extra_env)
        with open(self.stdout_path, "wb") as out, open(self.stderr_path, "wb") as err:
            self.launched = time.monotonic()
            self.proc = subprocess.Popen(self.args, env=env, stdout=out, stderr=err, stdin=self.stdin)
        return self

    def refused(self):
        """Whether a program that has ended was refused by the display."""
        err = self.output()[1]
        return "could not connect to display" in err or "no display available" in err

    def _refused_by_display(self):
        deadline = time.monotonic() + self.START_GRACE
        while time.monotonic() < deadline:
            if self.proc.poll() is not None:
                return self.refused()
            time.sleep(0.02)
        return False

    @property
    def pid(self):
        return self.proc.pid

    def running(self):
        return self.proc is not None and self.proc.poll() is None

    def wait_exit(self, timeout=20.0):
        return self.proc.wait(timeout)

    def stop(self):
        """Stops the program by its PID; returns its exit status."""
        return _stop_process(self.proc)

    def output(self):
        with open(self.stdout_path, errors="replace") as o, open(self.stderr_path, errors="replace") as e:
            return o.read(), e.read()

    def cleanup(self):
        self.stop()
        if self._own_dir and not os.environ.get("ABACORN_E2E_KEEP"):
            shutil.rmtree(self.workdir, ignore_errors=True)

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.cleanup()

    def wait_for_window(self, name=None, timeout=20.0):
        """Waits for this program's window to be mapped; returns its id."""
        return self.xvfb.wait_for_window(name=name, pid=None if name else self.pid, timeout=timeout)


class Abacorn(Program):
    """The trainer on the xcb platform, speaking to a recording speech
    daemon (ssip_recorder.py) started with it, or to `recorder`, one shared
    with other programs (a screen reader) that the caller stops; binary may
    be a program from anywhere (a copy, an unpacked package). Unless
    record_speech is False (the caller then chooses the voice through the
    environment).

    Its own voice finds no sound server (PULSE_SERVER points nowhere unless
    env names one), so the trainer speaks through Speech Dispatcher: the
    recorder. With screen_reader=True it runs on a session bus of its own
    with the desktop's screen-reader switch on (AccessibilityBus), which
    sends every text to Speech Dispatcher first, whatever sound server it
    has."""

    def __init__(self, xvfb, binary=None, env=None, record_speech=True, recorder=None, screen_reader=False):
        binary = binary or os.path.join(build_dir(), "abacorn")
        super().__init__(xvfb, [binary])
        self.speech_log_path = recorder.log_path if recorder else os.path.join(self.workdir, "speech.log")
        self.record_speech = record_speech
        self.recorder = None  # the one started here
        self.shared_recorder = recorder
        self.screen_reader = screen_reader
        self.bus = None
        self.extra_env.update({"QT_QPA_PLATFORM": "xcb"})
        self.extra_env.update(env or {})

    def start(self):
        if not os.access(self.args[0], os.X_OK):
            raise E2EError("no program at %s (build it first)" % self.args[0])
        try:
            if self.screen_reader and self.bus is None:
                self.bus = AccessibilityBus(self.xvfb, screen_reader=True).__enter__()
                self.extra_env["DBUS_SESSION_BUS_ADDRESS"] = self.bus.address
            if self.record_speech and self.shared_recorder:
                self.extra_env.update(self.shared_recorder.env())
            elif self.record_speech and self.recorder is None:
                open(self.speech_log_path, "w").close()
                self.recorder = ssip_recorder.Recorder(self.workdir, self.speech_log_path)
                self.extra_env.update(self.recorder.env())
            if self.record_speech:
                # Should the program give up on the recorder, its own voice
                # stays silent rather than reach a sound server of this machine.
                self.extra_env.setdefault("PULSE_SERVER", "unix:" + os.path.join(self.workdir, "no-sound-server"))
            return super().start()
        except BaseException:
            self.cleanup()
            raise

    def cleanup(self):
        self.stop()
        if self.recorder is not None:
            self.recorder.stop()
            self.recorder = None
        if self.bus is not None:
            self.bus.__exit__()
            self.bus = None
        super().cleanup()

    def speech(self):
        return read_speech_log(self.speech_log_path)

    def said(self):
        return [e.text for e in self.speech() if e.event == "say"]

    def wait_for_speech(self, check, timeout=20.0):
        """Waits until check(events) is true; returns the events."""
        found = []

        def look():
            events = self.speech()
            if check(events):
                found.append(events)
                return True
            return False
        wait_until(look, timeout, what="speech")
        return found[0]

    def wait_for_say(self, text, timeout=20.0):
        return self.wait_for_speech(lambda ev: any(e.event == "say" and e.text == text for e in ev),
                                    timeout)


class Orca(Program):
    """Debian's Orca screen reader beside the program, as a desktop starts it
    when its screen-reader switch is on: on the session bus of an
    AccessibilityBus (with the switch on), speaking through Speech
    Dispatcher: `recorder` (an ssip_recorder.Recorder with clients=True, to
    tell its speech from the program's), with HOME and XDG directories of its own
    and its settings in memory. start() returns once it has said that it
    runs; stopped by its PID.

    Orca declines to start while another process named "orca" runs for the
    user, and takes that name itself: on a machine shared by several test
    runs, this one neither looks for other runs' nor takes the name. It is
    run from its own script with those two steps left out."""

    LAUNCH = "\n".join([
        "import importlib.machinery, importlib.util, sys",
        "loader = importlib.machinery.SourceFileLoader('orca_script', '/usr/bin/orca')",
        "script = importlib.util.module_from_spec(importlib.util.spec_from_loader('orca_script', loader))",
        "loader.exec_module(script)",
        "script.otherOrcas = lambda: []",
        "script.setProcessName = lambda name: None",
        "sys.argv = ['orca']",
        "sys.exit(script.main())"])

    def __init__(self, xvfb, bus, recorder, timeout=30.0):
        # The system's Python: Orca's modules are Debian packages.
        super().__init__(xvfb, ["/usr/bin/python3", "-c", self.LAUNCH])
        self.timeout = timeout
        self.recorder = recorder
        for name in ("HOME", "XDG_RUNTIME_DIR", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"):
            path = os.path.join(self.workdir, name.lower())
            os.makedirs(path, mode=0o700)
            self.extra_env[name] = path
        self.extra_env.update(recorder.env())
        self.extra_env.update({"DBUS_SESSION_BUS_ADDRESS": bus.address, "GSETTINGS_BACKEND": "memory",
                               # No sound of its own (earcons) into the test's sound server.
                               "PULSE_SERVER": "unix:" + os.path.join(self.workdir, "no-sound-server")})

    @staticmethod
    def is_orca(event):
        """Whether a speech event of a recorder with clients=True is Orca's."""
        return (event.client or "").split(":")[1:2] == ["Orca"]

    @staticmethod
    def words(text):
        """Orca's text without its SSML: "Flash card push button."."""
        return " ".join(re.sub(r"<[^>]*>", " ", text).split())

    def start(self):
        """Starts Orca and waits until it has spoken."""
        super().start()
        try:
            wait_until(lambda: self.proc.poll() is not None or any(
                self.is_orca(e) and e.event == "say" for e in read_speech_log(self.recorder.log_path)),
                self.timeout, interval=0.05, what="Orca to start")
            if self.proc.poll() is not None:
                raise E2EError("Orca ended at start: %s" % "".join(self.output()))
        except BaseException:
            self.cleanup()
            raise
        return self

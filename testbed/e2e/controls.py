# SPDX-License-Identifier: GPL-3.0-or-later
"""The trainer's controls and a session on them: a session (Xvfb and the
program, waiting for the welcome), where controls are on the screen, clicks
on controls and entries of the drop-down lists, dark "ink" in a rectangle,
the focus ring, and waiting for what is said next; and what every binding's
tests share: the Tab walk, the names a screen reader finds, the colours.
"""

import functools
import os
import re
import subprocess

from .processes import E2EError, wait_until, wait_until_idle
from .program import WELCOME, Abacorn, build_dir, monotonic_ms
from .screens import SCREEN_HEIGHT, SCREEN_WIDTH, Xvfb

LAVENDER = (192, 192, 255)
BLACK = (0, 0, 0)
DARK_GREY = (64, 64, 64)
# The focus ring, shown once a key has been used: three pixels wide, a
# pixel clear of the focused control.
FOCUS_RING = (0, 0, 200)
RING_REACH = 4

MIN_ITEMS = ["0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "15", "20", "30", "40", "50", "60",
             "70", "80", "90"]
MAX_ITEMS = ["3", "4", "5", "6", "7", "8", "9", "10", "11", "12", "13", "14", "15", "20", "30", "40",
             "50", "60", "70", "80", "90", "100"]

WHITE, GREEN, RED = (255, 255, 255), (0, 255, 0), (255, 0, 0)

FOR_ANSWER = "click flash card for answer"
WRONG = "wrong answer, try again"

# In standard mode, from the card: the right side, then round to the left
# column; and what a screen reader calls each stop.
STANDARD_WALK = ["picPlus", "picMinus", "picX", "picDivide", "cmbMinNum", "cmbMaxNum", "img123",
                 "lblInteractive", "lblStandard", "lblTimer", "Picture1", "lblClickMe"]
WALK_NAMES = ["Addition", "Subtraction", "Multiplication", "Division", "Smallest number", "Largest number", "Quilla",
              "Interactive mode", "Standard mode", "Timer mode", "Speech on", "Flash card"]
TILES = ["lbl1", "lbl2", "lbl3", "lbl4", "lbl5", "lbl6"]
# What a screen reader finds in the window at start.
NAMES = ["Flash card", "Addition", "Subtraction", "Multiplication", "Division", "Standard mode",
         "Interactive mode", "Timer mode", "Speech on", "Smallest number", "Largest number",
         "Seconds per card", "Close Program", "Quilla", "Quilla writes"]
# How the toolkit the window was designed for names its controls; none may
# reach a listener.
INTERNAL = re.compile(r"^(lbl|cmb|cmd|cdm|pic|frm|frame|lst|shp|img)[A-Z0-9]|"
                      r"^(Label|Frame|Command|Picture|Image|Shape|Timer|Line)\d+$")

# Generous: the machine is shared and the program's pauses count event passes.
TIMEOUT = 60.0


@functools.lru_cache(maxsize=None)
def rect(name, width=SCREEN_WIDTH, height=SCREEN_HEIGHT):
    """(x, y, w, h) of a control on the screen (1920x1080 unless told),
    from control_rect."""
    tool = os.path.join(build_dir(), "tools", "control_rect")
    out = subprocess.run([tool, name, str(width), str(height)],
                         stdout=subprocess.PIPE, check=True, timeout=20).stdout.decode()
    x, y, w, h = (int(v) for v in out.split())
    return x, y, w, h


def centre(r):
    x, y, w, h = r
    return x + w // 2, y + h // 2


def control_centre(name, width=SCREEN_WIDTH, height=SCREEN_HEIGHT):
    """The middle of a control on the screen."""
    return centre(rect(name, width, height))


def near(px, colour, tolerance=2):
    """A pixel within `tolerance` of a colour in every channel."""
    return all(abs(a - b) <= tolerance for a, b in zip(px, colour))


def is_ink(px, limit=96):
    """Dark pixels: black text and rules, also the dark grey dots."""
    return max(px) < limit


def ink_mask(shot, r, limit=96):
    """The rectangle's pixels as a tuple of booleans (dark or not), row by row."""
    img = shot.crop(*r)
    d = img.data
    return tuple(max(d[i], d[i + 1], d[i + 2]) < limit for i in range(0, len(d), 3))


def ink_in(shot, r, limit=96):
    """How many dark pixels the rectangle holds."""
    return sum(ink_mask(shot, r, limit))


def ink_box(shot, r, limit=96):
    """The dark pixels of a rectangle, cut to their bounding box: (w, h,
    mask) or None when there is none. Comparable between two places."""
    x0, y0, w, h = r
    mask = ink_mask(shot, r, limit)
    cols = [i % w for i, v in enumerate(mask) if v]
    rows = [i // w for i, v in enumerate(mask) if v]
    if not cols:
        return None
    left, right, top, bottom = min(cols), max(cols), min(rows), max(rows)
    return (right - left + 1, bottom - top + 1,
            tuple(mask[(top + j) * w + left + i] for j in range(bottom - top + 1)
                  for i in range(right - left + 1)))


def ring_box(shot):
    """(x, y, w, h) around every pixel of the focus ring's colour; None
    when there is none."""
    return colour_box(shot, FOCUS_RING)


def colour_box(shot, colour):
    """(x, y, w, h) around every pixel of exactly that colour (the focus
    ring's, the panel's lavender); None when there is none."""
    d, w = shot.data, shot.width
    pattern = re.compile(re.escape(bytes(colour)))
    xs, ys = [], []
    for m in pattern.finditer(d):
        i = m.start()
        if i % 3 == 0:
            xs.append((i // 3) % w)
            ys.append((i // 3) // w)
    if not xs:
        return None
    return min(xs), min(ys), max(xs) - min(xs) + 1, max(ys) - min(ys) + 1


def ring_around(name, width=SCREEN_WIDTH, height=SCREEN_HEIGHT):
    """Where the focus ring lies when `name` has the focus (on a screen of
    1920x1080 unless told)."""
    x, y, w, h = rect(name, width, height)
    return x - RING_REACH, y - RING_REACH, w + 2 * RING_REACH, h + 2 * RING_REACH


def popup_window(xvfb, pid, window):
    """The drop-down list the program `pid` has open beside its main
    window, as (x, y, w, h)."""
    def look():
        for w in xvfb.find_windows(pid=pid):
            if w == window:
                continue
            g = xvfb.window_geometry(w)
            if g.get("map_state") == "IsViewable":
                return g["x"], g["y"], g["width"], g["height"]
        return None
    return wait_until(look, TIMEOUT, what="the drop-down list to open")


def click_at(xvfb, x, y):
    # `xdotool mousemove --sync` to the place the pointer already is
    # waits about 15 s for a motion that never comes: click in place.
    if xvfb.mouse_location() == (x, y):
        xvfb.click_in_place()
    else:
        xvfb.click(x, y)


def click_control(xvfb, name):
    """Clicks the middle of a control."""
    click_at(xvfb, *control_centre(name))


def pick_with_mouse(xvfb, pid, window, combo, items, entry):
    """Opens a drop-down list with a click and clicks one of its entries.
    The list shows all its entries, one row each, inside a 1-pixel frame."""
    click_at(xvfb, *centre(rect(combo)))
    px, py, pw, ph = popup_window(xvfb, pid, window)
    row = (ph - 2) / len(items)
    i = items.index(entry)
    x, y = px + pw // 2, int(py + 1 + row * i + row / 2)
    # The list opens with the entry shown under the pointer, and a click
    # that does not move from where the list was opened counts as part
    # of opening it: the hand moves over the list first, as a child's does.
    xvfb.mouse_move(x - 15, y)
    click_at(xvfb, x, y)


class Session:
    """Xvfb, the trainer on it, and the window found mapped.

        with Session() as s:            # waits for the welcome
            s.click("lblClickMe")
    """

    def __init__(self, wait_for_welcome=True, program=Abacorn, timeout=TIMEOUT, desktop=None):
        """program: the trainer's class, given the Xvfb (WineAbacorn for
        the Windows build); timeout: how long the window may take;
        desktop: given the Xvfb, starts what runs beside the trainer (a
        window manager) and returns it, stopped (stop()) after the
        trainer. The welcome, and every wait here that may span one of
        the trainer's pauses, may take as long as the program's pass cost
        makes it (Program.pause_limit)."""
        self.wait_for_welcome = wait_for_welcome
        self.program = program
        self.timeout = timeout
        self.desktop = desktop
        self.x = None
        self.app = None
        self.beside = None
        self.window = None
        self.mapped_ms = None  # CLOCK_MONOTONIC ms at which the window was seen mapped

    def __enter__(self):
        self.x = Xvfb().start()
        try:
            if self.desktop is not None:
                self.beside = self.desktop(self.x)
            self.app = self.program(self.x).start()
            self.window = self.app.wait_for_window(timeout=self.timeout)
            self.mapped_ms = monotonic_ms()
            if self.wait_for_welcome:
                self.app.wait_for_welcome()
        except BaseException:
            self.__exit__()
            raise
        return self

    def __exit__(self, *exc):
        try:
            if self.app is not None:
                self.app.cleanup()
        finally:
            try:
                if self.beside is not None:
                    self.beside.stop()
            finally:
                self.x.stop()

    # --- input ---

    def click_at(self, x, y):
        click_at(self.x, x, y)

    # The screen the window covers, in the pixels rect() gives.
    screen = (SCREEN_WIDTH, SCREEN_HEIGHT)

    def rect(self, name):
        """(x, y, w, h) of a control on this session's screen."""
        return rect(name, *self.screen)

    def click(self, name):
        """Clicks the middle of a control."""
        self.click_at(*centre(self.rect(name)))

    def clicks(self, name, count=2, delay_ms=60):
        """Clicks the middle of a control `count` times, `delay_ms` apart
        (60 ms: a double click; beyond the desktop's double-click interval,
        400 ms here: separate clicks)."""
        x, y = centre(self.rect(name))
        if self.x.mouse_location() != (x, y):
            self.x.mouse_move(x, y)
        self.x.pace(x, y)
        self.x.run(["xdotool", "click", "--repeat", str(count), "--delay", str(delay_ms), "1"])
        self.x.clicked(x, y)

    def popup_window(self):
        """The drop-down list the program has open, as (x, y, w, h)."""
        return popup_window(self.x, self.app.pid, self.window)

    def pick_with_mouse(self, combo, items, entry):
        pick_with_mouse(self.x, self.app.pid, self.window, combo, items, entry)

    def key(self, *keys):
        """Real key presses (xdotool key names: "space", "Tab", "ctrl+q")."""
        self.x.key(*keys)

    STOPS = ["lblInteractive", "lblStandard", "lblTimer", "lstTimer", "Picture1", "Picture2", "lblClickMe",
             "picPlus", "picMinus", "picX", "picDivide", "cmbMinNum", "cmbMaxNum", "lbl1", "lbl2", "lbl3", "lbl4",
             "lbl5", "lbl6", "img123"]

    def focused(self, shot=None):
        """The control the focus ring surrounds; None without a ring,
        "?" for a ring around no control."""
        box = ring_box(shot or self.shot())
        return next((n for n in self.STOPS if ring_around(n, *self.screen) == box), "?") if box else None

    def press(self, key):
        """Presses a key that moves the focus; returns the control the ring
        then surrounds."""
        before = ring_box(self.shot())
        self.key(key)
        return wait_until(lambda: (lambda b: b != before and self.focused() if b else None)(
            ring_box(self.shot())), self.app.pause_limit(), interval=0.05, what="the focus ring to move on " + key)

    def tab_to(self, name, limit=30):
        """Presses Tab until the focus ring surrounds `name`."""
        if self.focused() == name:
            return
        for _ in range(limit):
            if self.press("Tab") == name:
                return
        raise E2EError("Tab never reached " + name)

    def focus_combo(self, combo):
        """Gives a drop-down list the keyboard focus: a click opens it,
        Escape closes it again without a pick."""
        self.click(combo)
        self.popup_window()
        self.x.key("Escape")
        wait_until(lambda: len(self.x.find_windows(pid=self.app.pid)) == 1, TIMEOUT,
                          what="the drop-down list to close")

    def wait_until_idle(self, quiet_s=0.5):
        """Waits until the program waits for input (see wait_until_idle)."""
        wait_until_idle(self.app.pid, quiet_s, self.app.pause_limit())

    # --- what is seen and heard ---

    def shot(self):
        return self.x.screenshot()

    def wait_for_shot(self, check, what="the screen"):
        """Takes screenshots until check(shot) holds; returns that shot."""
        return wait_until(lambda: (lambda s: s if check(s) else None)(self.shot()),
                          self.app.pause_limit(), interval=0.05, what=what)

    def said(self):
        return self.app.said()

    def wait_for_says(self, count, after=0):
        """Waits until at least `count` texts follow the first `after`; returns
        all texts said after those `after`."""
        wait_until(lambda: len(self.said()) >= after + count, self.app.pause_limit(),
                   what="%d more spoken texts (have %r)" % (count, self.said()[after:]))
        return self.said()[after:]

    def wait_for_text(self, text, after=0, timeout=None):
        """Waits until `text` is said after the first `after` texts; returns
        all texts said after those."""
        wait_until(lambda: text in self.said()[after:], timeout or self.app.pause_limit(),
                   what="%r to be said (have %r)" % (text, self.said()[after:]))
        return self.said()[after:]

# SPDX-License-Identifier: GPL-3.0-or-later
"""The card cycle heard answer by answer: the trainer on a real voice,
clicked through XTest, its sound taken from a Recording, each answer's
fate a Text (lost, or heard with its onset and length)."""

import ctypes
import time

from .controls import MAX_ITEMS, MIN_ITEMS, TIMEOUT, control_centre, pick_with_mouse, rect
from .images import Screen
from .processes import E2EError, wait_until
from .recordings import RATE


# --- the card cycle, heard --------------------------------------------------------------
# Every card 10 + 10 (both range lists at 10): every answer is the same text,
# "20", and a text heard in full is one as long as the others.

LOST_AFTER = 3.0  # seconds from a reveal click without sound, the answer shown
QUIET = 0.3  # seconds of silence that end a text (the answer is one word)


class XTest:
    """Pointer motion and clicks straight to the X server, and a quick look
    at a few pixels (a full screenshot takes a good part of a second)."""

    def __init__(self, display):
        self.x11 = ctypes.CDLL("libX11.so.6")
        self.xtst = ctypes.CDLL("libXtst.so.6")
        self.x11.XOpenDisplay.restype = ctypes.c_void_p
        self.x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        for f in (self.x11.XSync, self.x11.XCloseDisplay, self.xtst.XTestFakeButtonEvent,
                  self.xtst.XTestFakeMotionEvent):
            f.restype = ctypes.c_int
        self.x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        self.x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self.xtst.XTestFakeButtonEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
        self.xtst.XTestFakeKeyEvent.restype = ctypes.c_int
        self.xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
        self.x11.XKeysymToKeycode.restype = ctypes.c_ubyte
        self.x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        self.xtst.XTestFakeMotionEvent.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int, ctypes.c_int,
                                                   ctypes.c_ulong]
        self.dpy = self.x11.XOpenDisplay(display.encode())
        if not self.dpy:
            raise E2EError("cannot open display %s" % display)
        self.screen = Screen(display)

    def move(self, x, y):
        self.xtst.XTestFakeMotionEvent(self.dpy, -1, x, y, 0)
        self.x11.XSync(self.dpy, 0)

    def click(self):
        """Press and release in place; returns time.monotonic() once the
        server has both."""
        self.xtst.XTestFakeButtonEvent(self.dpy, 1, 1, 0)
        self.xtst.XTestFakeButtonEvent(self.dpy, 1, 0, 0)
        self.x11.XSync(self.dpy, 0)
        return time.monotonic()

    def key(self, keysym=0x20):
        """Press and release of a key (Space by default); returns
        time.monotonic() once the server has both."""
        code = self.x11.XKeysymToKeycode(self.dpy, keysym)
        self.xtst.XTestFakeKeyEvent(self.dpy, code, 1, 0)
        self.xtst.XTestFakeKeyEvent(self.dpy, code, 0, 0)
        self.x11.XSync(self.dpy, 0)
        return time.monotonic()

    def ink(self, rect, limit=96):
        """How many dark pixels the screen's rectangle holds (as ink_in)."""
        return sum(1 for px in self.screen.strip(*rect) if max(px) < limit)

    def close(self):
        self.screen.close()
        self.x11.XCloseDisplay(self.dpy)


class Text:
    """One answer's fate: lost (no sound), or heard with its onset after the
    click (ms), where its stream began (ms) and how long it sounded (s)."""

    def __init__(self, onset_ms=None, stream_ms=None, length=None):
        self.onset_ms, self.stream_ms, self.length = onset_ms, stream_ms, length

    @property
    def lost(self):
        return self.onset_ms is None


class HeardCards:
    """The trainer on a real voice, heard through a Recording and clicked
    with XTest: each text() is one answer handed to the voice after a silent
    deal; the answer label, read back from the screen, keeps the clicks in
    step with the cards."""

    def __init__(self, x, rec, xt, app, threshold, reveal_by_key=False):
        self.x, self.rec, self.xt, self.app, self.threshold = x, rec, xt, app, threshold
        # The reveal by Space on the card (it has the focus after a click on
        # it) instead of a click.
        self.reveal = xt.key if reveal_by_key else xt.click
        self.card = control_centre("lblClickMe")
        self.answer = rect("lbln3")
        self.top = rect("lbln1")
        self.strays = 0
        self.resyncs = 0

    def sound(self, start, timeout):
        return self.rec.wait_for_sound(start, timeout, self.threshold)

    def silence(self, start, quiet=QUIET):
        return self.rec.wait_for_silence(start, quiet=quiet, timeout=TIMEOUT, threshold=self.threshold)

    def answer_shown(self):
        return self.xt.ink(self.answer) > 0

    def question_shown(self):
        return not self.answer_shown() and self.xt.ink(self.top) > 0

    def start(self):
        """Window, the welcome in full, the range 10 to 10, the hints."""
        started = self.rec.now_index()
        window = self.app.wait_for_window(timeout=TIMEOUT)
        self.silence(self.sound(started, TIMEOUT), quiet=0.8)
        for combo, items in (("cmbMaxNum", MAX_ITEMS), ("cmbMinNum", MIN_ITEMS)):
            picked = self.rec.now_index()
            pick_with_mouse(self.x, self.app.pid, window, combo, items, "10")
            self.silence(self.sound(picked, TIMEOUT), quiet=0.8)
        self.xt.move(*self.card)
        # The first answer and the next deal carry one-time hints.
        for _ in range(4):
            clicked = self.rec.index_at(self.xt.click())
            time.sleep(0.3)
            self.silence(clicked, quiet=0.8)

    def deal(self):
        """Clicks until the card shows a question; counts sound as stray."""
        for _ in range(3):
            if self.question_shown():
                return
            clicked = self.rec.index_at(self.xt.click())
            wait_until(lambda: not self.answer_shown(), TIMEOUT, interval=0.02, what="the answer hidden")
            wait_until(self.question_shown, TIMEOUT, interval=0.02, what="the next question")
            end = self.silence(clicked)
            if end > clicked:
                self.strays += 1
        raise E2EError("the card shows no question")

    def text(self):
        """Deals, reveals, and hears what the reveal says."""
        self.deal()
        while True:
            clicked = self.reveal()
            at = self.rec.index_at(clicked)
            first = self.first_sound(at)
            if first is None and not self.answer_shown():
                # The click did not reveal the answer (the window was still
                # busy): no text was handed to the voice.
                self.resyncs += 1
                if self.question_shown():
                    continue
                self.deal()
                continue
            break
        return self.heard(clicked, first)

    def first_sound(self, at):
        """The first audible sample from just before index `at`; None when
        none comes within LOST_AFTER."""
        try:
            return self.sound(at - RATE // 10, LOST_AFTER)
        except E2EError:
            return None

    def heard(self, handed, first, quiet=QUIET):
        """The Text of a sound whose first audible sample is `first` (None:
        none came), timed from time.monotonic() `handed`; returns after
        `quiet` seconds of silence."""
        at = self.rec.index_at(handed)
        if first is None:
            self.silence(at, quiet)
            return Text()
        begin = self.rec.audio(at - RATE // 10).first_audible(at - RATE // 10, 0)
        end = self.silence(first, quiet)
        return Text((self.rec.time_of(first) - handed) * 1000.0, (self.rec.time_of(begin) - handed) * 1000.0,
                    (end - first) / RATE)

    def said_by(self, client, text):
        """The Text of `text` said through a bare SsipClient, the trainer idle.
        Each waits until the one before has ended in the daemon too: it
        reports a text's end only once the sound server has played the
        voice's quiet tail, and a text sent before waits for that."""
        handed = client.say(text)
        return self.heard(handed, self.first_sound(self.rec.index_at(handed)), quiet=1.0)

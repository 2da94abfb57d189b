# SPDX-License-Identifier: GPL-3.0-or-later
"""Which voice speaks, on a desktop of the test's own: a session bus with the
accessibility bus, a PulseAudio server with a null sink that is recorded,
and the recording SSIP server in Speech Dispatcher's place, all three
reachable by the trainer. Its own voice speaks unless the desktop's
screen-reader switch is on, before the start or during the run (IsEnabled
alone is no such switch); then every text goes to Speech Dispatcher. Beside
Orca, both are heard through Speech Dispatcher and the trainer cancels only
its own speech. A second start brings the running trainer to the front and
ends. On a bus that keeps the switch's calls waiting, the trainer built with
the sanitizers starts and closes cleanly, again and again."""
import os
import shutil
import sys
import time
import unittest
from contextlib import ExitStack

from testbed import e2e
from testbed.e2e import RATE

TIMEOUT = 30.0
THRESHOLD = 300  # silence on a null sink is exact zeros
# How much recording past a text's arrival elsewhere is looked at for a
# sound it should not have made: the own voice is heard well within it.
LISTEN = 1.5


class Desktop:
    """The bus with its switches as in `status`, the recording SSIP server
    (each line naming its client) and Orca when asked; trainer() starts
    one on it, with the class's sound server. Everything stops with it."""

    def __init__(self, test, status=None, orca=False):
        self.t, self.status, self.with_orca = test, status or {}, orca
        self.orca = None

    def __enter__(self):
        with ExitStack() as stack:
            self.dir = e2e.private_dir("abacorn-voice-order-")
            stack.callback(shutil.rmtree, self.dir, ignore_errors=True)
            self.bus = stack.enter_context(e2e.AccessibilityBus(self.t.x))
            for name, on in self.status.items():
                self.bus.set_status(name, on)
            self.recorder = e2e.ssip_recorder.Recorder(self.dir, os.path.join(self.dir, "speech.log"), clients=True)
            stack.callback(self.recorder.stop)
            if self.with_orca:
                self.orca = stack.enter_context(e2e.Orca(self.t.x, self.bus, self.recorder))
            self.stack = stack.pop_all()
        return self

    def __exit__(self, *exc):
        self.stack.close()

    def trainer(self, window=True):
        """A trainer started on this desktop; window: once its window is mapped."""
        env = dict(self.t.pulse.client_env(), DBUS_SESSION_BUS_ADDRESS=self.bus.address)
        app = self.stack.enter_context(e2e.Abacorn(self.t.x, env=env, recorder=self.recorder))
        if window:
            app.wait_for_window(timeout=TIMEOUT)
        return app

    def speech(self, orca=False):
        """What reached the SSIP server from the trainers (or from Orca)."""
        return [e for e in e2e.read_speech_log(self.recorder.log_path) if e2e.Orca.is_orca(e) == orca]

    def said(self):
        return [e.text for e in self.speech() if e.event == "say"]

    def wait_for_said(self, text):
        e2e.wait_until(lambda: text in self.said(), TIMEOUT, what="%r at the SSIP server (have %r)"
                       % (text, self.said()))

    def wait_for_orca(self, words, after=0):
        """Waits until Orca says something holding `words` in its text
        number `after` or later; returns that text's number."""
        def look():
            texts = [e2e.Orca.words(e.text) for e in self.speech(orca=True) if e.event == "say"]
            return next((i + 1 for i in range(after, len(texts)) if words in texts[i]), None)
        return e2e.wait_until(look, TIMEOUT, what="Orca to say %r" % words) - 1

    def settle(self):
        """Returns once the trainer's window thread has taken up every change
        of the switch told before: a call to an object of the trainer's is
        answered from that thread, after them."""
        ok, out = self.bus.call("io.github.abacorn.Abacorn", "/io/github/abacorn/Abacorn",
                                "org.freedesktop.DBus.Introspectable.Introspect")
        self.t.assertTrue(ok, out)


class VoiceOrderTest(e2e.OwnVoiceTestCase):
    TOOLS = ("dbus-daemon", "dbus-send", "/usr/libexec/at-spi-bus-launcher", "xmessage", "xwininfo")
    DIR_PREFIX = "abacorn-voice-order-rec-"

    def setUp(self):
        self.x.mouse_move(2, 2)

    # --- the sink ---

    def heard(self, start):
        """A text heard on the sink from index `start` on: (first, end) indices."""
        first = self.rec.wait_for_sound(start, TIMEOUT, THRESHOLD)
        return first, self.rec.wait_for_silence(first, quiet=0.8, timeout=TIMEOUT, threshold=THRESHOLD)

    def assert_quiet(self, since, what):
        """Nothing sounded on the sink from index `since` to LISTEN seconds
        from now."""
        until = self.rec.now_index() + int(LISTEN * RATE)
        e2e.wait_until(lambda: len(self.rec) >= until, TIMEOUT, what="the recording to go on")
        loud = self.rec.audio(since).first_audible(since, THRESHOLD)
        if loud is not None and loud < until:
            self.fail("sound on the sink %.2f s after %s" % ((loud - since) / RATE, what))

    def click(self, name):
        """Clicks a control; returns the recording's index at the click."""
        i = self.rec.now_index()
        e2e.click_control(self.x, name)
        return i

    # --- the tests ---

    def test_own_voice_speaks_first_and_speech_dispatcher_is_left_alone(self):
        # The switch off, and IsEnabled alone, which Orca sets and leaves
        # set after it ends: no sign of a screen reader.
        for status in ({}, {"IsEnabled": True}):
            with self.subTest(status=status), Desktop(self, status) as desktop:
                started = self.rec.now_index()
                desktop.trainer()
                begin, end = self.heard(started)
                self.assertGreater((end - begin) / RATE, 1.5, "the welcome is too short to be the sentence")
                self.heard(self.click("picMinus"))
                self.assertEqual(desktop.speech(), [], "reached the SSIP server")

    def test_screen_reader_switch_on_before_start(self):
        with Desktop(self, {"ScreenReaderEnabled": True}) as desktop:
            started = self.rec.now_index()
            desktop.trainer()
            desktop.wait_for_said(e2e.WELCOME)
            self.click("picMinus")
            desktop.wait_for_said("subtraction")
            self.assert_quiet(started, "the start")

    def test_screen_reader_switch_on_mid_run_and_stays_on(self):
        with Desktop(self) as desktop:
            started = self.rec.now_index()
            desktop.trainer()
            self.heard(started)
            switched = self.rec.now_index()
            desktop.bus.set_status("ScreenReaderEnabled", True)
            desktop.settle()
            self.click("picMinus")
            desktop.wait_for_said("subtraction")
            # Switched off again, the trainer stays where the screen reader is.
            desktop.bus.set_status("ScreenReaderEnabled", False)
            desktop.settle()
            self.click("picX")
            desktop.wait_for_said("multiplication")
            self.assertNotIn(e2e.WELCOME, desktop.said())
            self.assert_quiet(switched, "the switch")

    def test_beside_orca(self):
        """Orca started first, with the switch on, as a desktop starts it;
        then the trainer. Both speak through the same SSIP server."""
        if not os.path.exists("/usr/bin/orca"):
            self.skipTest("orca is not installed (scripts/common.sh installs it)")
        with Desktop(self, {"ScreenReaderEnabled": True}, orca=True) as desktop:
            started = self.rec.now_index()
            app = desktop.trainer()
            card = desktop.wait_for_orca("Flash card")
            desktop.wait_for_said(e2e.WELCOME)
            # Tab from the card to the first operation picture: Orca names it.
            self.x.key("Tab")
            desktop.wait_for_orca("Addition", after=card + 1)
            # Space on it: the trainer's answer.
            self.x.key("space")
            desktop.wait_for_said("addition")
            self.assertTrue(app.running())
            stops = [e for e in desktop.speech() if e.event == "stop"]
            self.assertTrue(stops, "the trainer never cancelled its speech before a new text")
            for stop in stops:
                self.assertEqual(stop.text, stop.client, "a cancel of the trainer's ended others' speech")
            self.assert_quiet(started, "the start")

    def test_a_second_start_hands_over_to_the_first(self):
        with Desktop(self) as desktop:
            started = self.rec.now_index()
            window = desktop.trainer().wait_for_window(timeout=TIMEOUT)
            self.heard(started)
            # Another program's window in front of the trainer.
            cover = desktop.stack.enter_context(e2e.Program(self.x, ["xmessage", "-geometry", "400x300+100+100",
                                                                     "in front"]))
            covering = cover.wait_for_window(name="^xmessage$", timeout=TIMEOUT)

            def in_front():
                stacking = self.x.stacking()
                return stacking.index(window) < stacking.index(covering)
            self.assertFalse(in_front())
            launched = self.rec.now_index()
            second = desktop.trainer(window=False)
            status = second.wait_exit(TIMEOUT)
            took = time.monotonic() - second.launched
            self.assertEqual(status, 0, second.output()[1])
            self.assertLess(took, 2.0, "the second start took %.2f s to end" % took)
            # The running trainer came to the front.
            e2e.wait_until(in_front, TIMEOUT, what="the trainer in front of the other window")
            self.assert_quiet(launched, "the second start")
            self.assertEqual(desktop.speech(), [], "reached the SSIP server")
            # The first still answers.
            self.heard(self.click("picMinus"))


class SlowBusTest(unittest.TestCase):
    """The trainer built with AddressSanitizer and UndefinedBehaviorSanitizer
    (scripts/build-sanitized.sh builds it beside the sanitized logic) on a
    session bus slow to take each client on, and whose every call about the
    accessibility bus is then held back: the reading of the switch waits for
    answers that do not come, as from a launcher that hangs. Qt's own accessibility bridge would wait too, on
    the window's thread, 25 s for each of its calls: pointed straight at an
    accessibility bus (none here), it leaves the session bus alone. Started,
    greeted and closed with Ctrl+Q at once, RUNS times: every start ends by
    itself with status 0 and without a sanitizer's report (a
    reading thread that outlived the switch and touched it would make one,
    at the latest when the bus goes at exit)."""

    RUNS = 50
    # Each connection is taken on only after this long, as by the bus of a
    # loaded desktop: the trainer's threads connect while the window is
    # built. (Qt's own accessibility bridge, on the window's thread, waits
    # for the same connection: the window comes after it.)
    ACCEPT_AFTER = 1.0

    def test_started_and_closed_at_once_on_a_slow_bus_with_no_report(self):
        binary = os.path.join(e2e.build_dir() + "-sanitize", "abacorn")
        self.assertTrue(os.access(binary, os.X_OK), "no sanitized trainer at %s" % binary)
        env = {"ASAN_OPTIONS": "detect_leaks=0:detect_stack_use_after_return=1:abort_on_error=1",
               "UBSAN_OPTIONS": "print_stacktrace=1:halt_on_error=1",
               "AT_SPI_BUS_ADDRESS": "unix:path=/nonexistent/abacorn-no-accessibility-bus"}
        closes = []
        # The sanitized trainer's start-up pause on a loaded machine: the
        # first start may take as long as it takes (the limit only catches a
        # hang), the others are held to what the slowest so far took.
        welcome_limit, slowest = 600.0, 0.0
        with e2e.Xvfb() as x, e2e.AccessibilityBus(x) as bus, \
                e2e.BusProxy(bus, hold=lambda message: b"org.a11y" in message,
                             accept_after=self.ACCEPT_AFTER) as proxy:
            env.update(proxy.client_env())
            for run in range(self.RUNS):
                with e2e.Abacorn(x, binary=binary, env=env) as app:
                    app.wait_for_window(timeout=welcome_limit)
                    shown = time.monotonic()
                    app.wait_for_say(e2e.WELCOME, timeout=welcome_limit)
                    slowest = max(slowest, time.monotonic() - shown)
                    welcome_limit = max(TIMEOUT, 10 * slowest)
                    closed = time.monotonic()
                    x.key("ctrl+q")
                    status = app.wait_exit(TIMEOUT)
                    closes.append(time.monotonic() - closed)
                    err = app.output()[1]
                    self.assertEqual(status, 0, "start %d: %s" % (run + 1, err))
                    self.assertNotIn("Sanitizer", err, "start %d" % (run + 1))
                    self.assertNotIn("runtime error", err, "start %d" % (run + 1))
            # The switch's calls did reach the proxy, and were held there.
            self.assertTrue(any(b"ScreenReaderEnabled" in c for c in proxy.calls()))
        closes.sort()
        print("\nCtrl+Q to the end, %d starts: median %.2f s, slowest %.2f s"
              % (len(closes), closes[len(closes) // 2], closes[-1]), file=sys.stderr)


if __name__ == "__main__":
    unittest.main(verbosity=2)

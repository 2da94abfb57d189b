# SPDX-License-Identifier: GPL-3.0-or-later
"""The program under test: any program on a screen (Program), the trainer
(Abacorn) speaking to a recording speech daemon of the test's own
(ssip_recorder.py), and that daemon's log of every text and every cancel.
Its own voice, which would speak first, finds no sound server (or the
desktop's screen-reader switch is on, see Abacorn).

Environment:
    ABACORN_BUILD_DIR   the CMake build directory (default: <repo>/build);
                        the program is <build>/abacorn.
"""

import collections
import os
import shutil
import subprocess
import tempfile
import time

from . import ssip_recorder
from .buses import AccessibilityBus
from .passes import CARD_PASSES, MARGIN_S, STARTUP_PASSES, PassCost
from .processes import E2EError, stop_process, wait_until

WELCOME = "welcome to abacorn, standard mode. click on flashcard to begin."


def build_dir():
    d = os.environ.get("ABACORN_BUILD_DIR")
    if d:
        return d
    return os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "build")


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
        self.passes = PassCost()
        self.shown_ms = None  # when the window was first seen mapped, on the speech log's clock

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
        return stop_process(self.proc)

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
        window = self.xvfb.wait_for_window(name=name, pid=None if name else self.pid, timeout=timeout)
        if self.shown_ms is None:
            self.shown_ms = monotonic_ms()
        return window

    def pause_limit(self, passes=CARD_PASSES):
        """How long a wait that includes one of the trainer's pauses of
        `passes` may take: from the pass cost measured in this run, once
        known; before, a generous margin (a pass of the Qt build costs
        well under a microsecond)."""
        return self.passes.limit(passes) if self.passes.known() else MARGIN_S


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

    def wait_for_welcome(self, timeout=None):
        """Waits for the welcome, which follows the start-up pause, and notes
        what that pause (from the window first seen mapped) tells of a
        pass's cost."""
        events = self.wait_for_say(WELCOME, timeout or self.pause_limit(STARTUP_PASSES))
        welcome = next(e for e in events if e.event == "say" and e.text == WELCOME)
        self.passes.note("start-up pause", STARTUP_PASSES, (welcome.t_ms - self.shown_ms) / 1000)
        return events

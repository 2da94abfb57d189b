#!/usr/bin/env python3
"""Click on the card -> first audible sample, with flite as the only speech
engine, playing into a PulseAudio server of our own (a null sink, recorded
through its monitor with parec).

The engine is ready once the welcome has been heard in full; the first
cycle (whose hints are said once) is gone through, then each run deals a
card, waits for quiet, and clicks the card to reveal the answer. The click
is sent with XTest through libX11 (ctypes) and timed once the X server has
taken it (XSync). The recording is put on the same clock: the sink's monitor
runs steadily, so sample i sounded at t0 + i / rate, t0 being the earliest
start consistent with the arrival time of every piece read from parec. The
onset is the first sample whose magnitude is above the threshold. Also
printed: when the stream itself begins (the first non-zero sample; the null
sink plays exact zeros otherwise), which tells the way to the sink apart
from the quiet lead-in at the start of the voice's own waveform.

    run_audio_bench.py [--build DIR] [--runs N] [--threshold N]

Every process started here is stopped by its PID.
"""
import argparse
import ctypes
import os
import shutil
import statistics
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))
import e2elib  # noqa: E402
import realvoice  # noqa: E402

GOAL_MS = 60
TIMEOUT = 30.0


class XTest:
    """Pointer motion and clicks straight to the X server."""

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
        self.xtst.XTestFakeMotionEvent.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int, ctypes.c_int,
                                                   ctypes.c_ulong]
        self.dpy = self.x11.XOpenDisplay(display.encode())
        if not self.dpy:
            raise e2elib.E2EError("cannot open display %s" % display)

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

    def close(self):
        self.x11.XCloseDisplay(self.dpy)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--build", default=None, help="the CMake build directory")
    ap.add_argument("--runs", type=int, default=7)
    ap.add_argument("--threshold", type=int, default=300,
                    help="sample magnitude counted as audible (of 32767); default 300")
    args = ap.parse_args()
    if args.build:
        os.environ["ABACORN_BUILD_DIR"] = os.path.abspath(args.build)
    runs = max(5, args.runs)
    for tool in ("Xvfb", "pulseaudio", "parec", "pactl"):
        if not shutil.which(tool):
            print("skipped: %s is not installed" % tool)
            return 0
    if not os.path.exists(realvoice.FLITE_PLUGIN):
        print("skipped: Qt's flite plugin is not installed")
        return 0
    realvoice.clean_environment()

    home = realvoice.private_dir("abacorn-audio-bench-")
    x = pulse = rec = xt = None
    try:
        program = realvoice.flite_only_program(home)
        card = realvoice.control_centre("lblClickMe")
        x = e2elib.Xvfb().start()
        pulse = realvoice.PulseServer().start()
        rec = pulse.record(os.path.join(home, "rec.raw")).wait_started()
        xt = XTest(x.display)
        xt.move(2, 2)
        quiet = dict(quiet=0.8, timeout=TIMEOUT, threshold=args.threshold)
        with realvoice.trainer(x, program, home, pulse.client_env()) as app:
            started = rec.now_index()
            app.wait_for_window(timeout=TIMEOUT)
            # The engine is ready: the welcome is heard, to its end.
            rec.wait_for_silence(rec.wait_for_sound(started, TIMEOUT, args.threshold), **quiet)
            xt.move(*card)
            # The first cycle, with its hints.
            for _ in range(2):
                i = rec.index_at(xt.click())
                rec.wait_for_silence(rec.wait_for_sound(i, TIMEOUT, args.threshold), **quiet)
            onsets, starts, lost = [], [], 0
            while len(onsets) < runs and lost < runs:
                rec.wait_for_silence(rec.index_at(xt.click()), **quiet)  # a new card, said nothing
                clicked = xt.click()
                try:
                    first = rec.wait_for_sound(rec.index_at(clicked) - realvoice.RATE // 10, 5.0,
                                               args.threshold)
                except e2elib.E2EError:
                    # Qt's flite engine gives up on a text now and then
                    # ("Audio streaming error", its audio sink ran dry):
                    # that answer is never heard. Counted, not timed.
                    lost += 1
                    continue
                onsets.append((rec.time_of(first) - clicked) * 1000.0)
                # Where the played stream begins (a null sink is exact zeros
                # otherwise): the rest is the voice's own lead-in.
                begin = rec.audio().first_audible(rec.index_at(clicked) - realvoice.RATE // 10, 0)
                starts.append((rec.time_of(begin) - clicked) * 1000.0)
                rec.wait_for_silence(first, **quiet)
            realvoice.click_control(x, "Command1")
            app.wait_exit(TIMEOUT)
    finally:
        if xt:
            xt.close()
        if rec:
            rec.stop()
        if pulse:
            pulse.stop()
        if x:
            x.stop()
        shutil.rmtree(home, ignore_errors=True)

    if not onsets:
        print("no answer was heard in %d tries" % lost)
        return 1
    early = [o for o in onsets if o < 0]
    print("click -> first audible sample (flite, own PulseAudio, null sink; |sample| > %d)" % args.threshold)
    print("  runs %d: min %.1f ms, median %.1f ms, max %.1f ms (goal <= %d ms)"
          % (len(onsets), min(onsets), statistics.median(onsets), max(onsets), GOAL_MS))
    print("  each: " + ", ".join("%.1f" % o for o in onsets))
    print("  first non-zero sample (the stream reaching the sink): median %.1f ms; the rest is the"
          " voice's quiet lead-in" % statistics.median(starts))
    if lost:
        print("  %d answers never heard (the engine's audio stream broke), not counted" % lost)
    if early:
        print("  warning: %d onsets before their click (sound from an earlier text?)" % len(early))
    return 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Speech Dispatcher stopped after start: how long after the click the next
text is heard. The trainer speaks with the voice beside a screen reader, set
up by run_audio_bench.py's voice_run (a speech-dispatcher of our own, the
screen-reader switch on), into a PulseAudio server of our own (null sink,
recorded through its monitor as run_audio_bench.py does); once the welcome has been heard in full the
daemon is stopped with SIGSTOP, as a daemon that hangs, and the card is
clicked: the first deal's hint is handed to Speech Dispatcher, which never
begins it, and the trainer's own voice is to say it instead. Measured: click
-> first audible sample, and the same for the answer at the next click (the
own voice by then). Each run starts a fresh daemon and program.

    run_stopped_daemon.py [--build DIR] [--runs N]

Every process started here is stopped by its PID.
"""
import argparse
import os
import shutil
import statistics
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, ROOT)  # the harness, testbed.e2e
from testbed import e2e  # noqa: E402
from run_audio_bench import voice_run, voices_here  # noqa: E402

GOAL_S = 2.0
TIMEOUT = 30.0
THRESHOLD = 300


def heard_after(rec, clicked):
    """Seconds from the click (time.monotonic()) to the first audible sample."""
    first = rec.wait_for_sound(rec.index_at(clicked), TIMEOUT, THRESHOLD)
    rec.wait_for_silence(first, quiet=0.8, timeout=TIMEOUT, threshold=THRESHOLD)
    return rec.time_of(first) - clicked


def one_run(x, pulse, rec):
    with voice_run("screen-reader", x, pulse) as trainer:
        daemon = trainer.daemon
        try:
            with trainer as app:
                started = rec.now_index()
                app.wait_for_window(timeout=TIMEOUT)
                rec.wait_for_silence(rec.wait_for_sound(started, TIMEOUT, THRESHOLD), quiet=0.8,
                                     timeout=TIMEOUT, threshold=THRESHOLD)
                daemon.pause()
                # Timed from before xdotool starts: an upper bound.
                clicked = time.monotonic()
                e2e.click_control(x, "lblClickMe")
                hint = heard_after(rec, clicked)
                clicked = time.monotonic()
                e2e.click_control(x, "lblClickMe")  # in place: no motion to wait for
                answer = heard_after(rec, clicked)
                gave_up = "did not begin" in app.output()[1]
                e2e.click_control(x, "Command1")
                app.wait_exit(TIMEOUT)
                return hint, answer, gave_up
        finally:
            daemon.resume()


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--build", default=None, help="the CMake build directory")
    ap.add_argument("--runs", type=int, default=5, help="runs (default 5)")
    args = ap.parse_args()
    # Speech Dispatcher stops, the embedded voice takes over: both are needed.
    if len(voices_here(args, ("xdotool",), voice="both")) < 2:
        return 0
    hints, answers, gave_up = [], [], 0
    home = e2e.private_dir("abacorn-stopped-rec-")
    try:
        with e2e.Xvfb() as x, e2e.PulseServer() as pulse, \
                pulse.record(os.path.join(home, "rec.raw")) as rec:
            rec.wait_started()
            x.mouse_move(2, 2)
            for _ in range(args.runs):
                hint, answer, given_up = one_run(x, pulse, rec)
                hints.append(hint)
                answers.append(answer)
                gave_up += given_up
    finally:
        shutil.rmtree(home, ignore_errors=True)

    def spread(values):
        return "%.2f / %.2f / %.2f" % (min(values), statistics.median(values), max(values))
    print("Speech Dispatcher stopped (SIGSTOP) after the welcome, %d runs (s, min / median / max)" % args.runs)
    print("  click -> the next text heard (the own voice, in place)  %s   (goal <= %.1f)" % (spread(hints), GOAL_S))
    print("  click -> the text after it heard (the own voice)         %s" % spread(answers))
    print("  runs in which the trainer said it gave Speech Dispatcher up: %d of %d" % (gave_up, args.runs))
    return 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The first word: for a default start of the trainer and for a start
with the desktop's screen-reader switch on, the time from exec to the
welcome's first audible sample, the program's own CPU time in its first
5 s, and its peak RSS then (the welcome spoken, start-up over).

Each start as run_audio_bench.py's voice_run sets it up:
- a start with the screen-reader switch on: a session bus of our own with
  the accessibility bus and ScreenReaderEnabled true before exec, and Speech
  Dispatcher reachable (espeak-ng, a daemon of our own started and ready
  before the program, as on a desktop): the voice beside a screen reader;
- a default start, the voice a child hears by default, in one of two ways
  (--default-start): "desktop", as on a desktop, with the same bus and
  daemon but the switch off, which gives the trainer's own voice once it
  follows the switch; or "no-speechd", Speech Dispatcher absent, which
  gives the trainer's own voice with any build. "auto" (the default) takes
  "desktop" when the program names the switch, else "no-speechd".
After each start with a daemon, the daemon is asked which clients it has:
a default start that reached Speech Dispatcher, or a screen-reader start
that did not, is reported.

All play into a sound server of our own (--server; PulseAudio by default),
recorded from its null sink's monitor; the recording's clock is the one
run_audio_bench.py uses (see e2e.Recording). |sample| > 300 counts as
audible. CPU is utime + stime of the program's process (all its threads,
not the daemon's) from /proc/PID/stat, 5 s after exec. The starts take
turns, each run with a fresh daemon, bus and program.

    run_first_word.py [--build DIR] [--runs N] [--voice default|screen-reader|both]
                      [--default-start auto|desktop|no-speechd] [--server pulseaudio|pipewire]

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
sys.path.insert(0, HERE)
from testbed import e2e  # noqa: E402
from run_audio_bench import DEFAULT_STARTS, VOICES, voice_run, voices_here  # noqa: E402

GOAL_HEARD_MS = 100  # the screen-reader start's welcome after the default start's
GOAL_CPU_S = 0.2     # the screen-reader start's CPU above the default start's
WINDOW_S = 5.0
TIMEOUT = 20.0


def cpu_seconds(pid):
    return e2e.cpu_ticks(pid) / os.sysconf("SC_CLK_TCK")


def status_kb(pid, key):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith(key + ":"):
                return int(line.split()[1])
    return 0


def one_start(voice, start, x, pulse, rec, threshold):
    """(ms from exec to the first audible sample, CPU s in the first 5 s,
    peak RSS in MB at 5 s, what went wrong with the voice or None) for one
    start of the program."""
    with voice_run(voice, x, pulse, start=start) as app:
        # Quiet before exec, so nothing earlier counts as the welcome.
        rec.wait_for_silence(rec.now_index(), quiet=0.5, threshold=threshold)
        try:
            for attempt in range(e2e.Program.START_TRIES):
                t0 = time.monotonic()
                app.launch()
                try:
                    first = rec.wait_for_sound(rec.index_at(t0), TIMEOUT, threshold)
                    break
                except e2e.E2EError:
                    # Now and then Xvfb refuses a new client (see e2e.Program).
                    if app.running() or not app.refused() or attempt == e2e.Program.START_TRIES - 1:
                        raise
            heard_ms = (rec.time_of(first) - t0) * 1000.0
            left = t0 + WINDOW_S - time.monotonic()
            if left > 0:
                time.sleep(left)
            cpu = cpu_seconds(app.pid)
            peak = status_kb(app.pid, "VmHWM") / 1024.0
            wrong = None
            if app.daemon:
                reached = app.pid in app.daemon.client_pids()
                if voice == "default" and reached:
                    wrong = "the default start reached Speech Dispatcher"
                elif voice == "screen-reader" and not reached:
                    wrong = "the screen-reader start did not reach Speech Dispatcher"
            if voice == "screen-reader" and e2e.GAVE_UP_DEFAULT in app.output()[1]:
                wrong = "Speech Dispatcher did not start in time (the trainer's own voice spoke)"
        finally:
            app.cleanup()
    rec.wait_for_silence(rec.now_index(), quiet=0.5, threshold=threshold)
    return heard_ms, cpu, peak, wrong


def spread(values, fmt):
    return " / ".join(fmt % v for v in (min(values), statistics.median(values), max(values)))


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--build", default=None, help="the CMake build directory")
    ap.add_argument("--runs", type=int, default=5, help="starts per voice (default 5)")
    ap.add_argument("--voice", choices=tuple(VOICES) + ("both",), default="both",
                    help="default: a default start; screen-reader: a start with the screen-reader switch on")
    ap.add_argument("--default-start", choices=("auto",) + DEFAULT_STARTS, default="auto",
                    help="how the default start is made (see above; default auto)")
    ap.add_argument("--server", choices=tuple(e2e.SERVERS), default="pulseaudio",
                    help="the sound server played into (default pulseaudio)")
    ap.add_argument("--threshold", type=int, default=300,
                    help="sample magnitude counted as audible (of 32767); default 300")
    args = ap.parse_args()
    voices = voices_here(args)
    if not voices:
        return 0
    start = args.default_start
    if start == "auto":
        binary = os.path.join(e2e.build_dir(), "abacorn")
        start = "desktop" if e2e.follows_screen_reader_switch(binary) else "no-speechd"
    if start == "desktop" and not shutil.which("speech-dispatcher"):
        start = "no-speechd"

    results = {voice: [] for voice in voices}
    home = e2e.private_dir("abacorn-first-word-rec-")
    try:
        with e2e.Xvfb() as x, e2e.SERVERS[args.server]() as pulse, \
                pulse.record(os.path.join(home, "rec.raw")) as rec:
            rec.wait_started()
            for run in range(args.runs):
                for voice in (voices if run % 2 == 0 else voices[::-1]):
                    results[voice].append(one_start(voice, start, x, pulse, rec, args.threshold))
    finally:
        shutil.rmtree(home, ignore_errors=True)
    names = {"default": "default start (%s)" % {"desktop": "switch off, Speech Dispatcher reachable",
                                                "no-speechd": "Speech Dispatcher absent"}[start],
             "screen-reader": "the screen-reader switch on"}

    print("exec -> the welcome's first audible sample on the null sink (%s), the program's CPU in its first %.0f s"
          % (e2e.SERVERS[args.server].NAME, WINDOW_S))
    print("and its peak RSS then; %d runs per voice, taking turns (min / median / max)" % args.runs)
    print("%-56s %-24s %-20s %s" % ("", "heard after exec (ms)", "CPU in 5 s (s)", "peak RSS (MB)"))
    for voice in voices:
        r = results[voice]
        print("%-56s %-24s %-20s %s" % (names[voice], spread([v[0] for v in r], "%.0f"),
                                        spread([v[1] for v in r], "%.2f"), spread([v[2] for v in r], "%.1f")))
        print("  %s" % VOICES[voice])
        for wrong in sorted(set(v[3] for v in r if v[3])):
            print("  in %d of %d runs %s" % (sum(1 for v in r if v[3] == wrong), len(r), wrong))
    if len(voices) == 2:
        d, e = results["screen-reader"], results["default"]
        late = statistics.median(v[0] for v in d) - statistics.median(v[0] for v in e)
        cpu = statistics.median(v[1] for v in d) - statistics.median(v[1] for v in e)
        print("the screen-reader switch on against the default start, medians: heard %+.0f ms (goal <= %d), "
              "CPU %+.2f s (goal <= %.1f)" % (late, GOAL_HEARD_MS, cpu, GOAL_CPU_S))
    return 0


if __name__ == "__main__":
    sys.exit(main())

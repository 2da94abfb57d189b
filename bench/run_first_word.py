#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The first word: for each of the trainer's voices, the time from exec to
the welcome's first audible sample, the program's own CPU time in its first
5 s, and its peak RSS then (the welcome spoken, start-up over).

Each voice as run_audio_bench.py sets it up: the default engine (Speech
Dispatcher with espeak-ng, a daemon of our own started and ready before the
program, as on a desktop) and the embedded voice (Speech Dispatcher
absent). Both play into a PulseAudio server of our own, recorded from its
null sink's monitor with parec; the recording's clock is the one
run_audio_bench.py uses (see realvoice.Recording). |sample| > 300 counts as
audible. CPU is utime + stime of the program's process (all its threads,
not the daemon's) from /proc/PID/stat, 5 s after exec. The voices take
turns, each run with a fresh daemon and program.

    run_first_word.py [--build DIR] [--runs N] [--engine default|embedded|both]

Every process started here is stopped by its PID.
"""
import argparse
import os
import shutil
import statistics
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))
sys.path.insert(0, HERE)
import e2elib  # noqa: E402
import realvoice  # noqa: E402
from run_audio_bench import ENGINES, voice_run, voices_here  # noqa: E402

GOAL_HEARD_MS = 100  # the default engine's welcome after the embedded voice's
GOAL_CPU_S = 0.2     # the default engine's CPU above the embedded voice's
WINDOW_S = 5.0
TIMEOUT = 20.0


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def status_kb(pid, key):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith(key + ":"):
                return int(line.split()[1])
    return 0


def one_start(engine, x, pulse, rec, threshold):
    """(ms from exec to the first audible sample, CPU s in the first 5 s,
    peak RSS in MB at 5 s, whether the default engine was given up) for one
    start of the program."""
    with voice_run(engine, x, pulse) as app:
        # Quiet before exec, so nothing earlier counts as the welcome.
        rec.wait_for_silence(rec.now_index(), quiet=0.5, threshold=threshold)
        try:
            for attempt in range(e2elib.Program.START_TRIES):
                t0 = time.monotonic()
                app.launch()
                try:
                    first = rec.wait_for_sound(rec.index_at(t0), TIMEOUT, threshold)
                    break
                except e2elib.E2EError:
                    # Now and then Xvfb refuses a new client (see e2elib.Program).
                    if app.running() or not app.refused() or attempt == e2elib.Program.START_TRIES - 1:
                        raise
            heard_ms = (rec.time_of(first) - t0) * 1000.0
            left = t0 + WINDOW_S - time.monotonic()
            if left > 0:
                time.sleep(left)
            cpu = cpu_seconds(app.pid)
            peak = status_kb(app.pid, "VmHWM") / 1024.0
            gave_up = engine == "default" and realvoice.GAVE_UP_DEFAULT in app.output()[1]
        finally:
            app.cleanup()
    rec.wait_for_silence(rec.now_index(), quiet=0.5, threshold=threshold)
    return heard_ms, cpu, peak, gave_up


def spread(values, fmt):
    return " / ".join(fmt % v for v in (min(values), statistics.median(values), max(values)))


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--build", default=None, help="the CMake build directory")
    ap.add_argument("--runs", type=int, default=5, help="starts per voice (default 5)")
    ap.add_argument("--engine", choices=("default", "embedded", "both"), default="both")
    ap.add_argument("--threshold", type=int, default=300,
                    help="sample magnitude counted as audible (of 32767); default 300")
    args = ap.parse_args()
    engines = voices_here(args)
    if not engines:
        return 0

    results = {engine: [] for engine in engines}
    home = realvoice.private_dir("abacorn-first-word-rec-")
    try:
        with e2elib.Xvfb() as x, realvoice.PulseServer() as pulse, \
                pulse.record(os.path.join(home, "rec.raw")) as rec:
            rec.wait_started()
            for run in range(args.runs):
                for engine in (engines if run % 2 == 0 else engines[::-1]):
                    results[engine].append(one_start(engine, x, pulse, rec, args.threshold))
    finally:
        shutil.rmtree(home, ignore_errors=True)

    print("exec -> the welcome's first audible sample on the null sink, the program's CPU in its first %.0f s"
          % WINDOW_S)
    print("and its peak RSS then; %d runs per voice, taking turns (min / median / max)" % args.runs)
    print("%-46s %-24s %-20s %s" % ("", "heard after exec (ms)", "CPU in 5 s (s)", "peak RSS (MB)"))
    for engine in engines:
        r = results[engine]
        print("%-46s %-24s %-20s %s" % (ENGINES[engine], spread([v[0] for v in r], "%.0f"),
                                        spread([v[1] for v in r], "%.2f"), spread([v[2] for v in r], "%.1f")))
        gave_up = sum(1 for v in r if v[3])
        if gave_up:
            print("  in %d of %d runs the default engine did not start in time (the embedded voice spoke)"
                  % (gave_up, len(r)))
    if len(engines) == 2:
        d, e = results["default"], results["embedded"]
        late = statistics.median(v[0] for v in d) - statistics.median(v[0] for v in e)
        cpu = statistics.median(v[1] for v in d) - statistics.median(v[1] for v in e)
        print("default engine against the embedded voice, medians: heard %+.0f ms (goal <= %d), CPU %+.2f s "
              "(goal <= %.1f)" % (late, GOAL_HEARD_MS, cpu, GOAL_CPU_S))
    return 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Click on the card -> first audible sample, and texts lost on a loaded
machine, for both of the trainer's voices in one run: the default engine
(Speech Dispatcher with espeak-ng, a daemon of our own) and the embedded
voice (Speech Dispatcher absent). Each plays into a PulseAudio server of our
own (a null sink, recorded through its monitor with parec).

Every card is 10 + 10 (both range lists at 10), so every answer is the same
text, "20", and a text heard in full is one as long as the others. Each text
is one reveal click after a silent deal; the card's answer label, read back
from the screen, keeps the clicks in step with the cards.

Click -> sound: the engine is ready once the welcome has been heard in full;
the one-time hints are gone through, then each run deals a card, waits for
quiet, and clicks the card to reveal the answer. The click is sent with XTest
through libX11 (ctypes) and timed once the X server has taken it (XSync). The
recording is put on the same clock: the sink's monitor runs steadily, so
sample i sounded at t0 + i / rate, t0 being the earliest start consistent
with the arrival time of every piece read from parec. The onset is the first
sample whose magnitude is above the threshold. Also printed: when the stream
itself begins (the first non-zero sample; the null sink plays exact zeros
otherwise), which tells the way to the sink apart from quiet at the start of
the voice's own waveform.

Where the time goes with Speech Dispatcher: once the clicks are done, a
bare SSIP client on the same daemon (the trainer idle) says "20" and "1"
in turn, timed from just before its SPEAK. "1" sounds at once, so it times
the way through the daemon, its output module and the sound server; "20"
adds the voice's own quiet before it (espeak-ng's English voice begins
with the closure of the t, silent); the trainer's share is what its click
takes beyond the bare "20".

Texts lost: the same cycle with two busy loops (one per core) spinning
beside the trainer. A text is lost when no sound follows its click within
realvoice.LOST_AFTER seconds although the answer is on the card; cut short when its
sound is under 70 % of the median length (a newer text never interrupts it
here); broken when it is over 130 % (a gap inside it). Sound after a silent
deal is counted as stray (a late or repeated text). Under the loops the
click's time is taken when this process runs again after XSync, which can be
a few milliseconds late: an onset may then even read as slightly negative.

    run_audio_bench.py [--build DIR] [--runs N] [--texts N] [--engine default|embedded|both]
                       [--press click|key]

Every process started here is stopped by its PID.
"""
import argparse
import contextlib
import os
import shutil
import statistics
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))
import abacorn_e2e as ab  # noqa: E402
import e2elib  # noqa: E402
import realvoice  # noqa: E402

GOAL_MEDIAN_MS = 60
GOAL_WORST_MS = 100  # embedded voice, worst of 20
TIMEOUT = 30.0

# Said by a bare SSIP client beside the trainer: the answer, and a word
# whose sound begins at once.
BARE_TEXTS = ("20", "1")

ENGINES = {
    "default": "default engine (Speech Dispatcher, espeak-ng)",
    "embedded": "embedded voice (flite in the process)",
}


def engine_program(engine, home, pulse, binary=None):
    """(program, env, daemon) for one engine; program: binary, a build of
    the program other than the build's (None: the build's)."""
    env = dict(pulse.client_env())
    if engine == "default":
        daemon = realvoice.SpeechDispatcher(pulse).start()
        env.update(daemon.client_env())
        return binary, env, daemon
    env.update(realvoice.without_speech_dispatcher(home))
    return binary, env, None


@contextlib.contextmanager
def voice_run(engine, x, pulse, binary=None):
    """One start of the trainer with one engine: yields the program, not yet
    started (realvoice.trainer), with a home and, for the default engine, a
    daemon of its own; stops the daemon and whatever was spawned in the home
    afterwards."""
    home = realvoice.private_dir("abacorn-%s-" % engine)
    daemon = None
    try:
        program, env, daemon = engine_program(engine, home, pulse, binary)
        yield realvoice.trainer(x, program, home, env)
    finally:
        if daemon:
            daemon.stop()
        realvoice.stop_pids(realvoice.processes_mentioning(home))
        shutil.rmtree(home, ignore_errors=True)


ATTEMPTS = 3  # starts of the trainer, should the default engine be given up


def measure(engine, x, pulse, rec, xt, args):
    """Click -> sound quietly, then texts lost under two busy loops."""
    for attempt in range(ATTEMPTS):
        with voice_run(engine, x, pulse) as trainer:
            with trainer as app:
                t = realvoice.HeardCards(x, rec, xt, app, args.threshold, reveal_by_key=args.press == "key")
                t.start()
                if engine == "default" and realvoice.GAVE_UP_DEFAULT in app.output()[1]:
                    print("  (the default engine did not start in time; again)", file=sys.stderr)
                    continue
                quiet = [t.text() for _ in range(args.runs)]
                bare = {}
                if engine == "default":
                    with realvoice.SsipClient(app.extra_env["SPEECHD_ADDRESS"]) as client:
                        for _ in range(args.runs):
                            for words in BARE_TEXTS:
                                bare.setdefault(words, []).append(t.said_by(client, words))
                loaded = []
                if args.texts:
                    with realvoice.BusyLoops(2):
                        loaded = [t.text() for _ in range(args.texts)]
                realvoice.click_control(x, "Command1")
                app.wait_exit(TIMEOUT)
                return quiet, loaded, t.strays, t.resyncs, app.output()[1], bare
    raise e2elib.E2EError("the default engine did not start in time in %d tries" % ATTEMPTS)


def spread(values, fmt="%.1f"):
    if not values:
        return "none"
    return ("min " + fmt + ", median " + fmt + ", max " + fmt) % (
        min(values), statistics.median(values), max(values))


def summary(results, texts):
    """The table: one row per voice."""
    rows = ["%-46s %6s %7s %6s %4s  %s" % ("click -> first audible sample (ms)", "min", "median", "max", "n",
                                           "lost of %d under two busy loops" % texts)]
    for engine, (quiet, loaded, strays, _resyncs, _errors, bare) in results:
        onsets = [t.onset_ms for t in quiet if not t.lost]
        if loaded:
            usual = statistics.median(t.length for t in quiet + loaded if not t.lost)
            lost = sum(1 for t in loaded if t.lost)
            bad = sum(1 for t in loaded if not t.lost and not 0.7 * usual <= t.length <= 1.3 * usual)
            fate = "%d (and %d not in full, %d stray)" % (lost, bad, strays)
        else:
            fate = "not measured"
        if onsets:
            rows.append("%-46s %6.1f %7.1f %6.1f %4d  %s" % (ENGINES[engine], min(onsets), statistics.median(onsets),
                                                           max(onsets), len(onsets), fate))
        else:
            rows.append("%-46s %6s %7s %6s %4d  %s" % (ENGINES[engine], "-", "-", "-", 0, fate))
        said = [t.onset_ms for t in bare.get(BARE_TEXTS[0], []) if not t.lost]
        if said:
            rows.append("%-46s %6.1f %7.1f %6.1f %4d" % ("  the same daemon, \"20\" sent straight over SSIP", min(said),
                                                      statistics.median(said), max(said), len(said)))
    rows.append("goals: median <= %d ms each; embedded voice worst of 20 <= %d ms; 0 lost"
                % (GOAL_MEDIAN_MS, GOAL_WORST_MS))
    return rows


def details(engine, quiet, loaded, strays, resyncs, errors, bare):
    heard = [t for t in quiet if not t.lost]
    rows = ["%s:" % ENGINES[engine]]
    rows.append("  each (ms): " + ", ".join("%.0f" % t.onset_ms for t in heard))
    if heard:
        rows.append("  click -> first non-zero sample (the stream reaching the sink): median %.1f ms"
                    % statistics.median(t.stream_ms for t in heard))
    medians = {words: statistics.median(t.onset_ms for t in said if not t.lost)
               for words, said in bare.items() if any(not t.lost for t in said)}
    if heard and len(medians) == len(BARE_TEXTS):
        word, vowel = (medians[words] for words in BARE_TEXTS)
        rows.append("  a bare SSIP client on the same daemon, text sent -> first audible sample (medians):"
                    " \"20\" %.1f ms, \"1\" %.1f ms" % (word, vowel))
        rows.append("    so the trainer's own share is %.1f ms; the way through the daemon, its output module"
                    " and the sound server %.1f ms;" % (statistics.median(t.onset_ms for t in heard) - word, vowel))
        rows.append("    the voice's own quiet before \"20\" (the closure of its t) %.1f ms" % (word - vowel))
    if len(heard) < len(quiet):
        rows.append("  %d of %d answers never heard on the quiet machine" % (len(quiet) - len(heard), len(quiet)))
    if loaded:
        lengths = [t.length for t in quiet + loaded if not t.lost]
        usual = statistics.median(lengths)
        short = sum(1 for t in loaded if not t.lost and t.length < 0.7 * usual)
        broken = sum(1 for t in loaded if not t.lost and t.length > 1.3 * usual)
        under = [t.onset_ms for t in loaded if not t.lost]
        rows.append("  two busy loops, %d texts: lost %d, cut short %d, broken %d, stray sounds %d"
                    " (the answer sounds %.2f s)" % (len(loaded), sum(1 for t in loaded if t.lost), short, broken,
                                                     strays, usual))
        rows.append("  click -> first audible sample under the loops: %s ms" % spread(under))
    if resyncs:
        rows.append("  %d clicks fell into a deal's pause and were repeated" % resyncs)
    warnings = [line for line in errors.splitlines() if line.strip()]
    if warnings:
        rows.append("  the trainer said on stderr: " + " | ".join(warnings[:3]))
    return rows


def voices_here(args, tools=(), engine=None):
    """Points the helpers at --build and gives the voices this machine can
    run of those asked for (args.engine, or `engine`), saying why any is
    left out; empty when a tool the benchmark needs is missing."""
    if args.build:
        os.environ["ABACORN_BUILD_DIR"] = os.path.abspath(args.build)
    for tool in ("Xvfb", "pulseaudio", "parec", "pactl") + tuple(tools):
        if not shutil.which(tool):
            print("skipped: %s is not installed" % tool)
            return []
    asked = engine or args.engine
    engines = ["default", "embedded"] if asked == "both" else [asked]
    if "default" in engines and not realvoice.have_speech_dispatcher():
        print("default engine skipped: speech-dispatcher is not installed")
        engines.remove("default")
    if "embedded" in engines and not os.path.exists(realvoice.FLITE_VOICE):
        print("embedded voice skipped: %s is not installed" % realvoice.FLITE_VOICE)
        engines.remove("embedded")
    realvoice.clean_environment()
    return engines


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--build", default=None, help="the CMake build directory")
    ap.add_argument("--runs", type=int, default=20, help="cards timed on the quiet machine (default 20)")
    ap.add_argument("--texts", type=int, default=1000,
                    help="texts heard under two busy loops, per engine (default 1000; 0: none)")
    ap.add_argument("--engine", choices=("default", "embedded", "both"), default="both")
    ap.add_argument("--press", choices=("click", "key"), default="click",
                    help="reveal each answer with a click on the card or with Space (the card has the focus)")
    ap.add_argument("--threshold", type=int, default=300,
                    help="sample magnitude counted as audible (of 32767); default 300")
    args = ap.parse_args()
    args.runs = max(5, args.runs)
    engines = voices_here(args, ("xdotool",))
    if not engines:
        return 0

    failed = 0
    results = []
    for engine in engines:
        x = pulse = rec = xt = None
        home = realvoice.private_dir("abacorn-audio-rec-")
        try:
            x = e2elib.Xvfb().start()
            pulse = realvoice.PulseServer().start()
            rec = pulse.record(os.path.join(home, "rec.raw")).wait_started()
            xt = realvoice.XTest(x.display)
            xt.move(2, 2)
            results.append((engine, measure(engine, x, pulse, rec, xt, args)))
        except e2elib.E2EError as e:
            print("%s: failed: %s" % (ENGINES[engine], e))
            failed += 1
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
    print("Own PulseAudio server, null sink, |sample| > %d counts as audible; every answer is \"20\"."
          % args.threshold)
    print("\n".join(summary(results, args.texts)))
    for engine, result in results:
        print("\n".join(details(engine, *result)))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())

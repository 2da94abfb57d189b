#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Click on the card -> first audible sample, and texts lost on a loaded
machine, for both of the trainer's voices and on both sound servers in one
run: the voice a child hears by default (the trainer's own, flite in the
process) and the voice beside a screen reader (Speech Dispatcher with
espeak-ng, a daemon of our own), each on PulseAudio and on PipeWire (with
pipewire-pulse, as GNOME on Debian 12 plays), servers of our own. Each
plays into a null sink, recorded through its monitor with parec.

How each voice is reached (voice_run, the one place that sets up a run of
either voice; the other benchmarks take it from here): the voice a child
hears by default with Speech Dispatcher absent, which leaves the trainer
its own voice with any build; the voice beside a screen reader with a
daemon of our own and the desktop's screen-reader switch on (a session bus
of our own with the accessibility bus, ScreenReaderEnabled true), which
sends every text to Speech Dispatcher once the trainer follows that switch,
and did before as well. A third way, a default start as on a desktop
(Speech Dispatcher reachable, the switch off), is there for
run_first_word.py.

Every card is 10 + 10 (both range lists at 10), so every answer is the same
text, "20", and a text heard in full is one as long as the others. Each text
is one reveal click after a silent deal; the card's answer label, read back
from the screen, keeps the clicks in step with the cards.

Click -> sound: the voice is ready once the welcome has been heard in full;
the one-time hints are gone through, then each run deals a card, waits for
quiet, and clicks the card to reveal the answer. The click is sent with XTest
through libX11 (ctypes) and timed once the X server has taken it (XSync). The
recording is put on the same clock: the sink's monitor runs steadily, so
sample i sounded at t0 + i / rate, t0 being the earliest start consistent
with the arrival time of every piece read from parec. The onset is the first
sample whose magnitude is above the threshold. Also printed: when the stream
itself begins (the first non-zero sample; the null sink plays exact zeros
otherwise), which tells the way to the sink apart from quiet at the start of
the voice's own waveform, and when the recorder received the piece holding
the onset (an upper bound: PipeWire hands the monitor's sound over a
quantum at a time).

On PipeWire the graph runs at its defaults, 48 kHz and a quantum of 1024
frames unless a stream asks for less; the recording asks for no less (see
e2e.PipeWireServer), so the trainer's own request sets the quantum,
as on a desktop. The latency the trainer's stream asked for is printed.

Where the time goes with Speech Dispatcher: once the clicks are done, a
bare SSIP client on the same daemon (the trainer idle) says "20" and "1"
in turn, timed from just before its SPEAK. "1" sounds at once, so it times
the way through the daemon, its output module and the sound server; "20"
adds the voice's own quiet before it (espeak-ng's English voice begins
with the closure of the t, silent); the trainer's share is what its click
takes beyond the bare "20".

Texts lost: the same cycle with two busy loops (one per core) spinning
beside the trainer. A text is lost when no sound follows its click within
e2e.LOST_AFTER seconds although the answer is on the card; cut short when its
sound is under 70 % of the median length (a newer text never interrupts it
here); broken when it is over 130 % (a gap inside it). Sound after a silent
deal is counted as stray (a late or repeated text). Under the loops the
click's time is taken when this process runs again after XSync, which can be
a few milliseconds late: an onset may then even read as slightly negative.

    run_audio_bench.py [--build DIR] [--runs N] [--texts N] [--voice default|screen-reader|both]
                       [--server pulseaudio|pipewire|both] [--press click|key]

Every process started here is stopped by its PID.
"""
import argparse
import contextlib
import os
import shutil
import statistics
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, ROOT)  # the harness, testbed.e2e
from testbed import e2e  # noqa: E402

GOAL_DEFAULT_MS = 15  # the voice a child hears by default, median on PulseAudio
GOAL_SCREEN_READER_MS = 60  # the voice beside a screen reader, median
GOAL_WORST_MS = 100  # the voice a child hears by default, worst of 20
GOAL_PIPEWIRE_MS = 10  # PipeWire's median above PulseAudio's, each voice
TIMEOUT = 30.0

# Said by a bare SSIP client beside the trainer: the answer, and a word
# whose sound begins at once.
BARE_TEXTS = ("20", "1")

VOICES = {
    "default": "the voice a child hears by default (flite, in the trainer)",
    "screen-reader": "the voice beside a screen reader (Speech Dispatcher, espeak-ng)",
}
# How the trainer is started for the voice a child hears by default:
# Speech Dispatcher absent (any build speaks with its own voice then), or
# as on a desktop: a daemon reachable and the screen-reader switch off
# (the trainer's own voice only once it follows the switch).
DEFAULT_STARTS = ("no-speechd", "desktop")


@contextlib.contextmanager
def voice_run(voice, x, sound, binary=None, start="no-speechd"):
    """One start of the trainer with one voice, playing into `sound` (a
    sound server of the harness): yields the program, not yet started
    (e2e.trainer), with a home of its own and, for the voice beside a
    screen reader or a desktop start, a Speech Dispatcher daemon and a
    session bus with the screen-reader switch of its own; stops them and
    whatever was spawned in the home afterwards. program.daemon is the
    daemon (None without one). binary: a build of the program other than
    the build's (None: the build's)."""
    home = e2e.private_dir("abacorn-%s-" % voice)
    daemon = None
    try:
        with contextlib.ExitStack() as stack:
            env = dict(sound.client_env())
            if voice == "default" and start == "no-speechd":
                env.update(e2e.without_speech_dispatcher(home))
            else:
                daemon = e2e.SpeechDispatcher(sound).start()
                env.update(daemon.client_env())
                switch = stack.enter_context(e2e.ScreenReaderSwitch(x, on=voice == "screen-reader"))
                env.update(switch.client_env())
            program = e2e.trainer(x, binary, home, env)
            program.daemon = daemon
            yield program
    finally:
        if daemon:
            daemon.stop()
        e2e.stop_pids(e2e.processes_mentioning(home))
        shutil.rmtree(home, ignore_errors=True)


ATTEMPTS = 3  # starts of the trainer, should Speech Dispatcher be given up


def measure(voice, x, sound, rec, xt, args):
    """Click -> sound quietly, then texts lost under two busy loops."""
    for attempt in range(ATTEMPTS):
        with voice_run(voice, x, sound) as trainer:
            with trainer as app:
                t = e2e.HeardCards(x, rec, xt, app, args.threshold, reveal_by_key=args.press == "key")
                t.start()
                if voice == "screen-reader" and e2e.GAVE_UP_DEFAULT in app.output()[1]:
                    print("  (Speech Dispatcher did not start in time; again)", file=sys.stderr)
                    continue
                quiet = [t.text() for _ in range(args.runs)]
                # The stream is kept open between texts: what it asked for.
                latency = sound.stream_latency("Abacorn")
                bare = {}
                if voice == "screen-reader":
                    with e2e.SsipClient(app.extra_env["SPEECHD_ADDRESS"]) as client:
                        for _ in range(args.runs):
                            for words in BARE_TEXTS:
                                bare.setdefault(words, []).append(t.said_by(client, words))
                loaded = []
                if args.texts:
                    with e2e.BusyLoops(2):
                        loaded = [t.text() for _ in range(args.texts)]
                e2e.click_control(x, "Command1")
                app.wait_exit(TIMEOUT)
                return Result(quiet, loaded, t.strays, t.resyncs, app.output()[1], bare, latency, rec.lag())
    raise e2e.E2EError("Speech Dispatcher did not start in time in %d tries" % ATTEMPTS)


class Result:
    """What measure() found for one voice on one server."""

    def __init__(self, quiet, loaded, strays, resyncs, errors, bare, latency, lag):
        self.quiet, self.loaded, self.strays, self.resyncs = quiet, loaded, strays, resyncs
        self.errors, self.bare, self.latency, self.lag = errors, bare, latency, lag

    def onsets(self):
        return [t.onset_ms for t in self.quiet if not t.lost]

    def median(self):
        onsets = self.onsets()
        return statistics.median(onsets) if onsets else None

    def usual(self):
        return statistics.median(t.length for t in self.quiet + self.loaded if not t.lost)

    def lost(self):
        return sum(1 for t in self.loaded if t.lost)

    def short(self):
        return sum(1 for t in self.loaded if not t.lost and t.length < 0.7 * self.usual())

    def broken(self):
        return sum(1 for t in self.loaded if not t.lost and t.length > 1.3 * self.usual())


def spread(values, fmt="%.1f"):
    if not values:
        return "none"
    return ("min " + fmt + ", median " + fmt + ", max " + fmt) % (
        min(values), statistics.median(values), max(values))


def summary(results, texts):
    """The table: one row per voice and server, the servers side by side."""
    rows = ["%-66s %-10s %6s %7s %6s %4s  %s" % (
        "click -> first audible sample (ms)", "server", "min", "median", "max", "n",
        "lost of %d under two busy loops" % texts)]
    for voice in VOICES:
        mine = [(server, r) for (server, v), r in results.items() if v == voice]
        for i, (server, r) in enumerate(mine):
            label = VOICES[voice] if i == 0 else ""
            name = e2e.SERVERS[server].NAME
            if r.loaded:
                fate = "%d (and %d not in full, %d stray)" % (r.lost(), r.short() + r.broken(), r.strays)
            else:
                fate = "not measured"
            onsets = r.onsets()
            if onsets:
                rows.append("%-66s %-10s %6.1f %7.1f %6.1f %4d  %s" % (
                    label, name, min(onsets), statistics.median(onsets), max(onsets), len(onsets), fate))
            else:
                rows.append("%-66s %-10s %6s %7s %6s %4d  %s" % (label, name, "-", "-", "-", 0, fate))
            said = [t.onset_ms for t in r.bare.get(BARE_TEXTS[0], []) if not t.lost]
            if said:
                rows.append("%-66s %-10s %6.1f %7.1f %6.1f %4d" % (
                    "  the same daemon, \"20\" sent straight over SSIP", name, min(said),
                    statistics.median(said), max(said), len(said)))
        medians = dict((server, r.median()) for server, r in mine)
        if medians.get("pulseaudio") is not None and medians.get("pipewire") is not None:
            rows.append("  PipeWire against PulseAudio, medians: %+.1f ms (goal <= +%d)"
                        % (medians["pipewire"] - medians["pulseaudio"], GOAL_PIPEWIRE_MS))
    rows.append("goals: the voice a child hears by default, median <= %d ms on PulseAudio and worst of 20 <= %d ms;"
                % (GOAL_DEFAULT_MS, GOAL_WORST_MS))
    rows.append("       the voice beside a screen reader, median <= %d ms; PipeWire's median at most %d ms above"
                % (GOAL_SCREEN_READER_MS, GOAL_PIPEWIRE_MS))
    rows.append("       PulseAudio's; 0 lost on both")
    return rows


def details(voice, server, r):
    heard = [t for t in r.quiet if not t.lost]
    rows = ["%s, %s:" % (VOICES[voice], e2e.SERVERS[server].NAME)]
    rows.append("  each (ms): " + ", ".join("%.0f" % t.onset_ms for t in heard))
    if heard:
        rows.append("  click -> first non-zero sample (the stream reaching the sink): median %.1f ms"
                    % statistics.median(t.stream_ms for t in heard))
    if r.latency:
        rows.append("  the server on the trainer's stream: %s" % r.latency)
    if r.lag >= 0.001:
        rows.append("  the server's cycles came late: %.0f ms of its clock skipped over the run (the recording"
                    " holds no sound for them)" % (1000.0 * r.lag))
    medians = {words: statistics.median(t.onset_ms for t in said if not t.lost)
               for words, said in r.bare.items() if any(not t.lost for t in said)}
    if heard and len(medians) == len(BARE_TEXTS):
        word, vowel = (medians[words] for words in BARE_TEXTS)
        rows.append("  a bare SSIP client on the same daemon, text sent -> first audible sample (medians):"
                    " \"20\" %.1f ms, \"1\" %.1f ms" % (word, vowel))
        rows.append("    so the trainer's own share is %.1f ms; the way through the daemon, its output module"
                    " and the sound server %.1f ms;" % (statistics.median(t.onset_ms for t in heard) - word, vowel))
        rows.append("    the voice's own quiet before \"20\" (the closure of its t) %.1f ms" % (word - vowel))
    if len(heard) < len(r.quiet):
        rows.append("  %d of %d answers never heard on the quiet machine" % (len(r.quiet) - len(heard), len(r.quiet)))
    if r.loaded:
        under = [t.onset_ms for t in r.loaded if not t.lost]
        rows.append("  two busy loops, %d texts: lost %d, cut short %d, broken %d, stray sounds %d"
                    " (the answer sounds %.2f s)" % (len(r.loaded), r.lost(), r.short(), r.broken(), r.strays,
                                                     r.usual()))
        rows.append("  click -> first audible sample under the loops: %s ms" % spread(under))
    if r.resyncs:
        rows.append("  %d clicks fell into a deal's pause and were repeated" % r.resyncs)
    if voice == "default":
        # Speech Dispatcher is absent here: the trainer tries it only when
        # its own voice broke, and says so.
        rows.append("  the default voice fell back %d times (goal 0)" % r.errors.count("Speech Dispatcher"))
    warnings = [line for line in r.errors.splitlines() if line.strip()]
    if warnings:
        rows.append("  the trainer said on stderr: " + " | ".join(warnings[:3]))
    return rows


def voices_here(args, tools=(), voice=None):
    """Points the helpers at --build and gives the voices this machine can
    run of those asked for (args.voice, or `voice`), saying why any is
    left out; empty when a tool the benchmark needs is missing. The sound
    servers asked for (args.server, when there is one) must be here too:
    servers_here() tells which."""
    if args.build:
        os.environ["ABACORN_BUILD_DIR"] = os.path.abspath(args.build)
    for tool in ("Xvfb", "parec", "pactl") + tuple(tools):
        if not shutil.which(tool):
            print("skipped: %s is not installed" % tool)
            return []
    asked = voice or args.voice
    voices = list(VOICES) if asked == "both" else [asked]
    if "screen-reader" in voices:
        for tool in ("speech-dispatcher", "dbus-daemon", "dbus-send", "xprop", e2e.A11Y_LAUNCHER):
            if not shutil.which(tool):
                print("%s skipped: %s is not installed" % (VOICES["screen-reader"], tool))
                voices.remove("screen-reader")
                break
    if "default" in voices and not os.path.exists(e2e.FLITE_VOICE):
        print("%s skipped: %s is not installed" % (VOICES["default"], e2e.FLITE_VOICE))
        voices.remove("default")
    e2e.clean_environment()
    if not servers_here(args):
        return []
    return voices


def servers_here(args):
    """The sound servers asked for (args.server; PulseAudio when the
    benchmark has no such option) that are installed, saying why any is
    left out."""
    asked = getattr(args, "server", "pulseaudio")
    servers = list(e2e.SERVERS) if asked == "both" else [asked]
    for server in list(servers):
        missing = [tool for tool in e2e.SERVER_TOOLS[server] if not shutil.which(tool)]
        if missing:
            print("%s skipped: %s is not installed" % (e2e.SERVERS[server].NAME, ", ".join(missing)))
            servers.remove(server)
    return servers


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--build", default=None, help="the CMake build directory")
    ap.add_argument("--runs", type=int, default=20, help="cards timed on the quiet machine (default 20)")
    ap.add_argument("--texts", type=int, default=1000,
                    help="texts heard under two busy loops, per voice and server (default 1000; 0: none)")
    ap.add_argument("--voice", choices=tuple(VOICES) + ("both",), default="both",
                    help="default: the voice a child hears by default; screen-reader: the voice beside a "
                         "screen reader")
    ap.add_argument("--server", choices=tuple(e2e.SERVERS) + ("both",), default="both",
                    help="the sound server played into (default both, one after the other)")
    ap.add_argument("--press", choices=("click", "key"), default="click",
                    help="reveal each answer with a click on the card or with Space (the card has the focus)")
    ap.add_argument("--threshold", type=int, default=300,
                    help="sample magnitude counted as audible (of 32767); default 300")
    args = ap.parse_args()
    args.runs = max(5, args.runs)
    voices = voices_here(args, ("xdotool",))
    servers = servers_here(args)
    if not voices or not servers:
        return 0

    failed = 0
    results = {}
    for server in servers:
        for voice in voices:
            x = sound = rec = xt = None
            home = e2e.private_dir("abacorn-audio-rec-")
            try:
                x = e2e.Xvfb().start()
                sound = e2e.SERVERS[server]().start()
                rec = sound.record(os.path.join(home, "rec.raw")).wait_started()
                xt = e2e.XTest(x.display)
                xt.move(2, 2)
                results[(server, voice)] = measure(voice, x, sound, rec, xt, args)
            except e2e.E2EError as e:
                print("%s, %s: failed: %s" % (VOICES[voice], e2e.SERVERS[server].NAME, e))
                failed += 1
            finally:
                if xt:
                    xt.close()
                if rec:
                    rec.stop()
                if sound:
                    sound.stop()
                if x:
                    x.stop()
                shutil.rmtree(home, ignore_errors=True)
    print("Own sound servers (%s), null sink, |sample| > %d counts as audible; every answer is \"20\"."
          % ("; ".join(e2e.SERVERS[server].DESCRIPTION for server in servers), args.threshold))
    print("\n".join(summary(results, args.texts)))
    for voice in VOICES:
        for server in servers:
            if (server, voice) in results:
                print("\n".join(details(voice, server, results[(server, voice)])))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())

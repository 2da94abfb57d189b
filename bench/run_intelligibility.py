#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""How clearly each of the trainer's voices says the numbers: every number
from 0 to 144 is said by the program and heard by a speech recogniser that
knows only those 145 numbers; a stand-in for a child telling 17 from 70.

The program is bench/abacorn_say, the trainer itself with its own engine
order, which hands each line of its standard input to the window's Speak,
as the window hands it an answer. Each voice is set up as in
run_audio_bench.py (voice_run): the voice a child hears by default (the
trainer's own, flite; Speech Dispatcher absent) and the voice beside a
screen reader (Speech Dispatcher with espeak-ng, a daemon of our own, the
screen-reader switch on). The voice plays into a PulseAudio server of our own; each number is cut from
the recording of the null sink's monitor (parec) where it sounds, with
0.15 s of its quiet either side, and resampled to 16 kHz with sox.
pocketsphinx_batch (US English acoustic model) then names each with a JSGF
grammar of the 145 numbers as English words, "and" after "hundred"
optional.

    run_intelligibility.py [--build DIR] [--voice default|screen-reader|both] [--keep DIR]

--keep keeps the cut recordings (16 kHz raw) and the recogniser's output.
Every process started here is stopped by its PID.
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, ROOT)  # the harness, testbed.e2e
sys.path.insert(0, HERE)
from testbed import e2e  # noqa: E402
from run_audio_bench import VOICES, voice_run, voices_here  # noqa: E402

NUMBERS = range(0, 145)
MODEL = "/usr/share/pocketsphinx/model/en-us"
TIMEOUT = 30.0
QUIET = 0.5   # seconds of silence that end a number ("one hundred and ..." pauses less)
MARGIN = 0.15  # seconds of the recording kept either side of the sound

ONES = ["zero", "one", "two", "three", "four", "five", "six", "seven", "eight", "nine", "ten", "eleven",
        "twelve", "thirteen", "fourteen", "fifteen", "sixteen", "seventeen", "eighteen", "nineteen"]
TENS = ["", "", "twenty", "thirty", "forty", "fifty", "sixty", "seventy", "eighty", "ninety"]


def words(n):
    """A number below 1000 in English words, without "and"."""
    if n < 20:
        return ONES[n]
    if n < 100:
        return TENS[n // 10] + ("" if n % 10 == 0 else " " + ONES[n % 10])
    return ONES[n // 100] + " hundred" + ("" if n % 100 == 0 else " " + words(n % 100))


def grammar():
    rules = []
    for n in NUMBERS:
        w = words(n)
        rules.append(w.replace("hundred ", "hundred [and] ", 1) if n > 100 else w)
    return "#JSGF V1.0;\ngrammar numbers;\npublic <number> = " + "\n  | ".join(rules) + " ;\n"


def dictionary():
    """The model dictionary's entries (with their variants) for the grammar's words."""
    needed = {"and"}
    for n in NUMBERS:
        needed.update(words(n).split())
    lines = []
    with open(os.path.join(MODEL, "cmudict-en-us.dict")) as f:
        for line in f:
            if line.split(" ", 1)[0].split("(", 1)[0] in needed:
                lines.append(line)
    return "".join(lines)


def heard_number(hypothesis):
    by_words = {words(n): n for n in NUMBERS}
    return by_words.get(" ".join(w for w in hypothesis.split() if w != "and"))


ATTEMPTS = 3  # starts of the program, should Speech Dispatcher be given up


def say_all(voice, x, pulse, rec, workdir, threshold, lang):
    """Has the program say every number; writes each as <workdir>/<n>.raw
    (16 kHz). Returns the numbers that made no sound."""
    binary = os.path.join(e2e.build_dir(), "bench", "abacorn_say")
    for attempt in range(ATTEMPTS):
        with voice_run(voice, x, pulse, binary) as app:
            if lang:
                app.extra_env["LANG"] = lang
            app.stdin = subprocess.PIPE
            with app:
                # The welcome, in full, then quiet.
                start = rec.now_index()
                app.wait_for_window(timeout=TIMEOUT)
                rec.wait_for_silence(rec.wait_for_sound(start, TIMEOUT, threshold), quiet=1.0,
                                     threshold=threshold)
                if voice == "screen-reader" and e2e.GAVE_UP_DEFAULT in app.output()[1]:
                    print("  (Speech Dispatcher did not start in time; again)", file=sys.stderr)
                    continue
                return say_numbers(app, rec, workdir, threshold)
    raise e2e.E2EError("Speech Dispatcher did not start in time in %d tries" % ATTEMPTS)


def say_numbers(app, rec, workdir, threshold):
    """Says each number and keeps its sound; returns the silent ones."""
    silent = []
    for n in NUMBERS:
        asked = rec.now_index()
        app.proc.stdin.write(b"%d\n" % n)
        app.proc.stdin.flush()
        try:
            first = rec.wait_for_sound(asked, 5.0, threshold)
        except e2e.E2EError:
            silent.append(n)
            continue
        end = rec.wait_for_silence(first, quiet=QUIET, timeout=TIMEOUT, threshold=threshold)
        margin = int(MARGIN * e2e.RATE)
        cut = rec.audio(first - margin).samples[:end + margin - (first - margin)]
        raw = os.path.join(workdir, "%d.22k" % n)
        with open(raw, "wb") as f:
            f.write(cut.tobytes())
        subprocess.run(["sox", "-V1", "-t", "raw", "-e", "signed", "-b", "16", "-c", "1",
                        "-r", str(e2e.RATE), raw, "-t", "raw", "-r", "16000",
                        os.path.join(workdir, "%d.raw" % n)], check=True, timeout=60)
        os.unlink(raw)
    return silent


def recognise(workdir, numbers):
    """{n: what the recogniser heard in <workdir>/<n>.raw (words)}."""
    with open(os.path.join(workdir, "numbers.gram"), "w") as f:
        f.write(grammar())
    with open(os.path.join(workdir, "numbers.dict"), "w") as f:
        f.write(dictionary())
    with open(os.path.join(workdir, "numbers.ctl"), "w") as f:
        f.write("".join("%d\n" % n for n in numbers))
    hyp = os.path.join(workdir, "numbers.hyp")
    res = subprocess.run(["pocketsphinx_batch", "-hmm", os.path.join(MODEL, "en-us"),
                          "-dict", os.path.join(workdir, "numbers.dict"),
                          "-jsgf", os.path.join(workdir, "numbers.gram"),
                          "-ctl", os.path.join(workdir, "numbers.ctl"), "-cepdir", workdir, "-cepext", ".raw",
                          "-adcin", "yes", "-adchdr", "0", "-samprate", "16000", "-hyp", hyp],
                         stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, timeout=1800)
    if res.returncode != 0:
        raise e2e.E2EError("pocketsphinx_batch failed: " + res.stderr.decode(errors="replace")[-2000:])
    heard = {}
    with open(hyp) as f:
        for line in f:
            text, _, tail = line.rstrip("\n").rpartition(" (")
            heard[int(tail.split()[0])] = text.strip()
    return heard


def report(voice, silent, heard):
    right = [n for n in NUMBERS if n in heard and heard_number(heard[n]) == n]
    rows = ["%s: %d of %d recognised" % (VOICES[voice], len(right), len(NUMBERS))]
    wrong = []
    for n in NUMBERS:
        if n in silent:
            wrong.append("%d -> (no sound)" % n)
        elif n not in right:
            got = heard_number(heard.get(n, ""))
            wrong.append("%d -> %s" % (n, "(nothing)" if got is None else got))
    for i in range(0, len(wrong), 8):
        rows.append("  " + ", ".join(wrong[i:i + 8]))
    return rows


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--build", default=None, help="the CMake build directory")
    ap.add_argument("--voice", choices=tuple(VOICES) + ("both",), default="both",
                    help="default: the voice a child hears by default; screen-reader: the voice beside a "
                         "screen reader")
    ap.add_argument("--threshold", type=int, default=300,
                    help="sample magnitude counted as audible (of 32767); default 300")
    ap.add_argument("--keep", default=None, help="keep the recordings and the recogniser's files here")
    ap.add_argument("--lang", default=None,
                    help="LANG for the program, as a desktop session sets it (default: this "
                         "environment's)")
    args = ap.parse_args()
    if not os.path.isdir(MODEL):
        print("skipped: no pocketsphinx model at %s (pocketsphinx-en-us)" % MODEL)
        return 0
    voices = voices_here(args, ("sox", "pocketsphinx_batch"))
    if not voices:
        return 0

    top = args.keep or tempfile.mkdtemp(prefix="abacorn-intelligibility-")
    os.makedirs(top, exist_ok=True)
    rows = []
    try:
        with e2e.Xvfb() as x, e2e.PulseServer() as pulse, \
                pulse.record(os.path.join(top, "rec.raw")) as rec:
            rec.wait_started()
            said = {}
            for voice in voices:
                workdir = os.path.join(top, voice)
                os.makedirs(workdir, exist_ok=True)
                said[voice] = say_all(voice, x, pulse, rec, workdir, args.threshold, args.lang)
        for voice in voices:
            workdir = os.path.join(top, voice)
            heard = recognise(workdir, [n for n in NUMBERS if n not in said[voice]])
            rows += report(voice, said[voice], heard)
    finally:
        if not args.keep:
            shutil.rmtree(top, ignore_errors=True)
    print("Every number 0..%d said by the program, recorded from the null sink, named by pocketsphinx"
          % NUMBERS[-1])
    print("with a grammar of those %d numbers; LANG=%s; misheard: said -> heard"
          % (len(NUMBERS), args.lang or os.environ.get("LANG", "")))
    print("\n".join(rows))
    return 0


if __name__ == "__main__":
    sys.exit(main())

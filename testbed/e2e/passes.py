# SPDX-License-Identifier: GPL-3.0-or-later
"""The trainer's pauses are counts of event-processing passes, never
measured time: a million at start-up, 150,000 between two cards. How long
they take depends on what a pass costs, which under Wine is a round trip to
the wineserver, dear by machine, load and processor (docs/windows-notes.md).
A test that waits on a pause sizes its wait from the pass cost measured in
the same run (PassCost), and a check of the timer's cadence expects what
the trainer does at that cost (timer_answers, cadence_fits), the tick that
comes inside a long pause included.
"""

import itertools

STARTUP_PASSES = 1_000_000
CARD_PASSES = 150_000
# A wait for a pause allows this many times its measured length, and a
# fixed margin for the work around it (a start, a screenshot, a click).
SAFETY = 4
MARGIN_S = 120.0


class PassCost:
    """What a pass costs in this run, in microseconds, from every
    measurement noted so far: a calibration before the start, then the
    trainer's own pauses (the start-up pause, the pauses between cards),
    which once there are the ones that count: the calibration runs while
    Wine's own services are still starting, and may come out far dearer.
    Waits use the dearest; the cadence check takes the band from the
    cheapest to the dearest."""

    def __init__(self):
        self.samples = []  # (what, microseconds)

    def note(self, what, passes, seconds):
        """Notes a pause of the trainer's: `passes` took `seconds`."""
        return self._add(what, seconds * 1e6 / passes, " (%d passes in %.2f s)" % (passes, seconds))

    def calibrated(self, us):
        """Notes a cost measured by a program of the test's own."""
        return self._add("calibration", us)

    def _add(self, what, us, how=""):
        self.samples.append((what, us))
        print("  pass cost, %s: %.1f us%s" % (what, us, how), flush=True)
        return us

    def known(self):
        return bool(self.samples)

    def _counting(self):
        own = [us for what, us in self.samples if what != "calibration"]
        return own or [us for _, us in self.samples]

    def dearest_us(self):
        return max(self._counting())

    def cheapest_us(self):
        return min(self._counting())

    def seconds(self, passes):
        """How long `passes` take at the dearest cost seen."""
        return passes * self.dearest_us() / 1e6

    def limit(self, passes):
        """How long a wait that includes `passes` may take."""
        return MARGIN_S + SAFETY * self.seconds(passes)

    def band_ms(self, passes=CARD_PASSES):
        """How long a pause of `passes` may take now, in ms: from half the
        cheapest cost seen to twice the dearest (the machine's load may
        change between a measurement and the pause)."""
        return passes * self.cheapest_us() / 2e3, passes * self.dearest_us() * 2 / 1e3

    def summary(self):
        return ", ".join("%s %.1f us" % s for s in self.samples)


def timer_answers(seconds, pauses_ms, count, card_shows_answer=True, horizon_ms=600_000):
    """When the answers of timer mode are spoken after a pick of `seconds`,
    in ms after the pick, up to `count` of them, and whether the run got
    that far: it stops early when `pauses_ms`, the length of each
    150,000-pass pause in turn, runs out. The timer is the trainer's: its
    first tick 3 s after the pick; a tick sets the interval to the chosen
    time, then either blanks the card, pauses, deals the next question and
    keeps the timer's interval as the question's time, or shows and speaks
    the answer and sets 2 s. A tick that falls inside a pause runs inside
    it; a pause inside a pause ends both (one shared counter)."""
    st = {"card": "A" if card_shows_answer else "Q", "interval": 3000, "due": 3000,
          "question_ms": seconds * 1000, "loop": 0.0, "answers": [], "pauses": iter(pauses_ms)}

    def tick(now):
        st["interval"] = st["question_ms"]
        st["due"] = now + st["interval"]
        if st["card"] == "A":
            st["card"] = "B"
            now = pause(now)
            st["card"] = "Q"
            st["question_ms"] = st["interval"]
        else:
            st["card"] = "A"
            st["answers"].append(now)
            st["interval"] = 2000
            st["due"] = now + 2000
        return now

    def pause(now):
        per_pass = next(st["pauses"]) / CARD_PASSES  # StopIteration: out of pauses
        st["loop"] = 1.0
        while st["loop"] <= CARD_PASSES and len(st["answers"]) < count:
            end = now + (CARD_PASSES + 1 - st["loop"]) * per_pass
            if st["due"] <= end:
                st["loop"] += (st["due"] - now) / per_pass if per_pass else 0
                now = tick(st["due"])
            else:
                st["loop"], now = CARD_PASSES + 1, end
        return now

    try:
        while len(st["answers"]) < count and st["due"] <= horizon_ms:
            tick(st["due"])
    except StopIteration:
        return st["answers"][:count], False
    return st["answers"][:count], True


def _regimes(band_ms):
    """Pause lengths that stand for every behaviour within the band. The
    timer is only ever set at a tick, to whole seconds after the pick, so
    the trainer behaves alike for every pause between two whole seconds:
    one length within each such second of the band, and its ends."""
    low, high = band_ms
    points = {low, high}
    points.update(s * 1000 + 500 for s in range(int(low // 1000), int(high // 1000) + 1)
                  if low <= s * 1000 + 500 <= high)
    return sorted(points)


def cadence_fits(observed_ms, seconds, band_ms, tolerance_ms=1000, card_shows_answer=True):
    """Whether answers spoken at `observed_ms` (after the pick) are what the
    trainer does with pauses anywhere in `band_ms`, each pause on its own
    (the machine's load may change from one to the next); within
    tolerance_ms for the timer's own lateness. Returns the fitting
    prediction, or None."""
    lengths = _regimes(band_ms)
    count = len(observed_ms)

    def search(pauses):
        answers, done = timer_answers(seconds, pauses, count, card_shows_answer)
        if any(abs(o - p) > tolerance_ms for o, p in zip(observed_ms, answers)):
            return None
        if done:
            return answers if len(answers) == count else None
        if len(pauses) > 4 * count:
            return None
        return next((found for found in (search(pauses + [n]) for n in lengths) if found), None)
    return search([])


def latest_answer_ms(seconds, band_ms, count):
    """No later than this, in ms after the pick, the `count`th answer comes
    for pauses anywhere in the band: each card at most its question, its
    answer and a whole pause."""
    return 3000 + count * (seconds * 1000 + 2000 + band_ms[1])

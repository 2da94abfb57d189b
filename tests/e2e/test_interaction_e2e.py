# SPDX-License-Identifier: GPL-3.0-or-later
"""End-to-end tests of the trainer's interaction: an interactive round, the
timer's cadence, the drawing's sentence and the speech switch.

Each class starts the real program once on its own Xvfb server, plays its
scenario in setUpClass and keeps what it saw (speech log, screenshots); the
test methods then judge those records. The range is set to 10..10, so every
addition card is "10 plus 10" with the answer 20.
"""
import os
import subprocess
import unittest

from testbed import e2e
from testbed.e2e import GREEN, RED, TILES, WHITE, WRONG
from testbed.e2e.passes import CARD_PASSES, cadence_fits, latest_answer_ms

WELCOME = "welcome to abacorn, standard mode. click on flashcard to begin."
NOVELTY = "kwilla  writes, 1 plus 1 equals 2. is kwilla, correct?"

_rects = {}


def rect(name):
    """A control's screen rectangle (x, y, w, h) on the 1920x1080 screen."""
    if name not in _rects:
        tool = os.path.join(e2e.build_dir(), "tools", "control_rect")
        out = subprocess.run([tool, name, "1920", "1080"], stdout=subprocess.PIPE, check=True,
                             timeout=20).stdout.decode()
        _rects[name] = tuple(int(v) for v in out.split())
    return _rects[name]


def centre(name):
    x, y, w, h = rect(name)
    return x + w // 2, y + h // 2


def ink(shot, name):
    """How many dark (text) pixels lie in a control's rectangle."""
    return shot.count((0, 0, 0), rect=rect(name), tolerance=90)


def tile_colour(shot, name):
    # The corner of a tile is its background; the number sits in the middle.
    x, y, _, _ = rect(name)
    return shot.pixel(x + 6, y + 6)


def says(app):
    return app.said()


def wait_for_new_say(app, count_before, timeout=10.0):
    """Waits until something was said after the first count_before texts;
    returns the new texts."""
    return e2e.wait_until(lambda: says(app)[count_before:], timeout, what="a new spoken text")


def wait_for_shot(x, check, timeout=10.0):
    """Takes screenshots until check(shot) holds; returns the last one either
    way, so that the test methods report what was on the screen."""
    last = []

    def look():
        last[:] = [x.screenshot()]
        return check(last[0])
    try:
        e2e.wait_until(look, timeout, interval=0.05, what="the screen")
    except e2e.E2EError:
        pass
    return last[0]


def start(owner, cleanup):
    """Starts Xvfb and the program for a test class or test; cleanup (its
    addClassCleanup or addCleanup) stops both by PID, also on failure.
    Returns once the welcome has been said."""
    owner.x = e2e.Xvfb().start()
    cleanup(owner.x.stop)
    owner.app = e2e.Abacorn(owner.x).start()
    cleanup(owner.app.cleanup)
    owner.app.wait_for_window()
    owner.app.wait_for_welcome()


def pick_from_combo(x, app, name, keys):
    """Opens a drop-down with a click and moves through its list with keys."""
    x.click(*centre(name))
    e2e.wait_until(lambda: len(x.find_windows(pid=app.pid)) >= 2, 10, what="the open list of " + name)
    x.key(*keys, "Return")


class InteractiveRoundTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        start(cls, cls.addClassCleanup)
        x, app = cls.x, cls.app
        pick_from_combo(x, app, "cmbMinNum", ["Down"] * 10)  # 0 -> 10
        app.wait_for_say("the minimum number is now set to 10")
        pick_from_combo(x, app, "cmbMaxNum", ["Up"] * 2)  # 12 -> 10
        app.wait_for_say("the maximum number is now set to 10")

        n = len(says(app))
        x.click(*centre("lblInteractive"))
        app.wait_for_speech(lambda ev: "click possible answers to the right" in
                            [e.text for e in ev if e.event == "say"][n:])
        cls.mode_said = says(app)[n:]

        # The first card.
        n = len(says(app))
        x.click(*centre("lblClickMe"))
        app.wait_for_speech(lambda ev: "click on correct answer to the right" in
                            [e.text for e in ev if e.event == "say"][n:])
        cls.first_card_said = says(app)[n:]
        cls.card_shot = wait_for_shot(x, lambda s: ink(s, "lbln1") and ink(s, "lbln2") and not ink(s, "lbln3")
                                      and all(tile_colour(s, t) == WHITE for t in TILES))

        # Tiles one by one until the answer is spoken.
        cls.picks = []
        for tile in TILES:
            n = len(says(app))
            x.click(*centre(tile))
            new = wait_for_new_say(app, n)
            cls.picks.append((tile, new))
            if new[0] == "20":
                break
        right = cls.picks[-1][0]
        wrong = [t for t, _ in cls.picks[:-1]]
        cls.picked_shot = wait_for_shot(
            x, lambda s: tile_colour(s, right) == GREEN and all(tile_colour(s, t) == RED for t in wrong)
            and ink(s, "lbln3") > 0)

        # The next card: its problem is the only thing said until a tile is
        # picked.
        n = len(says(app))
        x.click(*centre("lblClickMe"))
        cls.next_shot = wait_for_shot(x, lambda s: not ink(s, "lbln3")
                                      and all(tile_colour(s, t) == WHITE for t in TILES))
        x.click(*centre("lbl1"))
        e2e.wait_until(lambda: WRONG in says(app)[n:] or "20" in says(app)[n:], 10, what="the pick")
        cls.next_card_said = says(app)[n:-1]

    def test_interactive_mode_is_announced_with_its_hint(self):
        self.assertEqual(self.mode_said, ["interactive mode", "click possible answers to the right"])

    def test_dealt_card_shows_the_problem_and_six_white_tiles_without_the_answer(self):
        shot = self.card_shot
        self.assertGreater(ink(shot, "lbln1"), 100)
        self.assertGreater(ink(shot, "lbln2"), 100)
        self.assertEqual(ink(shot, "lbln3"), 0)
        self.assertEqual([tile_colour(shot, t) for t in TILES], [WHITE] * 6)
        self.assertEqual(self.first_card_said[-1], "click on correct answer to the right")

    def test_wrong_tiles_turn_red_and_the_right_one_green_with_the_answer_spoken(self):
        texts = [new for _, new in self.picks]
        self.assertEqual(texts[-1], ["20"], "the answer is on one of the six tiles")
        self.assertEqual(texts[:-1], [[WRONG]] * (len(texts) - 1))
        shot = self.picked_shot
        right = self.picks[-1][0]
        for tile, _ in self.picks[:-1]:
            self.assertEqual(tile_colour(shot, tile), RED, tile)
        self.assertEqual(tile_colour(shot, right), GREEN, right)
        for tile in TILES[len(self.picks):]:
            self.assertEqual(tile_colour(shot, tile), WHITE, tile)

    def test_the_answer_is_written_under_the_rule(self):
        self.assertEqual(ink(self.card_shot, "lbln3"), 0)
        self.assertGreater(ink(self.picked_shot, "lbln3"), 100)

    def test_next_card_speaks_its_problem_and_clears_the_tiles(self):
        self.assertEqual(self.next_card_said, ["10 plus 10"])
        self.assertEqual([tile_colour(self.next_shot, t) for t in TILES], [WHITE] * 6)
        self.assertEqual(ink(self.next_shot, "lbln3"), 0)

    # Two texts handed over back to back: both must reach the engine.
    def test_first_card_speaks_its_problem_before_the_hint(self):
        self.assertEqual(self.first_card_said, ["10 plus 10", "click on correct answer to the right"])


class TimerCadenceTest(unittest.TestCase):
    """Timer mode with 2 seconds: the first tick comes 3 s after the pick and
    deals a question (the example card shows its answer), the answer is
    spoken 2 s later, then every 4 s (2 s question, 2 s answer); as long as
    the pause between cards, measured by the start-up pause's pass cost,
    is shorter than the question (the cadence the trainer has at that
    cost otherwise)."""

    CARDS = 3

    @classmethod
    def setUpClass(cls):
        start(cls, cls.addClassCleanup)
        x, app = cls.x, cls.app
        x.click(*centre("lblTimer"))
        app.wait_for_say("first choose a timer value in seconds")
        n = len(says(app))
        lx, ly, lw, _ = rect("lstTimer")
        x.click(lx + lw // 3, ly + 10)  # the first entry, "2"
        app.wait_for_say("2 seconds.")
        cls.pick_said = says(app)[n:]
        events = app.speech()
        cls.t_pick = [e.t_ms for e in events if e.event == "say" and e.text == "2 seconds."][-1]

        def answers():
            return [e for e in app.speech() if e.event == "say" and e.t_ms > cls.t_pick]
        cls.band = app.passes.band_ms(CARD_PASSES)
        e2e.wait_until(lambda: len(answers()) >= cls.CARDS, latest_answer_ms(2, cls.band, cls.CARDS) / 1000 + 10,
                       what="%d answers" % cls.CARDS)
        # A click on the bare window outside the panel stops the cards.
        x.click(100, 100)
        cls.answers = answers()
        cls.t_stop = e2e.monotonic_ms()
        # The next answer would come 4 s after the last one; wait past that.
        last = cls.answers[-1].t_ms
        e2e.wait_until(lambda: e2e.monotonic_ms() > last + 4000 + 1000, 10, interval=0.1,
                       what="the time of the next answer")
        cls.after_stop = [e for e in answers() if e.t_ms > cls.t_stop]

    def test_answers_are_spoken_on_the_cadence(self):
        self.assertGreaterEqual(len(self.answers), self.CARDS)
        answers = self.answers[:self.CARDS]
        self.assertTrue(all(event.text.isdigit() for event in answers), answers)
        spoken = [event.t_ms - self.t_pick for event in answers]
        self.assertIsNotNone(cadence_fits(spoken, 2, self.band, tolerance_ms=300),
                             "answers %r ms after the pick, for pauses of %.0f to %.0f ms" % ((spoken,) + self.band))

    def test_click_outside_the_panel_stops_the_cards(self):
        self.assertEqual(self.after_stop, [])

    # Back to back again, like the first card's problem and its hint.
    def test_pick_announces_timer_mode_and_the_seconds(self):
        self.assertEqual(self.pick_said, ["timer mode", "2 seconds."])


class DrawingTest(unittest.TestCase):
    def test_drawing_and_its_caption_say_the_sentence(self):
        start(self, self.addCleanup)
        x, app = self.x, self.app
        x.click(*centre("img123"))
        app.wait_for_say(NOVELTY)
        # The caption lies on the drawing; a click on its text says the
        # same sentence.
        cx, cy, _, ch = rect("lblQuillaWrites")
        x.click(cx + 20, cy + ch // 2)
        app.wait_for_speech(lambda ev: [e.text for e in ev if e.event == "say"].count(NOVELTY) == 2)
        self.assertEqual(says(app), [WELCOME, NOVELTY, NOVELTY])


class SpeechOffTest(unittest.TestCase):
    def test_nothing_is_spoken_while_the_loudspeaker_is_off(self):
        start(self, self.addCleanup)
        x, app = self.x, self.app
        px, py, pw, ph = rect("Picture1")
        before = x.screenshot().crop(px, py, pw, ph).data
        x.click(*centre("Picture1"))
        wait_for_shot(x, lambda s: s.crop(px, py, pw, ph).data != before)

        # Things that speak: a card, the drawing, a mode, a tile. Each is
        # waited for on the screen.
        x.click(*centre("lblClickMe"))
        wait_for_shot(x, lambda s: ink(s, "lbln1") and not ink(s, "lbln3"))
        x.click(*centre("img123"))
        x.click(*centre("lblInteractive"))
        wait_for_shot(x, lambda s: tile_colour(s, "lbl1") == WHITE)
        x.click(*centre("lbl1"))
        wait_for_shot(x, lambda s: tile_colour(s, "lbl1") in (RED, GREEN))

        # Speech back on: the texts reach the engine in order, so once this
        # one is logged, anything said while the speaker was off would be
        # logged before it.
        x.click(*centre("Picture1"))  # the "off" picture lies in the same place
        x.click(*centre("lblStandard"))
        app.wait_for_say("click flashcard")
        said = says(app)
        self.assertEqual(said[0], WELCOME)
        self.assertEqual(said[1:], ["standard mode", "click flashcard"])


if __name__ == "__main__":
    unittest.main(verbosity=2)

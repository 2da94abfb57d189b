# SPDX-License-Identifier: GPL-3.0-or-later
"""End to end on the Windows build: abacorn.exe under Wine on Xvfb, speaking
to the tests' recording SAPI server. Under Wine one pass of event
processing costs tens to hundreds of microseconds, by machine and load, so
the start-up pause alone takes a minute or more and every new card several
seconds (docs/windows-notes.md): one start carries a whole lesson, step by
step, each step checked as the Linux tests check it.
Every wait that spans a pause is sized from the pass cost measured in the
same run, and printed (testbed/e2e/passes.py)."""
import contextlib
import os
import re
import time
import unittest

from testbed import e2e
from testbed.e2e import FOR_ANSWER, GREEN, INTERNAL, NAMES, RED, STANDARD_WALK, TILES, WALK_NAMES, WHITE, WRONG, rect
from testbed.e2e.passes import CARD_PASSES, STARTUP_PASSES, cadence_fits, latest_answer_ms
from testbed.e2e.wine import WINDOW_S, AccessibleEvents, WineAbacorn, WinePrefix, accessible_tree, set_screen_reader

PRESS = "click answer to the right =====>"
REFUSED = "ut,oh, the minimum number must be less than or equal to the maximum number  "
PUSH_BUTTON, STATIC_TEXT, COMBO_BOX, LIST, LIST_ITEM = 43, 41, 46, 33, 34
# The scales checked, the trainer at 96 last: it is then moved to 144.
SCALES = (144, 192, 96)


def tile_colour(shot, name):
    x, y, _, _ = rect(name)
    return shot.pixel(x + 3, y + 3)


class WindowsLessonTest(unittest.TestCase):
    """One start of the Windows trainer, a lesson long."""

    @classmethod
    def setUpClass(cls):
        # One prefix for both starts, so that the second finds the first.
        cls.prefix = WinePrefix().__enter__()
        cls.addClassCleanup(cls.prefix.close)
        cls.s = e2e.Session(wait_for_welcome=False, timeout=WINDOW_S,
                            program=lambda x: WineAbacorn(x, prefix=cls.prefix)).__enter__()
        cls.addClassCleanup(cls.s.__exit__)

    def step(self, what):
        print("  " + what, flush=True)

    def wait_says(self, count, after):
        return e2e.wait_until(lambda: (lambda said: said if len(said) >= count else None)(self.s.said()[after:]),
                              self.s.app.pause_limit(), what="%d more texts (have %r)" % (count, self.s.said()[after:]))

    def test_a_lesson(self):
        s, app = self.s, self.s.app

        self.step("the window covers the screen, the panel in its middle, the example card")
        geo = s.x.window_geometry(s.window)
        self.assertEqual((geo["x"], geo["y"], geo["width"], geo["height"]), (0, 0, 1920, 1080))
        px, py, pw, ph = rect("Frame1")
        shot = s.wait_for_shot(lambda sh: sh.pixel(px + 2, py + ph // 2) == e2e.LAVENDER
                               and e2e.ink_in(sh, rect("lbln3")) > 150, "the panel with the example card")
        for x, y in [(0, 0), (1919, 1079), (px - 1, py), (px + pw, py + ph - 1)]:
            self.assertEqual(shot.pixel(x, y), e2e.BLACK, (x, y))
        for name in ["lbln1", "lbln2", "lbln3", "lblOperation"]:
            self.assertGreater(e2e.ink_in(shot, rect(name)), 150, name)
        self.assertEqual(e2e.ink_box(shot, rect("lbln1")), e2e.ink_box(shot, rect("lbln2")))
        self.assertNotEqual(e2e.ink_box(shot, rect("lbln1")), e2e.ink_box(shot, rect("lbln3")))

        self.step("no key ends the lesson, during the pause either")
        self.assertIsNone(e2e.ring_box(shot))  # no ring before a key
        for keys in (["alt+F4"], ["Escape"], ["alt+space"], ["Escape"], ["alt+F4"]):
            s.key(*keys)
        self.assertTrue(app.running())

        self.step("the welcome, once, with the flags 3, after the window showed")
        app.wait_for_welcome()
        t_ms, flags, _ = app.speech()[0]
        self.assertEqual(app.said(), [e2e.WELCOME])
        self.assertEqual(flags, 3)
        self.assertGreater(t_ms, app.shown_ms)
        self.assertTrue(app.running())
        geo = s.x.window_geometry(s.window)
        self.assertEqual((geo["x"], geo["y"], geo["width"], geo["height"], geo["map_state"]),
                         (0, 0, 1920, 1080, "IsViewable"))

        self.step("through MSAA: the names, roles and states a screen reader reads; the focus follows Tab")
        nodes, _ = accessible_tree(self.prefix, s.x)
        by_name = {n.name: n for n in reversed(nodes)}
        for name in NAMES:
            self.assertIn(name, by_name)
            # With a sentence on what it does, the same as on Linux.
            self.assertTrue(by_name[name].description, name)
        self.assertEqual(by_name["Flash card"].description, "Deals a card; the next click shows and says the answer")
        self.assertEqual([n.name for n in nodes if INTERNAL.match(n.name)], [])
        self.assertEqual(by_name["Flash card"].role, PUSH_BUTTON)
        self.assertEqual(by_name["Flash card"].states, {"focused", "focusable"})
        for name, value in [("Smallest number", "0"), ("Largest number", "12")]:
            self.assertEqual((by_name[name].role, by_name[name].value), (COMBO_BOX, value))
        self.assertEqual(by_name["Seconds per card"].role, LIST)
        # The card's numbers and the plain labels read their captions.
        for caption in ["12", "24", "+", "version 2.2", "Kid Safe And Completely Free"]:
            self.assertEqual(by_name[caption].role, STATIC_TEXT, caption)
        # Hidden: the answers' frame and its tiles, the other loudspeaker.
        for name in ["Possible answers", "Speech off", "Answer 1", "Answer 6"]:
            self.assertIn("invisible", by_name[name].states, name)
        self.assertEqual([n for n in nodes if n.role == PUSH_BUTTON and not n.name], [])
        # Each control where the design puts it, as on Linux.
        for name, control in [("Flash card", "lblClickMe"), ("Addition", "picPlus"), ("Smallest number", "cmbMinNum"),
                              ("Speech on", "Picture1"), ("Close Program", "Command1"), ("Answer 1", "lbl1")]:
            self.assertEqual(by_name[name].location, rect(control), name)

        self.step("Tab walks in order with a ring; Space presses")
        # The keys showed the ring round the card, which has the focus.
        self.assertEqual(s.focused(), "lblClickMe")
        # A screen reader hears the focus move along.
        with AccessibleEvents(self.prefix, s.x, "focus:Speech on") as heard:
            self.assertEqual([s.press("Tab") for _ in STANDARD_WALK], STANDARD_WALK)
        focused = [name for kind, name in heard.events if kind == "focus"]
        for name in WALK_NAMES[:-1]:
            self.assertIn(name, focused)
        self.assertEqual(s.press("shift+Tab"), "Picture1")
        nodes, _ = accessible_tree(self.prefix, s.x)
        self.assertEqual([n.name for n in nodes if "focused" in n.states], ["Speech on"])
        self.assertEqual(s.press("Tab"), "lblClickMe")
        heard = len(s.said())
        s.key("space")
        self.assertEqual(self.wait_says(1, heard), [FOR_ANSWER])
        s.wait_for_shot(lambda sh: e2e.ink_in(sh, rect("lbln3")) == 0 and e2e.ink_in(sh, rect("lbln1")) > 0,
                        "a new question")

        self.step("a standard cycle with the mouse: the answer, a new card; the ring goes")
        heard = len(s.said())
        s.click("lblClickMe")
        answer = self.wait_says(1, heard)
        self.assertRegex(answer[0], r"^\d+$")
        s.wait_for_shot(lambda sh: e2e.ink_in(sh, rect("lbln3")) > 0 and e2e.ring_box(sh) is None, "the answer")
        s.click("lblClickMe")
        s.wait_for_shot(lambda sh: e2e.ink_in(sh, rect("lbln3")) == 0, "the next question")
        s.wait_until_idle()

        self.step("an operation: the dot moves, its name is said")
        heard = len(s.said())
        s.click("picMinus")
        self.assertEqual(self.wait_says(1, heard), ["subtraction"])
        s.wait_for_shot(lambda sh: sh.count(e2e.DARK_GREY, rect("shpSubtraction"), tolerance=30) > 20
                        and sh.count(e2e.DARK_GREY, rect("shpAddition"), tolerance=30) == 0, "the dot over minus")
        s.wait_until_idle()

        self.step("a range pick: a minimum above the maximum is refused with the warning")
        heard = len(s.said())
        s.click("cmbMinNum")
        s.key("End", "Return")
        self.assertEqual(self.wait_says(1, heard), [REFUSED])
        s.wait_until_idle()
        self.assertEqual(len(s.said()), heard + 1)

        self.step("the range 10 to 10, so that every card is 10 - 10 = 0")
        heard = len(s.said())
        s.click("cmbMinNum")
        s.key("Home", *["Down"] * 10, "Return")
        self.assertEqual(self.wait_says(1, heard), ["the minimum number is now set to 10"])
        heard = len(s.said())
        s.click("cmbMaxNum")
        s.key("Up", "Up", "Return")
        self.assertEqual(self.wait_says(1, heard), ["the maximum number is now set to 10"])
        s.wait_until_idle()

        self.step("muted: a card and its answer in silence; on again")
        speaker = rect("Picture1")
        on = s.shot().crop(*speaker).data
        heard = len(s.said())
        s.click("Picture1")
        s.wait_for_shot(lambda sh: sh.crop(*speaker).data != on, "the struck-through loudspeaker")
        # A screen reader finds the loudspeaker that is shown, named by the state.
        nodes, _ = accessible_tree(self.prefix, s.x)
        states = {n.name: n.states for n in nodes if n.name in ("Speech on", "Speech off")}
        self.assertEqual(("invisible" in states["Speech on"], "invisible" in states["Speech off"]), (True, False))
        s.click("lblClickMe")
        s.wait_for_shot(lambda sh: e2e.ink_in(sh, rect("lbln3")) > 0, "the answer")
        s.wait_until_idle()
        self.assertEqual(len(s.said()), heard)
        s.click("Picture2")
        s.wait_for_shot(lambda sh: sh.crop(*speaker).data == on, "the loudspeaker on again")

        self.step("interactive: a wrong tile turns red, the right one green with its answer")
        heard = len(s.said())
        # A screen reader that keeps a copy of the tree hears the answers come.
        with AccessibleEvents(self.prefix, s.x, "show:Possible answers", timeout=app.pause_limit()):
            s.click("lblInteractive")
        self.assertEqual(self.wait_says(2, heard), ["interactive mode", "click possible answers to the right"])
        wrong_then_right = False
        # A screen reader hears the tiles' names change with their numbers.
        before = {n.name[:8]: n.name for n in accessible_tree(self.prefix, s.x)[0] if n.name.startswith("Answer ")}
        for card in range(6):
            heard = len(s.said())
            with AccessibleEvents(self.prefix, s.x, "name:" + PRESS, timeout=app.pause_limit()) if card == 0 \
                    else contextlib.nullcontext() as names:
                clicked_ms = time.time() * 1000
                s.click("lblClickMe")
                e2e.wait_until(lambda: "click on correct answer to the right" in s.said()[heard:] or
                               "10 minus 10" in s.said()[heard:], app.pause_limit(), what="the card read aloud")
            # The card is read once the pause between cards is over.
            read_ms = next(t for t, _, text in app.speech()[heard:] if text == "10 minus 10")
            app.passes.note("a card's pause", CARD_PASSES, (read_ms - clicked_ms) / 1000)
            s.wait_for_shot(lambda sh: all(tile_colour(sh, t) == WHITE for t in TILES), "six white tiles")
            s.wait_until_idle()
            if card == 0:
                # The tiles, shown, read their numbers; a press through
                # MSAA is judged as a click.
                nodes, _ = accessible_tree(self.prefix, s.x)
                tiles = [n for n in nodes if re.match(r"^Answer [1-6]: \d+$", n.name)]
                self.assertEqual(len(tiles), 6, [n.name for n in nodes])
                self.assertEqual([n for n in tiles if "invisible" in n.states], [])
                self.assertEqual(len([n for n in tiles if n.name.endswith(": 0")]), 1, [n.name for n in tiles])
                first = tiles[[n.name[:8] for n in tiles].index("Answer 1")].name
                changed = [n.name for n in tiles if n.name != before[n.name[:8]]]
                self.assertGreater(len(changed), 0, before)
                for name in changed:
                    self.assertIn(("name", name), names.events)
            picks = []
            for tile in TILES:
                heard = len(s.said())
                if tile == "lbl1" and card == 0:
                    accessible_tree(self.prefix, s.x, "--press", first)
                else:
                    s.click(tile)
                said = self.wait_says(1, heard)[0]
                picks.append(tile)
                if said != WRONG:
                    self.assertEqual(said, "0")
                    break
            wrong = picks[:-1]
            s.wait_for_shot(lambda sh: tile_colour(sh, picks[-1]) == GREEN
                            and all(tile_colour(sh, t) == RED for t in wrong), "red and green tiles")
            if wrong:
                wrong_then_right = True
                break
        self.assertTrue(wrong_then_right, "the right answer came first on every card")

        self.step("timer mode: the seconds, then the cards run by themselves; a click outside stops them")
        heard = len(s.said())
        s.click("lblTimer")
        self.assertEqual(self.wait_says(1, heard), ["first choose a timer value in seconds"])
        # Six seconds. The pause between two cards counts passes: where it
        # outlasts the question, the tick comes inside it and shows the
        # answer early, as the design has it.
        nodes, _ = accessible_tree(self.prefix, s.x)
        ex, ey, ew, eh = next(n.location for n in nodes if n.role == LIST_ITEM and n.name == "6")
        heard = len(s.said())
        s.click_at(ex + ew // 3, ey + eh // 2)
        self.assertEqual(self.wait_says(2, heard), ["timer mode", "6 seconds."])
        picked = app.speech()[-1][0]
        band = app.passes.band_ms(CARD_PASSES)
        print("  a card's pause may now take %.0f to %.0f ms (%s)" % (band + (app.passes.summary(),)), flush=True)
        e2e.wait_until(lambda: len(app.speech()[heard + 2:]) >= 3, e2e.TIMEOUT + latest_answer_ms(6, band, 3) / 1000,
                       what="three timed answers")
        s.click_at(100, 100)
        stopped = time.time() * 1000
        answers = app.speech()[heard + 2:]
        self.assertTrue(all(text == "0" and flags == 3 for _, flags, text in answers), answers)
        # From the pick: the first tick 3 s after it blanks the answer on the
        # card and deals; then each card the question 6 s (the pause counted
        # in), the answer 2 s; or what a longer pause makes of that.
        spoken = [t - picked for t, _, _ in answers]
        fit = cadence_fits(spoken, 6, band)
        self.assertIsNotNone(fit, "answers at %r ms after the pick: not the timer's cadence for pauses of %.0f to "
                                  "%.0f ms" % ((spoken,) + band))
        print("  answers at %s ms after the pick; the trainer's cadence gives %s" % (
            [round(t) for t in spoken], [round(t) for t in fit]), flush=True)
        e2e.wait_until(lambda: time.time() * 1000 > answers[-1][0] + 8000 + 1500, e2e.TIMEOUT, interval=0.2,
                       what="the time of the next answer")
        self.assertEqual([e for e in app.speech() if e[0] > stopped], [])

        self.step("a second start brings the first to the front and ends with 0, no window, no word")
        heard = len(s.said())
        self.assertEqual(app.windows(), [s.window])
        second = WineAbacorn(s.x, prefix=self.prefix).start()
        try:
            self.assertEqual(second.wait_exit(timeout=60), 0)
            self.assertEqual(second.said(), [])
        finally:
            second.cleanup()
        self.assertTrue(app.running())
        self.assertEqual(app.windows(), [s.window])
        shown = [w for w in s.x.stacking() if s.x.window_geometry(w).get("map_state") == "IsViewable"]
        self.assertEqual(shown[0], s.window)

        self.step("Ctrl+Q closes, with status 0")
        s.key("ctrl+q")
        self.assertEqual(app.wait_exit(timeout=e2e.TIMEOUT), 0)
        self.assertEqual(len(s.said()), heard)


class WindowsScreenReaderTest(unittest.TestCase):
    """The screen-reader switch of Windows, on before the start, and turned
    on and off again during the run. Under Wine the screen reader's channel (UI Automation
    notifications) is missing, so the trainer goes on speaking through SAPI.
    The card is clicked during the start-up pause, as a child may: the pause
    between cards runs inside it on the same counter and ends both, so the
    card's words and the welcome come a card's pause after the click."""

    @classmethod
    def setUpClass(cls):
        cls.prefix = WinePrefix().__enter__()
        cls.addClassCleanup(cls.prefix.close)

    def lesson(self):
        return e2e.Session(wait_for_welcome=False, timeout=WINDOW_S,
                           program=lambda x: WineAbacorn(x, prefix=self.prefix))

    def card_then_close(self, s):
        """A click on the card, during the start-up pause or after it: both
        the card's words and the welcome, every text with the flags 3."""
        wait = s.app.pause_limit(STARTUP_PASSES)
        cx, cy, _, _ = rect("lblClickMe")
        s.wait_for_shot(lambda sh: sh.pixel(cx + 12, cy + 12) == WHITE, "the card")
        clicked_ms = time.time() * 1000
        s.click("lblClickMe")
        e2e.wait_until(lambda: sorted(s.said()) == sorted([FOR_ANSWER, e2e.WELCOME]), wait,
                       what="the card's words and the welcome (have %r)" % s.said())
        said_ms = next(t for t, _, text in s.app.speech() if text == FOR_ANSWER)
        s.app.passes.note("a card's pause", CARD_PASSES, (said_ms - clicked_ms) / 1000)
        self.assertEqual({flags for _, flags, _ in s.app.speech()}, {3})
        s.key("ctrl+q")
        self.assertEqual(s.app.wait_exit(timeout=e2e.TIMEOUT), 0)

    def test_switch_on_before_the_start(self):
        self.assertTrue(set_screen_reader(self.prefix, True))
        with self.lesson() as s:
            self.card_then_close(s)

    def test_switch_turned_on_during_the_run(self):
        self.assertFalse(set_screen_reader(self.prefix, False))
        with self.lesson() as s:
            # Announced to the trainer's window, which goes on as it was;
            # and off again, as when the screen reader is closed.
            self.assertTrue(set_screen_reader(self.prefix, True, s.x))
            self.assertTrue(s.app.running())
            self.assertFalse(set_screen_reader(self.prefix, False, s.x))
            self.card_then_close(s)


class WindowsScaleTest(unittest.TestCase):
    """The panel at 96, 144 and 192 dots per inch, each on a screen of
    1920x1080 times the scale: the Windows trainer under Wine (its
    LogPixels) against the Qt build at the same Xft.dpi. Then the Windows
    trainer at 96 is told, as on coming to another monitor, that its scale
    is now 144 (WM_DPICHANGED). With ABACORN_E2E_SHOTS naming a folder the
    screenshots are kept there."""

    @classmethod
    def setUpClass(cls):
        cls.prefix = WinePrefix().__enter__()
        cls.addClassCleanup(cls.prefix.close)

    def keep(self, shot, name):
        if os.environ.get("ABACORN_E2E_SHOTS"):
            shot.save_png(os.path.join(os.environ["ABACORN_E2E_SHOTS"], name + ".png"))

    def wait_for_panel(self, x, dpi):
        """The screen once the panel shows, with the card and the red
        button, and stays so for a look (the child windows paint after
        the panel); and the lavender panel's box."""
        last = []
        def scaled(name, dx, dy):
            cx, cy, _, _ = rect(name)
            return round((cx + dx) * dpi / 96), round((cy + dy) * dpi / 96)

        def painted(shot):
            same = last and last[0] == shot.data
            last[:] = [shot.data]
            if not same:
                return None
            box = e2e.colour_box(shot, e2e.LAVENDER)
            return box and shot.pixel(*scaled("Frame1", 2, 2)) == e2e.LAVENDER \
                and shot.pixel(*scaled("lblClickMe", 12, 12)) == WHITE \
                and shot.pixel(*scaled("Command1", 12, 12)) not in (e2e.LAVENDER, e2e.BLACK) and (shot, box)
        return e2e.wait_until(lambda: painted(x.screenshot()), WINDOW_S, interval=0.2,
                              what="the panel at %d dpi" % dpi)

    def assertClose(self, got, want, what):
        self.assertTrue(all(abs(g - w) <= 2 for g, w in zip(got, want)), "%s: %r, not %r" % (what, got, want))

    def test_three_scales_then_another_monitor(self):
        panels, cards = {}, {}
        for dpi in SCALES:
            print("  %d dpi" % dpi, flush=True)
            size = (1920 * dpi // 96, 1080 * dpi // 96)
            with e2e.Xvfb(*size) as x:
                x.set_dpi(dpi)
                qt = e2e.Abacorn(x).start()
                try:
                    qt.wait_for_window(timeout=e2e.TIMEOUT)
                    shot, qt_panel = self.wait_for_panel(x, dpi)
                    self.keep(shot, "qt-%d" % dpi)
                finally:
                    qt.cleanup()
                self.prefix.set_dpi(dpi, x)
                app = WineAbacorn(x, prefix=self.prefix).start()
                try:
                    app.wait_for_window()
                    shot, panels[dpi] = self.wait_for_panel(x, dpi)
                    self.keep(shot, "windows-%d" % dpi)
                    self.assertClose(panels[dpi], qt_panel, "the panel against Qt's at %d dpi" % dpi)
                    nodes, _ = accessible_tree(self.prefix, x)
                    answered_ms = time.time() * 1000
                    cards[dpi] = next(n.location for n in nodes if n.name == "Flash card")
                    if dpi == 96:
                        # Asked during the start-up pause, as a screen reader
                        # does: the window goes on, and greets.
                        app.wait_for_welcome()
                        print("  the tree answered %.0f ms before the welcome" % (app.speech()[0][0] - answered_ms))
                        self.another_monitor(x, app, panels, cards)
                finally:
                    app.cleanup()
                    self.prefix.wait_idle()
        for dpi in SCALES:
            w, h = panels[96][2:]
            self.assertClose(panels[dpi][2:], (w * dpi / 96, h * dpi / 96), "the panel at %d dpi" % dpi)

    def another_monitor(self, x, app, panels, cards):
        """The trainer at 96 dpi comes to a monitor at 144: it covers the
        screen as before, the panel as at 144, centred, and the card
        takes clicks where it now lies."""
        nodes, _ = accessible_tree(self.prefix, x, "--dpi-changed", "144")
        card = next(n.location for n in nodes if n.name == "Flash card")
        geo = x.window_geometry(app.windows()[0])
        self.assertEqual((geo["x"], geo["y"], geo["width"], geo["height"]), (0, 0, 1920, 1080))
        w, h = panels[144][2:]
        want = ((1920 - w) // 2, (1080 - h) // 2, w, h)
        shot = e2e.wait_until(lambda: (lambda sh: sh if e2e.colour_box(sh, e2e.LAVENDER) == want else None)(
            x.screenshot()), e2e.TIMEOUT, interval=0.2, what="the panel at 144 on 1920x1080 (%r)" % (want,))
        self.keep(shot, "windows-96-then-144")
        self.assertClose(card[2:], cards[144][2:], "the card's size")
        self.assertClose((card[0] - want[0], card[1] - want[1]),
                         (cards[144][0] - panels[144][0], cards[144][1] - panels[144][1]), "the card in the panel")
        heard = len(app.said())
        e2e.click_at(x, card[0] + card[2] // 2, card[1] + card[3] // 2)
        e2e.wait_until(lambda: app.said()[heard:] == [FOR_ANSWER], app.pause_limit(),
                       what="the card's words (have %r)" % app.said()[heard:])


if __name__ == "__main__":
    unittest.main(verbosity=2)

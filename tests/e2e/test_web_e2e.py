# SPDX-License-Identifier: GPL-3.0-or-later
"""End to end: a lesson on the browser build in headless Chromium, its
speech heard by the recording server. One page carries every check, in the
order of the test names: the start button, the window and the welcome, the
card cycle, the operations, a refused range, an interactive round, the
timer's cadence, the loudspeaker, the drawing, the keys and requests that
would leave the page, and Close Program with a fresh start after it. Run
with /usr/bin/python3 (browser.py)."""
import unittest

from testbed import e2e
from testbed.e2e import FOR_ANSWER, GREEN, RED, TILES, WELCOME, WHITE, WRONG
from testbed.e2e.passes import CARD_PASSES, cadence_fits, latest_answer_ms
from testbed.e2e.web import DESIGN_VIEWPORT, WebSession
from testbed.e2e.web import design_rect as rect

TO_CONTINUE = "click flash card to continue"
REFUSED = "ut,oh, the minimum number must be less than or equal to the maximum number  "
NOVELTY = "kwilla  writes, 1 plus 1 equals 2. is kwilla, correct?"
START = "Start Abacorn"


def tile_colour(shot, name):
    # The corner of a tile is its background; the number sits in the middle.
    x, y, _, _ = rect(name)
    return shot.pixel(x + 6, y + 6)


def answer_shown(shot):
    return e2e.ink_in(shot, rect("lbln3")) > 0


class WebLessonTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.s = WebSession(wait_for_welcome=False, start=False).__enter__()
        cls.addClassCleanup(cls.s.__exit__)

    def names(self):
        """What a screen reader finds on the page: (role, name) of every node not ignored."""
        return [(n["role"], n["name"]) for n in self.s.page.ax_tree() if not n["ignored"]]

    def says(self, act, *texts):
        """Acts, then waits until `texts` are said and the program is idle;
        asserts that it said those and nothing more."""
        s = self.s
        s.wait_until_idle()
        before = len(s.said())
        act()
        s.wait_for_says(len(texts), after=before)
        s.wait_until_idle()
        self.assertEqual(s.said()[before:], list(texts))

    def assert_fresh_run(self, said_before):
        """The window shown with 12 + 12 = 24, then the welcome, once, after it."""
        s = self.s
        self.assertEqual([s.text(n) for n in ["lbln1", "lblOperation", "lbln2", "lbln3"]], ["12", "+", "12", "24"])
        s.wait_for_welcome_said()
        s.wait_until_idle()
        self.assertEqual(s.said()[said_before:], [WELCOME])
        stats = s.app.stats()
        spoken = [t for t in stats["spoken"] if t >= stats["started"]]
        self.assertEqual(len(spoken), 1, stats)
        self.assertLess(stats["started"], stats["shown"])
        self.assertLess(stats["shown"], spoken[0])

    def test_1_the_start_button_the_card_and_one_welcome(self):
        s = self.s
        self.assertIn(("button", START), self.names())
        s.start()
        self.assertNotIn(("button", START), self.names())
        self.assert_fresh_run(0)
        shot = s.shot()
        for name in ["lbln1", "lbln2", "lbln3", "lblOperation"]:
            self.assertGreater(e2e.ink_in(shot, rect(name)), 150, name)

    def test_2_a_standard_cycle(self):
        s = self.s
        self.says(lambda: s.click("lblClickMe"), FOR_ANSWER)
        self.assertFalse(answer_shown(s.shot()))
        before = len(s.said())
        s.click("lblClickMe")
        said = s.wait_for_text(TO_CONTINUE, after=before)
        self.assertEqual(len(said), 2, said)
        self.assertTrue(said[0].isdigit(), said)
        self.assertEqual(s.text("lbln3"), said[0])
        s.wait_for_shot(answer_shown, "the answer")

    def test_3_the_four_operations(self):
        s = self.s
        for picture, word in [("picMinus", "subtraction"), ("picX", "multiplication"), ("picDivide", "division"),
                              ("picPlus", "addition")]:
            self.says(lambda: s.click(picture), word)
            self.assertEqual(s.text("lblAddition"), word)

    def test_4_a_refused_range(self):
        s = self.s
        s.wait_until_idle()
        card = s.shot()
        s.tab_to("cmbMinNum")
        # End on the closed list picks its last entry, 90: above the largest.
        self.says(lambda: s.key("End"), REFUSED)
        shot = s.shot()
        for name in ["lbln1", "lbln2", "lbln3"]:
            self.assertEqual(e2e.ink_mask(shot, rect(name)), e2e.ink_mask(card, rect(name)), name)
        # Home puts the smallest back: a range again, and a new card.
        self.says(lambda: s.key("Home"), "the minimum number is now set to 0")
        s.key("Escape")  # hides the ring again for the checks that look at the tiles

    def test_5_an_interactive_round(self):
        s = self.s
        self.says(lambda: s.click("lblInteractive"), "interactive mode", "click possible answers to the right")
        before = len(s.said())
        s.click("lblClickMe")
        said = s.wait_for_text("click on correct answer to the right", after=before)
        s.wait_until_idle()
        self.assertEqual(said, ["%s plus %s" % (s.text("lbln1"), s.text("lbln2")),
                                "click on correct answer to the right"])
        answer = str(int(s.text("lbln1")) + int(s.text("lbln2")))
        s.wait_for_shot(lambda shot: all(tile_colour(shot, t) == WHITE for t in TILES), "six white tiles")
        numbers = {t: s.text(t) for t in TILES}
        right = next(t for t in TILES if numbers[t] == answer)
        wrong = next(t for t in TILES if numbers[t] != answer)
        self.says(lambda: s.click(wrong), WRONG)
        s.wait_for_shot(lambda shot: tile_colour(shot, wrong) == RED, "the wrong tile red")
        self.says(lambda: s.click(right), answer)
        shot = s.wait_for_shot(lambda shot: tile_colour(shot, right) == GREEN and answer_shown(shot),
                               "the right tile green and the answer")
        self.assertEqual(tile_colour(shot, wrong), RED)
        for t in TILES:
            if t not in (right, wrong):
                self.assertEqual(tile_colour(shot, t), WHITE, t)

    def test_6_the_timer_keeps_its_cadence(self):
        """As the desktop's: the answers of a 2 s timer at the times the
        trainer gives them at the pass cost measured in this run."""
        s = self.s
        cards = 3
        self.says(lambda: s.click("lblTimer"), "first choose a timer value in seconds")
        before = len(s.said())
        lx, ly, lw, _ = rect("lstTimer")
        s.click_at(lx + lw // 3, ly + 10)  # the first entry, "2"
        s.wait_for_text("2 seconds.", after=before)
        self.assertEqual(s.said()[before:before + 2], ["timer mode", "2 seconds."])
        t_pick = [e.t_ms for e in s.app.speech() if e.event == "say" and e.text == "2 seconds."][-1]

        def answers():
            return [e for e in s.app.speech() if e.event == "say" and e.t_ms > t_pick]
        band = s.app.passes.band_ms(CARD_PASSES)
        e2e.wait_until(lambda: len(answers()) >= cards, latest_answer_ms(2, band, cards) / 1000 + 10,
                       what="%d answers" % cards)
        # Back to the cards by hand.
        s.click("lblStandard")
        s.wait_for_text("click flashcard", after=before)
        heard = answers()[:cards]
        self.assertTrue(all(e.text.isdigit() for e in heard), heard)
        spoken = [e.t_ms - t_pick for e in heard]
        self.assertIsNotNone(cadence_fits(spoken, 2, band, tolerance_ms=300),
                             "answers %r ms after the pick, for pauses of %.0f to %.0f ms" % ((spoken,) + band))

    def test_7_nothing_is_said_while_the_loudspeaker_is_off(self):
        s = self.s
        s.wait_until_idle()
        before = len(s.said())
        px, py, pw, ph = rect("Picture1")
        on = s.shot().crop(px, py, pw, ph).data
        s.click("Picture1")
        s.wait_for_shot(lambda shot: shot.crop(px, py, pw, ph).data != on, "the loudspeaker off")
        # Things that speak, each waited for on the screen.
        s.click("lblClickMe")
        s.wait_for_shot(lambda shot: not answer_shown(shot), "a question")
        s.click("img123")
        s.click("lblInteractive")
        s.wait_for_shot(lambda shot: tile_colour(shot, "lbl1") == WHITE, "white tiles")
        s.click("lbl1")
        s.wait_for_shot(lambda shot: tile_colour(shot, "lbl1") in (RED, GREEN), "the tile judged")
        s.wait_until_idle()
        # On again: what follows is said, and nothing from before it.
        s.click("Picture1")
        s.click("lblStandard")
        s.wait_for_text("click flashcard", after=before)
        s.wait_until_idle()
        self.assertEqual(s.said()[before:], ["standard mode", "click flashcard"])

    def test_8_the_drawing_says_its_sentence(self):
        self.says(lambda: self.s.click("img123"), NOVELTY)

    def test_9a_keys_that_would_leave_the_page_keep_the_lesson(self):
        s = self.s
        s.page.evaluate("window.stayed = 1")
        for key in ["F5", "BackSpace", "alt+Left"]:
            s.key(key)
        self.says(lambda: s.click("picX"), "multiplication")
        self.assertEqual(s.page.evaluate("window.stayed"), 1)
        with self.subTest("leaving the page asks first; staying keeps the lesson"):
            self.assertEqual(s.x.ask_to_close()["type"], "beforeunload")
            self.says(lambda: s.click("picPlus"), "addition")
            self.assertEqual(s.page.evaluate("window.stayed"), 1)
            self.assertTrue(s.app.running())

    def test_9b_close_program_ends_the_run_and_a_new_start_is_fresh(self):
        s = self.s
        s.click("Command1")
        self.assertEqual(s.app.wait_exit(), 0)
        names = self.names()
        self.assertIn(("button", START), names)
        # The next window waits unseen, out of the tree, for the next start.
        self.assertTrue(s.page.evaluate("document.getElementById('stage').hidden"))
        self.assertNotIn("Flash card", [name for _, name in names])
        before = len(s.said())
        s.start()
        self.assert_fresh_run(before)


class EarlyTapTest(unittest.TestCase):
    """The start button is there before the program has loaded: a tap on it
    then is kept, and the run starts once the program is in."""

    def test_a_tap_before_the_program_has_loaded_starts_the_run_once_it_has(self):
        from testbed.e2e import browser
        width, height = DESIGN_VIEWPORT
        with browser.StaticServer(browser.site_dir()) as web, \
                browser.Chromium(width=width, height=height) as chrome:
            page = chrome.page
            # The program's file is held back until the tap has been made.
            page.send("Fetch.enable", patterns=[{"urlPattern": "*abacorn.js*", "requestStage": "Request"}])
            page.send("Page.navigate", url=web.url)
            held = page.wait_event("Fetch.requestPaused")
            page.wait_for("!!(window.Module && Module.page && document.getElementById('start'))",
                          what="the start button")
            x, y = page.evaluate("(() => { const r = document.getElementById('start').getBoundingClientRect();"
                                 " return [r.x + r.width / 2, r.y + r.height / 2]; })()")
            page.click(x, y)
            self.assertEqual(page.evaluate("document.getElementById('start').getAttribute('aria-busy')"), "true")
            self.assertFalse(page.evaluate("document.documentElement.dataset.ready === '1'"))
            page.send("Fetch.continueRequest", requestId=held["requestId"])
            chrome.wait_for_say(WELCOME, timeout=e2e.TIMEOUT)
            self.assertTrue(page.evaluate("document.getElementById('start').hidden"))
            self.assertEqual(chrome.said(), [WELCOME])


if __name__ == "__main__":
    unittest.main(verbosity=2)

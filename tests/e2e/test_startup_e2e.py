# SPDX-License-Identifier: GPL-3.0-or-later
"""End to end: the window at start-up, the welcome, the loudspeaker switch and
Close Program, on Xvfb with the recording speech daemon."""
import unittest

from testbed import e2e
from testbed.e2e import rect


def question_and_answer(test, s):
    """Two clicks on the card: a question without its answer, then the answer."""
    s.click("lblClickMe")
    s.wait_for_shot(lambda shot: e2e.ink_in(shot, rect("lbln3")) == 0 and e2e.ink_in(shot, rect("lbln1")) > 0,
                    "a new question")
    s.click("lblClickMe")
    s.wait_for_shot(lambda shot: e2e.ink_in(shot, rect("lbln3")) > 0, "the answer")


class StartupTest(unittest.TestCase):
    def test_window_panel_example_card_and_one_welcome(self):
        with e2e.Session(wait_for_welcome=False) as s:
            # The welcome comes after the window was seen mapped, never before.
            self.assertNotIn(e2e.WELCOME, s.said())
            events = s.app.wait_for_say(e2e.WELCOME, timeout=e2e.TIMEOUT)
            welcome = [e for e in events if e.event == "say" and e.text == e2e.WELCOME][0]
            self.assertGreater(welcome.t_ms, s.mapped_ms)

            geo = s.x.window_geometry(s.window)
            self.assertEqual((geo["x"], geo["y"], geo["width"], geo["height"]), (0, 0, 1920, 1080))

            shot = s.shot()
            # Black around the panel, lavender panel centred on the screen.
            px, py, pw, ph = rect("Frame1")
            self.assertEqual((px, py, pw, ph), (568, 248, 785, 585))
            right, bottom = px + pw - 1, py + ph - 1
            for x, y in [(0, 0), (1919, 1079), (1919, 0), (0, 1079), (960, 1000)]:
                self.assertEqual(shot.pixel(x, y), e2e.BLACK, (x, y))
            inside_outside = [
                ((px, py), (px - 1, py)), ((right, py), (right + 1, py)),
                ((px, bottom), (px, bottom + 1)), ((right, bottom), (right + 1, bottom)),
                ((px, py + ph // 2), (px - 1, py + ph // 2)),
                ((right, py + ph // 2), (right + 1, py + ph // 2)),
                ((px + pw // 2, bottom), (px + pw // 2, bottom + 1)),
            ]
            for inside, outside in inside_outside:
                self.assertEqual(shot.pixel(*inside), e2e.LAVENDER, inside)
                self.assertEqual(shot.pixel(*outside), e2e.BLACK, outside)
            # The banner sits right above the panel: black, with light letters.
            bx, by, bw, bh = rect("lblKidSafe")
            self.assertEqual((bx, by + bh, bw), (px, py, pw))
            self.assertEqual(shot.pixel(px + pw // 2, py - 1), e2e.BLACK)
            self.assertGreater(shot.count((192, 192, 192), rect=(bx, by, bw, bh), tolerance=40), 200)
            self.assertEqual(shot.count(e2e.LAVENDER, rect=(bx, by, bw, bh)), 0)

            # The worked example 12 + 12 = 24: ink in each number, the sign
            # and the rule; the two 12s look alike, the answer does not.
            for name in ["lbln1", "lbln2", "lbln3", "lblOperation"]:
                self.assertGreater(e2e.ink_in(shot, rect(name)), 150, name)
            lx, ly, lw, lh = rect("Line1")
            self.assertGreater(e2e.ink_in(shot, (lx, ly - 3, lw, lh + 6)), lw * 3)
            self.assertEqual(e2e.ink_box(shot, rect("lbln1")), e2e.ink_box(shot, rect("lbln2")))
            self.assertNotEqual(e2e.ink_box(shot, rect("lbln1")), e2e.ink_box(shot, rect("lbln3")))

            # Said once only: the next thing said comes from a card click.
            s.click("lblClickMe")
            said = s.wait_for_text("click flash card for answer")
            self.assertEqual(said.count(e2e.WELCOME), 1)
            self.assertEqual(said, [e2e.WELCOME, "click flash card for answer"])

    def test_loudspeaker_mutes_everything_until_switched_on_again(self):
        with e2e.Session() as s:
            speaker = rect("Picture1")
            self.assertEqual(speaker[:2], rect("Picture2")[:2])
            on = s.shot().crop(*speaker).data
            s.click("Picture1")
            s.wait_for_shot(lambda shot: shot.crop(*speaker).data != on, "the struck-through loudspeaker")
            # A question, its answer and a new operation, all in silence.
            question_and_answer(self, s)
            s.click("picMinus")
            s.wait_for_shot(lambda shot: shot.count(e2e.DARK_GREY, rect("shpSubtraction"), tolerance=30) > 20,
                            "the dot over minus")
            s.wait_until_idle()
            self.assertEqual(s.said(), [e2e.WELCOME])
            # Switched on again: it shows the loudspeaker and says nothing.
            s.click("Picture2")
            s.wait_for_shot(lambda shot: shot.crop(*speaker).data == on, "the loudspeaker on again")
            s.wait_until_idle()
            self.assertEqual(s.said(), [e2e.WELCOME])
            # The answer of the card is spoken again; the hints were used up
            # while muted.
            s.click("lblClickMe")
            said = s.wait_for_says(1, after=1)
            s.wait_until_idle()
            self.assertEqual(s.said()[1:], said)
            self.assertEqual(len(said), 1, said)
            self.assertRegex(said[0], r"^\d+$")

    def test_muting_during_the_start_up_pause_silences_the_welcome(self):
        with e2e.Session(wait_for_welcome=False) as s:
            clicked_ms = e2e.monotonic_ms()
            s.click("Picture1")
            question_and_answer(self, s)
            s.wait_until_idle()
            said = [e for e in s.app.speech() if e.event == "say"]
            if said and said[0].t_ms < clicked_ms:
                self.skipTest("the start-up pause was over before the click")
            self.assertEqual(said, [])
            # On again: the next answer is spoken.
            s.click("Picture2")
            question_and_answer(self, s)
            said = s.wait_for_says(1)
            s.wait_until_idle()
            self.assertEqual(len(s.said()), 1, s.said())
            self.assertRegex(said[0], r"^\d+$")

    def test_close_program_exits_with_status_zero(self):
        with e2e.Session() as s:
            s.click("Command1")
            self.assertEqual(s.app.wait_exit(timeout=e2e.TIMEOUT), 0)

    def test_close_program_during_the_start_up_pause(self):
        with e2e.Session(wait_for_welcome=False) as s:
            clicked_ms = e2e.monotonic_ms()
            s.click("Command1")
            self.assertEqual(s.app.wait_exit(timeout=e2e.TIMEOUT), 0)
            said = [e for e in s.app.speech() if e.event == "say"]
            if said and said[0].t_ms < clicked_ms:
                self.skipTest("the start-up pause was over before the click")
            self.assertEqual(said, [])


if __name__ == "__main__":
    unittest.main(verbosity=2)

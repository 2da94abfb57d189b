# SPDX-License-Identifier: GPL-3.0-or-later
"""End to end from the keyboard, with real keys (xdotool) on Xvfb: no key
ends the lesson, Ctrl+Q does, Tab walks the controls in order with a ring
around the focused one, Space does what a click does, and a mouse click
hides the ring without a trace."""
import random
import re
import sys
import unittest

from testbed import e2e
from testbed.e2e import FOR_ANSWER, STANDARD_WALK, WRONG, rect

NOVELTY = "kwilla  writes, 1 plus 1 equals 2. is kwilla, correct?"
PROBLEM = re.compile(r"^(\d+) (plus|minus|times|divided by) (\d+)$")
OPERATIONS = {"plus": lambda a, b: a + b, "minus": lambda a, b: a - b, "times": lambda a, b: a * b,
              "divided by": lambda a, b: a // b}
# What a child can reach: letters, digits, the big keys, the arrows.
CHILD_KEYS = ([chr(c) for c in range(ord("a"), ord("z") + 1)] + [str(d) for d in range(10)] +
              ["space", "Return", "Tab", "Escape", "BackSpace", "Up", "Down", "Left", "Right", "KP_Enter"])


def bare_black(s):
    """A point on the black backdrop, outside the panel."""
    x, y, w, h = rect("Frame1")
    return x + w // 2, y + h + 60


class KeysAtStartTest(unittest.TestCase):
    def test_space_enter_and_escape_right_after_start_leave_it_open(self):
        with e2e.Session(wait_for_welcome=False) as s:
            s.key("space")
            s.key("Return")
            s.key("Escape")
            s.app.wait_for_say(e2e.WELCOME, timeout=e2e.TIMEOUT)
            s.wait_until_idle()
            self.assertTrue(s.app.running())
            # The card had the focus: the keys dealt and showed as clicks do.
            self.assertIn(FOR_ANSWER, s.said())

    def test_ctrl_q_closes_with_status_zero(self):
        with e2e.Session() as s:
            s.key("ctrl+q")
            self.assertEqual(s.app.wait_exit(timeout=e2e.TIMEOUT), 0)


class RandomKeysTest(unittest.TestCase):
    def test_two_thousand_random_keys_leave_it_open_and_dealing_right(self):
        keys = random.Random(13).choices(CHILD_KEYS, k=2000)
        with e2e.Session() as s:
            speaker = s.shot().crop(*rect("Picture1")).data
            for i in range(0, len(keys), 250):
                s.x.run(["xdotool", "key", "--delay", "4"] + keys[i:i + 250], timeout=120)
                self.assertTrue(s.app.running(), "ended after %d keys" % (i + 250))
            s.key("Escape")  # a list the keys left open
            s.wait_until_idle()
            self.assertTrue(s.app.running())
            print("\n%d keys; said %d texts, the last ones: %r" % (len(keys), len(s.said()), s.said()[-4:]),
                  file=sys.stderr)
            # The trainer goes on: speech on, interactive mode, a card read
            # out and judged, as the card shows it.
            if s.shot().crop(*rect("Picture1")).data != speaker:
                s.click("Picture2")
            s.click("lblInteractive")
            s.wait_until_idle()
            heard = len(s.said())
            s.click("lblClickMe")
            problem = e2e.wait_until(lambda: next((t for t in s.said()[heard:] if PROBLEM.match(t)), None),
                                     e2e.TIMEOUT, what="the problem read out")
            a, word, b = PROBLEM.match(problem).groups()
            expected = OPERATIONS[word](int(a), int(b))
            s.wait_until_idle()
            shot = s.shot()
            self.assertGreater(e2e.ink_in(shot, rect("lbln1")), 100)
            self.assertGreater(e2e.ink_in(shot, rect("lbln2")), 100)
            self.assertEqual(e2e.ink_in(shot, rect("lbln3")), 0)
            self.assertEqual(a == b, e2e.ink_box(shot, rect("lbln1")) == e2e.ink_box(shot, rect("lbln2")))
            answer = None
            for tile in ["lbl1", "lbl2", "lbl3", "lbl4", "lbl5", "lbl6"]:
                heard = len(s.said())
                s.click(tile)
                said = s.wait_for_says(1, after=heard)[0]
                if said != WRONG:
                    answer = said
                    break
            self.assertEqual(answer, str(expected), problem)
            if word == "divided by":
                self.assertEqual(int(a) % int(b), 0, problem)
            s.wait_for_shot(lambda shot: e2e.ink_in(shot, rect("lbln3")) > 0, "the answer on the card")


class TabWalkTest(unittest.TestCase):
    def test_tab_walks_in_order_and_space_does_what_a_click_does(self):
        with e2e.Session() as s:
            start = s.shot()
            self.assertIsNone(e2e.ring_box(start))  # no ring before a key
            walk = [s.press("Tab") for _ in STANDARD_WALK]
            self.assertEqual(walk, STANDARD_WALK)
            self.assertEqual(s.press("shift+Tab"), "Picture1")
            self.assertEqual(s.press("Tab"), "lblClickMe")

            def space_says(name, *texts):
                s.tab_to(name)
                heard = len(s.said())
                s.key("space")
                said = s.wait_for_says(len(texts), after=heard)
                s.wait_until_idle()
                self.assertEqual(s.said()[heard:], list(texts), name)
                return said

            space_says("lblClickMe", FOR_ANSWER)
            for picture, word in [("picMinus", "subtraction"), ("picX", "multiplication"),
                                  ("picDivide", "division"), ("picPlus", "addition")]:
                space_says(picture, word)
            space_says("img123", NOVELTY)
            space_says("lblStandard", "standard mode", "click flashcard")

            # The loudspeaker: off, the focus stays on it, and on again.
            on = s.shot().crop(*rect("Picture1")).data
            s.tab_to("Picture1")
            s.key("space")
            s.wait_for_shot(lambda shot: shot.crop(*rect("Picture1")).data != on, "the loudspeaker off")
            self.assertEqual(s.focused(), "Picture2")
            s.key("Return")
            s.wait_for_shot(lambda shot: shot.crop(*rect("Picture1")).data == on, "the loudspeaker on")

            # A list: Space opens it as a click does, Escape closes it, an
            # arrow picks on the closed list; Enter opens it too.
            s.tab_to("cmbMinNum")
            s.key("space")
            s.popup_window()
            s.key("Escape")
            e2e.wait_until(lambda: len(s.x.find_windows(pid=s.app.pid)) == 1, e2e.TIMEOUT,
                           what="the list to close")
            heard = len(s.said())
            s.key("Down")
            self.assertEqual(s.wait_for_says(1, after=heard), ["the minimum number is now set to 1"])
            s.key("Down")
            self.assertEqual(s.wait_for_says(2, after=heard)[1], "the minimum number is now set to 2")
            self.assertEqual(s.focused(), "cmbMinNum")  # the focus stays on the list
            s.tab_to("cmbMaxNum")
            s.key("Return")
            s.popup_window()
            s.key("Escape")

            # Interactive mode: the six answers join the walk after the lists.
            space_says("lblInteractive", "interactive mode", "click possible answers to the right")
            s.tab_to("cmbMaxNum")
            self.assertEqual([s.press("Tab") for _ in range(7)],
                             ["lbl1", "lbl2", "lbl3", "lbl4", "lbl5", "lbl6", "lblInteractive"])
            s.tab_to("lblClickMe")
            s.key("space")
            s.wait_for_text("click on correct answer to the right")
            s.tab_to("lbl1")
            heard = len(s.said())
            s.key("space")
            said = s.wait_for_says(1, after=heard)[0]
            self.assertTrue(said == WRONG or said.isdigit(), said)

            # Timer mode: the seconds list joins the walk; arrows and Space pick.
            space_says("lblTimer", "first choose a timer value in seconds")
            s.tab_to("lstTimer")
            heard = len(s.said())
            s.key("Down")
            picked = s.wait_for_says(2, after=heard)
            self.assertEqual(picked[0], "timer mode")
            self.assertRegex(picked[1], r"^[2-6] seconds\.$")
            heard = len(s.said())
            s.key("space")
            self.assertEqual(s.wait_for_says(2, after=heard), picked)
            # Back to standard mode (the cards run meanwhile).
            s.key("shift+Tab")
            s.key("shift+Tab")
            heard = len(s.said())
            s.key("space")
            s.wait_for_text("click flashcard", after=heard)

            # Close Program takes no focus: no key in the walk reaches it.
            self.assertNotIn("Command1", s.STOPS)
            self.assertTrue(s.app.running())


class RingTest(unittest.TestCase):
    def test_a_click_hides_the_ring_without_a_trace(self):
        with e2e.Session() as s:
            # Clicks alone never show it.
            s.click_at(*bare_black(s))
            s.click("picMinus")
            s.wait_for_text("subtraction")
            s.click("picPlus")
            s.wait_for_text("addition", after=2)
            s.wait_until_idle()
            before = s.shot()
            self.assertIsNone(e2e.ring_box(before))
            for name in ["picPlus", "cmbMinNum"]:
                s.tab_to(name)
                self.assertEqual(e2e.ring_box(s.shot()), e2e.ring_around(name))
                s.click_at(*bare_black(s))
                shot = s.wait_for_shot(lambda shot: e2e.ring_box(shot) is None, "the ring gone")
                self.assertEqual(shot.data, before.data, name)


if __name__ == "__main__":
    unittest.main(verbosity=2)

# SPDX-License-Identifier: GPL-3.0-or-later
"""End to end: the standard card cycle, the number range lists and the four
operation pictures, on Xvfb with the recording speech daemon."""
import re
import unittest

from testbed import e2e
from testbed.e2e import FOR_ANSWER, rect

TO_CONTINUE = "click flash card to continue"
REFUSED = "ut,oh, the minimum number must be less than or equal to the maximum number  "


def number(text):
    return re.fullmatch(r"\d+", text) is not None


def similar(a, b, share=0.03):
    """Two ink boxes (see ab.ink_box) of the same size differing in at most
    `share` of their pixels: the same text, drawn a fraction of a pixel apart."""
    if a is None or b is None or a[:2] != b[:2]:
        return False
    return sum(p != q for p, q in zip(a[2], b[2])) <= share * len(a[2])


def answer_shown(shot):
    return e2e.ink_in(shot, rect("lbln3")) > 0


class CardCycleTest(unittest.TestCase):
    def test_question_then_answer_then_next_card(self):
        with e2e.Session() as s:
            self.assertTrue(answer_shown(s.shot()))
            # First click: a new question without its answer, and its hint.
            s.click("lblClickMe")
            self.assertEqual(s.wait_for_text(FOR_ANSWER), [e2e.WELCOME, FOR_ANSWER])
            s.wait_until_idle()  # the hint is given before the new card is painted
            shot = s.shot()
            self.assertFalse(answer_shown(shot))
            for name in ["lbln1", "lbln2", "lblOperation"]:
                self.assertGreater(e2e.ink_in(shot, rect(name)), 100, name)
            # Second click: the answer; the hint to go on is said once.
            s.click("lblClickMe")
            s.wait_for_text(TO_CONTINUE)
            s.wait_for_shot(answer_shown, "the answer")
            # Later cycles: the answer goes and comes back, only the answer is said.
            for _ in range(2):
                heard = len(s.said())
                s.click("lblClickMe")
                s.wait_for_shot(lambda shot: not answer_shown(shot), "the next question")
                # Blank during the pause between cards, where a click would
                # reveal the card just gone: wait for the new question.
                s.wait_until_idle()
                s.click("lblClickMe")
                answer = s.wait_for_says(1, after=heard)[0]
                self.assertTrue(number(answer), answer)
                self.assertLessEqual(int(answer), 24)
                s.wait_for_shot(answer_shown, "the answer")
                s.wait_until_idle()
                self.assertEqual(s.said()[heard:], [answer])
            self.assertEqual(s.said().count(FOR_ANSWER), 1)
            self.assertEqual(s.said().count(TO_CONTINUE), 1)

    def test_first_answer_is_spoken_before_its_hint(self):
        # The first answer is followed at once by the hint to go on; both
        # must reach the voice, the answer first.
        with e2e.Session() as s:
            s.click("lblClickMe")
            s.wait_for_text(FOR_ANSWER)
            s.click("lblClickMe")
            said = s.wait_for_text(TO_CONTINUE)
            self.assertEqual(len(said), 4, said)
            self.assertTrue(number(said[2]), said)


class DoubleClickTest(unittest.TestCase):
    def test_a_double_click_is_one_click_and_slow_clicks_are_two(self):
        with e2e.Session() as s:
            # From the example card: one deal, its hint, and no answer of
            # the card that has just gone.
            s.clicks("lblClickMe", 2, delay_ms=60)
            s.wait_for_text(FOR_ANSWER)
            s.wait_until_idle()
            self.assertEqual(s.said(), [e2e.WELCOME, FOR_ANSWER])
            self.assertFalse(answer_shown(s.shot()))

            heard = len(s.said())
            s.clicks("picX", 2, delay_ms=60)
            s.wait_for_text("multiplication", after=heard)
            s.wait_until_idle()
            self.assertEqual(s.said()[heard:], ["multiplication"])

            # A second apart: two clicks. On the card the answer, then the
            # next card (nothing more to say).
            heard = len(s.said())
            s.clicks("lblClickMe", 2, delay_ms=1000)
            s.wait_until_idle()
            said = s.said()[heard:]
            self.assertEqual(len(said), 2, said)
            self.assertTrue(number(said[0]), said)
            self.assertEqual(said[1], TO_CONTINUE)
            s.wait_for_shot(lambda shot: not answer_shown(shot), "the next card")

            heard = len(s.said())
            s.clicks("picX", 2, delay_ms=1000)
            s.wait_until_idle()
            self.assertEqual(s.said()[heard:], ["multiplication"] * 2)


class RangeTest(unittest.TestCase):
    def test_picks_by_mouse_and_keyboard_and_a_refused_range(self):
        with e2e.Session() as s:
            start = s.shot()
            twelve = e2e.ink_box(start, rect("lbln1"))
            # One whole cycle first, so that the hints are behind us.
            s.click("lblClickMe")
            s.wait_for_text(FOR_ANSWER)
            s.click("lblClickMe")
            s.wait_for_text(TO_CONTINUE)

            heard = len(s.said())
            s.pick_with_mouse("cmbMinNum", e2e.MIN_ITEMS, "6")
            s.wait_for_text("the minimum number is now set to 6", after=heard)
            s.pick_with_mouse("cmbMaxNum", e2e.MAX_ITEMS, "6")
            s.wait_for_text("the maximum number is now set to 6", after=heard)
            s.wait_until_idle()
            self.assertEqual(s.said()[heard:], ["the minimum number is now set to 6",
                                                "the maximum number is now set to 6"])
            # The range allows only 6 + 6: a new card, its answer hidden.
            shot = s.wait_for_shot(lambda shot: not answer_shown(shot), "the new card")
            six = e2e.ink_box(shot, rect("lbln1"))
            self.assertIsNotNone(six)
            self.assertEqual(six, e2e.ink_box(shot, rect("lbln2")))
            self.assertNotEqual(six, twelve)
            # Its answer, said and shown, is 12: drawn like the 12 of the
            # example card at start-up.
            heard = len(s.said())
            s.click("lblClickMe")
            self.assertEqual(s.wait_for_says(1, after=heard), ["12"])
            shot = s.wait_for_shot(answer_shown, "the answer")
            self.assertTrue(similar(e2e.ink_box(shot, rect("lbln3")), twelve))
            self.assertFalse(similar(e2e.ink_box(shot, rect("lbln3")), e2e.ink_box(start, rect("lbln3"))))

            # Picking the entry already shown acts all the same.
            heard = len(s.said())
            s.pick_with_mouse("cmbMaxNum", e2e.MAX_ITEMS, "6")
            self.assertEqual(s.wait_for_says(1, after=heard), ["the maximum number is now set to 6"])
            s.wait_for_shot(lambda shot: not answer_shown(shot), "the new card")

            # The down arrow on the closed list picks the next entry.
            s.focus_combo("cmbMaxNum")
            heard = len(s.said())
            s.x.key("Down")
            self.assertEqual(s.wait_for_says(1, after=heard), ["the maximum number is now set to 7"])
            s.wait_until_idle()
            self.assertEqual(len(s.said()), heard + 1)

            # A minimum above the maximum is refused: a warning, no new card.
            before = s.shot()
            heard = len(s.said())
            s.pick_with_mouse("cmbMinNum", e2e.MIN_ITEMS, "20")
            self.assertEqual(s.wait_for_says(1, after=heard), [REFUSED])
            s.wait_until_idle()
            self.assertEqual(s.said()[heard:], [REFUSED])
            after = s.shot()
            for name in ["lbln1", "lbln2", "lbln3"]:
                self.assertEqual(e2e.ink_mask(after, rect(name)), e2e.ink_mask(before, rect(name)), name)


class OperationTest(unittest.TestCase):
    def test_each_picture_moves_the_dot_renames_changes_the_sign_and_speaks(self):
        operations = [("picMinus", "subtraction", "shpSubtraction"),
                      ("picX", "multiplication", "shpMultiplication"),
                      ("picDivide", "division", "shpDivision"),
                      ("picPlus", "addition", "shpAddition")]
        dots = [dot for _, _, dot in operations]
        lx, ly, lw, lh = rect("lblAddition")
        name_area = (lx, ly, lw + 50, lh)  # the longer words grow to the right
        with e2e.Session() as s:
            start = s.shot()
            signs, names = {}, {}
            for picture, word, dot in operations:
                heard = len(s.said())
                s.click(picture)
                self.assertEqual(s.wait_for_says(1, after=heard), [word])
                s.wait_until_idle()
                self.assertEqual(s.said()[heard:], [word])
                shot = s.shot()
                for d in dots:
                    grey = shot.count(e2e.DARK_GREY, rect=rect(d), tolerance=30)
                    if d == dot:
                        self.assertGreater(grey, 20, (word, d))
                    else:
                        self.assertEqual(grey, 0, (word, d))
                # A new card, its answer hidden.
                self.assertFalse(answer_shown(shot), word)
                self.assertGreater(e2e.ink_in(shot, rect("lbln1")), 100, word)
                signs[word] = e2e.ink_box(shot, rect("lblOperation"))
                names[word] = e2e.ink_mask(shot, name_area)
                self.assertIsNotNone(signs[word], word)
            words = [w for _, w, _ in operations]
            for i, a in enumerate(words):
                for b in words[i + 1:]:
                    self.assertNotEqual(signs[a], signs[b], (a, b))
                    self.assertNotEqual(names[a], names[b], (a, b))
            # Back on addition everything looks as it did at start-up.
            self.assertEqual(signs["addition"], e2e.ink_box(start, rect("lblOperation")))
            self.assertEqual(names["addition"], e2e.ink_mask(start, name_area))
            self.assertGreater(start.count(e2e.DARK_GREY, rect=rect("shpAddition"), tolerance=30), 20)


if __name__ == "__main__":
    unittest.main(verbosity=2)

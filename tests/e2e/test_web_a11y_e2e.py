# SPDX-License-Identifier: GPL-3.0-or-later
"""End to end: the browser build's page audited by axe-core in headless
Chromium, in the states a child meets: the start screen, a card turned,
the six tiles of interactive mode and timer mode running. In each, no
rule of axe-core is broken, and no control in the page's accessibility
tree, nor the focus, is without a name. One page carries every check, in
the order of the test names. Run with /usr/bin/python3 (browser.py)."""
import unittest

from testbed.e2e import FOR_ANSWER, TILES
from testbed.e2e import axe
from testbed.e2e.web import WebSession

# Rules of axe-core that do not fit this page, each with its reason
# (docs/web-notes.md, "The page audited by axe-core").
DISABLED = {}


class WebAuditTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        script = axe.source()  # a missing checker fails before the browser starts
        cls.s = WebSession(wait_for_welcome=False, start=False).__enter__()
        cls.addClassCleanup(cls.s.__exit__)
        cls.audit = axe.Audit(cls.s.page, DISABLED, script)

    def assert_accessible(self, *named):
        """axe-core finds nothing wrong, having looked at the controls
        `named` (their accessible names); no control and no focus without a
        name."""
        s = self.s
        s.wait_until_idle()
        result = self.audit.run()
        with self.subTest("axe-core %s" % result.version):
            self.assertEqual(result.violations, [])
        with self.subTest("the texts over a layer that takes the clicks, against the fill under them"):
            self.assertEqual([c for c in result.contrasts() if c[1] < c[2]], [])
        with self.subTest("axe-core looked at the controls shown"):
            looked = set().union(*result.passed.values())
            self.assertEqual([n for n in named if n not in looked], [])
        with self.subTest("every control and the focus named"):
            nodes = s.page.ax_tree()
            self.assertEqual(axe.unnamed_controls(nodes), [])
        return result

    def test_1_the_start_screen(self):
        self.assert_accessible("Start Abacorn")

    def test_2_a_standard_card(self):
        s = self.s
        s.start()
        s.wait_until_idle()
        before = len(s.said())
        s.click("lblClickMe")
        s.wait_for_text(FOR_ANSWER, after=before)
        self.assert_accessible("Flash card", "Standard mode", "Interactive mode", "Timer mode", "Close Program",
                               "Addition", "Speech on", "Smallest number", "Largest number", "Quilla")

    def test_3_interactive_mode_with_its_tiles(self):
        s = self.s
        s.click("lblInteractive")
        s.wait_until_idle()
        before = len(s.said())
        s.click("lblClickMe")
        s.wait_for_text("click on correct answer to the right", after=before)
        s.wait_until_idle()
        numbers = [s.text(t) for t in TILES]
        self.assertTrue(all(n.isdigit() for n in numbers), numbers)
        self.assert_accessible("Flash card", *("Answer %d: %s" % (i + 1, n) for i, n in enumerate(numbers)))

    def test_4_timer_mode(self):
        s = self.s
        before = len(s.said())
        s.click("lblTimer")
        s.wait_for_text("first choose a timer value in seconds", after=before)
        lx, ly, lw, _ = s.rect("lstTimer")
        s.click_at(lx + lw // 3, ly + 10)  # the first entry, "2"
        s.wait_for_text("2 seconds.", after=before)
        self.assert_accessible("Seconds per card", "Timer mode")


if __name__ == "__main__":
    unittest.main(verbosity=2)

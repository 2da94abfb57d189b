# SPDX-License-Identifier: GPL-3.0-or-later
"""A child at the browser: a burst of real clicks, double clicks and keys,
anywhere on the panel and as fast as they come, while the trainer pauses
and speaks. The lesson must survive it: no uncaught error, the window still
there, and the next click heard. The burst is random but seeded, so a run
that fails can be played again (ABACORN_TORTURE_SEED)."""
import os
import random
import sys
import unittest

from testbed import e2e
from testbed.e2e import browser
from testbed.e2e.web import DESIGN_VIEWPORT
from testbed.e2e.web import design_rect as rect

KEYS = ["Tab", "Tab", "Space", "Enter", "Escape", "ArrowDown", "ArrowUp", "ArrowLeft", "a", "7", "F5",
        "Backspace"]
ACTIONS = 400


def inside(point, r):
    x, y = point
    return r[0] <= x < r[0] + r[2] and r[1] <= y < r[1] + r[3]


class WebTortureTest(unittest.TestCase):
    def test_a_burst_of_clicks_and_keys_leaves_the_lesson_running(self):
        seed = int(os.environ.get("ABACORN_TORTURE_SEED", "1234"))
        rng = random.Random(seed)
        panel = rect("Frame1")
        # Only the two ways out are spared: "Close Program" and Ctrl+Q.
        spared = [rect("Command1")]
        width, height = DESIGN_VIEWPORT
        with browser.StaticServer(browser.site_dir()) as web, browser.Chromium(width=width, height=height) as chrome:
            page = chrome.page
            page.navigate(web.url)
            browser.start_lesson(page)
            chrome.wait_for_say(e2e.WELCOME, timeout=e2e.TIMEOUT)
            for _ in range(ACTIONS):
                kind = rng.random()
                if kind < 0.6:
                    while True:
                        point = (rng.randrange(panel[0], panel[0] + panel[2]),
                                 rng.randrange(panel[1], panel[1] + panel[3]))
                        if not any(inside(point, r) for r in spared):
                            break
                    if kind < 0.15:
                        page.double_click(*point)
                    else:
                        page.click(*point)
                else:
                    key = rng.choice(KEYS)
                    page.key(key, browser.ALT if key == "ArrowLeft" else 0)
            page.wait_for("Module.page.idle()", timeout=e2e.TIMEOUT, what="the trainer to take every event")
            errors = [line for line in page.console() if line.startswith(("uncaught", "error"))]
            self.assertEqual(errors, [], "seed %d" % seed)
            self.assertTrue(page.evaluate("document.getElementById('start').hidden"), "the lesson ended")
            names = {n["name"] for n in page.ax_tree()}
            self.assertIn("Flash card", names)
            if "Speech off" in names:
                page.click(*e2e.centre(rect("Picture2")))
                page.wait_for("Module.page.idle()", timeout=e2e.TIMEOUT)
            since = e2e.monotonic_ms()
            page.click(*e2e.centre(rect("picMinus")))
            chrome.wait_for_say("subtraction", since_ms=since, timeout=e2e.TIMEOUT)
            print("\n  %d actions, seed %d, %d texts said" % (ACTIONS, seed, len(chrome.said())), file=sys.stderr)


if __name__ == "__main__":
    unittest.main(verbosity=2)

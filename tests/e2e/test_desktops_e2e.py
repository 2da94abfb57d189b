# SPDX-License-Identifier: GPL-3.0-or-later
"""End to end: the window on real desktops. Under openbox with a tint2 panel
in the top layer it is full screen as the window manager understands it and
covers the panel; under a window manager that refuses full screen it says so
in one line and keeps working; under openbox and xfwm4 Alt+F4 leaves it open,
full screen and speaking; under weston (Wayland, headless) it is configured
full screen on the output and speaks its welcome."""
import re
import signal
import unittest

from testbed import e2e

PANEL = (255, 0, 255)  # a colour the trainer never paints
PANEL_HEIGHT = 60

TINT2RC = """\
rounded = 0
border_width = 0
background_color = #ff00ff 100
border_color = #ff00ff 100
panel_items = T
panel_size = 100%% %d
panel_position = top center horizontal
panel_layer = top
panel_background_id = 1
strut_policy = follow_size
taskbar_background_id = 1
task_background_id = 1
task_active_background_id = 1
task_text = 0
task_icon = 0
""" % PANEL_HEIGHT

# Every window keeps its frame and is put at (100, 100), full screen or not.
REFUSING = """<applications><application class="*"><fullscreen>no</fullscreen><decor>yes</decor>
<position force="yes"><x>100</x><y>100</y></position></application></applications>"""

FULL_SCREEN_LINE = "abacorn: the window manager did not make the window full screen"


class Desktop:
    """Xvfb with openbox (and optionally a tint2 panel) configured in a
    directory of the test's own, or with xfwm4 and its defaults."""

    def __init__(self, openbox_rules="", panel=False, xfwm4=False):
        self.rules, self.panel, self.xfwm4 = openbox_rules, panel, xfwm4
        self.x = self.wm = None

    def __enter__(self):
        self.x = e2e.Xvfb().start()
        try:
            if self.xfwm4:
                self.wm = e2e.Xfwm4(self.x).start()
            else:
                self.wm = e2e.Openbox(self.x, e2e.OPENBOX_RC % self.rules, TINT2RC if self.panel else None).start()
            if self.panel:
                e2e.wait_until(lambda: self.x.screenshot().count(PANEL) >= 1920 * PANEL_HEIGHT, e2e.TIMEOUT,
                               interval=0.2, what="the tint2 panel")
        except BaseException:
            self.__exit__()
            raise
        return self

    def __exit__(self, *exc):
        if self.wm is not None:
            self.wm.stop()
        self.x.stop()


class DesktopsTest(unittest.TestCase):
    def test_full_screen_over_a_panel_in_the_top_layer(self):
        with Desktop(panel=True) as d, e2e.Abacorn(d.x) as app:
            window = app.wait_for_window(timeout=e2e.TIMEOUT)
            app.wait_for_say(e2e.WELCOME, timeout=e2e.TIMEOUT)
            self.assertIn("_NET_WM_STATE_FULLSCREEN", d.x.window_state(window))
            geo = d.x.window_geometry(window)
            self.assertEqual((geo["x"], geo["y"], geo["width"], geo["height"]), (0, 0, 1920, 1080))
            shot = d.x.screenshot()
            self.assertEqual(shot.count(PANEL), 0)
            # The panel of the trainer lies where it lies without a desktop.
            px, py, pw, ph = e2e.rect("Frame1")
            self.assertEqual(shot.pixel(px + 2, py + 2), e2e.LAVENDER)
            self.assertEqual(shot.pixel(px - 1, py + 2), e2e.BLACK)
            self.assertEqual(app.output()[1], "")

    def test_a_window_manager_that_refuses_full_screen(self):
        with Desktop(openbox_rules=REFUSING) as d, e2e.Abacorn(d.x) as app:
            app.wait_for_window(timeout=e2e.TIMEOUT)
            app.wait_for_say(e2e.WELCOME, timeout=e2e.TIMEOUT)
            e2e.wait_until(lambda: FULL_SCREEN_LINE in app.output()[1], e2e.TIMEOUT,
                           what="the line on stderr")
            lines = app.output()[1].splitlines()
            self.assertEqual(len(lines), 1, lines)
            # It keeps working: the card, wherever the window manager put it.
            window = app.wait_for_window(timeout=e2e.TIMEOUT)
            geo = d.x.window_geometry(window)
            x, y = e2e.centre(e2e.rect("lblClickMe"))
            d.x.click(geo["x"] + x, geo["y"] + y)
            app.wait_for_say("click flash card for answer", timeout=e2e.TIMEOUT)

    def test_alt_f4_under_openbox_leaves_it_open(self):
        with Desktop(openbox_rules=e2e.ALT_F4_CLOSES) as d, e2e.Abacorn(d.x) as app:
            self.alt_f4_leaves_it_open(d, app)

    def test_alt_f4_under_xfwm4_leaves_it_open_and_sigterm_ends_it(self):
        with Desktop(xfwm4=True) as d, e2e.Abacorn(d.x) as app:
            self.alt_f4_leaves_it_open(d, app)
            # As at the end of a session: SIGTERM ends it, with status 0.
            app.proc.send_signal(signal.SIGTERM)
            self.assertEqual(app.wait_exit(timeout=e2e.TIMEOUT), 0)

    def alt_f4_leaves_it_open(self, d, app):
        """Alt+F4 on the trainer, then on a window the same key closes: once
        that has gone, the window manager has asked the trainer to close
        too, and a click on the card reaches the trainer after the request."""
        window = app.wait_for_window(timeout=e2e.TIMEOUT)
        app.wait_for_say(e2e.WELCOME, timeout=e2e.TIMEOUT)
        d.x.run(["xdotool", "windowactivate", "--sync", str(window)])
        d.x.key("alt+F4")
        with e2e.Program(d.x, ["xmessage", "-title", "closed-by-alt-f4", "Alt+F4 closes this"]) as other:
            d.x.run(["xdotool", "windowactivate", "--sync",
                     str(other.wait_for_window(name="^closed-by-alt-f4$", timeout=e2e.TIMEOUT))])
            d.x.key("alt+F4")
            other.wait_exit(timeout=e2e.TIMEOUT)
        e2e.click_control(d.x, "lblClickMe")
        e2e.wait_until(lambda: not app.running() or "click flash card for answer" in app.said(), e2e.TIMEOUT,
                       what="the card's words")
        self.assertTrue(app.running(), "Alt+F4 ended it with status %s" % app.proc.returncode)
        self.assertIn("_NET_WM_STATE_FULLSCREEN", d.x.window_state(window))
        geo = d.x.window_geometry(window)
        self.assertEqual((geo["x"], geo["y"], geo["width"], geo["height"]), (0, 0, 1920, 1080))

    def test_wayland_full_screen_on_the_output(self):
        with e2e.Weston() as w, e2e.Abacorn(w, env={"QT_QPA_PLATFORM": "wayland",
                                                           "WAYLAND_DEBUG": "1"}) as app:
            app.wait_for_say(e2e.WELCOME, timeout=e2e.TIMEOUT)
            log = app.output()[1]
            asked = re.search(r"-> xdg_toplevel@(\d+)\.set_fullscreen", log)
            self.assertIsNotNone(asked, "no set_fullscreen request")
            # weston answers with the output's size (and the full-screen state).
            self.assertRegex(log[asked.end():], r"xdg_toplevel@%s\.configure\(1920, 1080, " % asked.group(1))
            self.assertTrue(app.running())
            self.assertNotIn("abacorn:", log)


if __name__ == "__main__":
    unittest.main(verbosity=2)

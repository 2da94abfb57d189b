# SPDX-License-Identifier: GPL-3.0-or-later
"""Self-test of the end-to-end harness on Xvfb with a trivial X client."""
import os
import subprocess
import sys
import tempfile
import unittest

from testbed import e2e
from testbed.e2e import passes

# Where the package lies (the source root), for the script below.
HARNESS_ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(e2e.__file__))))


def alive(pid):
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return False
    # A zombie still answers kill(0); it is gone as far as we care.
    with open("/proc/%d/stat" % pid) as f:
        return f.read().split(")")[-1].split()[0] != "Z"


class XvfbTest(unittest.TestCase):
    def test_full_hd_screen_on_a_free_display_and_gone_after(self):
        with e2e.Xvfb() as a, e2e.Xvfb() as b:
            self.assertNotEqual(a.display, b.display)
            pid = a.proc.pid
            shot = a.screenshot()
            self.assertEqual((shot.width, shot.height), (1920, 1080))
        self.assertFalse(alive(pid))
        self.assertIsNone(a.proc)

    def test_stopped_when_the_block_fails(self):
        x = e2e.Xvfb()
        with self.assertRaises(RuntimeError):
            with x:
                pid = x.proc.pid
                raise RuntimeError("test failed")
        self.assertFalse(alive(pid))


class ClientTest(unittest.TestCase):
    """xmessage stands in for the program: a red window at a known place."""

    def test_window_pixels_and_pointer(self):
        with e2e.Xvfb() as x, e2e.Program(
                x, ["xmessage", "-geometry", "300x200+100+150", "-bg", "red", "-fg", "red",
                    "-title", "e2e-probe", "probe"]) as client:
            win = x.wait_for_window(name="^e2e-probe$")
            geo = x.window_geometry(win)
            # No window manager: the window is exactly where it asked to be.
            self.assertEqual((geo["x"], geo["y"], geo["width"], geo["height"]), (100, 150, 300, 200))
            with tempfile.TemporaryDirectory() as d:
                png = os.path.join(d, "screen.png")
                shot = x.screenshot(save_png=png)
                self.assertEqual(e2e.Image.load(png).pixel(150, 170), shot.pixel(150, 170))
            self.assertEqual(shot.pixel(150, 170), (255, 0, 0))
            self.assertNotEqual(shot.pixel(50, 50), (255, 0, 0))
            self.assertGreater(shot.count((255, 0, 0), rect=(100, 150, 300, 200)), 300 * 200 // 2)
            self.assertEqual(shot.count((255, 0, 0), rect=(0, 0, 100, 100)), 0)
            x.click(250, 200)
            self.assertEqual(x.mouse_location(), (250, 200))
            pid = client.pid
            self.assertTrue(client.running())
        self.assertFalse(alive(pid))

    def test_waiting_for_a_window_that_never_comes_times_out(self):
        with e2e.Xvfb() as x:
            with self.assertRaises(e2e.E2EError):
                x.wait_for_window(name="^no such window$", timeout=0.5)


# A script that starts helpers the ways the tests do, prints their PIDs and
# waits to be ended: an X server, a process in a session of its own, and a
# daemon that forks away from its parent (the way speech-dispatcher spawns).
SIGNALLED_SCRIPT = r"""
import os, subprocess, sys, time
sys.path.insert(0, %r)
from testbed import e2e
with e2e.Xvfb() as x:
    loop = subprocess.Popen(["sleep", "600"], start_new_session=True)
    r, w = os.pipe()
    subprocess.Popen(["sh", "-c", "sleep 600 & echo $! >&%%d" %% w], pass_fds=(w,)).wait()
    daemon = int(os.read(r, 64))
    print(x.proc.pid, loop.pid, daemon, flush=True)
    time.sleep(600)
"""


class SignalTest(unittest.TestCase):
    def test_a_signal_stops_everything_the_script_started(self):
        for sig in (15, 1):  # SIGTERM as from timeout, SIGHUP as from a closed terminal
            with self.subTest(signal=sig):
                script = subprocess.Popen([sys.executable, "-c", SIGNALLED_SCRIPT % HARNESS_ROOT],
                                          stdout=subprocess.PIPE, stderr=subprocess.PIPE)
                try:
                    pids = [int(p) for p in script.stdout.readline().split()]
                    self.assertEqual(len(pids), 3)
                    self.assertTrue(all(alive(p) for p in pids))
                    script.send_signal(sig)
                    # The script ends by the signal itself, after its clean-up.
                    self.assertEqual(script.wait(30), -sig)
                    self.assertIn(b"stopping what was started", script.stderr.read())
                    self.assertEqual([p for p in pids if alive(p)], [])
                finally:
                    e2e.stop_process(script)
                    script.stdout.close()
                    script.stderr.close()


class SpeechLogTest(unittest.TestCase):
    def test_parses_lines_and_ignores_a_half_written_one(self):
        with tempfile.TemporaryDirectory() as d:
            path = os.path.join(d, "speech.log")
            with open(path, "w") as f:
                f.write("100.250\tstop\t\n200.500\tsay\tthree plus four\n300.000\tsay\tnot fin")
            self.assertEqual(e2e.read_speech_log(path), [
                e2e.SpeechEvent(100.25, "stop", ""),
                e2e.SpeechEvent(200.5, "say", "three plus four")])
            self.assertEqual(e2e.read_speech_log(os.path.join(d, "missing")), [])


class TimerCadenceModelTest(unittest.TestCase):
    """What the checks of timer mode expect at a given length of the pause
    between cards: the tick that comes inside a long pause included."""

    def test_a_short_pause_leaves_the_chosen_cadence(self):
        for pause in (100, 3000, 5900):
            self.assertEqual(passes.timer_answers(6, [pause] * 9, 3), ([9000, 17000, 25000], True))
        # A question on the card at the pick: its answer at the first tick.
        self.assertEqual(passes.timer_answers(2, [100] * 9, 3, card_shows_answer=False), ([3000, 7000, 11000], True))

    def test_a_tick_inside_a_long_pause_shows_the_answer_early(self):
        # The tick at 9 s comes inside the first pause: it shows the old
        # card's answer and sets 2 s; the question that follows the pause
        # keeps those 2 s.
        self.assertEqual(passes.timer_answers(6, [7000] * 9, 4), ([9000, 11000, 15000, 19000], True))
        # Gaps of 9, 8 and 2 s: the second card's pause alone was long.
        self.assertEqual(passes.timer_answers(6, [3000, 7000, 3000], 3), ([9000, 17000, 19000], True))
        self.assertEqual(passes.timer_answers(6, [3000], 3), ([9000], False))

    def test_a_fit_needs_the_cadence_of_some_pause_in_the_band(self):
        self.assertEqual(passes.cadence_fits([9002, 17003, 19004], 6, (1500, 8000)), [9000, 17000, 19000])
        # The same answers with pauses measured short: no fit.
        self.assertIsNone(passes.cadence_fits([9002, 17003, 19004], 6, (1500, 4000)))
        # Five-second questions fit no pause at all.
        self.assertIsNone(passes.cadence_fits([8000, 15000, 22000], 6, (100, 20000)))
        self.assertLess(passes.latest_answer_ms(6, (1500, 8000), 3) - 19004, 60000)
        self.assertGreater(passes.latest_answer_ms(6, (1500, 8000), 3), 25000)


if __name__ == "__main__":
    unittest.main(verbosity=2)

# SPDX-License-Identifier: GPL-3.0-or-later
"""What the trainer really sounds like, playing into a PulseAudio server of
the test's own with a null sink whose monitor is recorded. On its own voice,
Speech Dispatcher absent: the welcome is heard; with the loudspeaker switched
off a card says nothing; a new text cuts the one being spoken short. On both
voices, with two busy loops on the processors (BusyMachineTest, which wants
the machine to itself): every answer is heard, in full."""
import os
import shutil
import sys
import unittest

from testbed import e2e
from testbed.e2e import RATE

TIMEOUT = 60.0
# Silence on a null sink is exact zeros; speech peaks in the thousands.
THRESHOLD = 300
# Answers heard on a loaded machine, per voice.
TEXTS = 6


def answer_shown(shot):
    return e2e.ink_in(shot, e2e.rect("lbln3")) > 0


class Run:
    """The trainer on its own voice on Xvfb, heard through the class's recording."""

    def __init__(self, test):
        self.t = test
        self.home = e2e.private_dir("abacorn-audio-home-")
        env = dict(test.pulse.client_env(), **e2e.without_speech_dispatcher(self.home))
        self.app = e2e.trainer(test.x, None, self.home, env)

    def __enter__(self):
        rec = self.t.rec
        self.started = rec.now_index()
        self.app.start()
        try:
            self.app.wait_for_window(timeout=TIMEOUT)
        except BaseException:
            self.__exit__()
            raise
        return self

    def __exit__(self, *exc):
        self.app.stop()
        self.app.cleanup()
        shutil.rmtree(self.home, ignore_errors=True)

    def click(self, name):
        """Clicks a control; returns the recording's index at the click."""
        i = self.t.rec.now_index()
        e2e.click_control(self.t.x, name)
        return i

    def wait_for_shot(self, check, what):
        return e2e.wait_until(lambda: check(self.t.x.screenshot()), TIMEOUT, interval=0.1, what=what)

    def close(self):
        e2e.click_control(self.t.x, "Command1")
        return self.app.wait_exit(TIMEOUT)


class AudioTest(e2e.OwnVoiceTestCase):
    TOOLS = ("sox",)
    DIR_PREFIX = "abacorn-audio-"

    def sound(self, start, timeout=TIMEOUT):
        return self.rec.wait_for_sound(start, timeout, THRESHOLD)

    def silence(self, start):
        return self.rec.wait_for_silence(start, quiet=0.8, timeout=TIMEOUT, threshold=THRESHOLD)

    def sox_rms(self, start, end):
        path = os.path.join(self.dir, "part.raw")
        a = self.rec.audio()
        with open(path, "wb") as f:
            f.write(a.samples[start:end].tobytes())
        return e2e.sox_rms(path)

    def test_welcome_is_heard_and_the_loudspeaker_silences_the_cards(self):
        with Run(self) as run:
            begin = self.sound(run.started)
            end = self.silence(begin)
            self.assertGreater((end - begin) / RATE, 1.5, "the welcome is too short to be the sentence")
            self.assertGreater(self.sox_rms(begin, end), 0.01)
            # Speech on: the first deal is heard.
            self.sound(run.click("lblClickMe"), timeout=10)
            run.wait_for_shot(lambda s: not answer_shown(s), "the question")
            self.silence(self.rec.now_index())
            # Loudspeaker off; whatever it says (nothing, as it is) ends.
            self.silence(run.click("Picture1"))
            # The answer, the next question and its answer: shown, not heard.
            for shown in (True, False, True):
                clicked = run.click("lblClickMe")
                run.wait_for_shot(lambda s, want=shown: answer_shown(s) == want,
                                  "the answer" if shown else "the next question")
                e2e.wait_until_idle(run.app.pid, timeout=TIMEOUT)  # the deal's pause over
                e2e.wait_until(lambda: len(self.rec) - clicked > 2 * RATE, TIMEOUT,
                               what="two seconds of recording")
                heard = self.rec.audio().first_audible(clicked, THRESHOLD)
                if heard is not None:
                    self.fail("sound %.2f s after a card click with speech off" % ((heard - clicked) / RATE))
            self.assertEqual(run.close(), 0)

    def test_a_new_text_cuts_the_one_being_spoken_short(self):
        # Each text in full: the welcome, then the first deal's hint.
        with Run(self) as run:
            begin = self.sound(run.started)
            welcome = (self.silence(begin) - begin) / RATE
            hint_begin = self.sound(run.click("lblClickMe"), timeout=10)
            hint = (self.silence(hint_begin) - hint_begin) / RATE
            self.assertEqual(run.close(), 0)
        self.assertGreater(welcome, 1.5)
        self.assertGreater(hint, 0.5)
        # Again, with the card clicked as soon as the welcome is heard: the
        # hint takes over, and the two together are much shorter.
        with Run(self) as run:
            begin = self.sound(run.started)
            run.click("lblClickMe")
            cut = (self.silence(begin) - begin) / RATE
            self.assertEqual(run.close(), 0)
        self.assertLess(cut, welcome + hint - 1.0,
                        "welcome %.2f s and hint %.2f s in full, %.2f s when cut" % (welcome, hint, cut))
        self.assertGreater(cut, hint - 0.3, "the hint itself is cut")
        if os.environ.get("ABACORN_E2E_VERBOSE"):
            print("welcome %.2f s, hint %.2f s, cut %.2f s" % (welcome, hint, cut), file=sys.stderr)


class BusyMachineTest(e2e.OwnVoiceTestCase):
    """Two busy loops on the processors: run with the machine to itself."""
    DIR_PREFIX = "abacorn-audio-busy-"

    def heard_on_a_busy_machine(self, env=None):
        """TEXTS answers, each after a silent deal, with two busy loops
        running: each is heard, as long as the others, and nothing sounds
        after a deal. env: Speech Dispatcher's address, which the
        screen-reader switch then puts first (None: none, the trainer's own
        voice). Speech Dispatcher is never given up."""
        home = e2e.private_dir("abacorn-audio-home-")
        xt = e2e.XTest(self.x.display)
        try:
            screen_reader = env is not None
            env = dict(self.pulse.client_env(), **(env or e2e.without_speech_dispatcher(home)))
            with e2e.trainer(self.x, None, home, env, screen_reader=screen_reader) as app:
                cards = e2e.HeardCards(self.x, self.rec, xt, app, THRESHOLD)
                cards.start()
                with e2e.BusyLoops(2):
                    texts = [cards.text() for _ in range(TEXTS)]
                if "SPEECHD_CMD" not in env:
                    self.assertNotIn(e2e.GAVE_UP_DEFAULT, app.output()[1])
                e2e.click_control(self.x, "Command1")
                self.assertEqual(app.wait_exit(TIMEOUT), 0)
        finally:
            xt.close()
            e2e.stop_pids(e2e.processes_mentioning(home))
            shutil.rmtree(home, ignore_errors=True)
        lost = [i for i, t in enumerate(texts) if t.lost]
        self.assertEqual(lost, [], "answers never heard")
        lengths = [t.length for t in texts]
        usual = sorted(lengths)[len(lengths) // 2]
        for i, length in enumerate(lengths):
            self.assertTrue(0.7 * usual <= length <= 1.3 * usual,
                            "answer %d sounded %.2f s, the others about %.2f s" % (i, length, usual))
        self.assertEqual(cards.strays, 0, "sound after a silent deal")

    def test_no_answer_is_lost_on_a_busy_machine_on_the_own_voice(self):
        self.heard_on_a_busy_machine()

    def test_no_answer_is_lost_on_a_busy_machine_on_speech_dispatcher(self):
        if not e2e.have_speech_dispatcher():
            self.skipTest("speech-dispatcher is not installed")
        with e2e.SpeechDispatcher(self.pulse) as daemon:
            self.heard_on_a_busy_machine(daemon.client_env())


if __name__ == "__main__":
    unittest.main()

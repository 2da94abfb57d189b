# SPDX-License-Identifier: GPL-3.0-or-later
"""The trainer with its speech gone wrong under it: the speech daemon killed
or stopped while it runs, absent or hanging from the start; no audio device,
or the sound server gone mid-word and back; its own voice missing. The
window works as ever (the start screen, the cards turning on clicks) and
Close Program ends it at once with status 0. Where a voice is left, it is
heard, and a text Speech Dispatcher lost is heard from the trainer's own.
Speech Dispatcher is the first voice where the desktop's screen-reader
switch is on: the tests of its faults turn it on."""
import os
import shutil
import socket
import sys
import time
import unittest

from testbed import e2e

TIMEOUT = 30.0
# Closing waits at most half a second for the speech thread; the rest is
# the toolkit shutting down. Far below what a hang would take.
CLOSE_WITHIN = 5.0
# Speech Dispatcher given up for hanging is not waited for at all on closing.
CLOSE_HUNG_WITHIN = 1.0


def answer_shown(shot):
    return e2e.ink_in(shot, e2e.rect("lbln3")) > 0


class SpeechFaultsTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        for tool in ("Xvfb", "xdotool"):
            if not shutil.which(tool):
                raise unittest.SkipTest("%s is not installed (scripts/common.sh installs it)" % tool)
        e2e.clean_environment()
        cls.x = e2e.Xvfb().start()
        try:
            # The start screen as a run with the recording daemon shows it
            # once the welcome is under way.
            cls.x.mouse_move(2, 2)
            with e2e.Abacorn(cls.x) as app:
                app.wait_for_window(timeout=TIMEOUT)
                app.wait_for_say(e2e.WELCOME, timeout=TIMEOUT)
                cls.card = cls.x.screenshot().crop(*e2e.rect("Frame1"))
        except BaseException:
            cls.x.stop()
            raise

    @classmethod
    def tearDownClass(cls):
        cls.x.stop()

    def setUp(self):
        self.home = e2e.private_dir("abacorn-faults-")
        self.x.mouse_move(2, 2)

    def tearDown(self):
        # Whatever was started on the program's behalf (a respawned daemon,
        # its output modules) names our runtime directory or was noted.
        e2e.stop_pids(e2e.processes_mentioning(self.home) + getattr(self, "strays", []))
        shutil.rmtree(self.home, ignore_errors=True)

    def shot_of(self, name):
        return self.x.screenshot().crop(*e2e.rect(name))

    def check_window_works(self, app, close_within=CLOSE_WITHIN):
        """The start screen, three card clicks turning the card, Close."""
        e2e.wait_until(lambda: self.shot_of("Frame1").data == self.card.data, TIMEOUT, interval=0.1,
                       what="the start screen")
        for shown in (False, True, False):
            before = self.shot_of("Frame1").data
            e2e.click_control(self.x, "lblClickMe")
            e2e.wait_until(lambda: self.shot_of("Frame1").data != before, TIMEOUT, interval=0.1,
                           what="the card to change")
            e2e.wait_until(lambda want=shown: answer_shown(self.x.screenshot()) == want, TIMEOUT,
                           interval=0.1, what="the answer" if shown else "the question")
            # A deal hides the card through a pause before the question:
            # the next click is for the card dealt, not the pause.
            e2e.wait_until_idle(app.pid, timeout=TIMEOUT)
        self.close_at_once(app, close_within)

    def close_at_once(self, app, within=CLOSE_WITHIN):
        """Close Program ends the running program with status 0 in time."""
        self.assertTrue(app.running())
        # Timed from before the click: the program may be gone before
        # xdotool returns.
        clicked = time.monotonic()
        e2e.click_control(self.x, "Command1")
        status = app.wait_exit(TIMEOUT)
        took = time.monotonic() - clicked
        self.assertEqual(status, 0, app.output()[1])
        self.assertLess(took, within, "Close Program took %.2f s" % took)
        if os.environ.get("ABACORN_E2E_VERBOSE"):
            print("%s: closed in %.2f s" % (self.id(), took), file=sys.stderr)

    def test_speech_daemon_killed_while_the_trainer_runs(self):
        if not e2e.have_speech_dispatcher() or not shutil.which("pulseaudio"):
            self.skipTest("speech-dispatcher or pulseaudio is not installed")
        # libspeechd starts a daemon of the run's own, its socket in the
        # private runtime directory. It speaks into an audio server of ours
        # so that it works normally until it is killed.
        with e2e.PulseServer() as pulse:
            with e2e.trainer(self.x, None, self.home, pulse.client_env(), screen_reader=True) as app:
                app.wait_for_window(timeout=TIMEOUT)
                # Kill it in the middle of the welcome; the next text is
                # heard all the same, from the trainer's own voice.
                with pulse.record(os.path.join(self.home, "rec.raw")) as rec:
                    rec.wait_started()
                    rec.wait_for_sound(0, TIMEOUT)
                    self.kill_daemon()
                    after = rec.wait_for_silence(rec.now_index(), timeout=TIMEOUT)
                    self.check_window_works(app)
                    self.assertIsNotNone(rec.audio().first_audible(after),
                                         "the cards were not heard after the daemon died")

    def cmdline(self, pid):
        try:
            with open("/proc/%d/cmdline" % pid, "rb") as f:
                return f.read().decode(errors="replace").split("\0")
        except OSError:
            return [""]

    def kill_daemon(self):
        """SIGKILL to the daemon, as a crash would; its output modules are
        noted for the clean-up. It spawns through a short-lived parent of
        the same name: the one to kill is the one that stays."""
        def daemon():
            found = [p for p in e2e.processes_mentioning(self.home)
                     if os.path.basename(self.cmdline(p)[0]) == "speech-dispatcher" and e2e.alive(p)]
            return found if len(found) == 1 else None
        pid = e2e.wait_until(daemon, TIMEOUT, what="the speech daemon")[0]
        self.strays = e2e.children(pid)
        os.kill(pid, 9)
        e2e.wait_until(lambda: not e2e.alive(pid), TIMEOUT, what="the daemon to die")

    def test_speech_daemon_stopped_after_start(self):
        """A daemon that hangs (SIGSTOP) after the welcome: the next text is
        heard all the same, from the trainer's own voice, and so is the one
        after it; closing does not wait for the daemon. (How soon it is
        heard is bench/run_stopped_daemon.py's to measure.)"""
        if not e2e.have_speech_dispatcher() or not os.path.exists(e2e.FLITE_VOICE):
            self.skipTest("speech-dispatcher or the embedded voice is not installed")
        if not shutil.which("pulseaudio"):
            self.skipTest("pulseaudio is not installed")
        with e2e.PulseServer() as pulse, e2e.SpeechDispatcher(pulse) as daemon, \
                pulse.record(os.path.join(self.home, "rec.raw")) as rec:
            rec.wait_started()
            env = dict(pulse.client_env(), **daemon.client_env())
            try:
                with e2e.trainer(self.x, None, self.home, env, screen_reader=True) as app:
                    app.wait_for_window(timeout=TIMEOUT)
                    rec.wait_for_silence(rec.wait_for_sound(0, TIMEOUT), quiet=0.8, timeout=TIMEOUT)
                    daemon.pause()
                    clicked = time.monotonic()
                    e2e.click_control(self.x, "lblClickMe")  # the first deal's hint
                    heard = rec.wait_for_sound(rec.index_at(clicked), TIMEOUT)
                    late = rec.time_of(heard) - clicked
                    rec.wait_for_silence(heard, quiet=0.8, timeout=TIMEOUT)
                    self.assertIn("did not begin", app.output()[1])
                    # The cards go on turning, heard: the answer.
                    clicked = rec.now_index()
                    e2e.click_control(self.x, "lblClickMe")
                    e2e.wait_until(lambda: answer_shown(self.x.screenshot()), TIMEOUT, what="the answer")
                    rec.wait_for_sound(clicked, 10)
                    self.close_at_once(app, CLOSE_HUNG_WITHIN)
                    if os.environ.get("ABACORN_E2E_VERBOSE"):
                        print("heard %.2f s after the click" % late, file=sys.stderr)
            finally:
                daemon.resume()

    def test_no_audio_device(self):
        env = dict(e2e.without_speech_dispatcher(self.home),
                   PULSE_SERVER="unix:" + os.path.join(self.home, "no-audio-server"))
        with e2e.trainer(self.x, None, self.home, env) as app:
            app.wait_for_window(timeout=TIMEOUT)
            self.check_window_works(app)

    def own_voice_heard_instead(self, env):
        """Speech Dispatcher at the given address, asked first (the
        screen-reader switch on): the welcome is heard on the trainer's own
        voice, the window works and closes at once."""
        if not os.path.exists(e2e.FLITE_VOICE):
            self.skipTest("the embedded voice is not installed")
        if not shutil.which("pulseaudio"):
            self.skipTest("pulseaudio is not installed")
        with e2e.PulseServer() as pulse, pulse.record(os.path.join(self.home, "rec.raw")) as rec:
            rec.wait_started()
            with e2e.trainer(self.x, None, self.home, dict(pulse.client_env(), **env),
                             screen_reader=True) as app:
                app.wait_for_window(timeout=TIMEOUT)
                rec.wait_for_silence(rec.wait_for_sound(0, TIMEOUT), quiet=0.8, timeout=TIMEOUT)
                self.check_window_works(app, CLOSE_HUNG_WITHIN)
                return app.output()[1]

    def test_speech_daemon_dead_from_the_start(self):
        # A socket left behind by a daemon that crashed: nobody listens, and
        # no daemon can be started in its place.
        path = os.path.join(self.home, "dead-speechd.sock")
        with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as s:
            s.bind(path)
        env = dict(e2e.without_speech_dispatcher(self.home), SPEECHD_ADDRESS="unix_socket:" + path)
        errors = self.own_voice_heard_instead(env)
        if os.environ.get("ABACORN_E2E_VERBOSE"):
            print(errors, file=sys.stderr)
        self.assertIn("cannot be reached", errors)

    def test_hanging_speech_daemon_hands_over_to_the_embedded_voice(self):
        """A daemon that takes connections and never answers: the connection
        never opens, the trainer's own voice speaks the welcome instead, and
        closing does not wait for the engine."""
        with e2e.DeafSocket(self.home) as hung:
            errors = self.own_voice_heard_instead(hung.client_env())
            self.assertTrue(hung.reached(), "the speech engine never reached the daemon")
        self.assertIn("did not answer", errors)
        if os.environ.get("ABACORN_E2E_VERBOSE"):
            print(errors, file=sys.stderr)

    def test_sound_server_gone_mid_word_and_back(self):
        if not os.path.exists(e2e.FLITE_VOICE) or not shutil.which("pulseaudio"):
            self.skipTest("the embedded voice or pulseaudio is not installed")
        env = e2e.without_speech_dispatcher(self.home)
        with e2e.PulseServer() as pulse:
            with e2e.trainer(self.x, None, self.home, dict(env, **pulse.client_env())) as app:
                app.wait_for_window(timeout=TIMEOUT)
                with pulse.record(os.path.join(self.home, "rec1.raw")) as rec:
                    rec.wait_started()
                    rec.wait_for_sound(0, TIMEOUT)
                    pulse.crash()  # in the welcome's first words
                pulse.start()
                with pulse.record(os.path.join(self.home, "rec2.raw")) as rec:
                    rec.wait_started()
                    # The welcome was cut off with the server; the first
                    # deal's hint is the next text.
                    clicked = rec.now_index()
                    e2e.click_control(self.x, "lblClickMe")
                    rec.wait_for_sound(clicked, 10)
                    rec.wait_for_silence(clicked, quiet=0.8, timeout=TIMEOUT)
                # The cards go on turning: the answer.
                e2e.click_control(self.x, "lblClickMe")
                e2e.wait_until(lambda: answer_shown(self.x.screenshot()), TIMEOUT, what="the answer")
                self.close_at_once(app)

    def test_sound_server_stopped_mid_word(self):
        """A sound server that stops answering (SIGSTOP) in the welcome's
        first words: the trainer's own voice finds its sound stuck and gives
        up, and the welcome goes to the voice after it, Speech Dispatcher
        (the recorder), as do the cards after it; closing does not wait."""
        if not os.path.exists(e2e.FLITE_VOICE) or not shutil.which("pulseaudio"):
            self.skipTest("the embedded voice or pulseaudio is not installed")
        with e2e.PulseServer() as pulse:
            with e2e.Abacorn(self.x, env=pulse.client_env()) as app:
                app.wait_for_window(timeout=TIMEOUT)
                with pulse.record(os.path.join(self.home, "rec.raw")) as rec:
                    rec.wait_started()
                    rec.wait_for_sound(0, TIMEOUT)
                pulse.pause()
                try:
                    app.wait_for_say(e2e.WELCOME, timeout=TIMEOUT)
                    self.check_window_works(app)
                    self.assertIn("stopped taking the voice's sound", app.output()[1])
                finally:
                    pulse.resume()

    def test_embedded_voice_missing(self):
        """No Speech Dispatcher and the embedded voice's library unreadable
        (a file found first on the library path, not a library): silent, one
        line about the voice on stderr, the window works."""
        if not shutil.which("pulseaudio"):
            self.skipTest("pulseaudio is not installed")
        libs = os.path.join(self.home, "lib")
        os.makedirs(libs)
        open(os.path.join(libs, os.path.basename(e2e.FLITE_VOICE)), "w").close()
        with e2e.PulseServer() as pulse, pulse.record(os.path.join(self.home, "rec.raw")) as rec:
            rec.wait_started()
            env = dict(pulse.client_env(), LD_LIBRARY_PATH=libs, **e2e.without_speech_dispatcher(self.home))
            with e2e.trainer(self.x, None, self.home, env) as app:
                app.wait_for_window(timeout=TIMEOUT)
                self.check_window_works(app)
                lines = [line for line in app.output()[1].splitlines()
                         if line.startswith("abacorn:") and "Speech Dispatcher" not in line]
            self.assertEqual(len(lines), 1, lines)
            self.assertIn(os.path.basename(e2e.FLITE_VOICE), lines[0])
            heard = rec.audio().first_audible(0)
            self.assertIsNone(heard, "sound %.2f s into the run" % ((heard or 0) / e2e.RATE))


if __name__ == "__main__":
    unittest.main()

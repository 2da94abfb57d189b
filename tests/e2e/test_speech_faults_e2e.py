"""The trainer with its speech gone wrong under it: the speech daemon killed
while it runs or never answering, no audio device at all, the embedded
voice's library missing. The window works as ever (the start screen, the
cards turning on clicks) and Close Program ends it at once with status 0."""
import os
import shutil
import socket
import sys
import threading
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import abacorn_e2e as ab  # noqa: E402
import e2elib  # noqa: E402
import realvoice  # noqa: E402

TIMEOUT = 30.0
# Closing waits at most half a second for the speech thread; the rest is
# the toolkit shutting down. Far below what a hang would take.
CLOSE_WITHIN = 5.0


def answer_shown(shot):
    return ab.ink_in(shot, ab.rect("lbln3")) > 0


class SpeechFaultsTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        for tool in ("Xvfb", "xdotool"):
            if not shutil.which(tool):
                raise unittest.SkipTest("%s is not installed (scripts/common.sh installs it)" % tool)
        realvoice.clean_environment()
        cls.x = e2elib.Xvfb().start()
        try:
            # The start screen as the recording engine's run shows it once
            # the welcome is under way.
            cls.x.mouse_move(2, 2)
            with e2elib.Abacorn(cls.x) as app:
                app.wait_for_window(timeout=TIMEOUT)
                app.wait_for_say(ab.WELCOME, timeout=TIMEOUT)
                cls.card = cls.x.screenshot().crop(*ab.rect("Frame1"))
        except BaseException:
            cls.x.stop()
            raise

    @classmethod
    def tearDownClass(cls):
        cls.x.stop()

    def setUp(self):
        self.home = realvoice.private_dir("abacorn-faults-")
        self.x.mouse_move(2, 2)

    def tearDown(self):
        # Whatever was started on the program's behalf (a respawned daemon,
        # its output modules) names our runtime directory or was noted.
        realvoice.stop_pids(realvoice.processes_mentioning(self.home) + getattr(self, "strays", []))
        shutil.rmtree(self.home, ignore_errors=True)

    def shot_of(self, name):
        return self.x.screenshot().crop(*ab.rect(name))

    def check_window_works(self, app):
        """The start screen, three card clicks turning the card, Close."""
        e2elib.wait_until(lambda: self.shot_of("Frame1").data == self.card.data, TIMEOUT, interval=0.1,
                          what="the start screen")
        for shown in (False, True, False):
            before = self.shot_of("Frame1").data
            realvoice.click_control(self.x, "lblClickMe")
            e2elib.wait_until(lambda: self.shot_of("Frame1").data != before, TIMEOUT, interval=0.1,
                              what="the card to change")
            e2elib.wait_until(lambda want=shown: answer_shown(self.x.screenshot()) == want, TIMEOUT,
                              interval=0.1, what="the answer" if shown else "the question")
        self.assertTrue(app.running())
        # Timed from before the click: the program may be gone before
        # xdotool returns.
        clicked = time.monotonic()
        realvoice.click_control(self.x, "Command1")
        status = app.wait_exit(TIMEOUT)
        took = time.monotonic() - clicked
        self.assertEqual(status, 0, app.output()[1])
        self.assertLess(took, CLOSE_WITHIN, "Close Program took %.1f s" % took)
        if os.environ.get("ABACORN_E2E_VERBOSE"):
            print("%s: closed in %.2f s" % (self.id(), took), file=sys.stderr)

    def test_speech_daemon_killed_while_the_trainer_runs(self):
        if not shutil.which("speech-dispatcher") or not os.path.exists(realvoice.SPEECHD_PLUGIN):
            self.skipTest("speech-dispatcher or Qt's speechd plugin is not installed")
        # The installed engines (speechd first); libspeechd starts a daemon
        # of the run's own, its socket in the private runtime directory. It
        # speaks into an audio server of ours so that it works normally
        # until it is killed.
        pulse = realvoice.PulseServer().start() if shutil.which("pulseaudio") else None
        try:
            env = pulse.client_env() if pulse else {
                "PULSE_SERVER": "unix:" + os.path.join(self.home, "no-audio-server")}
            with realvoice.trainer(self.x, os.path.join(e2elib.build_dir(), "abacorn"), self.home,
                                   env) as app:
                app.wait_for_window(timeout=TIMEOUT)

                if pulse:
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
                else:
                    # It has taken up the welcome once its socket is there.
                    e2elib.wait_until(lambda: os.path.exists(os.path.join(
                        self.home, "speech-dispatcher", "speechd.sock")), TIMEOUT, what="the daemon's socket")
                    time.sleep(1.0)
                    self.kill_daemon()
                    self.check_window_works(app)
        finally:
            if pulse:
                pulse.stop()

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
            found = [p for p in realvoice.processes_mentioning(self.home)
                     if os.path.basename(self.cmdline(p)[0]) == "speech-dispatcher" and realvoice.alive(p)]
            return found if len(found) == 1 else None
        pid = e2elib.wait_until(daemon, TIMEOUT, what="the speech daemon")[0]
        self.strays = realvoice.children(pid)
        os.kill(pid, 9)
        e2elib.wait_until(lambda: not realvoice.alive(pid), TIMEOUT, what="the daemon to die")

    def test_no_audio_device(self):
        if not os.path.exists(realvoice.FLITE_PLUGIN):
            self.skipTest("Qt's flite plugin is not installed")
        program = realvoice.flite_only_program(self.home)
        env = {"PULSE_SERVER": "unix:" + os.path.join(self.home, "no-audio-server")}
        with realvoice.trainer(self.x, program, self.home, env) as app:
            app.wait_for_window(timeout=TIMEOUT)
            self.check_window_works(app)

    def test_hanging_speech_daemon_hands_over_to_the_embedded_voice(self):
        """A speech daemon that takes connections and never answers: the
        desktop engine never finishes starting, the trainer's own voice
        speaks the welcome instead, and closing does not wait for it."""
        if not os.path.exists(realvoice.SPEECHD_PLUGIN) or not shutil.which("pulseaudio"):
            self.skipTest("Qt's speechd plugin or pulseaudio is not installed")
        path = os.path.join(self.home, "speechd.sock")
        listener = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        listener.bind(path)
        listener.listen(8)
        held, stop = [], threading.Event()

        def accept():
            listener.settimeout(0.2)
            while not stop.is_set():
                try:
                    held.append(listener.accept()[0])  # kept open, never answered
                except socket.timeout:
                    pass
        acceptor = threading.Thread(target=accept, daemon=True)
        acceptor.start()
        try:
            with realvoice.PulseServer() as pulse:
                env = dict(pulse.client_env(), SPEECHD_ADDRESS="unix_socket:" + path)
                with realvoice.trainer(self.x, os.path.join(e2elib.build_dir(), "abacorn"), self.home,
                                       env) as app, \
                        pulse.record(os.path.join(self.home, "rec.raw")) as rec:
                    rec.wait_started()
                    app.wait_for_window(timeout=TIMEOUT)
                    rec.wait_for_sound(0, TIMEOUT)
                    self.assertTrue(held, "the speech engine never reached the daemon")
                    self.check_window_works(app)
                    # The desktop engine was given up on, not found broken.
                    self.assertIn("did not start within", app.output()[1])
        finally:
            stop.set()
            acceptor.join()
            for c in held:
                c.close()
            listener.close()

    def test_embedded_voice_missing(self):
        """No desktop engine and the embedded voice's library unreadable:
        silent, one line about it on stderr, the window works."""
        if not os.path.exists(realvoice.FLITE_PLUGIN):
            self.skipTest("Qt's flite plugin is not installed")
        program = realvoice.flite_only_program(self.home)
        libs = os.path.join(self.home, "libs")
        os.makedirs(libs)
        open(os.path.join(libs, "libflite_cmu_us_slt.so.1"), "w").close()  # found first, not a library
        env = {"PULSE_SERVER": "unix:" + os.path.join(self.home, "no-audio-server"), "LD_LIBRARY_PATH": libs}
        with realvoice.trainer(self.x, program, self.home, env) as app:
            app.wait_for_window(timeout=TIMEOUT)
            self.check_window_works(app)
            err = app.output()[1]
        ours = [line for line in err.splitlines() if line.startswith("abacorn:")]
        self.assertEqual(len(ours), 1, err)
        self.assertIn("libflite_cmu_us_slt", ours[0])


if __name__ == "__main__":
    unittest.main()

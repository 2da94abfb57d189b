# SPDX-License-Identifier: GPL-3.0-or-later
"""The trainer with its real voices instead of the recording daemon, and
the speech daemons around it: a speech-dispatcher of the test's own, a
daemon that never answers (DeafSocket), or none at all; and a bare SSIP
client that speaks through the daemon without the trainer.

Which voice speaks is chosen by the environment the trainer gets. With a
sound server it can reach, its own voice speaks, and Speech Dispatcher only
after that voice failed. With the desktop's screen-reader switch on
(trainer(..., screen_reader=True)) Speech Dispatcher speaks first and its own
voice after it; so it does, switch or not, when no sound server is there for
the trainer (Speech Dispatcher's own sound server is the daemon's business).

Every daemon started here lives in the test's own runtime directory, is
reached only through the addresses given to the program, and is stopped by
its PID.
"""

import os
import shutil
import signal
import socket
import subprocess
import time
import unittest

from .processes import E2EError, private_dir, stat_fields, stop_process, wait_until
from .program import Abacorn
from .screens import Xvfb
from .sound_servers import PulseServer

# The voice the trainer's own engine loads at run time (it pulls in libflite).
FLITE_VOICE = "/usr/lib/x86_64-linux-gnu/libflite_cmu_us_slt.so.1"
# What the trainer says when it gives up on a Speech Dispatcher that hangs
# (it speaks with its own voice from then on): "... did not begin a text
# within ...", "... did not answer within ...".
GAVE_UP_DEFAULT = "Speech Dispatcher did not"


# --- the voice --------------------------------------------------------------------

def have_speech_dispatcher():
    return shutil.which("speech-dispatcher") is not None


def without_speech_dispatcher(home):
    """The environment of a machine without Speech Dispatcher: nobody at
    the address libspeechd is given, and the command it would start the
    daemon with missing. Only the trainer's own voice can speak."""
    return {"SPEECHD_ADDRESS": "unix_socket:" + os.path.join(home, "no-speechd.sock"),
            "SPEECHD_CMD": os.path.join(home, "no-speech-dispatcher")}


def trainer(xvfb, program, home, env=None, screen_reader=False):
    """The program (None: the build's) with its real voices: no recording
    daemon, HOME and XDG_RUNTIME_DIR in `home` (a private_dir), so that any
    daemon started on its behalf is the test's own. Its own voice plays
    into PULSE_SERVER in env. Speech Dispatcher is the one at
    SPEECHD_ADDRESS in env, or one libspeechd starts in `home`;
    without_speech_dispatcher(home) leaves the trainer's own voice alone.
    screen_reader=True: the desktop's screen-reader switch on, on a session
    bus of the trainer's own; Speech Dispatcher speaks first."""
    full = {"HOME": home, "XDG_RUNTIME_DIR": home}
    full.update(env or {})
    return Abacorn(xvfb, binary=program, env=full, record_speech=False, screen_reader=screen_reader)


def clean_environment():
    """Drops what would make the program reach engines, daemons or audio
    servers other than the test's own."""
    for var in ("QT_PLUGIN_PATH", "SPEECHD_ADDRESS", "SPEECHD_CMD", "PULSE_SERVER", "PULSE_SINK", "PULSE_RUNTIME_PATH",
                "XDG_CACHE_HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME"):
        os.environ.pop(var, None)


# --- the speech daemon -------------------------------------------------------------

class SpeechDispatcher:
    """A speech-dispatcher of our own on a private socket, playing into the
    given audio server (or into none)."""

    def __init__(self, pulse=None, timeout=20.0):
        self.pulse = pulse
        self.timeout = timeout
        self.dir = None
        self.proc = None

    @property
    def socket(self):
        return os.path.join(self.dir, "speechd.sock")

    def client_env(self):
        return {"SPEECHD_ADDRESS": "unix_socket:" + self.socket}

    def start(self):
        self.dir = private_dir("abacorn-speechd-")
        env = dict(os.environ)
        env.update({"XDG_RUNTIME_DIR": self.dir, "HOME": self.dir})
        env.pop("SPEECHD_ADDRESS", None)
        if self.pulse:
            env.update(self.pulse.client_env())
        else:
            env["PULSE_SERVER"] = "unix:" + os.path.join(self.dir, "no-audio-server")
        self.proc = subprocess.Popen(
            ["speech-dispatcher", "-s", "-t", "0", "-c", "unix_socket", "-S", self.socket,
             "-P", os.path.join(self.dir, "pid"), "-L", self.dir],
            env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL,
            start_new_session=True)
        try:
            wait_until(lambda: self.proc.poll() is not None or os.path.exists(self.socket),
                              self.timeout, interval=0.05, what="speech-dispatcher's socket")
            if self.proc.poll() is not None:
                raise E2EError("speech-dispatcher ended at start")
        except BaseException:
            self.stop()
            raise
        return self

    def client_pids(self):
        """The PIDs of the processes connected to the daemon's socket now
        (from `ss`: SSIP has no list of its clients in this version)."""
        res = subprocess.run(["ss", "-xpn"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                             stdin=subprocess.DEVNULL, timeout=10)
        rows = [line.split() for line in res.stdout.decode(errors="replace").splitlines()]
        # u_str ESTAB 0 0 <local> <inode> <peer> <peer inode> [users:((...,pid=N,fd=M))]
        peers = {row[7] for row in rows if len(row) >= 8 and row[4] == self.socket}
        pids = set()
        for row in rows:
            if len(row) >= 9 and row[5] in peers:
                pids.update(int(part[4:]) for part in row[8].replace(")", ",").split(",") if part.startswith("pid="))
        return pids

    def kill(self):
        """Ends the daemon abruptly (SIGKILL), as a crash would."""
        if self.proc and self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait(10)

    def pause(self):
        """Stops the daemon (SIGSTOP): a daemon that hangs. Returns once
        every thread of it has stopped; the signal alone does not wait, and
        a thread still running could answer one more request."""
        if self.proc and self.proc.poll() is None:
            pid = self.proc.pid
            os.kill(pid, signal.SIGSTOP)

            def stopped():
                states = []
                for task in os.listdir("/proc/%d/task" % pid):
                    try:
                        states.append(stat_fields(pid, task)[0])
                    except OSError:
                        pass  # a thread that ended meanwhile
                return all(state in "Tt" for state in states)
            wait_until(stopped, 10, interval=0.01, what="the speech daemon's threads to stop")

    def resume(self):
        if self.proc and self.proc.poll() is None:
            os.kill(self.proc.pid, signal.SIGCONT)

    def stop(self):
        self.resume()  # a stopped process would not take SIGTERM until continued
        stop_process(self.proc)
        self.proc = None
        # Output modules the daemon started are in its session; they end
        # when their socket closes, but make sure none is left.
        if self.dir and not os.environ.get("ABACORN_E2E_KEEP"):
            shutil.rmtree(self.dir, ignore_errors=True)

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()


class DeafSocket:
    """A unix socket that takes connections and never answers: a speech
    daemon that hangs. SPEECHD_ADDRESS from client_env() points at it."""

    def __init__(self, directory):
        self.path = os.path.join(directory, "hung-speechd.sock")
        self.sock = None
        self.held = []

    def client_env(self):
        return {"SPEECHD_ADDRESS": "unix_socket:" + self.path}

    def __enter__(self):
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.sock.bind(self.path)
        self.sock.listen(16)  # the kernel completes connections; none is read
        return self

    def reached(self):
        """Whether a client has connected (its connection is taken and kept
        open, unanswered)."""
        self.sock.setblocking(False)
        try:
            self.held.append(self.sock.accept()[0])
        except BlockingIOError:
            pass
        return bool(self.held)

    def __exit__(self, *exc):
        for conn in self.held:
            conn.close()
        self.sock.close()


class SsipClient:
    """A bare SSIP client of a speech-dispatcher (its SPEECHD_ADDRESS): the
    way of a text through the daemon, its output module and the sound server,
    without the trainer. Each text goes as the trainer's do: priority
    message, the daemon's own voice."""

    def __init__(self, address):
        self.sock = socket.socket(socket.AF_UNIX)
        self.sock.connect(address.split(":", 1)[1])
        self.replies = self.sock.makefile("rb")
        self.command("SET SELF CLIENT_NAME " + self.NAME)
        self.command("SET SELF PRIORITY message")

    NAME = "user:abacorn-bench:main"

    def command(self, line):
        return self.lines(line)[-1]

    def lines(self, line):
        """Every line of the reply to one command, the closing one last."""
        self.sock.sendall((line + "\r\n").encode())
        got = []
        while True:
            reply = self.replies.readline().decode(errors="replace")
            if len(reply) < 4:
                raise E2EError("speech-dispatcher closed the connection")
            got.append(reply.rstrip("\r\n"))
            if reply[3] == " ":
                return got

    def say(self, text):
        """Hands the text over; returns the time.monotonic() just before."""
        handed = time.monotonic()
        self.command("SPEAK")
        self.command(text + "\r\n.")
        return handed

    def close(self):
        self.replies.close()
        self.sock.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


class OwnVoiceTestCase(unittest.TestCase):
    """Tests that hear the trainer's own voice: one Xvfb, a PulseAudio
    server of the class's own and a recording of its sink for the whole
    class (cls.x, cls.pulse, cls.rec, cls.dir). TOOLS: what the class needs
    besides."""

    TOOLS = ()
    DIR_PREFIX = "abacorn-own-voice-"

    @classmethod
    def setUpClass(cls):
        for tool in ("Xvfb", "xdotool", "pulseaudio", "parec", "pactl") + tuple(cls.TOOLS):
            if not shutil.which(tool):
                raise unittest.SkipTest("%s is not installed (scripts/common.sh installs it)" % tool)
        if not os.path.exists(FLITE_VOICE):
            raise unittest.SkipTest("%s is not installed" % FLITE_VOICE)
        clean_environment()
        cls.dir = private_dir(cls.DIR_PREFIX)
        cls.x = Xvfb().start()
        try:
            cls.pulse = PulseServer().start()
            cls.rec = cls.pulse.record(os.path.join(cls.dir, "all.raw")).wait_started()
        except BaseException:
            cls.tearDownClass()
            raise

    @classmethod
    def tearDownClass(cls):
        if getattr(cls, "rec", None):
            cls.rec.stop()
        if getattr(cls, "pulse", None):
            cls.pulse.stop()
        cls.x.stop()
        if not os.environ.get("ABACORN_E2E_KEEP"):
            shutil.rmtree(cls.dir, ignore_errors=True)

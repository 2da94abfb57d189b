"""Helpers for end-to-end tests that run the trainer with Qt's real speech
engines instead of the recording plugin: an audio server and a
speech-dispatcher of the test's own, a flite-only plugin set, strace.

Python standard library only. Every process started here is stopped by its
own PID, also when a test fails; nothing shared is touched: the audio server
and the speech daemon live in the test's own runtime directory and are
reached only through the addresses given to the program.
"""

import os
import shutil
import subprocess
import tempfile
import time

import e2elib

QT_PLUGINS = "/usr/lib/x86_64-linux-gnu/qt6/plugins"
FLITE_PLUGIN = os.path.join(QT_PLUGINS, "texttospeech", "libqtexttospeech_flite.so")
SPEECHD_PLUGIN = os.path.join(QT_PLUGINS, "texttospeech", "libqtexttospeech_speechd.so")


def _stop(proc):
    return e2elib._stop_process(proc)


def private_dir(prefix):
    """A fresh 0700 directory (XDG_RUNTIME_DIR must not be readable by others)."""
    d = tempfile.mkdtemp(prefix=prefix)
    os.chmod(d, 0o700)
    return d


# --- the engine set -----------------------------------------------------------

def flite_only_program(workdir, binary=None):
    """A copy of the trainer that sees flite as its only speech engine.

    QT_PLUGIN_PATH only adds directories in front of the installed plugin
    directory, so the installed speechd plugin (priority 80) would still win
    over flite (50). The plugin directory itself is taken from qt.conf next
    to the executable (Qt resolves the executable through /proc/self/exe, so
    the program is copied, not linked): it points at a directory holding
    links to every installed plugin directory except texttospeech, which
    holds flite alone. Returns the copied program's path."""
    binary = binary or os.path.join(e2elib.build_dir(), "abacorn")
    plugins = os.path.join(workdir, "plugins")
    os.makedirs(os.path.join(plugins, "texttospeech"))
    for name in os.listdir(QT_PLUGINS):
        if name != "texttospeech":
            os.symlink(os.path.join(QT_PLUGINS, name), os.path.join(plugins, name))
    os.symlink(FLITE_PLUGIN, os.path.join(plugins, "texttospeech", os.path.basename(FLITE_PLUGIN)))
    program = os.path.join(workdir, "abacorn")
    shutil.copy2(binary, program)
    with open(os.path.join(workdir, "qt.conf"), "w") as f:
        # Every other path as the installed Qt has it: paths qt.conf leaves
        # out are taken relative to Prefix, not from the library's own
        # settings (Debian keeps libraries and data in multiarch places).
        f.write("[Paths]\nPrefix=/usr\nArchData=lib/x86_64-linux-gnu/qt6\nData=share/qt6\n"
                "Libraries=lib/x86_64-linux-gnu\nLibraryExecutables=lib/qt6/libexec\n"
                "Binaries=lib/qt6/bin\nQml2Imports=lib/x86_64-linux-gnu/qt6/qml\n"
                "Translations=share/qt6/translations\nPlugins=%s\n" % plugins)
    return program


def trainer(xvfb, program, home, env=None):
    """The program (e.g. from flite_only_program) with Qt's real engines:
    no recording plugin, HOME and XDG_RUNTIME_DIR in `home` (a private_dir),
    so that any daemon started on its behalf is the test's own."""
    full = {"HOME": home, "XDG_RUNTIME_DIR": home}
    full.update(env or {})
    app = e2elib.Abacorn(xvfb, binary=program, env=full)
    app.extra_env.pop("QT_PLUGIN_PATH", None)
    app.extra_env.pop("ABACORN_TTS_LOG", None)
    return app


def clean_environment():
    """Drops what would make the program reach engines, daemons or audio
    servers other than the test's own."""
    for var in ("QT_PLUGIN_PATH", "SPEECHD_ADDRESS", "PULSE_SERVER", "PULSE_SINK", "PULSE_RUNTIME_PATH",
                "XDG_CACHE_HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME"):
        os.environ.pop(var, None)


# --- the audio server -----------------------------------------------------------

class PulseServer:
    """A PulseAudio server of our own with one null sink; record() captures
    what is played into it, through the sink's monitor source."""

    SINK = "abacorn_test"

    def __init__(self, timeout=20.0):
        self.timeout = timeout
        self.dir = None
        self.proc = None

    @property
    def socket(self):
        return os.path.join(self.dir, "native")

    def client_env(self):
        """What a client needs to reach this server (and nothing else)."""
        return {"PULSE_SERVER": "unix:" + self.socket, "PULSE_SINK": self.SINK}

    def start(self):
        self.dir = private_dir("abacorn-pulse-")
        env = dict(os.environ)
        env.update({"XDG_RUNTIME_DIR": self.dir, "PULSE_RUNTIME_PATH": self.dir,
                    "PULSE_STATE_PATH": self.dir, "HOME": self.dir})
        env.pop("PULSE_SERVER", None)
        # -n: no default configuration (no system sinks, no autospawned
        # modules); only the null sink and a socket of our own.
        log = open(os.path.join(self.dir, "log"), "wb")
        self.proc = subprocess.Popen(
            ["pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
             "--disable-shm=yes", "--log-target=stderr",
             "--load=module-null-sink sink_name=%s rate=22050 channels=1" % self.SINK,
             "--load=module-native-protocol-unix auth-anonymous=1 socket=%s" % self.socket],
            env=env, stdout=subprocess.DEVNULL, stderr=log, stdin=subprocess.DEVNULL,
            start_new_session=True)
        log.close()

        def ready():
            if self.proc.poll() is not None:
                raise e2elib.E2EError("pulseaudio ended: " + self.log())
            return subprocess.run(["pactl", "list", "short", "sinks"], env=self.pactl_env(),
                                  stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                  timeout=10).stdout.decode().find(self.SINK) >= 0
        try:
            e2elib.wait_until(ready, self.timeout, interval=0.1, what="pulseaudio")
        except BaseException:
            self.stop()
            raise
        return self

    def pactl_env(self):
        env = dict(os.environ)
        env.update(self.client_env())
        return env

    def log(self):
        try:
            with open(os.path.join(self.dir, "log"), errors="replace") as f:
                return f.read()
        except OSError:
            return ""

    def record(self, path):
        """Starts recording the sink's monitor into a raw file (signed
        16-bit, mono, 22050 Hz); returns a Recording to stop."""
        return Recording(self, path)

    def stop(self):
        _stop(self.proc)
        self.proc = None
        if self.dir and not os.environ.get("ABACORN_E2E_KEEP"):
            shutil.rmtree(self.dir, ignore_errors=True)

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()


RATE = 22050


class Recording:
    """parec on the null sink's monitor. A thread of ours reads the stream,
    keeps it in memory and in a raw file, and notes when each piece
    arrived: the sink's clock runs steadily, so sample i was played at
    t0 + i / RATE, where t0 is the earliest start consistent with every
    arrival (the smallest delay of delivery)."""

    def __init__(self, server, path):
        import threading
        self.path = path
        self.out = open(path, "wb")
        self.data = bytearray()
        self.t0 = None  # time.monotonic() of sample 0
        self.lock = threading.Lock()
        self.proc = subprocess.Popen(
            ["parec", "--device=%s.monitor" % server.SINK, "--format=s16le", "--channels=1",
             "--rate=%d" % RATE, "--latency-msec=5", "--raw"],
            env=server.pactl_env(), stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
            stdin=subprocess.DEVNULL, start_new_session=True)
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()

    def _read(self):
        fd = self.proc.stdout.fileno()
        while True:
            chunk = os.read(fd, 65536)
            now = time.monotonic()
            if not chunk:
                return
            self.out.write(chunk)
            with self.lock:
                self.data += chunk
                start = now - (len(self.data) // 2) / RATE
                if self.t0 is None or start < self.t0:
                    self.t0 = start

    def wait_started(self, timeout=20.0):
        """Waits until the stream delivers samples."""
        e2elib.wait_until(lambda: len(self) > RATE // 10, timeout, what="the recording to start")
        return self

    def __len__(self):
        with self.lock:
            return len(self.data) // 2

    def audio(self):
        """What was recorded so far."""
        import array
        a = array.array("h")
        with self.lock:
            a.frombytes(bytes(self.data[:len(self.data) // 2 * 2]))
        return Audio(a)

    def index_at(self, t):
        """The sample played at time.monotonic() t."""
        with self.lock:
            return max(0, int(round((t - self.t0) * RATE)))

    def time_of(self, index):
        with self.lock:
            return self.t0 + index / RATE

    def now_index(self):
        return self.index_at(time.monotonic())

    def wait_for_sound(self, start, timeout=20.0, threshold=300):
        """Waits for a sample above the threshold at or after index start;
        returns its index."""
        seen = [start]

        def look():
            a = self.audio()
            i = a.first_audible(seen[0], threshold)
            seen[0] = max(seen[0], len(a))
            return i
        return e2elib.wait_until(look, timeout, interval=0.02, what="sound")

    def wait_for_silence(self, start, quiet=0.7, timeout=30.0, threshold=300):
        """Waits until the recording after index start ends in `quiet`
        seconds without a sample above the threshold; returns the index just
        after the last loud sample (start when there was none)."""
        need = int(quiet * RATE)

        def look():
            a = self.audio()
            last = a.last_audible(start, threshold)
            end = start if last is None else last + 1
            # In a list: index 0 is a finding too.
            return [end] if len(a) - end >= need else None
        return e2elib.wait_until(look, timeout, interval=0.05, what="silence")[0]

    def stop(self):
        _stop(self.proc)
        self.reader.join(10)
        self.proc.stdout.close()
        self.out.close()
        return self.audio()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        if self.proc.poll() is None:
            self.stop()


class Audio:
    """Signed 16-bit mono samples at RATE."""

    def __init__(self, samples):
        self.samples = samples

    @classmethod
    def load(cls, path):
        import array
        a = array.array("h")
        with open(path, "rb") as f:
            data = f.read()
        a.frombytes(data[:len(data) // 2 * 2])
        return cls(a)

    def __len__(self):
        return len(self.samples)

    def window_rms(self, start, count):
        part = self.samples[start:start + count]
        if not part:
            return 0.0
        return (sum(s * s for s in part) / len(part)) ** 0.5

    def audible_seconds(self, threshold=300, window_ms=20):
        """How long the sound is above the threshold (RMS over 20 ms windows)."""
        n = RATE * window_ms // 1000
        loud = sum(1 for i in range(0, len(self.samples), n) if self.window_rms(i, n) > threshold)
        return loud * window_ms / 1000.0

    def first_audible(self, start=0, threshold=300):
        """Index of the first sample at or after `start` whose magnitude is
        above the threshold; None when there is none."""
        for i in range(start, len(self.samples)):
            if abs(self.samples[i]) > threshold:
                return i
        return None

    def last_audible(self, start=0, threshold=300):
        """Index of the last sample at or after `start` above the threshold."""
        for i in range(len(self.samples) - 1, start - 1, -1):
            if abs(self.samples[i]) > threshold:
                return i
        return None

    def peak(self):
        return max((abs(s) for s in self.samples), default=0)


def sox_rms(path):
    """RMS amplitude (0..1) of a raw recording as sox measures it."""
    res = subprocess.run(["sox", "-t", "raw", "-e", "signed", "-b", "16", "-c", "1", "-r", str(RATE),
                          path, "-n", "stat"], stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
    for line in res.stderr.decode().splitlines():
        if line.startswith("RMS     amplitude"):
            return float(line.split(":")[1])
    raise e2elib.E2EError("sox stat gave no RMS: " + res.stderr.decode())


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
            e2elib.wait_until(lambda: self.proc.poll() is not None or os.path.exists(self.socket),
                              self.timeout, interval=0.05, what="speech-dispatcher's socket")
            if self.proc.poll() is not None:
                raise e2elib.E2EError("speech-dispatcher ended at start")
        except BaseException:
            self.stop()
            raise
        return self

    def kill(self):
        """Ends the daemon abruptly (SIGKILL), as a crash would."""
        if self.proc and self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait(10)

    def stop(self):
        _stop(self.proc)
        self.proc = None
        # Output modules the daemon started are in its session; they end
        # when their socket closes, but make sure none is left.
        if self.dir and not os.environ.get("ABACORN_E2E_KEEP"):
            shutil.rmtree(self.dir, ignore_errors=True)

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()


# --- clicking controls ---------------------------------------------------------------

def control_centre(name, width=e2elib.SCREEN_WIDTH, height=e2elib.SCREEN_HEIGHT):
    out = subprocess.run([os.path.join(e2elib.build_dir(), "tools", "control_rect"), name,
                          str(width), str(height)], stdout=subprocess.PIPE, check=True,
                         timeout=20).stdout.split()
    x, y, w, h = (int(v) for v in out[:4])
    return x + w // 2, y + h // 2


def click_control(xvfb, name):
    x, y = control_centre(name)
    # `xdotool mousemove --sync` to where the pointer already is waits about
    # 15 s for a motion that never comes: click in place then.
    if xvfb.mouse_location() == (x, y):
        xvfb.click_in_place()
    else:
        xvfb.click(x, y)


# --- processes started on the program's behalf ----------------------------------------

def alive(pid):
    """Whether a process runs (a zombie counts as ended)."""
    try:
        with open("/proc/%d/stat" % pid) as f:
            return f.read().rsplit(")", 1)[1].split()[0] != "Z"
    except OSError:
        return False


def processes_mentioning(path):
    """PIDs of the processes whose command line names something under path
    (a daemon autospawned with its socket in a runtime directory of ours)."""
    mine = []
    needle = (path.rstrip("/") + "/").encode()
    for name in os.listdir("/proc"):
        if name.isdigit() and int(name) != os.getpid():
            try:
                with open("/proc/%s/cmdline" % name, "rb") as f:
                    if needle in f.read():
                        mine.append(int(name))
            except OSError:
                pass
    return mine


def children(pid):
    """Direct children of a process, from every one of its threads."""
    kids = []
    try:
        for tid in os.listdir("/proc/%d/task" % pid):
            with open("/proc/%d/task/%s/children" % (pid, tid)) as f:
                kids += [int(k) for k in f.read().split()]
    except OSError:
        pass
    return kids


def stop_pids(pids, grace=3.0):
    """SIGTERM to each, SIGKILL to those still there after the grace time."""
    for pid in pids:
        try:
            os.kill(pid, 15)
        except OSError:
            pass
    end = time.monotonic() + grace
    for pid in pids:
        while alive(pid) and time.monotonic() < end:
            time.sleep(0.05)
        if alive(pid):
            try:
                os.kill(pid, 9)
            except OSError:
                pass

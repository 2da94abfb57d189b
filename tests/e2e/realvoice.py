# SPDX-License-Identifier: GPL-3.0-or-later
"""Helpers for end-to-end tests and benchmarks that run the trainer with its
real voices instead of the recording daemon: an audio server and a
speech-dispatcher of the test's own (or a daemon that never answers, or
none at all), busy loops on the processors, clicks through XTest, and the
card cycle heard answer by answer.

Which voice speaks is chosen by the environment the trainer gets. With a
sound server it can reach, its own voice speaks, and Speech Dispatcher only
after that voice failed. With the desktop's screen-reader switch on
(trainer(..., screen_reader=True)) Speech Dispatcher speaks first and its own
voice after it; so it does, switch or not, when no sound server is there for
the trainer (Speech Dispatcher's own sound server is the daemon's business).

Python standard library only. Every process started here is stopped by its
own PID, also when a test fails; nothing shared is touched: the audio server
and the speech daemon live in the test's own runtime directory and are
reached only through the addresses given to the program.
"""

import ctypes
import os
import shutil
import subprocess
import tempfile
import time

import abacorn_e2e as ab
import e2elib

# The voice the trainer's own engine loads at run time (it pulls in libflite).
FLITE_VOICE = "/usr/lib/x86_64-linux-gnu/libflite_cmu_us_slt.so.1"
# at-spi2-core's accessibility bus launcher.
A11Y_LAUNCHER = "/usr/libexec/at-spi-bus-launcher"


def _stop(proc):
    return e2elib._stop_process(proc)


def private_dir(prefix):
    """A fresh 0700 directory (XDG_RUNTIME_DIR must not be readable by others)."""
    d = tempfile.mkdtemp(prefix=prefix)
    os.chmod(d, 0o700)
    return d


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
    return e2elib.Abacorn(xvfb, binary=program, env=full, record_speech=False, screen_reader=screen_reader)


def clean_environment():
    """Drops what would make the program reach engines, daemons or audio
    servers other than the test's own."""
    for var in ("QT_PLUGIN_PATH", "SPEECHD_ADDRESS", "SPEECHD_CMD", "PULSE_SERVER", "PULSE_SINK", "PULSE_RUNTIME_PATH",
                "XDG_CACHE_HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME"):
        os.environ.pop(var, None)


# --- the audio servers -----------------------------------------------------------
# PulseServer and PipeWireServer have one interface: start(), client_env(),
# pactl_env(), record(path), crash(), stop(), log(), and both are context
# managers. Either plays into a null sink named SINK (22050 Hz mono) and
# records its monitor; a benchmark or test may take either (SERVERS).

class _SoundServer:
    """What both audio servers share: how a client reaches the server, its
    recording and its log."""

    SINK = "abacorn_test"
    NAME = None  # as benchmarks print it
    LOGS = ()  # files in dir that log() gives

    def __init__(self, timeout=20.0):
        self.timeout = timeout
        self.dir = None

    @property
    def socket(self):
        raise NotImplementedError

    def client_env(self):
        """What a client needs to reach this server (and nothing else)."""
        return {"PULSE_SERVER": "unix:" + self.socket, "PULSE_SINK": self.SINK}

    def pactl_env(self):
        env = dict(os.environ)
        env.update(self.client_env())
        return env

    def pactl(self, *args):
        """Runs pactl on this server; returns its output ("" on failure)."""
        res = subprocess.run(["pactl"] + list(args), env=self.pactl_env(), stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL, timeout=10)
        return res.stdout.decode(errors="replace") if res.returncode == 0 else ""

    def has_sink(self):
        return self.SINK in self.pactl("list", "short", "sinks")

    def stream_latency(self, application):
        """What the server says of the playback stream of `application`
        (its application.name) while it is open: the latency it holds in its
        buffer and in the sink; None without such a stream."""
        block = None
        for part in self.pactl("list", "sink-inputs").split("\n\n"):
            if 'application.name = "%s"' % application in part:
                block = part
        if block is None:
            return None
        said = {}
        for line in block.splitlines():
            key, _, value = line.strip().partition(": ")
            if key in ("Buffer Latency", "Sink Latency"):
                said[key] = "%.1f ms" % (float(value.split()[0]) / 1000.0)
        return ", ".join("%s %s" % (key.lower(), value) for key, value in said.items())

    def log(self):
        text = []
        for name in self.LOGS:
            try:
                with open(os.path.join(self.dir, name), errors="replace") as f:
                    text.append(f.read())
            except (OSError, TypeError):
                pass
        return "".join(text)

    def record(self, path):
        """Starts recording the sink's monitor into a raw file (signed
        16-bit, mono, 22050 Hz); returns a Recording to stop."""
        return Recording(self, path)

    def record_command(self, rate):
        """(argv, environment) of a recorder of the sink's monitor that
        writes raw signed 16-bit mono samples at `rate` to its stdout, each
        piece as soon as the server hands it over. parec, asking for pieces
        of 5 ms at most."""
        return (["parec", "--device=%s.monitor" % self.SINK, "--format=s16le", "--channels=1", "--rate=%d" % rate,
                 "--latency-msec=5", "--raw"], self.pactl_env())

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()


class PulseServer(_SoundServer):
    """A PulseAudio server of our own with one null sink; record() captures
    what is played into it, through the sink's monitor source."""

    NAME = "PulseAudio"
    DESCRIPTION = "PulseAudio"
    LOGS = ("log",)

    def __init__(self, timeout=20.0):
        super().__init__(timeout)
        self.proc = None

    @property
    def socket(self):
        return os.path.join(self.dir, "native")

    def start(self):
        """Starts the server; again on the same socket after crash()."""
        self.dir = self.dir or private_dir("abacorn-pulse-")
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
            return self.has_sink()
        try:
            e2elib.wait_until(ready, self.timeout, interval=0.1, what="pulseaudio")
        except BaseException:
            self.stop()
            raise
        return self

    def crash(self):
        """Ends the server abruptly (SIGKILL), as a crash would; start()
        brings it back on the same socket."""
        if self.proc and self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait(10)

    def stop(self):
        _stop(self.proc)
        self.proc = None
        if self.dir and not os.environ.get("ABACORN_E2E_KEEP"):
            shutil.rmtree(self.dir, ignore_errors=True)
        self.dir = None


class PipeWireServer(_SoundServer):
    """PipeWire of our own, as GNOME on Debian 12 plays: the pipewire
    daemon, the wireplumber session manager and pipewire-pulse (the
    PulseAudio server clients reach), on a D-Bus session bus of its own. All
    four share one private runtime directory, which also holds their
    configuration, state and logs (the packages' own configuration is read
    as shipped; nothing of the user's). The null sink is loaded through
    pactl as on PulseAudio and made the default.

    The graph runs at PipeWire's defaults (48 kHz, a quantum of 1024 frames
    unless a stream asks for less). The recording asks for no less, so the
    quantum is the one the trainer's stream gets on a desktop (see
    record_command())."""

    NAME = "PipeWire"
    DESCRIPTION = "PipeWire with pipewire-pulse and wireplumber, its graph at 48 kHz"
    LOGS = ("dbus.log", "pipewire.log", "wireplumber.log", "pipewire-pulse.log")

    def __init__(self, timeout=20.0):
        super().__init__(timeout)
        self.bus = self.bus_address = None
        self.procs = {}  # name -> Popen, in the order started

    @property
    def socket(self):
        return os.path.join(self.dir, "pulse", "native")

    def _env(self):
        env = dict(os.environ)
        for var in ("PULSE_SERVER", "PULSE_SINK", "PIPEWIRE_REMOTE", "PIPEWIRE_RUNTIME_DIR", "DISPLAY",
                    "WAYLAND_DISPLAY", "PIPEWIRE_CONFIG_DIR"):
            env.pop(var, None)
        env.update({"XDG_RUNTIME_DIR": self.dir, "HOME": self.dir, "PULSE_RUNTIME_PATH": os.path.join(self.dir, "pulse"),
                    "XDG_CONFIG_HOME": os.path.join(self.dir, "config"),
                    "XDG_STATE_HOME": os.path.join(self.dir, "state"),
                    "XDG_DATA_HOME": os.path.join(self.dir, "data"),
                    "DBUS_SESSION_BUS_ADDRESS": self.bus_address})
        return env

    def _spawn(self, name, args):
        with open(os.path.join(self.dir, name + ".log"), "wb") as log:
            self.procs[name] = subprocess.Popen(args, env=self._env(), stdout=subprocess.DEVNULL, stderr=log,
                                                stdin=subprocess.DEVNULL, start_new_session=True)

    def _check(self):
        for name, proc in self.procs.items():
            if proc.poll() is not None:
                raise e2elib.E2EError("%s ended (%d): %s" % (name, proc.returncode, self.log()[-2000:]))

    def _wait(self, check, what):
        def look():
            self._check()
            return check()
        e2elib.wait_until(look, self.timeout, interval=0.05, what=what)

    def start(self):
        """Starts the servers; after crash(), only pipewire-pulse again,
        on the same socket, with the null sink loaded anew."""
        try:
            if not self.dir:
                self.dir = private_dir("abacorn-pipewire-")
                with open(os.path.join(self.dir, "dbus.log"), "wb") as log:
                    self.bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                                                stdout=subprocess.PIPE, stderr=log, stdin=subprocess.DEVNULL,
                                                start_new_session=True)
                self.bus_address = self.bus.stdout.readline().decode().strip()
                self.bus.stdout.close()
                if not self.bus_address:
                    raise e2elib.E2EError("dbus-daemon gave no address")
                self._spawn("pipewire", ["pipewire"])
                self._wait(lambda: os.path.exists(os.path.join(self.dir, "pipewire-0")), "pipewire's socket")
                self._spawn("wireplumber", ["wireplumber"])
            self._spawn("pipewire-pulse", ["pipewire-pulse"])
            self._wait(lambda: self.pactl("info"), "pipewire-pulse")
            if not self.has_sink():
                self.pactl("load-module", "module-null-sink", "sink_name=%s" % self.SINK, "rate=22050", "channels=1")
            self.pactl("set-default-sink", self.SINK)
            # The session manager has taken the sink up as the default: new
            # streams are linked to it.
            self._wait(lambda: "Default Sink: %s\n" % self.SINK in self.pactl("info"), "the default sink")
        except BaseException:
            self.stop()
            raise
        return self

    def record_command(self, rate):
        """pw-record on the sink's monitor, its output unbuffered: it hands
        on each cycle's quantum as it comes. Not parec: through
        pipewire-pulse a recording gets its sound in pieces of the latency
        it asks for, and the latency it asks for lowers the quantum of the
        whole graph (PipeWire runs the largest power of two within the
        smallest latency a stream asks for). 22 ms lies between the default
        quantum (1024 / 48000 = 21.3 ms) and the next (42.7 ms): the
        recording alone leaves the default, and the trainer's stream sets
        the quantum whenever it asks for less."""
        return (["stdbuf", "-o0", "pw-record", "--target", self.SINK, "-P", "{ stream.capture.sink = true }",
                 "--latency", "22ms", "--rate", str(rate), "--channels", "1", "--format", "s16", "-"], self._env())

    def stream_latency(self, application):
        """As on PulseAudio, and the latency the stream's node asks of the
        graph (node.latency), which sets the quantum."""
        import json
        said = super().stream_latency(application)
        res = subprocess.run(["pw-dump"], env=self._env(), stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                             stdin=subprocess.DEVNULL, timeout=10)
        try:
            objects = json.loads(res.stdout or b"[]")
        except ValueError:
            return said
        for o in objects:
            props = (o.get("info") or {}).get("props") or {}
            if o.get("type", "").endswith(":Node") and props.get("application.name") == application \
                    and "node.latency" in props:
                num, den = (int(v) for v in props["node.latency"].split("/"))
                frames = num * 48000 // den
                quantum = 1 << (max(frames, 1).bit_length() - 1)
                return "%s; node.latency %s (%.1f ms): a quantum of %d frames at 48 kHz (%.1f ms)" % (
                    said, props["node.latency"], 1000.0 * num / den, quantum, quantum / 48.0)
        return said

    def crash(self):
        """Ends pipewire-pulse, the server the clients talk to, abruptly
        (SIGKILL), as a crash would; start() brings it back on the same
        socket. The null sink goes with it."""
        proc = self.procs.pop("pipewire-pulse", None)
        if proc and proc.poll() is None:
            proc.kill()
            proc.wait(10)

    def stop(self):
        for name in reversed(list(self.procs)):
            _stop(self.procs[name])
        self.procs = {}
        if self.bus is not None:
            # Whatever the bus started on its own goes with it.
            below = e2elib.descendants(self.bus.pid)
            _stop(self.bus)
            stop_pids(below)
            self.bus = None
        if self.dir and not os.environ.get("ABACORN_E2E_KEEP"):
            shutil.rmtree(self.dir, ignore_errors=True)
        self.dir = None


# The audio servers by the names benchmarks take (--server).
SERVERS = {"pulseaudio": PulseServer, "pipewire": PipeWireServer}
SERVER_TOOLS = {"pulseaudio": ("pulseaudio",), "pipewire": ("pipewire", "pipewire-pulse", "wireplumber",
                                                             "pw-record", "pw-dump", "stdbuf", "dbus-daemon")}


RATE = 22050


class Recording:
    """The null sink's monitor, recorded with the server's own recorder
    (record_command()). A thread of ours reads the stream, keeps it in
    memory and in a raw file, and notes when each piece arrived.

    The clock: a server hands sound on in blocks (PulseAudio's null sink
    renders a few milliseconds at a time, PipeWire's graph one quantum per
    cycle), and pieces that arrive within BLOCK_GAP of each other belong to
    one block. A block's first sample is taken to sound when the server
    handles the block, and the samples after it one by one at RATE, so
    sample i sounds at c + i / RATE; c is the earliest block start
    consistent with the arrivals of the blocks from i to WINDOW seconds
    after it (the smallest delay of delivery). Not over the whole recording:
    a server whose cycles come late skips time (PipeWire's graph did at a
    quantum of 256 on a 2-core machine), and every skip makes the sound
    after it later; a skip after i never makes c earlier. (Taking a piece's
    last sample instead, as this did before PipeWire, counts the sound up
    to a block earlier: a quantum of 21 ms on PipeWire, a few milliseconds
    on PulseAudio.) lag() tells how much time was skipped."""

    WINDOW = 1.0
    BLOCK_GAP = 0.001

    def __init__(self, server, path):
        import threading
        self.path = path
        self.out = open(path, "wb")
        self.data = bytearray()
        self.ends = []  # the sample count after each piece,
        self.arrivals = []  # when that piece arrived (time.monotonic()),
        self.starts = []  # and when sample 0 sounded, by that piece's block
        self.block = 0  # the index where the current block began
        self.lock = threading.Lock()
        args, env = server.record_command(RATE)
        self.proc = subprocess.Popen(args, env=env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
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
                if not self.arrivals or now - self.arrivals[-1] > self.BLOCK_GAP:
                    self.block = len(self.data) // 2
                self.data += chunk
                self.ends.append(len(self.data) // 2)
                self.arrivals.append(now)
                self.starts.append(now - self.block / RATE)

    def _start_near(self, index):
        """c for sample `index` (the lock held)."""
        import bisect
        lo = bisect.bisect_right(self.ends, index)
        hi = bisect.bisect_right(self.ends, index + int(self.WINDOW * RATE))
        if lo >= hi:
            lo = min(lo, len(self.starts) - 1)
            hi = lo + 1
        return min(self.starts[lo:hi])

    def wait_started(self, timeout=20.0):
        """Waits until the stream delivers samples."""
        e2elib.wait_until(lambda: len(self) > RATE // 10, timeout, what="the recording to start")
        return self

    def __len__(self):
        with self.lock:
            return len(self.data) // 2

    def audio(self, start=0):
        """What was recorded so far, from sample `start` on (indices stay
        those of the whole recording)."""
        import array
        a = array.array("h")
        with self.lock:
            start = min(max(0, start), len(self.data) // 2)
            a.frombytes(bytes(self.data[start * 2:len(self.data) // 2 * 2]))
        return Audio(a, start)

    def index_at(self, t):
        """The sample played at time.monotonic() t."""
        import bisect
        with self.lock:
            near = self.ends[min(bisect.bisect_left(self.arrivals, t), len(self.ends) - 1)]
            return max(0, int(round((t - self._start_near(near)) * RATE)))

    def time_of(self, index):
        with self.lock:
            return self._start_near(index) + index / RATE

    def lag(self):
        """Seconds of the clock that the recording holds no sound for: time
        the server skipped (0 when it kept up)."""
        with self.lock:
            if len(self.starts) < 2:
                return 0.0
            return max(0.0, min(self.starts[-int(RATE / 10):]) - min(self.starts[:int(RATE / 10)]))

    def now_index(self):
        return self.index_at(time.monotonic())

    def wait_for_sound(self, start, timeout=20.0, threshold=300):
        """Waits for a sample above the threshold at or after index start;
        returns its index."""
        seen = [start]

        def look():
            a = self.audio(seen[0])
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
            a = self.audio(start)
            last = a.last_audible(start, threshold)
            end = start if last is None else last + 1
            # In a list: index 0 is a finding too.
            return [end] if len(a) - end >= need else None
        return e2elib.wait_until(look, timeout, interval=0.05, what="silence")[0]

    def stop(self):
        """Ends parec (also when it ended with its server); returns the audio."""
        if not self.out.closed:
            _stop(self.proc)
            self.reader.join(10)
            self.proc.stdout.close()
            self.out.close()
        return self.audio()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()


class Audio:
    """Signed 16-bit mono samples at RATE; samples[0] is sample `offset` of
    the recording, and every index taken or given is the recording's."""

    def __init__(self, samples, offset=0):
        self.samples = samples
        self.offset = offset

    @classmethod
    def load(cls, path):
        import array
        a = array.array("h")
        with open(path, "rb") as f:
            data = f.read()
        a.frombytes(data[:len(data) // 2 * 2])
        return cls(a)

    def __len__(self):
        """The recording's index just after the last sample."""
        return self.offset + len(self.samples)

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
        s, o = self.samples, self.offset
        for i in range(max(start, o) - o, len(s)):
            if abs(s[i]) > threshold:
                return i + o
        return None

    def last_audible(self, start=0, threshold=300):
        """Index of the last sample at or after `start` above the threshold."""
        s, o = self.samples, self.offset
        for i in range(len(s) - 1, max(start, o) - o - 1, -1):
            if abs(s[i]) > threshold:
                return i + o
        return None

    def sounds(self, start=0, end=None, threshold=300, gap=0.3):
        """The sounds between indices start and end, as (first, last) pairs
        of loud samples: a sound ends where `gap` seconds pass without a
        sample above the threshold."""
        s, o = self.samples, self.offset
        need = int(gap * RATE)
        found, first, last = [], None, None
        for i in range(max(start, o) - o, min(len(s), (len(self) if end is None else end) - o)):
            if abs(s[i]) > threshold:
                if first is not None and i - last > need:
                    found.append((first + o, last + o))
                    first = None
                if first is None:
                    first = i
                last = i
        if first is not None:
            found.append((first + o, last + o))
        return found

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
        """Stops the daemon (SIGSTOP): a daemon that hangs."""
        if self.proc and self.proc.poll() is None:
            os.kill(self.proc.pid, 19)

    def resume(self):
        if self.proc and self.proc.poll() is None:
            os.kill(self.proc.pid, 18)

    def stop(self):
        self.resume()  # a stopped process would not take SIGTERM until continued
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


# --- the desktop's screen-reader switch ---------------------------------------------

class ScreenReaderSwitch(e2elib.AccessibilityBus):
    """A session bus of our own with at-spi2-core's accessibility bus on
    it, and the desktop's screen-reader switch as a desktop has it: the
    property ScreenReaderEnabled of the interface org.a11y.Status on the
    object /org/a11y/bus of the service org.a11y.Bus, set to `on` before
    __enter__ returns. client_env() points the trainer at this bus.

    The launcher keeps the switch in GSettings: it runs with the memory
    backend, and with HOME and XDG_RUNTIME_DIR in a directory of its own,
    so nothing is written anywhere else."""

    SERVICE, OBJECT, INTERFACE, PROPERTY = "org.a11y.Bus", "/org/a11y/bus", "org.a11y.Status", "ScreenReaderEnabled"

    def __init__(self, xvfb, on=True, timeout=20.0):
        super().__init__(xvfb)
        self.on, self.timeout = on, timeout
        self.dir = None

    def env(self, base=None):
        env = super().env(base)
        env.update({"GSETTINGS_BACKEND": "memory", "HOME": self.dir, "XDG_RUNTIME_DIR": self.dir})
        return env

    def client_env(self):
        return {"DBUS_SESSION_BUS_ADDRESS": self.address}

    def _send(self, *args):
        res = subprocess.run(["dbus-send", "--session", "--print-reply"] + list(args), env=self.env(),
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, stdin=subprocess.DEVNULL, timeout=10)
        if res.returncode != 0:
            raise e2elib.E2EError("dbus-send %s: %s" % (" ".join(args), res.stderr.decode(errors="replace").strip()))
        return res.stdout.decode(errors="replace")

    def switch(self, on):
        """Turns the switch on or off, as the desktop's settings do."""
        self._send("--dest=" + self.SERVICE, self.OBJECT, "org.freedesktop.DBus.Properties.Set",
                   "string:" + self.INTERFACE, "string:" + self.PROPERTY, "variant:boolean:%s" % str(on).lower())

    def state(self):
        out = self._send("--dest=" + self.SERVICE, self.OBJECT, "org.freedesktop.DBus.Properties.Get",
                         "string:" + self.INTERFACE, "string:" + self.PROPERTY)
        return "boolean true" in out

    def __enter__(self):
        self.dir = private_dir("abacorn-a11y-")
        try:
            super().__enter__()
            # Asked before the launcher holds its name, the bus would start
            # a second launcher by D-Bus activation.
            e2elib.wait_until(lambda: "boolean true" in self._send(
                "--dest=org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner",
                "string:" + self.SERVICE), self.timeout, interval=0.05, what="the accessibility bus")
            if self.on:
                self.switch(True)
            if self.state() != self.on:
                raise e2elib.E2EError("the screen-reader switch did not turn %s" % ("on" if self.on else "off"))
        except BaseException:
            self.__exit__()
            raise
        return self

    def __exit__(self, *exc):
        super().__exit__(*exc)
        # The launcher names its bus on the display's root window; a later
        # start without it must not find the address of a bus that is gone.
        subprocess.run(["xprop", "-root", "-remove", "AT_SPI_BUS"], env=self.xvfb.env(),
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=10)
        if self.dir:
            shutil.rmtree(self.dir, ignore_errors=True)
            self.dir = None


def follows_screen_reader_switch(binary):
    """Whether the program names the screen-reader switch (it reads it to
    choose its voice); as text or as a Qt string (UTF-16)."""
    name = ScreenReaderSwitch.PROPERTY
    try:
        with open(binary, "rb") as f:
            data = f.read()
    except OSError:
        return False
    return name.encode() in data or name.encode("utf-16-le") in data


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

alive = e2elib.alive


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


class BusyLoops:
    """Processes that spin on the processor (one per core by default: two
    on the machines this runs on), to hear the trainer on a loaded machine."""

    def __init__(self, count=2):
        self.count = count
        self.procs = []

    def start(self):
        import sys
        for _ in range(self.count):
            self.procs.append(subprocess.Popen([sys.executable, "-c", "while True: pass"],
                                               stdin=subprocess.DEVNULL, start_new_session=True))
        return self

    def stop(self):
        for proc in self.procs:
            _stop(proc)
        self.procs = []

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
        import socket
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

# --- the card cycle, heard --------------------------------------------------------------
# Every card 10 + 10 (both range lists at 10): every answer is the same text,
# "20", and a text heard in full is one as long as the others.

# What the trainer says when it gives up on a Speech Dispatcher that hangs
# (it speaks with its own voice from then on): "... did not begin a text
# within ...", "... did not answer within ...".
GAVE_UP_DEFAULT = "Speech Dispatcher did not"
LOST_AFTER = 3.0  # seconds from a reveal click without sound, the answer shown
TIMEOUT = 30.0
QUIET = 0.3  # seconds of silence that end a text (the answer is one word)


class XTest:
    """Pointer motion and clicks straight to the X server, and a quick look
    at a few pixels (a full screenshot takes a good part of a second)."""

    def __init__(self, display):
        self.x11 = ctypes.CDLL("libX11.so.6")
        self.xtst = ctypes.CDLL("libXtst.so.6")
        self.x11.XOpenDisplay.restype = ctypes.c_void_p
        self.x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        for f in (self.x11.XSync, self.x11.XCloseDisplay, self.xtst.XTestFakeButtonEvent,
                  self.xtst.XTestFakeMotionEvent):
            f.restype = ctypes.c_int
        self.x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        self.x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self.xtst.XTestFakeButtonEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
        self.xtst.XTestFakeKeyEvent.restype = ctypes.c_int
        self.xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
        self.x11.XKeysymToKeycode.restype = ctypes.c_ubyte
        self.x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        self.xtst.XTestFakeMotionEvent.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int, ctypes.c_int,
                                                   ctypes.c_ulong]
        self.dpy = self.x11.XOpenDisplay(display.encode())
        if not self.dpy:
            raise e2elib.E2EError("cannot open display %s" % display)
        self.screen = e2elib.Screen(display)

    def move(self, x, y):
        self.xtst.XTestFakeMotionEvent(self.dpy, -1, x, y, 0)
        self.x11.XSync(self.dpy, 0)

    def click(self):
        """Press and release in place; returns time.monotonic() once the
        server has both."""
        self.xtst.XTestFakeButtonEvent(self.dpy, 1, 1, 0)
        self.xtst.XTestFakeButtonEvent(self.dpy, 1, 0, 0)
        self.x11.XSync(self.dpy, 0)
        return time.monotonic()

    def key(self, keysym=0x20):
        """Press and release of a key (Space by default); returns
        time.monotonic() once the server has both."""
        code = self.x11.XKeysymToKeycode(self.dpy, keysym)
        self.xtst.XTestFakeKeyEvent(self.dpy, code, 1, 0)
        self.xtst.XTestFakeKeyEvent(self.dpy, code, 0, 0)
        self.x11.XSync(self.dpy, 0)
        return time.monotonic()

    def ink(self, rect, limit=96):
        """How many dark pixels the screen's rectangle holds (as ab.ink_in)."""
        return sum(1 for px in self.screen.strip(*rect) if max(px) < limit)

    def close(self):
        self.screen.close()
        self.x11.XCloseDisplay(self.dpy)


class Text:
    """One answer's fate: lost (no sound), or heard with its onset after the
    click (ms), where its stream began (ms) and how long it sounded (s)."""

    def __init__(self, onset_ms=None, stream_ms=None, length=None):
        self.onset_ms, self.stream_ms, self.length = onset_ms, stream_ms, length

    @property
    def lost(self):
        return self.onset_ms is None


class HeardCards:
    """The trainer on a real voice, heard through a Recording and clicked
    with XTest: each text() is one answer handed to the voice after a silent
    deal; the answer label, read back from the screen, keeps the clicks in
    step with the cards."""

    def __init__(self, x, rec, xt, app, threshold, reveal_by_key=False):
        self.x, self.rec, self.xt, self.app, self.threshold = x, rec, xt, app, threshold
        # The reveal by Space on the card (it has the focus after a click on
        # it) instead of a click.
        self.reveal = xt.key if reveal_by_key else xt.click
        self.card = control_centre("lblClickMe")
        self.answer = ab.rect("lbln3")
        self.top = ab.rect("lbln1")
        self.strays = 0
        self.resyncs = 0

    def sound(self, start, timeout):
        return self.rec.wait_for_sound(start, timeout, self.threshold)

    def silence(self, start, quiet=QUIET):
        return self.rec.wait_for_silence(start, quiet=quiet, timeout=TIMEOUT, threshold=self.threshold)

    def answer_shown(self):
        return self.xt.ink(self.answer) > 0

    def question_shown(self):
        return not self.answer_shown() and self.xt.ink(self.top) > 0

    def start(self):
        """Window, the welcome in full, the range 10 to 10, the hints."""
        started = self.rec.now_index()
        window = self.app.wait_for_window(timeout=TIMEOUT)
        self.silence(self.sound(started, TIMEOUT), quiet=0.8)
        for combo, items in (("cmbMaxNum", ab.MAX_ITEMS), ("cmbMinNum", ab.MIN_ITEMS)):
            picked = self.rec.now_index()
            ab.pick_with_mouse(self.x, self.app.pid, window, combo, items, "10")
            self.silence(self.sound(picked, TIMEOUT), quiet=0.8)
        self.xt.move(*self.card)
        # The first answer and the next deal carry one-time hints.
        for _ in range(4):
            clicked = self.rec.index_at(self.xt.click())
            time.sleep(0.3)
            self.silence(clicked, quiet=0.8)

    def deal(self):
        """Clicks until the card shows a question; counts sound as stray."""
        for _ in range(3):
            if self.question_shown():
                return
            clicked = self.rec.index_at(self.xt.click())
            e2elib.wait_until(lambda: not self.answer_shown(), TIMEOUT, interval=0.02, what="the answer hidden")
            e2elib.wait_until(self.question_shown, TIMEOUT, interval=0.02, what="the next question")
            end = self.silence(clicked)
            if end > clicked:
                self.strays += 1
        raise e2elib.E2EError("the card shows no question")

    def text(self):
        """Deals, reveals, and hears what the reveal says."""
        self.deal()
        while True:
            clicked = self.reveal()
            at = self.rec.index_at(clicked)
            first = self.first_sound(at)
            if first is None and not self.answer_shown():
                # The click did not reveal the answer (the window was still
                # busy): no text was handed to the voice.
                self.resyncs += 1
                if self.question_shown():
                    continue
                self.deal()
                continue
            break
        return self.heard(clicked, first)

    def first_sound(self, at):
        """The first audible sample from just before index `at`; None when
        none comes within LOST_AFTER."""
        try:
            return self.sound(at - RATE // 10, LOST_AFTER)
        except e2elib.E2EError:
            return None

    def heard(self, handed, first, quiet=QUIET):
        """The Text of a sound whose first audible sample is `first` (None:
        none came), timed from time.monotonic() `handed`; returns after
        `quiet` seconds of silence."""
        at = self.rec.index_at(handed)
        if first is None:
            self.silence(at, quiet)
            return Text()
        begin = self.rec.audio(at - RATE // 10).first_audible(at - RATE // 10, 0)
        end = self.silence(first, quiet)
        return Text((self.rec.time_of(first) - handed) * 1000.0, (self.rec.time_of(begin) - handed) * 1000.0,
                    (end - first) / RATE)

    def said_by(self, client, text):
        """The Text of `text` said through a bare SsipClient, the trainer idle.
        Each waits until the one before has ended in the daemon too: it
        reports a text's end only once the sound server has played the
        voice's quiet tail, and a text sent before waits for that."""
        handed = client.say(text)
        return self.heard(handed, self.first_sound(self.rec.index_at(handed)), quiet=1.0)


class SsipClient:
    """A bare SSIP client of a speech-dispatcher (its SPEECHD_ADDRESS): the
    way of a text through the daemon, its output module and the sound server,
    without the trainer. Each text goes as the trainer's do: priority
    message, the daemon's own voice."""

    def __init__(self, address):
        import socket
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
                raise e2elib.E2EError("speech-dispatcher closed the connection")
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

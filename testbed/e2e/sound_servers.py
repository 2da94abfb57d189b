# SPDX-License-Identifier: GPL-3.0-or-later
"""Sound servers of the test's own, for the trainer's real voices: a
PulseAudio server, or PipeWire with pipewire-pulse and wireplumber as GNOME
on Debian 12 plays. Each lives in a private runtime directory, is reached
only through the addresses given to the program, and is stopped by its
PID."""

import json
import os
import shutil
import signal
import subprocess

from .processes import E2EError, descendants, private_dir, stop_pids, stop_process, wait_until
from .recordings import Recording


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
                raise E2EError("pulseaudio ended: " + self.log())
            return self.has_sink()
        try:
            wait_until(ready, self.timeout, interval=0.1, what="pulseaudio")
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

    def pause(self):
        """Stops the server (SIGSTOP), as one that hangs: the connections
        stay open and nothing is taken from them; resume() lets it go on."""
        os.kill(self.proc.pid, signal.SIGSTOP)

    def resume(self):
        os.kill(self.proc.pid, signal.SIGCONT)

    def stop(self):
        if self.proc and self.proc.poll() is None:
            self.resume()  # a stopped server would not see the end
        stop_process(self.proc)
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
                raise E2EError("%s ended (%d): %s" % (name, proc.returncode, self.log()[-2000:]))

    def _wait(self, check, what):
        def look():
            self._check()
            return check()
        wait_until(look, self.timeout, interval=0.05, what=what)

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
                    raise E2EError("dbus-daemon gave no address")
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
            stop_process(self.procs[name])
        self.procs = {}
        if self.bus is not None:
            # Whatever the bus started on its own goes with it.
            below = descendants(self.bus.pid)
            stop_process(self.bus)
            stop_pids(below)
            self.bus = None
        if self.dir and not os.environ.get("ABACORN_E2E_KEEP"):
            shutil.rmtree(self.dir, ignore_errors=True)
        self.dir = None


# The audio servers by the names benchmarks take (--server).
SERVERS = {"pulseaudio": PulseServer, "pipewire": PipeWireServer}
SERVER_TOOLS = {"pulseaudio": ("pulseaudio",), "pipewire": ("pipewire", "pipewire-pulse", "wireplumber",
                                                             "pw-record", "pw-dump", "stdbuf", "dbus-daemon")}

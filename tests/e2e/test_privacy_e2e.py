# SPDX-License-Identifier: GPL-3.0-or-later
"""The trainer keeps to itself: it opens no network socket, writes no file
outside the toolkit's caches and runtime directories, and acts on no command
line option. A whole session (start, the welcome, a few card clicks, Close
Program) runs under strace; the trace is then checked."""
import os
import re
import shutil
import tempfile
import unittest

from testbed import e2e

WELCOME = "welcome to abacorn, standard mode. click on flashcard to begin."
TRACED = "socket,connect,open,openat,creat,rename,renameat,renameat2,unlink,unlinkat,execve,clone,clone3,fork,vfork"
WRITE_FLAGS = re.compile(r"O_WRONLY|O_RDWR|O_CREAT")


class Trace:
    """strace -ff output: one file per process or thread, <prefix>.<pid>."""

    def __init__(self, prefix):
        self.lines = {}  # pid -> [line]
        d, base = os.path.split(prefix)
        for name in os.listdir(d):
            if name.startswith(base + "."):
                with open(os.path.join(d, name), errors="replace") as f:
                    self.lines[int(name.rsplit(".", 1)[1])] = f.read().splitlines()
        self.parent = {}
        for pid, lines in self.lines.items():
            for line in lines:
                m = re.match(r"(clone3?|v?fork)\(.*\)\s+=\s+(\d+)", line)
                if m:
                    self.parent[int(m.group(2))] = pid

    def executed(self, pid):
        """The programs a process or thread successfully executed itself."""
        return [m.group(1) for line in self.lines.get(pid, [])
                for m in [re.match(r'execve\("([^"]*)".*\)\s+=\s+0', line)] if m]

    def lineage(self, pid):
        """Every program run on the way from the first process to pid."""
        chain = []
        while pid is not None:
            chain = self.executed(pid) + chain
            pid = self.parent.get(pid)
        return chain

    def calls(self, name):
        """(pid, line) for every call of a system call (also failed ones)."""
        pattern = re.compile(r"%s\(" % name)
        for pid, lines in self.lines.items():
            for line in lines:
                if pattern.match(line):
                    yield pid, line


def written_paths(trace):
    """(pid, path, line) for every attempt to create, write, rename or
    remove a file."""
    for call in ("open", "openat", "creat"):
        for pid, line in trace.calls(call):
            if call == "creat" or WRITE_FLAGS.search(line):
                m = re.search(r'"([^"]*)"', line)
                if m:
                    yield pid, m.group(1), line
    for call in ("rename", "renameat", "renameat2", "unlink", "unlinkat"):
        for pid, line in trace.calls(call):
            for path in re.findall(r'"([^"]*)"', line):
                yield pid, path, line


alive = e2e.alive


def exit_status(trace_file):
    """The exit status strace recorded for a process, None if it was killed."""
    with open(trace_file, errors="replace") as f:
        for line in f:
            m = re.match(r"\+\+\+ exited with (\d+) \+\+\+", line)
            if m:
                return int(m.group(1))
    return None


class Session:
    """One traced run of a program under its own HOME and runtime directory."""

    def __init__(self, xvfb, program, args=(), env=None, speech_log=True):
        self.xvfb = xvfb
        self.dir = tempfile.mkdtemp(prefix="abacorn-privacy-")
        self.home = os.path.join(self.dir, "home")
        self.runtime = os.path.join(self.dir, "runtime")
        os.makedirs(self.home)
        os.makedirs(self.runtime, mode=0o700)
        self.prefix = os.path.join(self.dir, "trace", "t")
        os.makedirs(os.path.dirname(self.prefix))
        full_env = {"HOME": self.home, "XDG_RUNTIME_DIR": self.runtime}
        full_env.update(env or {})
        self.app = e2e.Abacorn(xvfb, binary=program, env=full_env, record_speech=speech_log)
        self.app.args = [shutil.which("strace"), "-ff", "--seccomp-bpf", "-q", "-s", "512", "-o", self.prefix, "-e", "trace=" + TRACED,
                         program] + list(args)
        self.trace = None

    def program_pid(self):
        """The traced program: strace's one child."""
        def child():
            try:
                with open("/proc/%d/task/%d/children" % (self.app.pid, self.app.pid)) as f:
                    kids = f.read().split()
            except OSError:
                return None
            return int(kids[0]) if kids else None
        return e2e.wait_until(child, 20, what="the traced program")

    def run(self, clicks=3, shot_png=None):
        """Start, wait for the window and the welcome, click the card a few
        times, take a screenshot, close. Returns (exit status, window
        geometry, screenshot before the first click, said texts)."""
        # The pointer starts in the same bare corner every run (a button
        # under it would be drawn hovered).
        self.xvfb.mouse_move(2, 2)
        self.app.start()
        try:
            # Generous: the machine may be busy with other traced sessions.
            win = self.xvfb.wait_for_window(pid=self.program_pid(), timeout=90)
            geo = self.xvfb.window_geometry(win)
            if self.app.record_speech:
                self.app.wait_for_say(WELCOME, timeout=60)
            shot = self.xvfb.screenshot(save_png=shot_png)
            for _ in range(clicks):
                # A click deals or reveals a card (the words for it are said
                # only the first time): wait for the screen to change.
                before = self.xvfb.screenshot().data
                e2e.click_control(self.xvfb, "lblClickMe")
                e2e.wait_until(lambda b=before: self.xvfb.screenshot().data != b, 60,
                               interval=0.2, what="the card to change")
                # The card goes blank first, for the pause before the next
                # one, and holds still through it: wait until the program
                # waits for input (the deal is done, its words said).
                e2e.wait_until_idle(self.program_pid(), timeout=60)
            program = self.program_pid()
            e2e.click_control(self.xvfb, "Command1")
            # strace itself lives on while a daemon the run started does.
            e2e.wait_until(lambda: not alive(program), 30, what="the program to exit")
            self.after_exit()
            self.app.wait_exit(30)
            status = exit_status(self.prefix + ".%d" % program)
            said = self.app.said() if self.app.record_speech else []
        finally:
            self.app.stop()
        self.trace = Trace(self.prefix)
        return status, geo, shot, said

    def after_exit(self):
        """A speech-dispatcher the run started lives on after the program
        (and with no audio it may not even answer SIGTERM). It is ours, told
        apart by its socket in the session's runtime directory, so it is
        stopped by its PID."""
        mine = []
        for name in os.listdir("/proc"):
            if name.isdigit():
                try:
                    with open("/proc/%s/cmdline" % name, "rb") as f:
                        if (self.runtime + "/").encode() in f.read():
                            mine.append(int(name))
                except OSError:
                    pass
        for pid in mine:
            try:
                os.kill(pid, 15)
            except OSError:
                pass
        for pid in mine:
            try:
                e2e.wait_until(lambda p=pid: not alive(p), 3, what="the speech daemon to stop")
            except e2e.E2EError:
                try:
                    os.kill(pid, 9)
                except OSError:
                    pass

    def allowed_write(self, path):
        """Where a session may write. Decided from traces of real sessions:
        - /dev (/dev/null for child processes' output, /dev/shm for shared
          memory of the X and audio libraries, /dev/snd for ALSA) and /proc;
        - the runtime directory (Qt's, libpulse's and speech-dispatcher's
          sockets, pid file and logs) and Qt's fallback /tmp/runtime-<user>;
        - the per-user cache (~/.cache: Qt, Mesa and fontconfig caches) and
          fontconfig's system cache, which it refreshes when fonts change;
        - libpulse's client state (~/.config/pulse: the cookie it creates
          when there is none);
        - the recording daemon's log, a file of the test's own (written by
          the daemon, not the program)."""
        allowed = ["/dev/", "/proc/", self.runtime + "/", "/tmp/runtime-",
                   os.path.join(self.home, ".cache") + "/", os.path.join(self.home, ".config", "pulse") + "/",
                   "/var/cache/fontconfig/"]
        if path in ("/dev/null",):
            return True
        if self.app.record_speech and path == self.app.speech_log_path:
            return True
        return any(path.startswith(a) for a in allowed)

    def cleanup(self):
        self.app.cleanup()
        if not os.environ.get("ABACORN_E2E_KEEP"):
            shutil.rmtree(self.dir, ignore_errors=True)


def speech_service(trace, pid):
    """Whether a process belongs to speech-dispatcher (started by the speech
    library on the program's behalf, but a system service of its own)."""
    return any(os.path.basename(p) == "speech-dispatcher" for p in trace.lineage(pid))


class PrivacyTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        for tool in ("strace", "Xvfb", "xdotool"):
            if not shutil.which(tool):
                raise unittest.SkipTest("%s is not installed (scripts/common.sh installs it)" % tool)
        cls.program = os.path.join(e2e.build_dir(), "abacorn")
        # The runs choose their own engines and speech daemon.
        for var in ("QT_PLUGIN_PATH", "SPEECHD_ADDRESS", "XDG_CACHE_HOME", "XDG_CONFIG_HOME",
                    "XDG_DATA_HOME", "XDG_STATE_HOME"):
            os.environ.pop(var, None)

    def check_trace(self, session, allowed_programs):
        trace = session.trace
        self.assertTrue(trace.lines, "strace wrote nothing")
        # No network. The program's own processes open no internet socket at
        # all (unix sockets to the X server, audio and speech are fine).
        # speech-dispatcher, when the run starts one, probes for a MaryTTS
        # server on 127.0.0.1:59125 while it loads its modules; that stays on
        # this machine and is the daemon's, but it may go nowhere else.
        inet = [line for pid, line in trace.calls("socket")
                if "AF_INET" in line and not speech_service(trace, pid)]
        self.assertEqual(inet, [], "internet sockets opened by the program")
        remote = [line for _, line in trace.calls("connect")
                  if "AF_INET" in line and not re.search(r'inet_addr\("127\.|inet_pton\(AF_INET6, "::1"', line)]
        self.assertEqual(remote, [], "connections off this machine")
        # Programs run: the trainer, and only what its libraries start for it.
        main = min(trace.lines)
        ran = set()
        for pid in trace.lines:
            if not speech_service(trace, pid):
                ran.update(os.path.basename(p) for p in trace.executed(pid))
        self.assertEqual(ran - {"abacorn"} - set(allowed_programs), set(), "unexpected programs run")
        self.assertIn("abacorn", [os.path.basename(p) for p in trace.executed(main)])
        bad = sorted({(path, line) for pid, path, line in written_paths(trace) if not session.allowed_write(path)})
        self.assertEqual(bad, [], "files written outside the caches and runtime directories")

    def test_session_with_the_recording_engine(self):
        """The program itself, its speech going to the recording daemon:
        nothing is run, nothing written."""
        with e2e.Xvfb() as x:
            s = Session(x, self.program)
            try:
                status, geo, _, said = s.run()
                self.assertEqual(status, 0)
                self.assertEqual(said[0], WELCOME)
                self.check_trace(s, allowed_programs=())
            finally:
                s.cleanup()

    def test_session_with_the_installed_engines(self):
        """The engines a family has installed, no audio server reachable:
        the trainer's own voice cannot start, and Speech Dispatcher speaks
        when it is installed. The speech
        library may start speech-dispatcher (autospawn) and the audio
        library dbus-launch (D-Bus autolaunch); neither may reach the
        network, and neither the program nor the daemon writes outside the
        runtime directory and caches."""
        with e2e.Xvfb() as x:
            # libspeechd's default address (SPEECHD_ADDRESS is unset) is in
            # XDG_RUNTIME_DIR, which is the session's own: a daemon is
            # started just for this run.
            s = Session(x, self.program, speech_log=False,
                        env={"PULSE_SERVER": "unix:/nonexistent/abacorn-no-audio"})
            try:
                status, _, _, _ = s.run()
                self.assertEqual(status, 0)
                self.check_trace(s, allowed_programs=("speech-dispatcher", "dbus-launch"))
            finally:
                s.after_exit()
                s.cleanup()

    def test_command_line_options_change_nothing(self):
        """Toolkit options and made-up ones: the window is still an X window
        covering the screen, laid out left to right, pixel for pixel the
        same, and no file named on the command line is opened."""
        with e2e.Xvfb() as x, tempfile.TemporaryDirectory() as d:
            sheet = os.path.join(d, "sheet.qss")
            with open(sheet, "w") as f:
                f.write("* { background: red; }\n")
            bogus = ["--platform", "offscreen", "-platform", "offscreen", "-style", "foo", "--reverse",
                     "-reverse", "-geometry", "300x200+10+10", "-qwindowgeometry", "300x200+10+10",
                     "-stylesheet", sheet, "-qwindowtitle", "hello", "--help", "--version", sheet]
            plain = Session(x, self.program)
            try:
                status, geo, shot, said = plain.run(clicks=1)
                self.assertEqual(status, 0)
            finally:
                plain.cleanup()
            odd = Session(x, self.program, args=bogus)
            try:
                status2, geo2, shot2, said2 = odd.run(clicks=1)
                opened = [line for pid, line in odd.trace.calls("openat") if sheet in line]
            finally:
                odd.cleanup()
            self.assertEqual(status2, 0)
            self.assertEqual((geo2["x"], geo2["y"], geo2["width"], geo2["height"]), (0, 0, 1920, 1080))
            self.assertEqual(geo2, geo)
            self.assertEqual(said2, said)
            self.assertEqual(opened, [])
            if shot.data != shot2.data:
                diff = [(i // 3 % shot.width, i // 3 // shot.width) for i in range(0, len(shot.data), 3)
                        if shot.data[i:i + 3] != shot2.data[i:i + 3]]
                xs, ys = [p[0] for p in diff], [p[1] for p in diff]
                self.fail("the start screen differs in %d pixels, within (%d, %d)-(%d, %d), with options given"
                          % (len(diff), min(xs), min(ys), max(xs), max(ys)))


if __name__ == "__main__":
    unittest.main()

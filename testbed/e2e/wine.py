# SPDX-License-Identifier: GPL-3.0-or-later
"""Windows programs under Wine, on an Xvfb of the test's own: the prefix,
made once per test run and copied for each test; the Windows trainer
(abacorn.exe) speaking to the tests' recording SAPI server; any other
program of the cross build (the logic's suite, the MSAA client).

    with e2e.Xvfb() as x, e2e.WineAbacorn(x) as app:
        app.wait_for_window()
        app.wait_for_say(e2e.WELCOME)

Wine is never pointed at the user's home: every prefix lives under the
cross build (the template) or a test's own working directory (its copy),
and WINEDLLOVERRIDES keeps Wine from writing menu entries or asking for
Mono and Gecko from the first wineboot on. A test's Wine processes (the
program, and the wineserver with the helpers Wine starts for the prefix)
are stopped by the program's PID and by `wineserver -k` on the test's own
prefix, also when the test fails.

Also a script, for ctest:
    python3 -m testbed.e2e.wine prefix          makes the template
    python3 -m testbed.e2e.wine run PROGRAM...  runs a cross-built program
                                                in a copy; exits with its status

Environment:
    ABACORN_WINDOWS_BUILD_DIR   the cross build (default: <ABACORN_BUILD_DIR>-windows)
"""

import collections
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import zlib

from .passes import STARTUP_PASSES
from .processes import E2EError, stop_process, wait_until
from .program import WELCOME, Program, build_dir
from .screens import Xvfb

WINE = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"
# No Mono, no Gecko, no menu entries in the user's desktop.
DLL_OVERRIDES = "mscoree=;mshtml=;winemenubuilder.exe=d"
# The design's fonts, which Windows has, drawn with the Debian fonts the
# Linux build uses for them.
FONT_REPLACEMENTS = {
    "Comic Sans MS": "Comic Neue",
    "Times New Roman": "Liberation Serif",
    "MS Sans Serif": "Liberation Sans",
}
RECORDER_DLL = "sapi_recorder.dll"
# How long a Wine program may take to show its window: Wine's own start,
# counted in no passes of the trainer's.
WINDOW_S = 90.0


def wine(prefix):
    """The command that runs a Windows program in `prefix`: wine64, held to
    one processor chosen by the prefix, with the wineserver it starts. A
    program under Wine asks its wineserver for every pass over its queue;
    with the two on different processors each question waits for the
    other processor to wake, which in this machine's virtual processors
    made a pass 72-79 us instead of 11. Other tests may share that
    processor: the tests measure what a pass costs (passes.PassCost) and
    wait accordingly."""
    cpus = sorted(os.sched_getaffinity(0))
    cpu = cpus[zlib.crc32(os.path.abspath(prefix).encode()) % len(cpus)]
    return ["taskset", "-c", str(cpu), WINE]


def windows_build_dir():
    d = os.environ.get("ABACORN_WINDOWS_BUILD_DIR")
    return d if d else os.path.normpath(build_dir()) + "-windows"


def template_dir():
    return os.path.join(windows_build_dir(), "wine-prefix")


def windows_path(unix_path):
    """The path as a program under Wine names it (drive Z: is the root)."""
    return "Z:" + os.path.abspath(unix_path).replace("/", "\\")


def wine_env(prefix, base=None):
    env = dict(os.environ if base is None else base)
    env.update({"WINEPREFIX": prefix, "WINEDLLOVERRIDES": DLL_OVERRIDES, "WINEDEBUG": "-all",
                "WINEARCH": "win64"})
    # Wine's own sound driver finds no server of this machine.
    env.setdefault("PULSE_SERVER", "unix:" + os.path.join(prefix, "no-sound-server"))
    return env


def _run(args, env, timeout=120):
    res = subprocess.run(args, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=timeout)
    if res.returncode != 0:
        raise E2EError("%s failed (%d): %s" % (" ".join(args[:3]), res.returncode,
                                               res.stderr.decode(errors="replace")[-2000:]))
    return res.stdout.decode(errors="replace")


def stop_wineserver(prefix):
    """Ends the prefix's wineserver and every Wine process of that prefix."""
    if os.path.isdir(prefix):
        subprocess.run([WINESERVER, "-k"], env=wine_env(prefix), stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=30)


def make_template(prefix=None):
    """Makes the run's prefix: wineboot, the fonts, the recording SAPI
    server registered. Kept under the cross build; made anew each run."""
    prefix = prefix or template_dir()
    shutil.rmtree(prefix, ignore_errors=True)
    env = wine_env(prefix)
    # The users' Desktop, Documents and the like become links into $HOME:
    # an empty folder beside the prefix, never the real home.
    env["HOME"] = prefix + "-home"
    shutil.rmtree(env["HOME"], ignore_errors=True)
    os.makedirs(env["HOME"])
    started = time.monotonic()
    try:
        _run(wine(prefix) + ["wineboot", "--init"], env, timeout=300)
        reg = os.path.join(prefix, "abacorn-tests.reg")
        with open(reg, "w", encoding="utf-16") as f:
            f.write("Windows Registry Editor Version 5.00\r\n\r\n")
            f.write("[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n")
            for design, debian in FONT_REPLACEMENTS.items():
                f.write('"%s"="%s"\r\n' % (design, debian))
            # No window manager's decorations to wait for, and the desktop's
            # own window manager (if any) decides.
            f.write("\r\n")
        _run(wine(prefix) + ["regedit", "/S", windows_path(reg)], env)
        recorder = os.path.join(windows_build_dir(), RECORDER_DLL)
        if os.path.exists(recorder):
            _run(wine(prefix) + ["regsvr32", "/s", windows_path(recorder)], env)
        # The registry reaches its files when the server ends.
        subprocess.run([WINESERVER, "-w"], env=env, timeout=120)
    except BaseException:
        stop_wineserver(prefix)
        raise
    return time.monotonic() - started


def _link_or_copy(src, dst):
    """The registry is copied (Wine rewrites it as the program runs); the
    rest, some 700 MB of Wine's own files that nothing writes to, is
    linked: a copy takes 0.03 s instead of 4."""
    if src.endswith(".reg"):
        shutil.copy2(src, dst)
    else:
        os.link(src, dst)


class WinePrefix:
    """A copy of the run's template in a directory of the test's own, with
    a home of its own (Wine links the users' Desktop and Documents into
    $HOME); on the screen of `xvfb` when one is given. Every process in it
    ends with `wineserver -k` when it is closed."""

    def __init__(self, workdir=None, xvfb=None):
        self._own_dir = workdir is None
        self.workdir = workdir or tempfile.mkdtemp(prefix="abacorn-wine-")
        self.path = os.path.join(self.workdir, "prefix")
        self.home = os.path.join(self.workdir, "home")
        self.command = wine(self.path)
        self.xvfb = xvfb
        self.procs = []

    def __enter__(self):
        template = template_dir()
        if not os.path.isdir(template):
            raise E2EError("no Wine prefix at %s (ctest's wine_prefix makes it)" % template)
        shutil.copytree(template, self.path, symlinks=True, copy_function=_link_or_copy,
                        ignore=shutil.ignore_patterns("wineserver"))
        os.makedirs(self.home, exist_ok=True)
        return self

    def __exit__(self, *exc):
        self.close()

    def close(self):
        for proc in self.procs:
            stop_process(proc)
        stop_wineserver(self.path)
        if self._own_dir and not os.environ.get("ABACORN_E2E_KEEP"):
            shutil.rmtree(self.workdir, ignore_errors=True)

    def env(self, base=None):
        if base is None:
            base = self.xvfb.env() if self.xvfb else os.environ
        env = wine_env(self.path, base)
        env["HOME"] = self.home
        return env

    def run(self, *args, timeout=120, xvfb=None):
        """Runs a Windows program in the prefix to its end, on the screen of
        `xvfb` when one is given; returns its status."""
        return subprocess.run(self.command + list(args), env=self.env(xvfb.env() if xvfb else None),
                              stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              timeout=timeout).returncode

    def start(self, *args, quiet=True):
        """Starts a Windows program; its Popen's PID is the one its windows
        carry in _NET_WM_PID. Stopped, if still running, on closing. Its
        output goes nowhere, or (quiet=False) to this process's."""
        out = subprocess.DEVNULL if quiet else None
        proc = subprocess.Popen(self.command + list(args), env=self.env(), stdin=subprocess.DEVNULL,
                                stdout=out, stderr=out)
        self.procs.append(proc)
        return proc

    def wait_idle(self, timeout=60):
        """Waits until every process in the prefix has ended and the
        wineserver has saved the registry and gone."""
        subprocess.run([WINESERVER, "-w"], env=self.env(), timeout=timeout, check=True)

    def set_dpi(self, dpi, xvfb):
        """The screen's dots per inch for the programs started from now on,
        as Windows' display settings (and winecfg) store it: LogPixels. Run
        on the screen the programs will use (`xvfb`): the wineserver it
        starts serves them too, and one started without a display keeps
        their windows off it (see set_screen_reader)."""
        status = self.run("reg", "add", r"HKCU\Control Panel\Desktop", "/v", "LogPixels", "/t", "REG_DWORD",
                          "/d", str(dpi), "/f", xvfb=xvfb)
        if status != 0:
            raise E2EError("reg add LogPixels ended with %d" % status)

    def pass_cost(self, xvfb, seconds=0.5):
        """What a pass of the trainer's event pump costs in this prefix on
        `xvfb` now, in microseconds (pass_cost.exe, a window of its own)."""
        res = subprocess.run(self.command + [os.path.join(windows_build_dir(), "pass_cost.exe"), str(seconds)],
                             env=self.env(xvfb.env()), stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL, timeout=120)
        if res.returncode != 0:
            raise E2EError("pass_cost ended with %d" % res.returncode)
        return float(res.stdout.decode().strip())

    def unix(self, path):
        """Where a path on drive C: lies in the prefix."""
        drive, _, rest = path.partition(":\\")
        assert drive.upper() == "C", path
        return os.path.join(self.path, "drive_c", *rest.split("\\"))

    def reg_query(self, key):
        """The values under a registry key, {name: (type, data)}; None when
        the key does not exist."""
        res = subprocess.run(self.command + ["reg", "query", key], env=self.env(), stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL, timeout=60)
        if res.returncode != 0:
            return None
        values = {}
        for line in res.stdout.decode("utf-8", errors="replace").splitlines():
            m = re.match(r"^ {4}(\S+) {4}(REG_\w+) {4}(.*)$", line.rstrip("\r"))
            if m:
                values[m.group(1)] = (m.group(2), m.group(3))
        return values

    def files(self):
        """Every file and folder on drive C: but the users' temporary ones
        (an uninstaller runs from a copy there, which Windows deletes at
        the next start)."""
        found = set()
        drive = os.path.join(self.path, "drive_c")
        for top, dirs, names in os.walk(drive):
            rel = os.path.relpath(top, drive)
            if re.match(r"users/[^/]+/(Temp|AppData/Local/Temp)(/|$)", rel):
                dirs[:] = []
                continue
            found |= {os.path.normpath(os.path.join(rel, n)) for n in dirs + names}
        return found


AccessibleNode = collections.namedtuple("AccessibleNode", "depth role name states description value location")


def _unescape(text):
    return re.sub(r"\\(.)", lambda m: {"t": "\t", "n": "\n", "r": "\r"}.get(m.group(1), m.group(1)), text)


def _msaa_names(prefix, xvfb, options):
    return prefix.command + [os.path.join(windows_build_dir(), "msaa_names.exe"), "--wait-for", "Flash card"] \
        + list(options)


def _parse_tree(text):
    nodes, events = [], []
    for line in text.splitlines():
        fields = line.split("\t")
        if fields[0] == "event":
            events.append((fields[1], _unescape(fields[2])))
            continue
        depth, role, name, states, description, value, location = fields
        nodes.append(AccessibleNode(int(depth), int(role) if role.isdigit() else role, _unescape(name),
                                    set(states.split(",")) - {""}, _unescape(description), _unescape(value),
                                    tuple(int(v) for v in location.split()) if location else None))
    return nodes, events


def accessible_tree(prefix, xvfb, *options, timeout=90):
    """What a screen reader finds in the trainer's window through MSAA, from
    the tests' client msaa_names.exe run in the trainer's prefix: a list of
    AccessibleNode (role a number, states a set, location (x, y, w, h) or
    None), depth first; also the events it was asked to wait for, as
    (kind, name). Options as msaa_names takes them ("--press", "Flash card");
    it runs on the trainer's screen, `xvfb`."""
    env = prefix.env(xvfb.env())
    # Wine's errors (a crash, a failed call across processes) to tell why
    # should it fail.
    env["WINEDEBUG"] = "-all,err+all"
    res = subprocess.run(_msaa_names(prefix, xvfb, options), env=env, stdout=subprocess.PIPE,
                         stderr=subprocess.PIPE, timeout=timeout)
    if res.returncode != 0:
        raise E2EError("msaa_names %s ended with %d: %s; out: %s" % (
            " ".join(options), res.returncode, res.stderr.decode(errors="replace")[-1500:],
            res.stdout.decode(errors="replace")[-300:]))
    return _parse_tree(res.stdout.decode("utf-8"))


class AccessibleEvents:
    """What a screen reader that keeps a copy of the tree hears while the
    test acts: msaa_names listening for `until` ("focus:Speech on") from
    before its walk, started on entering and waited for on leaving;
    `events` then holds every (kind, name) it heard, in the order Wine
    gave them (which within one handler is not the order they were
    raised)."""

    def __init__(self, prefix, xvfb, until, timeout=90):
        self.args = _msaa_names(prefix, xvfb, ["--await-event", until, "--timeout", str(timeout)])
        self.env = prefix.env(xvfb.env())
        self.timeout = timeout
        self.events = None

    def __enter__(self):
        self.proc = subprocess.Popen(self.args, env=self.env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        # The first line of the tree comes after the hook is set.
        self.first = self.proc.stdout.readline()
        if not self.first:
            stop_process(self.proc)
            raise E2EError("msaa_names ended before it listened: " + self.proc.stderr.read().decode(errors="replace"))
        return self

    def __exit__(self, kind, *exc):
        try:
            out, err = self.proc.communicate(timeout=self.timeout + 10)
        finally:
            stop_process(self.proc)
        # What it heard, also when the one waited for never came.
        self.events = _parse_tree((self.first + out).decode("utf-8"))[1]
        if kind is None and self.proc.returncode != 0:
            raise E2EError("msaa_names heard no %s (status %d): %s" % (
                self.args[-3], self.proc.returncode, err.decode(errors="replace")[-500:]))


def set_screen_reader(prefix, on, xvfb=None):
    """Turns the screen-reader switch of Windows on or off in `prefix` as a
    screen reader does (set_screen_reader.exe: stored in the user's
    registry, announced to every window with WM_SETTINGCHANGE); returns the
    switch as read back, True for on. With a trainer running, `xvfb` is its
    screen: the prefix's wineserver and desktop serve one display. Without
    one, the wineserver is waited for, so that the next start has its own."""
    res = subprocess.run(prefix.command + [os.path.join(windows_build_dir(), "set_screen_reader.exe"),
                                              "on" if on else "off"],
                         env=prefix.env(xvfb.env() if xvfb else None), stdin=subprocess.DEVNULL,
                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=60)
    if res.returncode != 0:
        raise E2EError("set_screen_reader ended with %d" % res.returncode)
    if xvfb is None:
        prefix.wait_idle()
    return res.stdout.decode().strip() == "on"


def read_sapi_log(path):
    """The recording SAPI server's log as [(t_ms, flags, text)]: t_ms on
    the Unix clock (time.time() * 1000)."""
    events = []
    try:
        with open(path, encoding="utf-8") as f:
            for line in f:
                if not line.endswith("\n"):
                    break
                t, flags, text = line.rstrip("\n").split("\t", 2)
                events.append((float(t), int(flags), text))
    except FileNotFoundError:
        pass
    return events


class WineAbacorn(Program):
    """The Windows trainer under Wine on an Xvfb, in a prefix of its own (a
    copy of the template, or `prefix`, a WinePrefix shared with other
    programs, which the caller closes), speaking to the recording SAPI
    server. Its pauses take as long as Wine's passes make them: `passes`
    holds what a pass costs, measured before the start (pass_cost.exe) and
    again by the start-up pause, and the waits for the trainer's words are
    sized from it (Program.pause_limit)."""

    def __init__(self, xvfb, exe=None, prefix=None, env=None):
        exe = exe or os.path.join(windows_build_dir(), "abacorn.exe")
        # The command (wine held to the prefix's processor) is known once
        # the prefix is, in start().
        super().__init__(xvfb, [], env=env)
        self.exe = exe
        self.shared_prefix = prefix
        self.prefix = prefix
        self.sapi_log_path = os.path.join(self.workdir, "sapi.log")

    def start(self):
        if not os.path.exists(self.exe):
            raise E2EError("no program at %s (build it first)" % self.exe)
        try:
            if self.prefix is None:
                own = os.path.join(self.workdir, "wine")
                os.makedirs(own, exist_ok=True)
                self.prefix = WinePrefix(own).__enter__()
            open(self.sapi_log_path, "w").close()
            self.passes.calibrated(self.prefix.pass_cost(self.xvfb))
            # taskset runs wine in its own place: the PID is the program's.
            self.args = self.prefix.command + [self.exe]
            self.extra_env.update(self.prefix.env({}))
            self.extra_env["HOME"] = self.prefix.home
            self.extra_env["ABACORN_SAPI_LOG"] = windows_path(self.sapi_log_path)
            self.launch()
            return self
        except BaseException:
            self.cleanup()
            raise

    def refused(self):
        return False

    def cleanup(self):
        self.stop()
        if self.prefix is not None and self.prefix is not self.shared_prefix:
            self.prefix.close()
        self.prefix = None
        super().cleanup()

    def windows(self):
        """The trainer's X windows that are mapped (Wine names an X
        window's class after the program)."""
        out = subprocess.run(["xdotool", "search", "--onlyvisible", "--class", "abacorn"],
                             env=self.xvfb.env(), stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                             timeout=20).stdout.split()
        return [w for w in (int(v) for v in out)
                if self.xvfb.window_geometry(w).get("map_state") == "IsViewable"]

    def wait_for_window(self, name=None, timeout=WINDOW_S):
        """The trainer's window, once it is mapped. Its start is Wine's and
        counts no pass: a fixed limit."""
        def look():
            for w in self.windows():
                return w
            if not self.running():
                raise E2EError("the trainer ended (status %s) before its window showed" % self.proc.returncode)
            return None
        window = wait_until(look, timeout, what="the trainer's window under Wine")
        if self.shown_ms is None:
            self.shown_ms = time.time() * 1000  # the SAPI log's clock is the Unix one
        return window

    # --- its pauses ---

    def wait_for_welcome(self, timeout=None):
        """Waits for the welcome, which follows the start-up pause, and
        notes what that pause (from the window first seen mapped) tells of
        a pass's cost."""
        said = self.wait_for_say(WELCOME, timeout=timeout or self.pause_limit(STARTUP_PASSES))
        took = self.speech()[self.said().index(WELCOME)][0] - self.shown_ms
        self.passes.note("start-up pause", STARTUP_PASSES, took / 1000)
        return said

    # --- what it said ---

    def speech(self):
        return read_sapi_log(self.sapi_log_path)

    def said(self):
        return [text for _, _, text in self.speech()]

    def wait_for_say(self, text, timeout=None, after=0):
        """Waits until `text` is said (after the first `after` texts); by
        default as long as a card's pause may take."""
        wait_until(lambda: text in self.said()[after:], timeout or self.pause_limit(),
                   what="%r to reach SAPI (have %r)" % (text, self.said()[after:]))
        return self.said()[after:]


def _main(argv):
    if argv[:1] == ["prefix"]:
        took = make_template()
        print("Wine prefix made in %.1f s at %s" % (took, template_dir()))
        return 0
    if argv[:1] == ["run"] and len(argv) > 1:
        program = argv[1]
        if not os.path.isabs(program):
            program = os.path.join(windows_build_dir(), program)
        # On a screen of its own: window tests need one, and none may reach
        # the user's.
        with Xvfb() as x, WinePrefix(xvfb=x) as prefix:
            return prefix.start(program, *argv[2:], quiet=False).wait()
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(_main(sys.argv[1:]))

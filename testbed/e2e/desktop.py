# SPDX-License-Identifier: GPL-3.0-or-later
"""The desktop around the program: the openbox window manager with a tint2
panel, the xfwm4 window manager, and Debian's Orca screen reader; each a
Program stopped by its PID."""

import os
import re
import shutil
import subprocess
import tempfile

from .processes import E2EError, stop_process, wait_until
from .program import Program, read_speech_log


OPENBOX_RC = """<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">%s</openbox_config>
"""
# A desktop's binding of Alt+F4: the window manager asks the active window
# to close (WM_DELETE_WINDOW).
ALT_F4_CLOSES = """<keyboard><keybind key="A-F4"><action name="Close"/></keybind></keyboard>"""


class Openbox:
    """The openbox window manager on an Xvfb display, with an optional tint2
    panel, each from a configuration text written into a directory of its
    own; start() returns once openbox manages the screen."""

    def __init__(self, xvfb, rc_xml, tint2rc=None, timeout=20.0):
        self.xvfb, self.rc_xml, self.tint2rc, self.timeout = xvfb, rc_xml, tint2rc, timeout
        self.dir = tempfile.mkdtemp(prefix="abacorn-openbox-")
        self.programs = []

    def _write(self, name, text):
        path = os.path.join(self.dir, name)
        with open(path, "w") as f:
            f.write(text)
        return path

    def start(self):
        try:
            rc = self._write("rc.xml", self.rc_xml)
            self.programs.append(Program(self.xvfb, ["openbox", "--sm-disable", "--config-file", rc],
                                         workdir=self.dir).start())
            wait_until(lambda: "window id" in self.xvfb.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"]),
                       self.timeout, what="openbox")
            if self.tint2rc is not None:
                self.programs.append(Program(self.xvfb, ["tint2", "-c", self._write("tint2rc", self.tint2rc)],
                                             workdir=self.dir).start())
        except BaseException:
            self.stop()
            raise
        return self

    def stop(self):
        for p in reversed(self.programs):
            p.stop()
        self.programs = []
        if not os.environ.get("ABACORN_E2E_KEEP"):
            shutil.rmtree(self.dir, ignore_errors=True)


class Xfwm4:
    """The xfwm4 window manager on an Xvfb display, with its defaults (Alt+F4
    closes the active window). It keeps its settings in xfconf, which it
    reaches on the session bus: a bus of its own, on which the bus starts
    xfconfd, both in one process group stopped by its id, and XDG
    directories of its own, so that nothing reaches the user's settings.
    start() returns once xfwm4 manages the screen."""

    def __init__(self, xvfb, timeout=20.0):
        self.xvfb, self.timeout = xvfb, timeout
        self.dir = tempfile.mkdtemp(prefix="abacorn-xfwm4-")
        self.bus = self.wm = None

    def start(self):
        try:
            self.bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                        stdin=subprocess.DEVNULL, start_new_session=True)
            address = self.bus.stdout.readline().decode().strip()
            self.bus.stdout.close()
            if not address:
                raise E2EError("dbus-daemon gave no address")
            env = {"DBUS_SESSION_BUS_ADDRESS": address}
            for name in ("XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"):
                env[name] = os.path.join(self.dir, name.lower())
                os.makedirs(env[name])
            self.wm = Program(self.xvfb, ["xfwm4", "--compositor=off", "--sm-client-disable"], env=env,
                              workdir=self.dir).start()
            wait_until(lambda: "window id" in self.xvfb.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"]),
                       self.timeout, what="xfwm4")
        except BaseException:
            self.stop()
            raise
        return self

    def stop(self):
        if self.wm is not None:
            self.wm.stop()
            self.wm = None
        stop_process(self.bus)
        self.bus = None
        if not os.environ.get("ABACORN_E2E_KEEP"):
            shutil.rmtree(self.dir, ignore_errors=True)


class Orca(Program):
    """Debian's Orca screen reader beside the program, as a desktop starts it
    when its screen-reader switch is on: on the session bus of an
    AccessibilityBus (with the switch on), speaking through Speech
    Dispatcher: `recorder` (an ssip_recorder.Recorder with clients=True, to
    tell its speech from the program's), with HOME and XDG directories of its own
    and its settings in memory. start() returns once it has said that it
    runs; stopped by its PID.

    Orca declines to start while another process named "orca" runs for the
    user, and takes that name itself: on a machine shared by several test
    runs, this one neither looks for other runs' nor takes the name. It is
    run from its own script with those two steps left out."""

    LAUNCH = "\n".join([
        "import importlib.machinery, importlib.util, sys",
        "loader = importlib.machinery.SourceFileLoader('orca_script', '/usr/bin/orca')",
        "script = importlib.util.module_from_spec(importlib.util.spec_from_loader('orca_script', loader))",
        "loader.exec_module(script)",
        "script.otherOrcas = lambda: []",
        "script.setProcessName = lambda name: None",
        "sys.argv = ['orca']",
        "sys.exit(script.main())"])

    def __init__(self, xvfb, bus, recorder, timeout=30.0):
        # The system's Python: Orca's modules are Debian packages.
        super().__init__(xvfb, ["/usr/bin/python3", "-c", self.LAUNCH])
        self.timeout = timeout
        self.recorder = recorder
        for name in ("HOME", "XDG_RUNTIME_DIR", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"):
            path = os.path.join(self.workdir, name.lower())
            os.makedirs(path, mode=0o700)
            self.extra_env[name] = path
        self.extra_env.update(recorder.env())
        self.extra_env.update({"DBUS_SESSION_BUS_ADDRESS": bus.address, "GSETTINGS_BACKEND": "memory",
                               # No sound of its own (earcons) into the test's sound server.
                               "PULSE_SERVER": "unix:" + os.path.join(self.workdir, "no-sound-server")})

    @staticmethod
    def is_orca(event):
        """Whether a speech event of a recorder with clients=True is Orca's."""
        return (event.client or "").split(":")[1:2] == ["Orca"]

    @staticmethod
    def words(text):
        """Orca's text without its SSML: "Flash card push button."."""
        return " ".join(re.sub(r"<[^>]*>", " ", text).split())

    def start(self):
        """Starts Orca and waits until it has spoken."""
        super().start()
        try:
            wait_until(lambda: self.proc.poll() is not None or any(
                self.is_orca(e) and e.event == "say" for e in read_speech_log(self.recorder.log_path)),
                self.timeout, interval=0.05, what="Orca to start")
            if self.proc.poll() is not None:
                raise E2EError("Orca ended at start: %s" % "".join(self.output()))
        except BaseException:
            self.cleanup()
            raise
        return self

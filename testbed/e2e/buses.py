# SPDX-License-Identifier: GPL-3.0-or-later
"""Desktop services on D-Bus: a session bus of the test's own with
at-spi2-core's accessibility bus on it (AccessibilityBus), the desktop's
screen-reader switch on that bus (ScreenReaderSwitch), which the trainer
reads to choose its voice, and a proxy in front of such a bus that holds
back or reorders what passes (BusProxy)."""

import os
import shutil
import socket
import struct
import subprocess
import threading

from .processes import E2EError, descendants, private_dir, stop_pids, stop_process, wait_until

# at-spi2-core's accessibility bus launcher.
A11Y_LAUNCHER = "/usr/libexec/at-spi-bus-launcher"


def accessible_subtree(root):
    """An AT-SPI object and every object under it, depth first, as a
    client (pyatspi) gives them."""
    found = []

    def walk(acc, depth):
        if depth > 30:
            raise AssertionError("the tree does not end")
        found.append(acc)
        for i in range(acc.childCount):
            child = acc.getChildAtIndex(i)
            if child is not None:
                walk(child, depth + 1)
    walk(root, 0)
    return found


class AccessibilityBus:
    """A session bus of our own with at-spi2-core's accessibility bus on it,
    for an X display; env() points programs and AT-SPI clients at it.
    set_status() turns the desktop's screen-reader switch on or off
    (screen_reader=True: on from the start), as a desktop's settings do."""

    def __init__(self, xvfb, screen_reader=False, timeout=20.0):
        self.xvfb = xvfb
        self.screen_reader = screen_reader
        self.timeout = timeout
        self.bus = self.launcher = None
        self.address = None

    def __enter__(self):
        try:
            self.bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                        stdin=subprocess.DEVNULL, start_new_session=True)
            self.address = self.bus.stdout.readline().decode().strip()
            self.bus.stdout.close()
            if not self.address:
                raise E2EError("dbus-daemon gave no address")
            # The launcher starts the accessibility bus; the registry is
            # started on it by D-Bus activation. Both are its descendants.
            # It keeps the switches in GSettings: in memory, so that
            # nothing reaches the user's settings on disk.
            self.launcher = subprocess.Popen([A11Y_LAUNCHER, "--launch-immediately"],
                                             env=dict(self.env(), GSETTINGS_BACKEND="memory"),
                                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                             stdin=subprocess.DEVNULL, start_new_session=True)
            # Programs started from here on find the launcher's name taken
            # (a call before that would have the bus start a launcher of
            # its own, by activation, which answers late).
            wait_until(lambda: self.launcher.poll() is not None or self.status("IsEnabled") is not None,
                       self.timeout, interval=0.05, what="the accessibility bus launcher")
            if self.launcher.poll() is not None:
                raise E2EError("at-spi-bus-launcher ended at start")
            if self.screen_reader:
                self.set_status("ScreenReaderEnabled", True)
        except BaseException:
            self.__exit__()
            raise
        return self

    def env(self, base=None):
        env = self.xvfb.env(base)
        env["DBUS_SESSION_BUS_ADDRESS"] = self.address
        return env

    def call(self, dest, path, method, *args):
        """A method call on the session bus with dbus-send: (ok, reply text)."""
        res = subprocess.run(["dbus-send", "--session", "--reply-timeout=5000", "--print-reply", "--dest=" + dest,
                              path, method] + list(args), env=self.env(), stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, timeout=20)
        return res.returncode == 0, (res.stdout if res.returncode == 0 else res.stderr).decode(errors="replace")

    def status(self, name):
        """A property of org.a11y.Status ("IsEnabled", "ScreenReaderEnabled")
        as the launcher has it; None while it does not answer."""
        # Asked only once the name is taken: a call to it before would
        # have the bus start another launcher.
        if not self.call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus.GetNameOwner",
                         "string:org.a11y.Bus")[0]:
            return None
        ok, out = self.call("org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties.Get",
                            "string:org.a11y.Status", "string:" + name)
        if not ok or "boolean" not in out:
            return None
        return out.split("boolean", 1)[1].split()[0] == "true"

    def set_status(self, name, on):
        """Sets a property of org.a11y.Status, as the desktop's settings do;
        returns once the launcher has it."""
        ok, out = self.call("org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties.Set",
                            "string:org.a11y.Status", "string:" + name,
                            "variant:boolean:" + ("true" if on else "false"))
        if not ok:
            raise E2EError("setting %s failed: %s" % (name, out.strip()))
        wait_until(lambda: self.status(name) == on, self.timeout, interval=0.05, what=name)

    def __exit__(self, *exc):
        if self.launcher is not None:
            below = descendants(self.launcher.pid)
            stop_pids(reversed(below), grace=None)
            stop_process(self.launcher)
        if self.bus is not None:
            # Whatever the bus activated (the registry) goes with it.
            below = descendants(self.bus.pid)
            stop_process(self.bus)
            stop_pids(below, grace=None)


class ScreenReaderSwitch(AccessibilityBus):
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
            raise E2EError("dbus-send %s: %s" % (" ".join(args), res.stderr.decode(errors="replace").strip()))
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
            wait_until(lambda: "boolean true" in self._send(
                "--dest=org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner",
                "string:" + self.SERVICE), self.timeout, interval=0.05, what="the accessibility bus")
            if self.on:
                self.switch(True)
            if self.state() != self.on:
                raise E2EError("the screen-reader switch did not turn %s" % ("on" if self.on else "off"))
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


# --- a proxy in front of the session bus ----------------------------------------

def _message_length(buf):
    """The length of the D-Bus message at the start of buf, or None while
    its fixed header is incomplete."""
    if len(buf) < 16:
        return None
    end = "<" if buf[0:1] == b"l" else ">"
    body_len, = struct.unpack_from(end + "I", buf, 4)
    fields_len, = struct.unpack_from(end + "I", buf, 12)
    return (16 + fields_len + 7) // 8 * 8 + body_len


class BusProxy:
    """A session bus address of the test's own in front of `bus` (an
    AccessibilityBus): what its clients send and receive passes through,
    message by message, except a client's call for which hold(message
    bytes) returns True: that is held back for good, the bus never hears it
    and the client waits for its answer, as from a service that hangs. With
    accept_after, each client is taken on only that many seconds after it
    connected, as by a bus on a loaded desktop. calls() lists every call
    the clients sent, as bytes; address is what a client is given. Threads
    of its own; no process is started."""

    def __init__(self, bus, hold=None, accept_after=0.0):
        self.bus, self.hold, self.accept_after = bus, hold, accept_after
        self.dir = self.address = self.server = None
        self.sockets, self.sent_calls = [], []
        self.lock = threading.Lock()

    def __enter__(self):
        self.dir = private_dir("abacorn-bus-proxy-")
        path = os.path.join(self.dir, "bus")
        self.server = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.server.bind(path)
        self.server.listen(16)
        self.address = "unix:path=" + path
        threading.Thread(target=self._accept, daemon=True).start()
        return self

    def __exit__(self, *exc):
        with self.lock:
            sockets, self.sockets = self.sockets, []
        for s in [self.server] + sockets:
            try:
                s.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
            s.close()
        if self.dir:
            shutil.rmtree(self.dir, ignore_errors=True)
            self.dir = None

    def client_env(self):
        return {"DBUS_SESSION_BUS_ADDRESS": self.address}

    def calls(self):
        with self.lock:
            return list(self.sent_calls)

    def _accept(self):
        while True:
            try:
                client, _ = self.server.accept()
            except OSError:
                return
            threading.Thread(target=self._link, args=(client,), daemon=True).start()

    def _link(self, client):
        # A bus slow to take a client on: nothing of the client's is read,
        # nor answered, until accept_after seconds have passed.
        if self.accept_after:
            threading.Event().wait(self.accept_after)
        bus_path = self.bus.address.split("path=", 1)[1].split(",", 1)[0]
        upstream = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        try:
            upstream.connect(bus_path)
        except OSError:
            client.close()
            return
        with self.lock:
            self.sockets += [client, upstream]
        link = {"begun": threading.Event()}
        threading.Thread(target=self._pump, args=(client, upstream, True, link), daemon=True).start()
        threading.Thread(target=self._pump, args=(upstream, client, False, link), daemon=True).start()

    def _pump(self, src, dst, from_client, link):
        buf = b""
        try:
            while True:
                data = src.recv(65536)
                if not data:
                    break
                buf += data
                while buf:
                    if not link["begun"].is_set():
                        # Authentication goes line by line ("\0AUTH ...",
                        # "OK ...", "BEGIN"); messages follow the client's BEGIN.
                        end = buf.find(b"\r\n")
                        if end < 0:
                            break
                        line, buf = buf[:end + 2], buf[end + 2:]
                        if from_client and line.startswith(b"BEGIN"):
                            link["begun"].set()
                        dst.sendall(line)
                        continue
                    n = _message_length(buf)
                    if n is None or len(buf) < n:
                        break
                    message, buf = buf[:n], buf[n:]
                    if from_client and message[1] == 1:  # a method call
                        with self.lock:
                            self.sent_calls.append(message)
                            if self.hold and self.hold(message):
                                continue
                    dst.sendall(message)
        except OSError:
            pass
        for s in (src, dst):
            try:
                s.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass

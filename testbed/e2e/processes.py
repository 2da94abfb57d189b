# SPDX-License-Identifier: GPL-3.0-or-later
"""Processes of the harness: waiting, stopping what was started by its PID,
and the clean-up when a test or benchmark is ended by a signal.

Every process the harness starts is stopped by its own PID (a daemon with
its process group) when its `with` block ends, also when the test fails or
the script is ended by a signal (see "ending by a signal" below). Nothing
is killed by name.
"""

import atexit
import collections
import ctypes
import os
import signal
import subprocess
import sys
import tempfile
import threading
import time


class E2EError(Exception):
    pass


def wait_until(check, timeout=20.0, interval=0.02, what="condition"):
    """Polls check() until it returns something truthy; returns that value."""
    end = time.monotonic() + timeout
    while True:
        value = check()
        if value:
            return value
        if time.monotonic() > end:
            raise E2EError("timed out after %.1f s waiting for %s" % (timeout, what))
        time.sleep(interval)


def stat_fields(pid, tid=None):
    """The fields of /proc/PID/stat (of thread TID when given) after the
    command name: [0] the state, [1] the parent, [11] and [12] the user and
    system time in clock ticks. Raises OSError for a process that is gone."""
    path = "/proc/%d/stat" % pid if tid is None else "/proc/%d/task/%s/stat" % (pid, tid)
    with open(path) as f:
        return f.read().rsplit(")", 1)[1].split()


def cpu_ticks(pid, tid=None):
    """Processor time used so far (user + system), in clock ticks."""
    fields = stat_fields(pid, tid)
    return int(fields[11]) + int(fields[12])


def wait_until_idle(pid, quiet_s=0.5, timeout=30.0):
    """Waits until the main thread of program `pid` has used no processor
    time for quiet_s: the trainer's pauses count event passes in a busy
    loop, so a quiet main thread has none running and waits for input."""
    state = {"ticks": None, "since": None}

    def quiet():
        ticks, now = cpu_ticks(pid, pid), time.monotonic()  # the main thread's
        if ticks != state["ticks"]:
            state["ticks"], state["since"] = ticks, now
            return False
        return now - state["since"] >= quiet_s
    wait_until(quiet, timeout, interval=0.05, what="the program to wait for input")


def _signal(proc, sig):
    """Sends sig to a process we started; to its whole process group when
    it leads one of its own (started with start_new_session: a daemon and
    the helpers it forked, such as speech-dispatcher's output modules)."""
    try:
        if os.getpgid(proc.pid) == proc.pid:
            os.killpg(proc.pid, sig)
        else:
            proc.send_signal(sig)
    except ProcessLookupError:
        pass


def stop_process(proc, grace=5.0):
    """Stops a child process (subprocess.Popen) by its PID, or its group's
    id (see _signal): SIGTERM, and SIGKILL after `grace` seconds; returns
    its exit status."""
    if proc is None or proc.poll() is not None:
        return proc.returncode if proc else None
    _signal(proc, signal.SIGTERM)
    _signal(proc, signal.SIGCONT)  # a daemon a test stopped (SIGSTOP) takes it only then
    try:
        return proc.wait(grace)
    except subprocess.TimeoutExpired:
        _signal(proc, signal.SIGKILL)
        return proc.wait(grace)


def descendants(pid):
    """PIDs of the processes below `pid` (children first), from /proc: for
    helpers that start processes of their own, such as at-spi-bus-launcher."""
    children = collections.defaultdict(list)
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            ppid = int(stat_fields(int(entry))[1])
        except (OSError, ValueError, IndexError):
            continue
        children[ppid].append(int(entry))
    found, todo = [], [pid]
    while todo:
        for child in children.get(todo.pop(), []):
            found.append(child)
            todo.append(child)
    return found


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


def alive(pid):
    """Whether a process runs (a zombie counts as ended)."""
    try:
        return stat_fields(pid)[0] != "Z"
    except (OSError, IndexError):
        return False


def stop_pids(pids, grace=3.0):
    """Stops processes we started indirectly, by their PIDs: SIGTERM to
    each, SIGKILL to those still there after `grace` seconds. With
    grace=None, SIGTERM alone: for the helpers of a daemon just stopped,
    which end with it."""
    pids = list(pids)
    for pid in pids:
        try:
            os.kill(pid, signal.SIGTERM)
        except OSError:
            pass
    if grace is None:
        return
    end = time.monotonic() + grace
    for pid in pids:
        while alive(pid) and time.monotonic() < end:
            time.sleep(0.05)
        if alive(pid):
            try:
                os.kill(pid, signal.SIGKILL)
            except OSError:
                pass


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


def private_dir(prefix):
    """A fresh 0700 directory (XDG_RUNTIME_DIR must not be readable by others)."""
    d = tempfile.mkdtemp(prefix=prefix)
    os.chmod(d, 0o700)
    return d


class BusyLoops:
    """Processes that spin on the processor (one per core by default: two
    on the machines this runs on), to hear the trainer on a loaded machine."""

    def __init__(self, count=2):
        self.count = count
        self.procs = []

    def start(self):
        for _ in range(self.count):
            self.procs.append(subprocess.Popen([sys.executable, "-c", "while True: pass"],
                                               stdin=subprocess.DEVNULL, start_new_session=True))
        return self

    def stop(self):
        for proc in self.procs:
            stop_process(proc)
        self.procs = []

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()


# --- ending by a signal ------------------------------------------------------
# `timeout` ends a script with SIGTERM, a closed terminal with SIGHUP. By
# default Python then dies on the spot: no `with` block unwinds, and every
# helper started in a session of its own (Xvfb, the audio server, the speech
# daemon, busy loops) lives on. Importing this module changes three things:
#  - SIGTERM, SIGHUP and SIGINT raise Terminated in the main thread, so the
#    blocks unwind and stop their processes as after a failure. Signals that
#    come while that goes on (`timeout` signals the script and then its
#    whole process group) are ignored, so the clean-up is not cut short.
#  - The script is a child subreaper (prctl): a process a helper started and
#    left behind (a daemon that forks away from its parent) becomes our
#    child instead of init's, so it is still found below us.
#  - At exit every process still below the script is stopped by its PID
#    (SIGTERM, SIGKILL after a grace time); then a script ended by a signal
#    ends by that same signal, so its caller sees how it ended.

class Terminated(KeyboardInterrupt):
    """A signal asked the script to end. A KeyboardInterrupt, so that
    unittest passes it on rather than going on with the next test."""

    def __init__(self, signum):
        super().__init__(signal.Signals(signum).name)
        self.signum = signum


_ended_by = []  # the signal that ends the script, once one came
_STOP_SIGNALS = (signal.SIGTERM, signal.SIGHUP, signal.SIGINT)
PR_SET_CHILD_SUBREAPER = 36


def _on_signal(signum, frame):
    if _ended_by:
        return  # already unwinding
    _ended_by.append(signum)
    raise Terminated(signum)


def stop_descendants(grace=10.0):
    """Stops every process below this one by its PID: SIGTERM (and SIGCONT
    for a stopped one), SIGKILL to those left after `grace` seconds.
    Returns the PIDs that were still running."""
    left = [pid for pid in descendants(os.getpid()) if alive(pid)]
    for pid in left:
        for sig in (signal.SIGTERM, signal.SIGCONT):
            try:
                os.kill(pid, sig)
            except ProcessLookupError:
                pass
    end = time.monotonic() + grace
    while any(alive(pid) for pid in left) and time.monotonic() < end:
        time.sleep(0.05)
    for pid in left:
        if alive(pid):
            try:
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
    return left


def _at_exit():
    for sig in _STOP_SIGNALS:
        signal.signal(sig, signal.SIG_IGN)  # nothing cuts the sweep short
    left = stop_descendants()
    try:  # reap them: after our end they would wait for init as zombies
        while os.waitpid(-1, os.WNOHANG)[0] > 0:
            pass
    except ChildProcessError:
        pass
    if left and not _ended_by:
        print("e2e: stopped %d process(es) left running: %s" % (len(left), " ".join(map(str, left))),
              file=sys.stderr)
    if _ended_by:
        sys.stderr.flush()
        signal.signal(_ended_by[0], signal.SIG_DFL)
        os.kill(os.getpid(), _ended_by[0])


def _report_termination(kind, value, tb, previous=sys.excepthook):
    if isinstance(value, Terminated):
        print("ended by %s; stopping what was started" % value, file=sys.stderr)
    else:
        previous(kind, value, tb)


def _install_signal_cleanup():
    if threading.current_thread() is not threading.main_thread():
        return
    for sig in _STOP_SIGNALS:
        signal.signal(sig, _on_signal)
    try:
        ctypes.CDLL(None, use_errno=True).prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0)
    except (OSError, AttributeError):
        pass
    sys.excepthook = _report_termination
    atexit.register(_at_exit)


_install_signal_cleanup()

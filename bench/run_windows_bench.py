#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Benchmarks of the Windows build under Wine on Xvfb 1920x1080 (no window
manager), measured from outside the program, with the recording SAPI
server taking its words:

  window   the Win32 build under Wine and the Qt build under Xvfb in one
           run: each control's rectangle as the screen readers are told
           it (MSAA's accLocation, AT-SPI's extents), the largest
           difference, and the same card read from both screenshots
           (the ink of each number); the two screenshots side by side in
           docs/windows-side-by-side.png.
  startup  the window shown, the welcome's Speak, the start-up pause of
           1,000,000 passes between the two and so the cost of one pass;
           CPU time over 10 s of idling after the welcome; the size of
           abacorn.exe and the DLLs it imports.
  timer    timer mode at 2 s for 100 cards: every answer must reach the
           recording server, with the flags 3; the cadence.
  random   2,000 random clicks and keys of a child: the trainer must still
           be open and answering.

    run_windows_bench.py [--only window,startup,timer,random] [--cards N] [--events N]

Environment: ABACORN_BUILD_DIR (the Linux build, for control_rect and the
Qt trainer), ABACORN_WINDOWS_BUILD_DIR (the cross build, with its Wine
prefix made by `python3 -m testbed.e2e.wine prefix`).
"""
import argparse
import os
import random
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, ROOT)  # the harness, testbed.e2e
from testbed import e2e  # noqa: E402
from testbed.e2e import rect  # noqa: E402
from testbed.e2e.wine import WineAbacorn, WinePrefix, accessible_tree, windows_build_dir  # noqa: E402

STARTUP = 90.0
MINGW_OBJDUMP = "x86_64-w64-mingw32-objdump"


def spread(values, fmt="%.0f"):
    if not values:
        return "-"
    return " / ".join(fmt % v for v in (min(values), statistics.median(values), max(values)))


def lesson(prefix=None):
    """Xvfb and the Windows trainer on it, the window mapped."""
    return e2e.Session(wait_for_welcome=False, timeout=STARTUP,
                       program=lambda x: WineAbacorn(x, prefix=prefix))


def cpu_seconds(pid):
    fields = e2e.stat_fields(pid)
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def qt_rectangles():
    """Each named control of the Qt build on Xvfb, as AT-SPI gives its
    place: [(name, (x, y, w, h))] depth first, and the screen's shot."""
    import warnings
    warnings.simplefilter("ignore", DeprecationWarning)
    with e2e.Xvfb() as x, e2e.AccessibilityBus(x) as bus:
        os.environ.update(bus.env())
        import pyatspi
        with e2e.Abacorn(x, env={"QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
                                 "DBUS_SESSION_BUS_ADDRESS": bus.address}) as app:
            app.wait_for_window()
            app.wait_for_say(e2e.WELCOME, timeout=60)
            e2e.wait_until_idle(app.pid, 1.0, 60)

            def walk(acc, out):
                out.append(acc)
                for i in range(acc.childCount):
                    child = acc.getChildAtIndex(i)
                    if child is not None:
                        walk(child, out)
                return out
            found = []
            for a in pyatspi.Registry.getDesktop(0):
                if a is not None and a.name == "abacorn":
                    for n in walk(a, []):
                        if n.name and n.getState().contains(pyatspi.STATE_SHOWING):
                            try:
                                e = n.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
                            except NotImplementedError:  # the application's node
                                continue
                            found.append((n.name, (e.x, e.y, e.width, e.height)))
            return found, x.screenshot()


def bench_window(args):
    """The same window on both: places from the screen readers' side, the
    card from the screenshots."""
    if "pyatspi" not in sys.modules and not os.path.exists("/usr/lib/python3/dist-packages/pyatspi"):
        print("window: needs python3-pyatspi (run with /usr/bin/python3)")
        return False
    qt, qt_shot = qt_rectangles()
    with WinePrefix() as prefix, e2e.Xvfb() as x:
        app = WineAbacorn(x, prefix=prefix).start()
        try:
            app.wait_for_window(timeout=STARTUP)
            app.wait_for_say(e2e.WELCOME, timeout=STARTUP)
            e2e.wait_until_idle(app.pid, 1.0, 60)
            nodes, _ = accessible_tree(prefix, x)
            win_shot = x.screenshot()
        finally:
            app.cleanup()
    # Controls by their names; numbers name list entries and the card's
    # numbers, whose places the ink below compares.
    win = [(n.name, n.location) for n in nodes if n.name and n.location and "invisible" not in n.states
           and not n.name.isdigit()]
    qt = [(name, r) for name, r in qt if not name.isdigit()]
    # Names that occur more than once (the two 12s) pair up in order.
    worst, rows = 0, []
    remaining = list(win)
    for name, q in qt:
        match = next((i for i, (n, _) in enumerate(remaining) if n == name), None)
        if match is None:
            continue
        _, w = remaining.pop(match)
        diff = max(abs(a - b) for a, b in zip(q, w))
        worst = max(worst, diff)
        rows.append((diff, name, q, w))
    for diff, name, q, w in sorted(rows, reverse=True):
        print("  %-30s Qt %-22s Win32 %-22s %d px" % (name, q, w, diff))
    print("window: %d controls on both, the largest difference %d px" % (len(rows), worst))
    # The card read from both screenshots: each number's ink, its box's size.
    same = True
    for name in ["lbln1", "lbln2", "lbln3", "lblOperation"]:
        a, b = e2e.ink_box(qt_shot, rect(name)), e2e.ink_box(win_shot, rect(name))
        close = a and b and abs(a[0] - b[0]) <= 2 and abs(a[1] - b[1]) <= 2
        same = same and bool(close)
        print("  %s: ink %s on Qt, %s on Win32" % (name, a and a[:2], b and b[:2]))
    for shot in (qt_shot, win_shot):
        same = same and e2e.ink_box(shot, rect("lbln1")) == e2e.ink_box(shot, rect("lbln2"))
    print("the same card on both: %s" % same)
    out = os.path.join(ROOT, "docs", "windows-side-by-side.png")
    with tempfile.TemporaryDirectory() as tmp:
        qt_png, win_png = os.path.join(tmp, "qt.png"), os.path.join(tmp, "win32.png")
        # The panel with its banner, a margin of the backdrop round them.
        px, py, pw, ph = rect("Frame1")
        top = rect("lblKidSafe")[1]
        area = (px - 20, top - 20, pw + 40, py + ph - top + 40)
        qt_shot.crop(*area).save_png(qt_png)
        win_shot.crop(*area).save_png(win_png)
        subprocess.run(["convert", qt_png, win_png, "+append", out], check=True)
    print("both screens side by side (Qt left, Win32 under Wine right): %s" % os.path.relpath(out, ROOT))
    return worst <= 2 and same


def bench_startup(args):
    # The program as build-windows.sh ships it (stripped), else the build's.
    exe = os.path.join(windows_build_dir(), "out", "abacorn.exe")
    if not os.path.exists(exe):
        exe = os.path.join(windows_build_dir(), "abacorn.exe")
    dlls = [line.split(":", 1)[1].strip() for line in subprocess.run(
        [MINGW_OBJDUMP, "-p", exe], stdout=subprocess.PIPE, check=True).stdout.decode().splitlines()
        if "DLL Name:" in line]
    print("abacorn.exe: %.2f MB; imports %s" % (os.path.getsize(exe) / 1e6, ", ".join(sorted(dlls))))
    pauses, idle = [], []
    for _ in range(args.runs):
        with lesson() as s:
            shown = time.time() * 1000
            s.wait_for_shot(lambda sh: sh.pixel(*e2e.centre(rect("Frame1"))) != e2e.BLACK, "the panel")
            painted = time.time() * 1000
            s.app.wait_for_say(e2e.WELCOME, timeout=STARTUP)
            welcome = s.app.speech()[0][0]
            pauses.append(welcome - painted)
            s.wait_until_idle(1.0)
            before = cpu_seconds(s.app.pid)
            time.sleep(10)  # the measurement itself: ten seconds of idling
            idle.append((cpu_seconds(s.app.pid) - before) * 1000)
            mapped = s.mapped_ms - s.app.launched * 1000
            print("  window mapped %.0f ms after the start, painted %.0f ms later, welcome %.0f ms after the paint"
                  % (mapped, painted - shown, welcome - painted), flush=True)
    print("start-up pause (painted -> welcome), min/median/max: %s ms" % spread(pauses))
    print("one pass of event processing: %s us (the pause / 1,000,000)" % spread([p / 1000 for p in pauses], "%.1f"))
    print("CPU over 10 s idle after the welcome: %s ms" % spread(idle))


def bench_timer(args):
    with lesson() as s:
        s.app.wait_for_say(e2e.WELCOME, timeout=STARTUP)
        s.click("lblTimer")
        s.app.wait_for_say("first choose a timer value in seconds")
        lx, ly, lw, _ = rect("lstTimer")
        heard = len(s.said())
        s.click_at(lx + lw // 3, ly + 10)
        s.app.wait_for_say("2 seconds.", after=heard)
        start = len(s.app.speech())
        e2e.wait_until(lambda: len(s.app.speech()) - start >= args.cards, args.cards * 15 + 60, interval=0.5,
                       what="%d answers" % args.cards)
        answers = s.app.speech()[start:start + args.cards]
        s.click_at(100, 100)
        bad = [a for a in answers if a[1] != 3 or not a[2].isdigit()]
        gaps = [b[0] - a[0] for a, b in zip(answers, answers[1:])]
        print("timer mode, %d cards: %d answers reached SAPI, %d not a number or not flags 3" % (
            args.cards, len(answers), len(bad)))
        print("  between two answers, min/median/max: %s ms" % spread(gaps))
        return not bad


# What a child reaches: the keys of the keyboard test, and clicks anywhere.
CHILD_KEYS = ([chr(c) for c in range(ord("a"), ord("z") + 1)] + [str(d) for d in range(10)] +
              ["space", "Return", "Tab", "Escape", "BackSpace", "Up", "Down", "Left", "Right", "KP_Enter",
               "alt+F4", "alt+space"])


def bench_random(args):
    rng = random.Random(25)
    with lesson() as s:
        s.app.wait_for_say(e2e.WELCOME, timeout=STARTUP)
        speaker_on = s.shot().crop(*rect("Picture1")).data
        started = time.monotonic()
        command = []
        for i in range(args.events):
            if rng.random() < 0.5:
                # Close Program is the one control that ends the lesson; a
                # child's click elsewhere, anywhere on the screen.
                while True:
                    x, y = rng.randrange(1920), rng.randrange(1080)
                    cx, cy, cw, ch = rect("Command1")
                    if not (cx - 5 <= x < cx + cw + 5 and cy - 5 <= y < cy + ch + 5):
                        break
                command += ["mousemove", str(x), str(y), "click", "1"]
            else:
                command += ["key", rng.choice(CHILD_KEYS)]
            if len(command) > 200 or i == args.events - 1:
                s.x.run(["xdotool"] + command, timeout=600)
                command = []
                if not s.app.running():
                    print("random events: the trainer ended after %d events" % (i + 1))
                    return False
        took = time.monotonic() - started
        s.key("Escape")
        s.wait_until_idle(1.0)
        alive = s.app.running()
        heard = len(s.said())
        if alive:
            # Still answering: speech on again if the child muted it, then
            # the drawing's sentence.
            if s.shot().crop(*rect("Picture1")).data != speaker_on:
                s.click("Picture2")
                s.wait_until_idle(1.0)
            s.click("img123")
            answered = e2e.wait_until(lambda: len(s.said()) > heard, 120, what="an answer after the events")
        else:
            answered = False
        print("random events: %d in %.0f s; open: %s; said %d texts; answering: %s" % (
            args.events, took, alive, heard, bool(alive and answered)))
        return alive


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--only", default="window,startup,timer,random")
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--cards", type=int, default=100)
    ap.add_argument("--events", type=int, default=2000)
    args = ap.parse_args()
    ok = True
    for part in args.only.split(","):
        result = {"window": bench_window, "startup": bench_startup, "timer": bench_timer,
                  "random": bench_random}[part](args)
        ok = ok and result is not False
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())

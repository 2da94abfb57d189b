#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Benchmarks of the browser build in headless Chromium at 1920x1080, the
recording SSIP server taking its words, measured in the page with a script
injected before it loads (a fresh browser for every run):

  load     what the first load transfers, file by file as the server was
           asked for them up to the enabled start button: bytes and gzip -9;
           fonts and artwork apart from the rest.
  start    the start tap's click event to the window's first paint (the
           Element Timing API's renderTime of the window's elements, checked
           against the second requestAnimationFrame after the window shows);
           the start-up pause (the welcome handed to speech after the window
           shows); the tap on an operation picture to speechSynthesis.speak(),
           20 taps; CPU over 5 s of an idle lesson (Performance.getMetrics)
           and the animation frames asked for meanwhile; the JS heap and the
           WebAssembly memory.

  offline  the first load and a warm start from the service worker with no
           server at all (ms from the navigation to the start button
           enabled), and the bytes an update of the program asks for.

    run_web_bench.py [--only load,start,offline] [--runs N] [--throttle R]

--throttle R slows the page's processor R times (Emulation.setCPUThrottlingRate),
as on a low-end tablet. Environment: ABACORN_BUILD_DIR (the Linux build,
for control_rect), ABACORN_WEB_BUILD_DIR (the browser build, its site in
out/web). Run with /usr/bin/python3 (python3-websocket).
"""
import argparse
import gzip
import os
import statistics
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, ROOT)  # the harness, testbed.e2e
from testbed import e2e  # noqa: E402
from testbed.e2e import browser  # noqa: E402
from testbed.e2e.web import DESIGN_VIEWPORT, design_rect  # noqa: E402

TAPS = 20
IDLE_S = 5.0
MB = 1024 * 1024
# Goals: ms from the start tap to the window painted, the start-up pause,
# ms from a tap to speak(); bytes of gzip for all but fonts and artwork
# and for the whole first load; bytes of JS heap and of WebAssembly memory.
GOAL_PAINT_MS, GOAL_PAUSE_MS, GOAL_SPEAK_MS = 100, 1000, 16
GOAL_CODE, GOAL_LOAD, GOAL_MEMORY = 150 * 1000, 300 * 1000, 16 * MB

# Injected before the page's own scripts: input events' time stamps, the
# paint of every element the program makes, frames asked for.
PROBE = r"""
window.probe = {inputs: [], painted: [], frames: [], rafs: 0, fullscreen: 0};
document.addEventListener('fullscreenchange', () => { probe.fullscreen = probe.fullscreen || performance.now(); });
for (const type of ['mousedown', 'mouseup', 'click'])
  addEventListener(type, e => probe.inputs.push([type, e.timeStamp]), true);
new PerformanceObserver(list => {
  for (const e of list.getEntries()) probe.painted.push(e.renderTime);
}).observe({type: 'element', buffered: true});
const raf = window.requestAnimationFrame.bind(window);
window.requestAnimationFrame = f => { probe.rafs++; return raf(f); };
addEventListener('load', () => {
  const page = Module.page, create = page.create, shown = page.windowShown;
  page.create = function (id) {
    create.apply(this, arguments);
    const el = document.getElementById('e' + id);
    if (el) el.setAttribute('elementtiming', 'e' + id);
  };
  page.windowShown = function () {
    shown.apply(this, arguments);
    raf(() => { probe.frames.push(performance.now()); raf(() => probe.frames.push(performance.now())); });
  };
});
"""


def spread(values, fmt="%.0f"):
    if not values:
        return "-"
    return " / ".join(fmt % v for v in (min(values), statistics.median(values), max(values)))


def verdict(value, goal):
    return "meets" if value <= goal else "MISSES"


def first_load(paths):
    """[(path, bytes, gzip bytes)] of what the server was asked for, once each."""
    rows, seen = [], set()
    root = browser.site_dir()
    for path in paths:
        path = path.split("?", 1)[0]
        if path in seen:
            continue
        seen.add(path)
        with open(os.path.join(root, path.lstrip("/") or "index.html"), "rb") as f:
            data = f.read()
        rows.append((path, len(data), len(gzip.compress(data, compresslevel=9, mtime=0))))
    return rows


def is_font_or_artwork(path):
    return path.startswith(("/fonts/", "/assets/", "/icons/"))


def bench_load(args):
    with browser.StaticServer(browser.site_dir()) as web, browser.Chromium() as chrome:
        chrome.page.navigate(web.url)
        ready = browser.start_lesson(chrome.page)
        # The page's own requests: the service worker keeps the site after.
        rows = first_load([url[len(web.url) - 1:] for url, t in chrome.page.requests()
                           if url.startswith(web.url) and t <= ready])
    print("first load, as the server was asked (bytes, gzip -9):")
    for path, size, packed in sorted(rows, key=lambda r: (is_font_or_artwork(r[0]), r[0])):
        print("  %-36s %8d %8d" % (path, size, packed))
    code = [r for r in rows if not is_font_or_artwork(r[0])]
    art = [r for r in rows if is_font_or_artwork(r[0])]
    for what, part in [("all but fonts and artwork", code), ("fonts", [r for r in art if r[0][:7] == "/fonts/"]),
                       ("artwork", [r for r in art if r[0][:7] != "/fonts/"]), ("the whole first load", rows)]:
        print("  %-36s %8d %8d" % (what, sum(r[1] for r in part), sum(r[2] for r in part)))
    code_gz, all_gz = sum(r[2] for r in code), sum(r[2] for r in rows)
    print("goals: all but fonts and artwork %d <= %d gzip: %s; first load %d <= %d: %s" % (
        code_gz, GOAL_CODE, verdict(code_gz, GOAL_CODE), all_gz, GOAL_LOAD, verdict(all_gz, GOAL_LOAD)))
    return code_gz <= GOAL_CODE and all_gz <= GOAL_LOAD


def one_run(args, idle):
    """One browser, one start and lesson: a dict of figures."""
    out = {}
    # The design's size: the window at scale 1, as on the desktop.
    with browser.StaticServer(browser.site_dir()) as web, browser.Chromium(width=DESIGN_VIEWPORT[0], height=DESIGN_VIEWPORT[1]) as chrome:
        page = chrome.page
        if args.throttle > 1:
            page.send("Emulation.setCPUThrottlingRate", rate=args.throttle)
        page.send("Page.addScriptToEvaluateOnNewDocument", source=PROBE)
        page.navigate(web.url)
        browser.start_lesson(page, timeout=120)
        chrome.wait_for_say(e2e.WELCOME, timeout=120)
        page.wait_for("probe.frames.length >= 2", what="the window's frames")
        probe, stats = page.evaluate("probe"), page.evaluate("Module.stats")
        tap = [t for kind, t in probe["inputs"] if kind == "click"][0]
        # The window is built, unseen, before the start: Element Timing then
        # reports no first paint, and the second frame after the window
        # showed stands for it (the two agreed within 5 to 20 ms before).
        shown_paints = [t for t in probe["painted"] if t >= stats["shown"]]
        painted = min(shown_paints) if shown_paints else probe["frames"][1]
        out["paint"] = painted - tap
        out["frame"] = probe["frames"][1] - tap
        out["built"] = stats["shown"] - tap
        out["fullscreen"] = probe["fullscreen"] - tap if probe["fullscreen"] else float("nan")
        out["pause"] = stats["spoken"][0] - stats["shown"]
        # Taps on the addition picture, each once the page is idle.
        page.wait_for("Module.page.idle()")
        point = e2e.centre(design_rect("picPlus"))
        taps = []
        for _ in range(TAPS):
            spoken = page.evaluate("Module.stats.spoken.length")
            inputs = page.evaluate("probe.inputs.length")
            page.click(*point)
            page.wait_for("Module.stats.spoken.length > %d && Module.page.idle()" % spoken, what="addition")
            up = [t for kind, t in page.evaluate("probe.inputs.slice(%d)" % inputs) if kind == "mouseup"][0]
            taps.append(page.evaluate("Module.stats.spoken[%d]" % spoken) - up)
        out["speak"] = statistics.median(taps)
        out["speak_max"] = max(taps)
        if idle:
            chrome.wait_for_say("addition")
            page.wait_for("Module.page.idle() && !speechSynthesis.speaking", what="quiet")
            before, rafs = page.metrics(), page.evaluate("probe.rafs")
            time.sleep(IDLE_S)  # the measurement itself: an idle lesson
            after = page.metrics()
            out["task"] = (after["TaskDuration"] - before["TaskDuration"]) * 1000
            out["script"] = (after["ScriptDuration"] - before["ScriptDuration"]) * 1000
            out["rafs"] = page.evaluate("probe.rafs") - rafs
            out["heap"] = after["JSHeapUsedSize"]
            out["wasm"] = page.evaluate("Module.HEAP8.buffer.byteLength")
            out["wasm_is_memory"] = page.evaluate("Object.values(Module.asm).some(v => v instanceof"
                                                  " WebAssembly.Memory && v.buffer === Module.HEAP8.buffer)")
    return out


def bench_start(args):
    label = " (CPU throttled %gx)" % args.throttle if args.throttle > 1 else ""
    runs = []
    for i in range(args.runs):
        r = one_run(args, idle=True)
        runs.append(r)
        print("  run %d: tap->painted %.0f ms (full screen %.0f, window built %.0f, 2nd frame %.0f), pause %.0f ms, "
              "tap->speak median %.1f ms (max %.1f), idle CPU %.1f ms task / %.1f ms script, %d frames asked" % (
                  i + 1, r["paint"], r["fullscreen"], r["built"], r["frame"], r["pause"], r["speak"], r["speak_max"],
                  r["task"],
                  r["script"], r["rafs"]), flush=True)

    def median(key):
        return statistics.median(r[key] for r in runs)
    print("start tap -> window painted%s, min/median/max: %s ms (window built %s, second frame %s)" % (
        label, spread([r["paint"] for r in runs]), spread([r["built"] for r in runs]),
        spread([r["frame"] for r in runs])))
    print("start-up pause (shown -> welcome's speak())%s: %s ms" % (label, spread([r["pause"] for r in runs])))
    print("tap -> speak(), median of %d taps%s: %s ms" % (TAPS, label, spread([r["speak"] for r in runs], "%.1f")))
    print("over %.0f s idle%s: TaskDuration %s ms, ScriptDuration %s ms, animation frames asked %s" % (
        IDLE_S, label, spread([r["task"] for r in runs], "%.1f"), spread([r["script"] for r in runs], "%.1f"),
        spread([r["rafs"] for r in runs])))
    print("memory: JS heap used %s MB, WebAssembly memory %s MB (HEAP8 is its buffer: %s)" % (
        spread([r["heap"] / MB for r in runs], "%.2f"), spread([r["wasm"] / MB for r in runs], "%.2f"),
        all(r["wasm_is_memory"] for r in runs)))
    goals = [("tap -> painted", median("paint"), GOAL_PAINT_MS), ("start-up pause", median("pause"), GOAL_PAUSE_MS),
             ("tap -> speak()", median("speak"), GOAL_SPEAK_MS),
             ("JS heap + WebAssembly memory, MB", (median("heap") + median("wasm")) / MB, GOAL_MEMORY / MB)]
    ok = True
    for what, value, goal in goals:
        print("goal %-34s %8.1f <= %g: %s" % (what, value, goal, verdict(value, goal)))
        ok = ok and value <= goal
    idle_frames = max(r["rafs"] for r in runs)
    print("goal no frame loop while idle: %d frames asked: %s" % (idle_frames, "meets" if not idle_frames else "MISSES"))
    return ok and not idle_frames


# When the start button was enabled, ms after the navigation began.
READY_PROBE = ("new MutationObserver(() => { if (document.documentElement.dataset.ready === '1' && !window.readyAt)"
               " window.readyAt = performance.now(); }).observe(document, {attributes: true, subtree: true,"
               " attributeFilter: ['data-ready']});")
GOAL_WARM_MS = 300  # a warm start offline, throttled 4x: the start button within


def offline_run(args, site, web_offline):
    """One browser: the first load, then a warm start from the service
    worker with no server; ms to the start button enabled, each."""
    with browser.StaticServer(site) as web, browser.Chromium() as chrome:
        def load(page):
            if args.throttle > 1:
                page.send("Emulation.setCPUThrottlingRate", rate=args.throttle)
            page.send("Page.addScriptToEvaluateOnNewDocument", source=READY_PROBE)
            page.navigate(web.url)
            ready = page.wait_for("window.readyAt", timeout=60, what="the program loaded")
            # The start button is shown, ready for a tap, once its acorn is
            # painted (Element Timing); a tap before the program has loaded
            # is kept until it has.
            shown = page.evaluate("new Promise(done => new PerformanceObserver(list => {"
                                  " const e = list.getEntries().find(e => e.identifier === 'start');"
                                  " if (e) done(e.renderTime || e.loadTime); })"
                                  ".observe({type: 'element', buffered: true}))")
            return shown, ready
        first = load(chrome.page)
        chrome.page.wait_for("navigator.serviceWorker.ready.then(r => caches.keys()).then(k => k.length === 1)",
                             timeout=60, what="the site kept")
        web.stop()
        warm = load(chrome.reopen("about:blank"))
        controlled = chrome.page.evaluate("!!navigator.serviceWorker.controller")
        browser.start_lesson(chrome.page)
    return first, warm, controlled


def bench_offline(args):
    """The first load and a warm start from the service worker, and what an
    update of the program transfers."""
    import shutil
    import tempfile
    web_offline = browser.offline_writer()
    label = " (CPU throttled %gx)" % args.throttle if args.throttle > 1 else ""
    runs = [offline_run(args, browser.site_dir(), web_offline) for _ in range(args.runs)]
    print("first load%s: start button shown %s ms, program loaded %s ms" % (
        label, spread([r[0][0] for r in runs]), spread([r[0][1] for r in runs])))
    print("warm start offline, from the service worker%s: start button shown %s ms, program loaded %s ms"
          " (controlled: %s)" % (label, spread([r[1][0] for r in runs]), spread([r[1][1] for r in runs]),
                                 all(r[2] for r in runs)))
    # An update: a new program, the rest unchanged.
    folder = tempfile.mkdtemp(prefix="abacorn-bench-")
    try:
        site = os.path.join(folder, "web")
        shutil.copytree(browser.site_dir(), site)
        with browser.StaticServer(site) as web, browser.Chromium() as chrome:
            chrome.page.navigate(web.url)
            chrome.page.wait_for("navigator.serviceWorker.ready.then(r => caches.keys()).then(k => k.length === 1)",
                                 timeout=60, what="the site kept")
            with open(os.path.join(site, "abacorn.js"), "a") as f:
                f.write("\n// build 2\n")
            web_offline.write(site)
            since = e2e.monotonic_ms()
            page = chrome.reopen(web.url)
            page.wait_for("navigator.serviceWorker.getRegistration().then(r => !!r.waiting)", 60,
                          what="the update kept")
            asked = web.requests(since_ms=since)
        sizes = {p: os.path.getsize(os.path.join(site, p.lstrip("/"))) for p in set(asked)}
        whole = sum(os.path.getsize(os.path.join(d, n)) for d, _, ns in os.walk(site) for n in ns)
        print("an update of abacorn.js: %d bytes asked for (%s), the whole site %d bytes" % (
            sum(sizes[p] * asked.count(p) for p in sizes), ", ".join(sorted(asked)), whole))
    finally:
        shutil.rmtree(folder, ignore_errors=True)
    warm = statistics.median(r[1][0] for r in runs)
    if args.throttle >= 4:
        print("goal warm start offline, throttled %gx: %.0f <= %d ms: %s" % (
            args.throttle, warm, GOAL_WARM_MS, verdict(warm, GOAL_WARM_MS)))
        return warm <= GOAL_WARM_MS
    return True


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--only", default="load,start")
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--throttle", type=float, default=1)
    args = ap.parse_args()
    if not os.path.exists(os.path.join(browser.site_dir(), "index.html")):
        print("no site at %s: build it with scripts/build-web.sh" % browser.site_dir())
        return 1
    ok = True
    for part in args.only.split(","):
        ok = {"load": bench_load, "start": bench_start, "offline": bench_offline}[part](args) and ok
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())

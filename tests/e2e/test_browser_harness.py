# SPDX-License-Identifier: GPL-3.0-or-later
"""Self-test of the browser harness: headless Chromium on a small page of
its own, served from a temporary folder; real clicks, keys and taps, what
the page speaks, what it asks for, what it shows, and that nothing it
started outlives it."""
import os
import signal
import subprocess
import sys
import tempfile
import unittest

from testbed import e2e
from testbed.e2e import browser

HARNESS_ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(e2e.__file__))))

PAGE = """<!doctype html>
<html lang="en"><head><meta charset="utf-8"><title>probe</title>
<style>body { margin: 0; background: #fff; } body > * { position: absolute; }</style></head>
<body>
<div id="panel" style="left: 0; top: 0; width: 400px; height: 300px; background: rgb(0, 0, 255)"></div>
<div id="keys" tabindex="0" style="left: 0; top: 320px; width: 50px; height: 50px"></div>
<button id="say" style="left: 100px; top: 100px; width: 200px; height: 80px">Say</button>
<select id="pick" style="left: 100px; top: 220px"><option>one</option><option>two</option></select>
<img id="dot" src="dot.png" alt="" style="left: 500px; top: 0">
<script>
window.log = [];
window.heard = [];
const note = (e, what) => log.push({what, x: e.clientX, y: e.clientY, detail: e.detail,
                                    pointer: e.pointerType || "", trusted: e.isTrusted});
const button = document.getElementById("say");
button.addEventListener("click", e => { note(e, "click"); say("hello"); });
button.addEventListener("dblclick", e => note(e, "dblclick"));
button.addEventListener("touchstart", e => log.push({what: "touchstart", touches: e.touches.length}));
document.getElementById("panel").addEventListener("click", e => note(e, "panel"));
document.addEventListener("keydown", e => log.push({what: "keydown", key: e.key, code: e.code,
                                                    ctrl: e.ctrlKey, shift: e.shiftKey}));
window.say = text => {
  const u = new SpeechSynthesisUtterance(text);
  u.onstart = () => heard.push("start " + text);
  u.onend = () => heard.push("end " + text);
  u.onerror = e => heard.push(e.error + " " + text);
  speechSynthesis.speak(u);
};
</script>
</body></html>
"""


def alive(pid):
    try:
        with open("/proc/%d/stat" % pid) as f:
            return f.read().rsplit(")", 1)[1].split()[0] != "Z"
    except OSError:
        return False


def group_alive(pgid):
    """Whether any process of group pgid still runs."""
    for entry in os.listdir("/proc"):
        try:
            fields = e2e.stat_fields(int(entry)) if entry.isdigit() else None
        except OSError:
            continue
        if fields and int(fields[2]) == pgid and fields[0] != "Z":
            return True
    return False


class PageTest(unittest.TestCase):
    """One server and one browser (a touch screen) for every case; each case
    loads the page afresh, so no user gesture carries over."""

    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.TemporaryDirectory()
        with open(os.path.join(cls.folder.name, "index.html"), "w") as f:
            f.write(PAGE)
        with open(os.path.join(cls.folder.name, "data.txt"), "w") as f:
            f.write("data")
        for name, data in [("empty.wasm", b"\0asm\1\0\0\0"), ("a.js", b""), ("f.woff2", b""), ("m.webmanifest", b"{}")]:
            with open(os.path.join(cls.folder.name, name), "wb") as f:
                f.write(data)
        subprocess.run(["convert", "-size", "10x10", "xc:rgb(255,0,0)", os.path.join(cls.folder.name, "dot.png")],
                       check=True)
        cls.web = browser.StaticServer(cls.folder.name).start()
        try:
            cls.chrome = browser.Chromium(width=800, height=600, touch=True).start()
        except BaseException:
            cls.web.stop()
            raise
        cls.page = cls.chrome.page

    @classmethod
    def tearDownClass(cls):
        cls.chrome.stop()
        cls.web.stop()
        cls.folder.cleanup()

    def setUp(self):
        self.page.navigate(self.web.url)
        self.page.wait_for("document.getElementById('dot').complete", what="the picture")

    def log(self, what=None):
        return [e for e in self.page.evaluate("log.splice(0)") if what is None or e["what"] in what]

    def test_clicks_land_where_aimed_and_count(self):
        self.page.click(110, 120)
        self.page.click(50, 50)
        self.assertEqual([(e["what"], e["x"], e["y"], e["detail"], e["pointer"], e["trusted"]) for e in self.log()],
                         [("click", 110, 120, 1, "mouse", True), ("panel", 50, 50, 1, "mouse", True)])
        self.page.double_click(200, 150)
        self.assertEqual([(e["what"], e["detail"]) for e in self.log()],
                         [("click", 1), ("click", 2), ("dblclick", 2)])

    def test_keys_arrive_with_their_names_and_modifiers(self):
        self.page.evaluate("document.getElementById('keys').focus(); window.mark = 1")
        for key, mods in [("Space", 0), ("Enter", 0), ("Escape", 0), ("ArrowDown", 0), ("ArrowLeft", 0), ("x", 0),
                          ("F5", 0), ("Backspace", 0), ("q", browser.CTRL), ("a", browser.SHIFT)]:
            self.page.key(key, mods)
        pressed = [(e["key"], e["code"], e["ctrl"], e["shift"]) for e in self.log(["keydown"])
                   if e["key"] not in ("Control", "Shift")]
        self.assertEqual(pressed, [(" ", "Space", False, False), ("Enter", "Enter", False, False),
                                   ("Escape", "Escape", False, False), ("ArrowDown", "ArrowDown", False, False),
                                   ("ArrowLeft", "ArrowLeft", False, False), ("x", "KeyX", False, False),
                                   ("F5", "F5", False, False), ("Backspace", "Backspace", False, False),
                                   ("q", "KeyQ", True, False), ("A", "KeyA", False, True)])
        # Neither F5 nor Ctrl+Q reached the browser's own shortcuts: no reload, no quit.
        self.assertEqual(self.page.evaluate("window.mark"), 1)
        self.assertIsNone(self.chrome.proc.poll())
        self.page.key("Tab")
        self.assertEqual(self.page.evaluate("document.activeElement.id"), "say")

    def test_a_tap_is_a_touch_and_a_click(self):
        since = e2e.monotonic_ms()
        self.page.tap(150, 140)
        self.assertEqual([(e["what"], e.get("touches"), e.get("x"), e.get("y"), e.get("pointer")) for e in self.log()],
                         [("touchstart", 1, None, None, None), ("click", None, 150, 140, "touch")])
        # It is a user gesture: the page may speak.
        self.chrome.wait_for_say("hello", since)

    def test_speech_after_a_gesture_is_heard_and_a_cancel_shows(self):
        self.page.wait_for("speechSynthesis.getVoices().length", what="the voices")
        self.assertEqual(self.page.evaluate("speechSynthesis.getVoices().map(v => [v.name, v.lang])"),
                         [["English (America) recorder", "en-US"]])
        since = e2e.monotonic_ms()
        self.page.evaluate("say('too early')")
        self.page.wait_for("heard.length", what="the early text to fail")
        self.assertEqual(self.page.evaluate("heard"), ["not-allowed too early"])
        self.page.click(150, 140)
        self.chrome.wait_for_say("hello", since)
        self.page.wait_for("heard.includes('end hello')", what="the end of hello")
        # A new text after a cancel: the stop comes first.
        self.page.evaluate("say('long'); speechSynthesis.cancel(); say('again')")
        self.chrome.wait_for_say("again", since)
        self.assertEqual(self.chrome.said(stops=True, since_ms=since)[-3:], ["long", None, "again"])
        self.assertEqual(self.chrome.said(since_ms=since), ["hello", "long", "again"])
        self.page.wait_for("heard.includes('end again')", what="the end of again")

    def test_requests_storage_and_pixels(self):
        self.assertEqual(self.web.requests()[-2:], ["/", "/dot.png"])
        # Served as any static host serves it: not isolated, no shared memory.
        self.assertFalse(self.page.evaluate("crossOriginIsolated"))
        since = e2e.monotonic_ms()
        self.assertEqual(self.page.evaluate("fetch('data.txt?n=1').then(r => r.text())"), "data")
        self.assertEqual([url for url, _ in self.page.requests(since)], [self.web.url + "data.txt?n=1"])
        self.assertEqual(self.web.requests(since), ["/data.txt?n=1"])
        self.assertEqual(self.page.storage(), {"cookies": 0, "localStorage": 0, "sessionStorage": 0,
                                               "indexedDB": 0, "caches": 0, "serviceWorkers": 0})
        self.page.evaluate("localStorage.setItem('k', 'v'); document.cookie = 'c=1'")
        kept = self.page.storage()
        self.page.evaluate("localStorage.clear(); document.cookie = 'c=; max-age=0'")
        self.assertEqual((kept["localStorage"], kept["cookies"]), (1, 1))
        shot = self.page.screenshot()
        self.assertEqual((shot.width, shot.height), (800, 600))
        self.assertEqual(shot.pixel(20, 20), (0, 0, 255))
        self.assertEqual(shot.pixel(505, 5), (255, 0, 0))
        self.assertEqual(shot.pixel(700, 500), (255, 255, 255))
        self.assertGreater(self.page.metrics()["JSHeapUsedSize"], 0)

    def test_files_come_with_their_types(self):
        # The browser compiles a module while it loads only when it comes as application/wasm.
        self.assertEqual(self.page.evaluate(
            "WebAssembly.instantiateStreaming(fetch('empty.wasm')).then(r => typeof r.instance)"), "object")
        types = self.page.evaluate("Promise.all(['a.js', 'f.woff2', 'm.webmanifest', 'dot.png'].map("
                                   "f => fetch(f).then(r => r.headers.get('content-type'))))")
        self.assertEqual(types, ["text/javascript; charset=utf-8", "font/woff2", "application/manifest+json",
                                 "image/png"])

    def test_accessibility_tree_and_boxes(self):
        self.page.click(150, 140)
        tree = [n for n in self.page.ax_tree() if not n["ignored"]]
        button = next(n for n in tree if n["role"] == "button")
        self.assertEqual((button["name"], button["focused"]), ("Say", True))
        self.assertEqual(self.page.ax_bounds(button), (100, 100, 200, 80))
        self.assertIn("combobox", [n["role"] for n in tree])
        self.page.set_viewport(800, 600, dpr=2)
        try:
            self.assertEqual(self.page.ax_bounds(button), (100, 100, 200, 80))  # CSS px
            self.assertEqual(self.page.screenshot().width, 1600)
        finally:
            self.page.set_viewport(800, 600)

    def test_console_and_uncaught_errors_are_kept(self):
        since = e2e.monotonic_ms()
        self.page.evaluate("console.log('note', 1); setTimeout(() => { throw new Error('boom'); })")
        e2e.wait_until(lambda: len(self.page.console(since)) == 2, what="the note and the uncaught error")
        note, error = self.page.console(since)
        self.assertEqual(note, "log: note 1")
        self.assertRegex(error, "^uncaught: Error: boom")

    def test_failures_say_what_was_awaited(self):
        with self.assertRaisesRegex(e2e.E2EError, "the impossible"):
            self.page.wait_for("false", timeout=0.3, what="the impossible")
        with self.assertRaisesRegex(e2e.E2EError, "threw: ReferenceError"):
            self.page.evaluate("noSuchThing")
        with self.assertRaisesRegex(e2e.E2EError, "the late one .*last: .*ReferenceError: late is not defined"):
            self.page.wait_for("late.ready", timeout=0.3, what="the late one")
        # A condition that throws until it holds is waited for.
        self.page.evaluate("setTimeout(() => { window.late = {ready: 7}; }, 100)")
        self.assertEqual(self.page.wait_for("late.ready"), 7)
        with self.assertRaisesRegex(e2e.E2EError, "Page.loadEventFired"):
            self.page.wait_event("Page.loadEventFired", since_ms=e2e.monotonic_ms(), timeout=0.2)
        with self.assertRaisesRegex(e2e.E2EError, "no such key"):
            self.page.key("NoSuchKey")


# Starts a server and a browser, prints the PIDs to watch, waits to be ended.
SIGNALLED_SCRIPT = r"""
import sys, tempfile, time
sys.path.insert(0, %r)
from testbed.e2e import browser
with tempfile.TemporaryDirectory() as d, browser.StaticServer(d) as web, browser.Chromium() as chrome:
    print(chrome.proc.pid, chrome.recorder.proc.pid, web.proc.pid, flush=True)
    time.sleep(600)
"""


class EndingTest(unittest.TestCase):
    """Chromium (with its helpers), the recorder and the server are all
    gone after the block, after a failure and after SIGTERM."""

    def test_stopped_after_a_failure(self):
        with tempfile.TemporaryDirectory() as d:
            web, chrome = browser.StaticServer(d), browser.Chromium(width=320, height=240)
            with self.assertRaises(RuntimeError):
                with web, chrome:
                    pids = [chrome.proc.pid, chrome.recorder.proc.pid, web.proc.pid]
                    self.assertTrue(all(alive(p) for p in pids))
                    raise RuntimeError("test failed")
        self.assertEqual([p for p in pids if alive(p)], [])
        self.assertFalse(group_alive(pids[0]))

    def test_stopped_by_sigterm(self):
        script = subprocess.Popen([sys.executable, "-c", SIGNALLED_SCRIPT % HARNESS_ROOT],
                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        try:
            pids = [int(p) for p in script.stdout.readline().split()]
            self.assertEqual(len(pids), 3)
            self.assertTrue(all(alive(p) for p in pids))
            script.send_signal(signal.SIGTERM)
            self.assertEqual(script.wait(60), -signal.SIGTERM)
            self.assertEqual([p for p in pids if alive(p)], [])
            self.assertFalse(group_alive(pids[0]))
        finally:
            e2e.stop_process(script)
            script.stdout.close()
            script.stderr.close()


if __name__ == "__main__":
    unittest.main(verbosity=2)

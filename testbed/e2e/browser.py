# SPDX-License-Identifier: GPL-3.0-or-later
"""The browser build's harness: a folder served on 127.0.0.1, headless
Chromium driven over the DevTools Protocol, and the recording speech daemon
that hears what the page gives speechSynthesis.

    with e2e.StaticServer(folder) as web, e2e.Chromium() as chrome:
        page = chrome.page
        page.navigate(web.url)
        page.wait_for("document.querySelector('button')", what="a button")
        page.click(120, 80)                    # a real click: a user gesture
        chrome.wait_for_say("hello")
        r, g, b = page.screenshot().pixel(10, 10)

Chromium runs in a session of its own and is stopped with its process group
by PID, also when a test fails or is ended by a signal (processes.py). It
needs the system Python's websocket client (python3-websocket).
"""

import base64
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import urllib.request

import websocket

from . import ssip_recorder, static_server
from .images import _CONVERT, Image
from .processes import E2EError, private_dir, stat_fields, stop_pids, stop_process, wait_until
from .program import read_speech_log

CHROMIUM = "/usr/lib/chromium/chromium"  # the binary: /usr/bin/chromium is a shell script adding flags of its own
START_TIMEOUT = 60.0
CALL_TIMEOUT = 60.0


def _keep():
    return bool(os.environ.get("ABACORN_E2E_KEEP"))


class StaticServer:
    """static_server.py serving `root` as a process of its own; .url is its
    address, requests() the paths asked for so far."""

    def __init__(self, root):
        self.root = root
        self.dir = tempfile.mkdtemp(prefix="abacorn-web-")
        self.log_path = os.path.join(self.dir, "requests.log")
        self.proc = None
        self.url = None

    def start(self):
        self.proc = subprocess.Popen([sys.executable, static_server.__file__, self.root, "--log", self.log_path],
                                     stdout=subprocess.PIPE, stdin=subprocess.DEVNULL, start_new_session=True)
        line = self.proc.stdout.readline().decode().strip()
        if not line.startswith(static_server.PREFIX):
            self.stop()
            raise E2EError("the web server did not start (it said %r)" % line)
        self.url = line[len(static_server.PREFIX):]
        return self

    def requests(self, since_ms=None):
        """Paths asked for (with their query), in order; those after since_ms
        (CLOCK_MONOTONIC) when given."""
        try:
            with open(self.log_path, encoding="utf-8") as f:
                rows = [line.rstrip("\n").split("\t") for line in f if line.endswith("\n")]
        except FileNotFoundError:
            return []
        return [path for t, _, path in rows if since_ms is None or float(t) >= since_ms]

    def stop(self):
        if self.proc is not None:
            stop_process(self.proc)
            self.proc.stdout.close()
            self.proc = None
        if not _keep():
            shutil.rmtree(self.dir, ignore_errors=True)

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()


# key name: (key, code, windowsVirtualKeyCode, text)
KEYS = {
    "Tab": ("Tab", "Tab", 9, ""),
    "Space": (" ", "Space", 32, " "),
    "Enter": ("Enter", "Enter", 13, "\r"),
    "Escape": ("Escape", "Escape", 27, ""),
    "Backspace": ("Backspace", "Backspace", 8, ""),
    "Delete": ("Delete", "Delete", 46, ""),
    "Home": ("Home", "Home", 36, ""),
    "End": ("End", "End", 35, ""),
    "ArrowLeft": ("ArrowLeft", "ArrowLeft", 37, ""),
    "ArrowUp": ("ArrowUp", "ArrowUp", 38, ""),
    "ArrowRight": ("ArrowRight", "ArrowRight", 39, ""),
    "ArrowDown": ("ArrowDown", "ArrowDown", 40, ""),
    "F4": ("F4", "F4", 115, ""),
    "F5": ("F5", "F5", 116, ""),
}
ALT, CTRL, META, SHIFT = 1, 2, 4, 8
MODIFIER_KEYS = [(ALT, ("Alt", "AltLeft", 18)), (CTRL, ("Control", "ControlLeft", 17)),
                 (META, ("Meta", "MetaLeft", 91)), (SHIFT, ("Shift", "ShiftLeft", 16))]


def key_fields(key, modifiers=0):
    """(key, code, windowsVirtualKeyCode, text) for a name of KEYS, a letter
    or a digit, as a US keyboard gives them."""
    if key in KEYS:
        return KEYS[key]
    if len(key) == 1 and key.isalpha() and key.isascii():
        shown = key.upper() if modifiers & SHIFT else key.lower()
        return shown, "Key" + key.upper(), ord(key.upper()), shown
    if len(key) == 1 and key.isdigit():
        return key, "Digit" + key, ord(key), key
    raise E2EError("no such key: %r" % key)


class Page:
    """One tab over the DevTools Protocol. Events are kept as they come
    (events()); Page, Runtime, Network and Performance are on from the start."""

    def __init__(self, ws_url):
        self.ws_url = ws_url
        self.ws = websocket.create_connection(ws_url, timeout=START_TIMEOUT, suppress_origin=True)
        self.ws.settimeout(None)
        self.cv = threading.Condition()
        self.next_id = 0
        self.replies = {}
        self._events = []  # (CLOCK_MONOTONIC ms when read, method, params)
        self.closed = False
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()
        for domain in ("Page", "Runtime", "Network", "Performance"):
            self.send(domain + ".enable")

    def _read(self):
        try:
            while True:
                message = json.loads(self.ws.recv())
                with self.cv:
                    if "id" in message:
                        self.replies[message["id"]] = message
                    else:
                        self._events.append((_now_ms(), message.get("method"), message.get("params", {})))
                    self.cv.notify_all()
        except Exception:  # closed: by us, or the browser went away
            with self.cv:
                self.closed = True
                self.cv.notify_all()

    def send(self, method, timeout=CALL_TIMEOUT, **params):
        """Calls a DevTools method; returns its result, raises E2EError on an error."""
        with self.cv:
            self.next_id += 1
            call = self.next_id
        try:
            self.ws.send(json.dumps({"id": call, "method": method, "params": params}))
        except Exception as e:
            raise E2EError("%s: the browser is gone (%s)" % (method, e))
        with self.cv:
            if not self.cv.wait_for(lambda: call in self.replies or self.closed, timeout):
                raise E2EError("timed out after %.1f s waiting for the answer to %s" % (timeout, method))
            if call not in self.replies:
                raise E2EError("%s: the browser closed the connection" % method)
            reply = self.replies.pop(call)
        if "error" in reply:
            raise E2EError("%s failed: %s" % (method, reply["error"].get("message")))
        return reply.get("result", {})

    def events(self, method=None, since_ms=None):
        """[(t_ms, method, params)] received so far, of `method` when given."""
        with self.cv:
            return [e for e in self._events
                    if (method is None or e[1] == method) and (since_ms is None or e[0] >= since_ms)]

    def wait_event(self, method, check=lambda params: True, since_ms=None, timeout=30.0):
        """Waits for an event `method` whose params pass check; returns its params."""
        def found():
            return next((p for _, m, p in self.events(method, since_ms) if check(p)), None)
        with self.cv:
            self.cv.wait_for(lambda: found() is not None or self.closed, timeout)
            params = found()
        if params is None:
            raise E2EError("%s waiting for %s" % ("the browser closed the connection" if self.closed else
                                                  "timed out after %.1f s" % timeout, method))
        return params

    def close(self):
        try:
            self.ws.close()
        except Exception:
            pass

    # --- loading and scripts ------------------------------------------------

    def navigate(self, url, timeout=30.0):
        """Loads url and waits for its load event."""
        since = _now_ms()
        result = self.send("Page.navigate", url=url)
        if result.get("errorText"):
            raise E2EError("could not load %s: %s" % (url, result["errorText"]))
        self.wait_event("Page.loadEventFired", since_ms=since, timeout=timeout)

    def reload(self, timeout=30.0):
        since = _now_ms()
        self.send("Page.reload")
        self.wait_event("Page.loadEventFired", since_ms=since, timeout=timeout)

    def evaluate(self, js, timeout=CALL_TIMEOUT):
        """The value of a JavaScript expression, a promise's once settled.
        Raises E2EError when it throws. Gives the page no user gesture."""
        result = self.send("Runtime.evaluate", timeout=timeout, expression=js, awaitPromise=True,
                           returnByValue=True)
        if "exceptionDetails" in result:
            details = result["exceptionDetails"]
            text = details.get("exception", {}).get("description") or details.get("text")
            raise E2EError("%s threw: %s" % (js if len(js) < 200 else js[:200] + "...", text))
        return result["result"].get("value")

    def wait_for(self, js, timeout=30.0, what=None):
        """Polls a JavaScript condition until it is truthy; returns its value.
        A condition that throws counts as false (the page may still be
        loading); the last error is told if it never holds."""
        last = []

        def holds():
            try:
                return self.evaluate(js)
            except E2EError as e:
                if self.closed:
                    raise
                last[:] = [e]
                return None
        try:
            return wait_until(holds, timeout, interval=0.05, what=what or js)
        except E2EError as e:
            raise E2EError("%s%s" % (e, " (last: %s)" % last[0] if last else "")) from None

    def console(self, since_ms=None):
        """What the page wrote with console.* and the exceptions nobody caught, as text."""
        lines = []
        for _, method, p in self.events(since_ms=since_ms):
            if method == "Runtime.consoleAPICalled":
                lines.append("%s: %s" % (p["type"], " ".join(str(a.get("value", a.get("description")))
                                                              for a in p.get("args", []))))
            elif method == "Runtime.exceptionThrown":
                d = p["exceptionDetails"]
                lines.append("uncaught: %s" % d.get("exception", {}).get("description", d.get("text")))
        return lines

    # --- input --------------------------------------------------------------

    def mouse_move(self, x, y):
        self.send("Input.dispatchMouseEvent", type="mouseMoved", x=x, y=y)

    def mouse_down(self, x, y, count=1, button="left"):
        self.send("Input.dispatchMouseEvent", type="mousePressed", x=x, y=y, button=button, clickCount=count)

    def mouse_up(self, x, y, count=1, button="left"):
        self.send("Input.dispatchMouseEvent", type="mouseReleased", x=x, y=y, button=button, clickCount=count)

    def click(self, x, y, count=1, button="left"):
        """A real click at (x, y) in CSS px: it counts as a user gesture."""
        self.mouse_move(x, y)
        self.mouse_down(x, y, count, button)
        self.mouse_up(x, y, count, button)

    def double_click(self, x, y):
        self.click(x, y, 1)
        self.click(x, y, 2)

    def key(self, key, modifiers=0):
        """Presses and releases a key (a name of KEYS, a letter or a digit)
        with modifiers (CTRL | SHIFT | ALT | META), the modifier keys held
        around it as a person would."""
        name, code, vk, text = key_fields(key, modifiers)
        if modifiers & (CTRL | ALT | META):
            text = ""  # a shortcut types nothing
        held = 0
        for bit, (mname, mcode, mvk) in MODIFIER_KEYS:
            if modifiers & bit:
                held |= bit
                self.send("Input.dispatchKeyEvent", type="rawKeyDown", modifiers=held, key=mname, code=mcode,
                          windowsVirtualKeyCode=mvk)
        down = dict(modifiers=modifiers, key=name, code=code, windowsVirtualKeyCode=vk)
        if text:
            self.send("Input.dispatchKeyEvent", type="keyDown", text=text, unmodifiedText=text, **down)
        else:
            self.send("Input.dispatchKeyEvent", type="rawKeyDown", **down)
        self.send("Input.dispatchKeyEvent", type="keyUp", **down)
        for bit, (mname, mcode, mvk) in reversed(MODIFIER_KEYS):
            if modifiers & bit:
                held &= ~bit
                self.send("Input.dispatchKeyEvent", type="keyUp", modifiers=held, key=mname, code=mcode,
                          windowsVirtualKeyCode=mvk)

    def tap(self, x, y):
        """A finger's tap at (x, y): touchstart, touchend, then the click
        the browser makes of it."""
        self.send("Input.dispatchTouchEvent", type="touchStart", touchPoints=[{"x": x, "y": y}])
        self.send("Input.dispatchTouchEvent", type="touchEnd", touchPoints=[])

    def touches(self, *moves):
        """Fingers on the screen: each move a list of (x, y), one a finger,
        from their touchstart through touchmoves to their lifting."""
        def points(move):
            return [{"x": x, "y": y, "id": i} for i, (x, y) in enumerate(move)]
        self.send("Input.dispatchTouchEvent", type="touchStart", touchPoints=points(moves[0]))
        for move in moves[1:]:
            self.send("Input.dispatchTouchEvent", type="touchMove", touchPoints=points(move))
        self.send("Input.dispatchTouchEvent", type="touchEnd", touchPoints=[])

    def pinch(self, x, y, spread_from=20, spread_to=300, steps=12):
        """Two fingers at (x, y) moving apart: a zoom, where the page allows it."""
        spreads = [spread_from + (spread_to - spread_from) * i // steps for i in range(steps + 1)]
        self.touches(*[[(x - d, y), (x + d, y)] for d in spreads])

    # --- what it shows ------------------------------------------------------

    def screenshot(self, save_png=None):
        """The viewport as an Image (device pixels)."""
        png = base64.b64decode(self.send("Page.captureScreenshot", format="png")["data"])
        if save_png:
            with open(save_png, "wb") as f:
                f.write(png)
        ppm = subprocess.run([_CONVERT, "png:-", "-depth", "8", "ppm:-"], input=png, stdout=subprocess.PIPE,
                             check=True, timeout=60).stdout
        return Image.from_ppm(ppm)

    def set_viewport(self, width, height, dpr=1, mobile=False):
        """The page's viewport (and screen) in CSS px, whatever the window's size."""
        self.send("Emulation.setDeviceMetricsOverride", width=width, height=height, deviceScaleFactor=dpr,
                  mobile=mobile, screenWidth=width, screenHeight=height)

    def set_touch(self, enabled):
        """Whether the page sees a touch screen (tap() needs one)."""
        self.send("Emulation.setTouchEmulationEnabled", enabled=enabled, maxTouchPoints=5 if enabled else 1)

    def ax_tree(self):
        """The accessibility tree, flat, in document order: dicts of role,
        name, value, focused, ignored, backendDOMNodeId, nodeId, parentId,
        childIds and activedescendant (the backendDOMNodeId it names, or None)."""
        nodes = []
        for n in self.send("Accessibility.getFullAXTree")["nodes"]:
            props = {p["name"]: p.get("value", {}).get("value") for p in n.get("properties", [])}
            nodes.append({
                "role": n.get("role", {}).get("value"),
                "name": n.get("name", {}).get("value", ""),
                "value": n.get("value", {}).get("value"),
                "focused": bool(props.get("focused")),
                "ignored": n.get("ignored", False),
                "backendDOMNodeId": n.get("backendDOMNodeId"),
                "nodeId": n.get("nodeId"),
                "parentId": n.get("parentId"),
                "childIds": n.get("childIds", []),
                "activedescendant": next((r.get("backendDOMNodeId") for p in n.get("properties", [])
                                          if p["name"] == "activedescendant"
                                          for r in p.get("value", {}).get("relatedNodes", [])), None),
            })
        return nodes

    def ax_bounds(self, node):
        """(x, y, width, height) of a node's border box, in CSS px of the viewport."""
        quad = self.send("DOM.getBoxModel", backendNodeId=node["backendDOMNodeId"])["model"]["border"]
        xs, ys = quad[0::2], quad[1::2]
        return min(xs), min(ys), max(xs) - min(xs), max(ys) - min(ys)

    # --- what it did --------------------------------------------------------

    def requests(self, since_ms=None):
        """[(url, t_ms)] of every request the page made, t_ms CLOCK_MONOTONIC
        as the browser stamped it."""
        return [(p["request"]["url"], p["timestamp"] * 1000.0)
                for _, _, p in self.events("Network.requestWillBeSent")
                if since_ms is None or p["timestamp"] * 1000.0 >= since_ms]

    def storage(self):
        """What the page keeps in the browser: cookies, localStorage and
        sessionStorage entries, IndexedDB databases, Cache Storage caches
        and service workers, each a count."""
        kept = self.evaluate("""(async () => ({
            localStorage: localStorage.length,
            sessionStorage: sessionStorage.length,
            indexedDB: (await indexedDB.databases()).length,
            caches: self.caches ? (await caches.keys()).length : 0,
            serviceWorkers: navigator.serviceWorker ? (await navigator.serviceWorker.getRegistrations()).length : 0,
        }))()""")
        kept["cookies"] = len(self.send("Network.getAllCookies")["cookies"])
        return kept

    def offline_store(self):
        """What the page keeps for offline use: {"caches": {name: [url]},
        "workers": [(scope, script, state)]}."""
        return self.evaluate("""(async () => {
            const kept = {};
            for (const name of await caches.keys())
                kept[name] = (await (await caches.open(name)).keys()).map(r => r.url).sort();
            const workers = (await navigator.serviceWorker.getRegistrations()).map(r => {
                const w = r.active || r.waiting || r.installing;
                return [r.scope, w ? w.scriptURL : '', w ? w.state : ''];
            });
            return {caches: kept, workers};
        })()""")

    def resources(self):
        """{url: bytes} of every file the page's frame loaded, as the page
        got it; but fonts, whose bytes Chromium does not keep for DevTools."""
        tree = self.send("Page.getResourceTree")["frameTree"]
        frame = tree["frame"]["id"]
        found = {}
        for url in [tree["frame"]["url"]] + [r["url"] for r in tree["resources"] if r.get("type") != "Font"]:
            if url.startswith("data:"):
                continue
            got = self.send("Page.getResourceContent", frameId=frame, url=url)
            found[url] = base64.b64decode(got["content"]) if got["base64Encoded"] else got["content"].encode()
        return found

    def metrics(self):
        """Performance.getMetrics as a dict: JSHeapUsedSize (bytes),
        TaskDuration and ScriptDuration (s of the renderer's main thread),
        Nodes, LayoutCount and the rest."""
        return {m["name"]: m["value"] for m in self.send("Performance.getMetrics")["metrics"]}


def _stop_group(proc):
    """Stops a process that leads a group of its own with the whole group,
    and reaps those of them that came to us (processes.py makes the script
    a subreaper): Chromium's helpers outlive it by a moment."""
    pgid = proc.pid
    stop_process(proc)

    def members():
        try:
            while os.waitpid(-pgid, os.WNOHANG)[0] > 0:
                pass
        except ChildProcessError:
            pass
        found = []
        for entry in os.listdir("/proc"):
            try:
                fields = stat_fields(int(entry)) if entry.isdigit() else None
            except OSError:
                continue
            if fields and int(fields[2]) == pgid and fields[0] != "Z":
                found.append(int(entry))
        return found
    try:
        wait_until(lambda: not members(), 10.0, interval=0.05, what="Chromium's helpers to end")
    except E2EError:
        stop_pids(members(), grace=5.0)


def _now_ms():
    return time.clock_gettime(time.CLOCK_MONOTONIC) * 1000.0


class Chromium:
    """Headless Chromium with a fresh profile and a window of width x height,
    speaking to a recording SSIP server of its own (started first: with
    nothing on its socket Chromium starts a speech-dispatcher). .page is its
    tab; with touch=True the page sees a touch screen."""

    FLAGS = ["--headless=new", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
             "--no-default-browser-check", "--disable-background-networking", "--disable-component-update",
             "--disable-sync", "--disable-dev-shm-usage", "--enable-speech-dispatcher", "--remote-debugging-port=0"]

    def __init__(self, recorder_dir=None, width=1920, height=1080, touch=False, speak_ms=300, args=()):
        self.recorder_dir = recorder_dir
        self.width, self.height, self.touch = width, height, touch
        self.speak_ms = speak_ms
        self.args = list(args)
        self.dir = None
        self.recorder = None
        self.proc = None
        self.page = None
        self.started_ms = None

    def start(self):
        try:
            return self._start()
        except BaseException:
            self.stop()
            raise

    def _start(self):
        self.dir = private_dir("abacorn-chromium-")
        runtime = os.path.join(self.dir, "runtime")
        os.mkdir(runtime, 0o700)
        logs = self.recorder_dir or self.dir
        self.speech_log_path = os.path.join(logs, "speech.log")
        open(self.speech_log_path, "w").close()
        self.recorder = ssip_recorder.Recorder(logs, self.speech_log_path, speak_ms=self.speak_ms,
                                               socket=os.path.join(runtime, "speech-dispatcher", "speechd.sock"))
        profile = os.path.join(self.dir, "profile")
        env = {k: v for k, v in os.environ.items()
               if k not in ("DISPLAY", "WAYLAND_DISPLAY", "SPEECHD_ADDRESS", "DBUS_SESSION_BUS_ADDRESS")}
        env.update(XDG_RUNTIME_DIR=runtime, HOME=self.dir, XDG_CONFIG_HOME=os.path.join(self.dir, "config"),
                   XDG_CACHE_HOME=os.path.join(self.dir, "cache"))
        self.stderr_path = os.path.join(self.dir, "chromium.log")
        self.started_ms = _now_ms()
        with open(self.stderr_path, "wb") as err:
            self.proc = subprocess.Popen(
                [CHROMIUM] + self.FLAGS + ["--user-data-dir=" + profile,
                                           "--window-size=%d,%d" % (self.width, self.height)]
                + self.args + ["about:blank"],
                env=env, stdin=subprocess.DEVNULL, stdout=err, stderr=err, start_new_session=True)
        port_file = os.path.join(profile, "DevToolsActivePort")

        def port():
            if self.proc.poll() is not None:
                raise E2EError("Chromium ended (%s) before it took connections:\n%s"
                               % (self.proc.returncode, self.log_tail()))
            try:
                with open(port_file) as f:
                    lines = f.read().split("\n")
            except FileNotFoundError:
                return None
            return lines[0] if len(lines) >= 2 and lines[0] else None
        self.port = int(wait_until(port, START_TIMEOUT, interval=0.05, what="Chromium's DevTools port"))
        with urllib.request.urlopen("http://127.0.0.1:%d/json/list" % self.port, timeout=START_TIMEOUT) as r:
            targets = json.load(r)
        tab = next((t for t in targets if t.get("type") == "page"), None)
        if tab is None:
            raise E2EError("Chromium opened no tab: %r" % targets)
        self.page = Page(tab["webSocketDebuggerUrl"])
        # The window keeps room for a toolbar even headless: the page gets the whole size only this way.
        self.page.set_viewport(self.width, self.height)
        if self.touch:
            self.page.set_touch(True)
        self.ready_ms = _now_ms()
        return self

    def reopen(self, url):
        """Closes the tab and opens a new one on url, as a child who closes
        the app and starts it again: no page of the site is open in
        between. Returns the new .page."""
        base = "http://127.0.0.1:%d/json/" % self.port
        request = urllib.request.Request(base + "new?about:blank", method="PUT")
        with urllib.request.urlopen(request, timeout=START_TIMEOUT) as r:
            tab = json.load(r)
        old = self.page.ws_url.rsplit("/", 1)[-1]
        self.page.close()
        with urllib.request.urlopen(base + "close/" + old, timeout=START_TIMEOUT):
            pass

        def gone():
            with urllib.request.urlopen(base + "list", timeout=START_TIMEOUT) as r:
                return all(t.get("id") != old for t in json.load(r))
        wait_until(gone, START_TIMEOUT, interval=0.05, what="the old tab to close")
        self.page = Page(tab["webSocketDebuggerUrl"])
        self.page.set_viewport(self.width, self.height)
        if self.touch:
            self.page.set_touch(True)
        self.page.navigate(url)
        return self.page

    def log_tail(self, lines=30):
        try:
            with open(self.stderr_path, errors="replace") as f:
                return "".join(f.readlines()[-lines:])
        except (OSError, AttributeError):
            return ""

    def stop(self):
        if self.page is not None:
            self.page.close()
            self.page = None
        if self.proc is not None:
            _stop_group(self.proc)
            self.proc = None
        if self.recorder is not None:
            self.recorder.stop()
            self.recorder = None
        if self.dir and not _keep():
            shutil.rmtree(self.dir, ignore_errors=True)
            self.dir = None

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()

    # --- what it said -------------------------------------------------------

    def speech(self):
        """The recorder's log: [SpeechEvent(t_ms, 'say'|'stop'|'begin', text)]."""
        return read_speech_log(self.speech_log_path)

    def said(self, stops=False, since_ms=None):
        """The texts the page spoke, in order (since since_ms, CLOCK_MONOTONIC);
        with stops, each cancel as None."""
        return [e.text if e.event == "say" else None for e in self.speech()
                if (e.event == "say" or (stops and e.event == "stop")) and (since_ms is None or e.t_ms >= since_ms)]

    def wait_for_speech(self, check, timeout=20.0, what="speech"):
        """Waits until check(events) is true; returns the events."""
        found = []

        def look():
            events = self.speech()
            if check(events):
                found.append(events)
                return True
            return False
        wait_until(look, timeout, what=what)
        return found[0]

    def wait_for_say(self, text, since_ms=None, timeout=20.0):
        return self.wait_for_speech(
            lambda ev: any(e.event == "say" and e.text == text and (since_ms is None or e.t_ms >= since_ms)
                           for e in ev), timeout, what="the page to say %r" % text)


# --- the browser build's site -----------------------------------------------

def offline_writer():
    """scripts/web-offline.py as a module: its write(site) lists a site's
    files for the service worker again."""
    import importlib.util
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "web-offline.py")
    loader = importlib.util.spec_from_file_location("web_offline", path)
    module = importlib.util.module_from_spec(loader)
    loader.loader.exec_module(module)
    return module


def site_dir():
    """The site scripts/build-web.sh wrote: $ABACORN_WEB_BUILD_DIR/out/web,
    the Linux build's folder with -web after it by default."""
    from .program import build_dir
    return os.path.join(os.environ.get("ABACORN_WEB_BUILD_DIR", build_dir() + "-web"), "out", "web")


def start_lesson(page, timeout=60.0):
    """On the loaded page: waits for the start button to be enabled (the
    program, fonts and pictures loaded: they come after the load event, as
    the program starts only then), clicks it and waits until the window is
    shown. Returns when the page was seen ready, CLOCK_MONOTONIC ms."""
    page.wait_for("document.documentElement.dataset.ready === '1'", timeout=timeout, what="the start button")
    ready_ms = _now_ms()
    x, y = page.evaluate("(() => { const r = document.getElementById('start').getBoundingClientRect();"
                         " return [r.x + r.width / 2, r.y + r.height / 2]; })()")
    page.click(x, y)
    page.wait_for("Module.stats.shown > 0", timeout=timeout, what="the window")
    return ready_ms


def site_icon():
    """The icon index.html names for the browser's tab, relative to the site."""
    with open(os.path.join(site_dir(), "index.html"), encoding="utf-8") as f:
        found = re.search(r'<link rel="icon" href="([^"]+)"', f.read())
    return found.group(1) if found else None

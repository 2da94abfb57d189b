# SPDX-License-Identifier: GPL-3.0-or-later
"""The browser build as a session like controls.Session: the site served on
127.0.0.1, headless Chromium on it, a real click on the start button, the
window built in the page and the welcome heard. The viewport is just larger
than the panel, so that the page draws it at the design's scale and
s.rect(name) gives the design's rectangles as the Qt build places them on a
screen of that size.

    with WebSession() as s:             # waits for the welcome
        s.click("lblClickMe")
        s.wait_for_text(e2e.FOR_ANSWER)

What the desktop session asks of the window system, the page answers:
.app is the run in the page (its pass cost, whether it runs, its end), .x
the browser window (its size, a request to leave the page). Needs the
system Python's websocket client, as browser.py does.
"""

import os
import time

from . import browser
from .controls import TIMEOUT, Session, centre, rect
from .passes import CARD_PASSES, STARTUP_PASSES, PassCost
from .processes import E2EError, wait_until
from .program import WELCOME, build_dir, monotonic_ms

# xdotool's key names as the browser names them.
KEY_NAMES = {"space": "Space", "Return": "Enter", "BackSpace": "Backspace", "Down": "ArrowDown", "Up": "ArrowUp",
             "Left": "ArrowLeft", "Right": "ArrowRight", "Prior": "PageUp", "Next": "PageDown"}
MODIFIERS = {"shift": browser.SHIFT, "ctrl": browser.CTRL, "alt": browser.ALT, "super": browser.META}
# A viewport at which the page draws the panel at the design's scale
# (ui::fittingDpi gives 96 dots per inch; 793x674 would give 97).
DESIGN_VIEWPORT = (800, 672)


def design_rect(name):
    """(x, y, w, h) of a control in a page at DESIGN_VIEWPORT."""
    return rect(name, *DESIGN_VIEWPORT)


# Clicks closer than this count as one double click, as on the desktop.
DOUBLE_CLICK_MS = 400


def site_dir():
    """The browser build's site: out/web in $ABACORN_WEB_BUILD_DIR, or in the
    build folder beside the tests' own."""
    return os.path.join(os.environ.get("ABACORN_WEB_BUILD_DIR", build_dir() + "-web"), "out", "web")


class PageRun:
    """The program's run in the page, as a session's .app: what was said,
    the pass cost the start-up pause tells of, and whether it still runs."""

    def __init__(self, chrome):
        self.chrome = chrome
        self.page = chrome.page
        self.passes = None

    def said(self):
        return self.chrome.said()

    def speech(self):
        return self.chrome.speech()

    def stats(self):
        return self.page.evaluate("JSON.parse(JSON.stringify(Module.stats))")

    def running(self):
        return bool(self.page.evaluate("document.getElementById('start').hidden && "
                                       "!document.getElementById('stage').hidden"))

    def wait_exit(self, timeout=TIMEOUT):
        """0 once the run has ended: the start button is shown again."""
        self.page.wait_for("!document.getElementById('start').hidden && document.getElementById('stage').hidden",
                           timeout, what="the run to end")
        return 0

    def pause_limit(self, passes=CARD_PASSES):
        return self.passes.limit(passes) if self.passes and self.passes.known() else TIMEOUT


class BrowserWindow:
    """The browser's window where a desktop test asks the window system."""

    def __init__(self, page):
        self.page = page

    def window_geometry(self, window=None):
        w, h, shown = self.page.evaluate("[innerWidth, innerHeight, !document.getElementById('stage').hidden]")
        return {"x": 0, "y": 0, "width": w, "height": h, "map_state": "IsViewable" if shown else "IsUnMapped"}

    def ask_to_close(self, window=None):
        """A navigation away, which the page must question, answered "stay"."""
        since = monotonic_ms()
        self.page.evaluate("setTimeout(() => { location.href = 'about:blank'; }, 0)")
        dialog = self.page.wait_event("Page.javascriptDialogOpening", since_ms=since, timeout=TIMEOUT)
        if dialog.get("type") != "beforeunload":
            raise E2EError("the page asked %r" % dialog)
        self.page.send("Page.handleJavaScriptDialog", accept=False)
        return dialog


class WebSession(Session):
    """The site served, Chromium on it and a run started by a real click on
    the start button; the window found shown (and the welcome heard unless
    wait_for_welcome is False). start() again after the run has ended
    begins a fresh one in the same page."""

    def __init__(self, wait_for_welcome=True, timeout=TIMEOUT, site=None, start=True, viewport=DESIGN_VIEWPORT,
                 touch=False):
        """start=False: the page loaded and ready, the run not yet started
        (start()); touch=True: a tablet's touch screen, the start and
        tap() by finger."""
        super().__init__(wait_for_welcome=wait_for_welcome, timeout=timeout)
        self.screen = tuple(viewport)
        self.start_run = start
        self.touch = touch
        self.site = site or site_dir()
        self.web = None
        self.chrome = None
        self.page = None
        self.shown_ms = None  # CLOCK_MONOTONIC ms at which the window was seen shown

    def __enter__(self):
        if not os.path.exists(os.path.join(self.site, "index.html")):
            raise E2EError("no site at %s (build it with scripts/build-web.sh)" % self.site)
        try:
            self.web = browser.StaticServer(self.site).start()
            self.chrome = browser.Chromium(width=self.screen[0], height=self.screen[1], touch=self.touch).start()
            self.page = self.chrome.page
            if self.touch:
                self.page.set_viewport(self.screen[0], self.screen[1], mobile=True)
            self.app = PageRun(self.chrome)
            self.x = BrowserWindow(self.page)
            self.page.navigate(self.web.url)
            self.page.wait_for("document.documentElement.dataset.ready === '1'", self.timeout,
                               what="the page to load its fonts and pictures")
            if self.start_run:
                self.start()
        except BaseException:
            self.__exit__()
            raise
        return self

    def __exit__(self, *exc):
        try:
            if self.chrome is not None:
                self.chrome.stop()
        finally:
            if self.web is not None:
                self.web.stop()

    def start(self):
        """Clicks the start button and waits for the window (and the welcome)."""
        self.app.passes = PassCost()
        self.said_before = len(self.said())
        x, y, w, h = self.page.evaluate(
            "(r => [r.x, r.y, r.width, r.height])(document.getElementById('start').getBoundingClientRect())")
        (self.page.tap if self.touch else self.page.click)(int(x + w / 2), int(y + h / 2))
        self.page.wait_for("Module.stats.shown > Module.stats.started && "
                           "!document.getElementById('stage').hidden", self.timeout, what="the window")
        self.shown_ms = self.mapped_ms = monotonic_ms()
        self.window = "page"
        if self.wait_for_welcome:
            self.wait_for_welcome_said()

    def wait_for_welcome_said(self):
        """Waits for the welcome of this run and notes what the start-up
        pause, from the window shown to the welcome handed to speech, tells
        of a pass's cost."""
        self.wait_for_text(WELCOME, after=self.said_before, timeout=self.app.pause_limit(STARTUP_PASSES))
        stats = self.app.stats()
        spoken = next(t for t in stats["spoken"] if t >= stats["shown"])
        self.app.passes.note("start-up pause", STARTUP_PASSES, (spoken - stats["shown"]) / 1000)

    # --- input ---

    def click_at(self, x, y):
        self.page.click(x, y)

    def clicks(self, name, count=2, delay_ms=60):
        """Clicks the middle of a control `count` times, `delay_ms` apart;
        closer than the double-click time they count up as a double click."""
        x, y = centre(self.rect(name))
        for i in range(count):
            if i:
                time.sleep(delay_ms / 1000)  # the pace of the hand, not a wait for the program
            self.page.click(x, y, i + 1 if delay_ms < DOUBLE_CLICK_MS else 1)

    def taps(self, name, count=1, delay_ms=60):
        """A finger's taps on the middle of a control, `delay_ms` apart."""
        x, y = centre(self.rect(name))
        for i in range(count):
            if i:
                time.sleep(delay_ms / 1000)  # the pace of the hand, not a wait for the program
            self.page.tap(x, y)

    def key(self, *keys):
        """Real key presses, xdotool's names ("space", "shift+Tab", "ctrl+q")."""
        for combo in keys:
            *mods, key = combo.split("+")
            bits = 0
            for m in mods:
                bits |= MODIFIERS[m.lower()]
            self.page.key(KEY_NAMES.get(key, key), bits)

    def popup_window(self):
        raise E2EError("the page opens no list of its own")

    def focus_combo(self, combo):
        raise E2EError("the page's lists take the focus by Tab (tab_to)")

    def wait_until_idle(self, quiet_s=0.5):
        """Waits until the program has waited for the child for quiet_s:
        nothing running, nothing queued (Module.page.idle())."""
        state = {"since": None}

        def quiet():
            now = time.monotonic()
            if not self.page.evaluate("Module.page.idle()"):
                state["since"] = None
                return False
            if state["since"] is None:
                state["since"] = now
            return now - state["since"] >= quiet_s
        wait_until(quiet, self.app.pause_limit(), interval=0.05, what="the program to wait for input")

    # --- what is seen and heard ---

    def shot(self):
        return self.page.screenshot()

    def text(self, name):
        """The text the page shows in a control's place: of the shown
        element holding text of its own that lies most inside the control's
        box (a label fitted to its text may be smaller than its place)."""
        return self.page.evaluate("""(([x, y, w, h]) => {
            let best = null, most = 0;
            for (const e of document.querySelectorAll('#stage *')) {
                if (![...e.childNodes].some(c => c.nodeType === Node.TEXT_NODE) || !e.checkVisibility()) continue;
                const r = e.getBoundingClientRect();
                const over = Math.max(0, Math.min(r.right, x + w) - Math.max(r.left, x)) *
                             Math.max(0, Math.min(r.bottom, y + h) - Math.max(r.top, y));
                const share = over / Math.max(1, r.width * r.height);
                if (over > 0 && share > most) { best = e; most = share; }
            }
            return best ? best.textContent : '';
        })(%s)""" % list(self.rect(name)))

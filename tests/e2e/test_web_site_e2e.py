# SPDX-License-Identifier: GPL-3.0-or-later
"""End to end, the browser build's site: what it ships (its policy, no
address outside the site, the licences, what the first load transfers) and
what a lesson in headless Chromium does (no request after the load, nothing
kept in the browser, no breach of the policy, the window drawn with the Qt
build's colours)."""
import gzip
import os
import re
import unittest

from testbed import e2e
from testbed.e2e import browser
from testbed.e2e.web import DESIGN_VIEWPORT, design_rect

# Gzip, as a host would send them: everything but fonts and artwork, and the
# whole first load.
CODE_BUDGET = 150 * 1000
LOAD_BUDGET = 300 * 1000
# The policy as the page needs it: nothing but the site, no connection at
# all; WebAssembly compiled, and the pictures the page keys out as data:.
POLICY = {
    "default-src": ["'self'"],
    "script-src": ["'self'", "'wasm-unsafe-eval'"],
    "worker-src": ["'self'"],
    "connect-src": ["'none'"],
    "img-src": ["'self'", "data:"],
    "style-src": ["'self'"],
    "object-src": ["'none'"],
    "base-uri": ["'none'"],
    "form-action": ["'none'"],
}
TEXT = (".html", ".js", ".css")
# An address outside the site: a scheme with //, or // alone where a URL goes.
OUTSIDE = re.compile(rb"\b(?:https?|wss?|ftp):|[\"'(=]\s*//[A-Za-z0-9]", re.I)
SILVER, DARK_RED = (192, 192, 192), (192, 0, 0)
# Before the page loads: every breach of the policy, kept for the test.
WATCH_POLICY = ("window.breaches = [];"
                "document.addEventListener('securitypolicyviolation', e => breaches.push("
                "e.violatedDirective + ' ' + e.blockedURI));")


def served_path(path):
    return path.split("?", 1)[0].split("#", 1)[0]


def is_font_or_artwork(path):
    return path.startswith(("/fonts/", "/assets/", "/icons/"))


def site_paths():
    """The paths the site serves, its root "/" as index.html, but the worker."""
    root = browser.site_dir()
    paths = ["/"]
    for folder, _, files in os.walk(root):
        for name in files:
            path = "/" + os.path.relpath(os.path.join(folder, name), root)
            if path != "/sw.js":
                paths.append(path)
    return paths


def gzip_size(path):
    with open(path, "rb") as f:
        return len(gzip.compress(f.read(), compresslevel=9, mtime=0))


class LessonPage:
    """The site served, Chromium on it at the design's scale with the policy watched,
    the page loaded and started: the window shown."""

    def __enter__(self):
        self.web = browser.StaticServer(browser.site_dir()).start()
        try:
            self.chrome = browser.Chromium(width=DESIGN_VIEWPORT[0], height=DESIGN_VIEWPORT[1]).start()
            self.page = self.chrome.page
            self.page.send("Page.addScriptToEvaluateOnNewDocument", source=WATCH_POLICY)
            self.page.navigate(self.web.url)
            # Loaded: the start button enabled. The program starts after the
            # load event and asks for the fonts and pictures then.
            self.loaded_ms = browser.start_lesson(self.page)
        except BaseException:
            self.__exit__()
            raise
        return self

    def __exit__(self, *exc):
        if getattr(self, "chrome", None):
            self.chrome.stop()
        self.web.stop()

    def click(self, name):
        self.page.click(*e2e.centre(design_rect(name)))

    def idle(self):
        self.page.wait_for("Module.page.idle()", what="the page to be idle")


@unittest.skipUnless(os.path.exists(os.path.join(browser.site_dir(), "index.html")),
                     "no browser site built (scripts/build-web.sh)")
class SiteTest(unittest.TestCase):
    def test_policy_addresses_and_licences(self):
        root = browser.site_dir()
        with open(os.path.join(root, "index.html"), encoding="utf-8") as f:
            html = f.read()
        policies = re.findall(r'<meta\s+http-equiv="Content-Security-Policy"\s+content="([^"]*)"', html, re.I)
        self.assertEqual(len(policies), 1, "one Content-Security-Policy in index.html")
        directives = {}
        for part in policies[0].split(";"):
            words = part.split()
            if words:
                directives[words[0]] = words[1:]
        self.assertEqual(directives, POLICY)
        for folder, _, files in os.walk(root):
            for name in files:
                if name.endswith(TEXT):
                    with open(os.path.join(folder, name), "rb") as f:
                        found = OUTSIDE.search(f.read())
                    self.assertIsNone(found, "%s names an address outside the site: %r"
                                      % (name, found and found.group(0)))
        # Fonts and pictures hold no address the browser would follow; every
        # face's licence is beside it, and the program's at the root.
        with open(os.path.join(root, "fonts", "fonts.css"), encoding="utf-8") as f:
            faces = re.findall(r'url\("([^"]+)"\)', f.read())
        self.assertTrue(faces)
        licences = os.listdir(os.path.join(root, "fonts"))
        for face in faces:
            self.assertTrue(os.path.exists(os.path.join(root, "fonts", face)), face)
            family = "comic-neue" if face.startswith("ComicNeue") else "liberation2"
            self.assertIn("LICENSE-fonts-%s.txt" % family, licences, face)
        for licence in [n for n in licences if n.startswith("LICENSE")]:
            with open(os.path.join(root, "fonts", licence), encoding="utf-8") as f:
                self.assertIn("SIL OPEN FONT LICENSE", f.read().upper(), licence)
        with open(os.path.join(root, "LICENSE.txt"), encoding="utf-8") as f:
            self.assertIn("GNU GENERAL PUBLIC LICENSE", f.read())

    def test_lesson_sends_nothing_keeps_nothing_and_fits_the_budget(self):
        with LessonPage() as s:
            page, web = s.page, s.web
            # What the page itself asked for to be ready; the worker's keeping
            # of the site for the next start comes after it.
            first_load = [served_path(url[len(web.url) - 1:]) for url, t in page.requests()
                          if url.startswith(web.url) and t <= s.loaded_ms]
            s.chrome.wait_for_say(e2e.WELCOME, timeout=60)
            s.idle()
            # A short lesson: a card dealt and answered, an operation, the
            # loudspeaker off and on, a card dealt and answered aloud.
            for name, text in [("lblClickMe", e2e.FOR_ANSWER), ("picMinus", "subtraction"),
                               ("lblClickMe", None), ("Picture1", None), ("Picture2", None),
                               ("lblClickMe", None), ("lblClickMe", "")]:
                since = e2e.monotonic_ms()
                s.click(name)
                s.idle()
                if text:
                    s.chrome.wait_for_say(text, since_ms=since)
                elif text == "":
                    s.chrome.wait_for_speech(lambda ev: any(e.event == "say" and e.t_ms >= since for e in ev),
                                             what="the answer, aloud again")
            self.assertEqual(page.evaluate("breaches"), [], "the policy was breached")
            # Pictures the page keys out itself are data: addresses, which
            # the browser lists as requests but which never leave it. The
            # tab's icon the browser fetches for itself, once, in its own
            # time: after the load event or before.
            icon = browser.site_icon()
            sent = [(url, t) for url, t in page.requests() if not url.startswith("data:")]
            self.assertTrue(all(url.startswith(web.url) for url, _ in sent), sent)
            self.assertLessEqual([url for url, _ in sent].count(web.url + icon), 1)
            late = [url for url, t in sent if t > s.loaded_ms and url != web.url + icon]
            self.assertEqual(late, [], "requests after the load")
            # The service worker keeps the site's own files for the next
            # start: after the load the server sees its script and each of
            # them once, and nothing else.
            page.wait_for("navigator.serviceWorker.ready.then(() => true)", what="the service worker")
            site = set(site_paths())
            later = [p for p in web.requests(since_ms=s.loaded_ms) if p != "/" + icon]
            self.assertEqual([p for p in later if p not in site and p != "/sw.js"], [],
                             "the server was asked after the load")
            self.assertEqual([p for p in set(later) if later.count(p) > 1 and p != "/sw.js"], [], later)
            self.assertEqual(page.storage(), {"localStorage": 0, "sessionStorage": 0, "indexedDB": 0, "caches": 1,
                                              "serviceWorkers": 1, "cookies": 0})
            kept = page.offline_store()
            self.assertEqual(kept["workers"], [[web.url, web.url + "sw.js", "activated"]])
            self.assertEqual([sorted(urls) for urls in kept["caches"].values()],
                             [sorted(web.url + p.lstrip("/") for p in site)], "the site's files, no more")
        # Everything the first load fetched, gzipped as a host would.
        root = browser.site_dir()
        sizes = {p: gzip_size(os.path.join(root, p.lstrip("/") or "index.html")) for p in set(first_load)}
        self.assertIn("/abacorn.js", sizes)
        code = sum(n for p, n in sizes.items() if not is_font_or_artwork(p))
        self.assertLessEqual(code, CODE_BUDGET, "all but fonts and artwork: %s" % sorted(sizes.items()))
        self.assertLessEqual(sum(sizes.values()), LOAD_BUDGET, "the first load: %s" % sorted(sizes.items()))

    def test_window_in_the_qt_builds_colours(self):
        with LessonPage() as s:
            s.idle()
            shot = s.page.screenshot()
        x, y, w, h = design_rect("Frame1")
        self.assertTrue(e2e.near(shot.pixel(x + w - 10, y + h - 10), e2e.LAVENDER), "the panel")
        self.assertTrue(e2e.near(shot.pixel(5, 5), e2e.BLACK), "the backdrop")
        card = design_rect("lblClickMe")
        self.assertGreater(shot.count(e2e.WHITE, rect=card, tolerance=2), card[2] * card[3] // 2, "the card's white")
        for name in ["lbln1", "lbln2", "lbln3"]:
            self.assertGreater(e2e.ink_in(shot, design_rect(name)), 50, "the ink of %s" % name)
        # 12 + 12: the same number drawn the same in both places.
        self.assertEqual(e2e.ink_box(shot, design_rect("lbln1")), e2e.ink_box(shot, design_rect("lbln2")))
        x, y, w, h = design_rect("Command1")
        self.assertGreater(shot.count(DARK_RED, rect=(x, y, w, h), tolerance=2), w * h * 3 // 4, "Close Program")
        self.assertGreater(e2e.ink_in(shot, (x, y, w, h), limit=40), 100, "its caption")
        self.assertGreater(shot.count(SILVER, rect=design_rect("lblKidSafe"), tolerance=2), 500, "the banner's text")


if __name__ == "__main__":
    unittest.main()

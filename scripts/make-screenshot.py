#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Makes docs/screenshot.png, the picture of the trainer in the README and
the AppStream metainfo, from the real program under Xvfb.

It plays one interactive card the way a child would: a first pick that is
wrong (red), then the right one (green), which shows the answer on the card.
The panel and its heading are cut out of the full-screen window with a rim
of the black backdrop and stored as a small palette PNG.

    python3 scripts/make-screenshot.py [output.png]
    /usr/bin/python3 scripts/make-screenshot.py --web [output.png]
    /usr/bin/python3 scripts/make-screenshot.py --web-screens [folder]

With --web it makes docs/web-beside-qt.png instead: the window as it
starts, 12 + 12 = 24 after the welcome, in the browser build (headless
Chromium, the site from scripts/build-web.sh in build-web/out/web) on the
left and in the Qt build on the right, the same size. With --web-screens it
makes docs/web-phone.png, web-tablet.png and web-desktop.png: the browser
build's whole viewport at 390x844, 1024x768 and 1920x1080, the panel as
large as each allows. Both need the system Python (the browser harness's
websocket client).

Needs what the end-to-end tests need (Xvfb, xdotool, ImageMagick); builds the
the program and control_rect first. The tests' recording speech daemon
stands in for the voice, so nothing is heard.
"""
import os
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, ROOT)  # the harness, testbed.e2e
from testbed import e2e  # noqa: E402

WRONG = "wrong answer, try again"
RIM = 40  # pixels of the black backdrop kept around the panel
TRIES = 80  # cards dealt at most


def build():
    subprocess.run(["cmake", "--build", e2e.build_dir(), "--target", "abacorn", "control_rect"],
                   check=True, stdout=subprocess.DEVNULL)


def act(s, click, says):
    """Clicks a control and waits until it has said `says` texts and the
    program waits for input again; returns what it said."""
    n = len(s.said())
    s.click(click)
    said = s.wait_for_says(says, after=n)
    s.wait_until_idle()
    return said


def play(s):
    """Interactive mode; each card is answered by trying the tiles in order
    until the right one, and dealt again until lbl1 was wrong, lbl2 right
    and the answer had two digits. True when such a card was played."""
    act(s, "lblInteractive", 2)
    for _ in range(TRIES):
        act(s, "lblClickMe", 1)  # deals and reads the card aloud
        for k, tile in enumerate(["lbl1", "lbl2", "lbl3", "lbl4", "lbl5", "lbl6"]):
            said = act(s, tile, 1)[-1]  # the answer when right
            if said != WRONG:
                break
        if k == 1 and float(said) >= 10:  # and a card worth showing
            return True
    return False


def panel(shot, screen=(e2e.SCREEN_WIDTH, e2e.SCREEN_HEIGHT)):
    """The lavender panel and the heading above it, with a rim of the backdrop."""
    rects = [e2e.rect(name, *screen) for name in ("lblKidSafe", "Frame1")]
    x, y = max(0, min(r[0] for r in rects) - RIM), max(0, min(r[1] for r in rects) - RIM)
    w = min(shot.width, max(r[0] + r[2] for r in rects) + RIM) - x
    h = min(shot.height, max(r[1] + r[3] for r in rects) + RIM) - y
    return shot.crop(x, y, w, h)


def save(image, out):
    # The window has few colours; a 256-colour palette keeps the text's edges.
    image.save_png(out, ["-strip", "-colors", "256", "-define", "png:compression-level=9"], fmt="png8")
    print("%s: %dx%d, %d bytes" % (out, image.width, image.height, os.path.getsize(out)))


def beside_web(out):
    from testbed.e2e import browser
    from testbed.e2e.web import DESIGN_VIEWPORT
    width, height = DESIGN_VIEWPORT
    with browser.StaticServer(browser.site_dir()) as web, browser.Chromium(width=width, height=height) as chrome:
        chrome.page.navigate(web.url)
        browser.start_lesson(chrome.page)
        chrome.wait_for_say(e2e.WELCOME, timeout=e2e.TIMEOUT)
        chrome.page.wait_for("Module.page.idle()")
        left = panel(chrome.page.screenshot(), DESIGN_VIEWPORT)
    with e2e.Session() as s:
        s.wait_until_idle()
        right = panel(s.shot())
    gap = e2e.Image(16, left.height, bytes(16 * left.height * 3))
    save(e2e.Image.beside(left, gap, right), out)


# The screens of --web-screens: name, width, height, a phone's or tablet's viewport.
WEB_SCREENS = [("phone", 390, 844, True), ("tablet", 1024, 768, True), ("desktop", 1920, 1080, False)]


def web_screens(folder):
    from testbed.e2e import browser
    with browser.StaticServer(browser.site_dir()) as web, browser.Chromium() as chrome:
        page = chrome.page
        page.navigate(web.url)
        browser.start_lesson(page)
        chrome.wait_for_say(e2e.WELCOME, timeout=e2e.TIMEOUT)
        for name, width, height, mobile in WEB_SCREENS:
            page.set_viewport(width, height, 1, mobile)
            # Refitted: the panel's box centred in the new viewport, the program idle.
            page.wait_for("""innerWidth === %d && innerHeight === %d && Module.page.idle() &&
                (r => Math.abs(r.left - (innerWidth - r.right)) <= 2)(
                    [...document.querySelectorAll('#stage [role=group]')]
                        .reduce((a, e) => e.getBoundingClientRect().width > a.width ? e.getBoundingClientRect() : a,
                                {width: 0}))""" % (width, height), e2e.TIMEOUT, what="the panel at %dx%d" % (width, height))
            save(page.screenshot(), os.path.join(folder, "web-%s.png" % name))


def main():
    if sys.argv[1:2] == ["--web-screens"]:
        web_screens(sys.argv[2] if len(sys.argv) > 2 else os.path.join(ROOT, "docs"))
        return
    if sys.argv[1:2] == ["--web"]:
        build()
        beside_web(sys.argv[2] if len(sys.argv) > 2 else os.path.join(ROOT, "docs", "web-beside-qt.png"))
        return
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "docs", "screenshot.png")
    build()
    with e2e.Session() as s:
        if not play(s):
            sys.exit("no card to show in %d tries" % TRIES)
        shot = s.shot()
    save(panel(shot), out)


if __name__ == "__main__":
    main()
